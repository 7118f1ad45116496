#include "common/ZipDirectory.h"

#include <algorithm>
#include <cstring>

namespace pvcommon {

Bytes LeReader::zstring() noexcept {
    if (!ok_) return {};
    const std::uint8_t* begin = in_.data() + pos_;
    const void* z = std::memchr(begin, 0, in_.size() - pos_);
    if (z == nullptr) {
        ok_ = false;
        return {};
    }
    const std::size_t n = static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - begin);
    auto s = in_.subspan(pos_, n);
    pos_ += n + 1;
    return s;
}

} // namespace pvcommon

namespace pvcommon::zip {

namespace {

// Each record's layout is written once, as a function over its fields, and serves both
// directions: FieldReader fills the fields from bytes, FieldWriter puts them into bytes.
struct FieldReader {
    LeReader r;
    template <class T> void u16(T& v) { v = static_cast<T>(r.u16()); }
    template <class T> void u32(T& v) { v = static_cast<T>(r.u32()); }
};

struct FieldWriter {
    std::uint8_t* p;
    void u16(std::uint32_t v) {
        PutLE16(p, v);
        p += 2;
    }
    void u32(std::uint64_t v) {
        PutLE32(p, static_cast<std::uint32_t>(v));
        p += 4;
    }
};

// After the signature: a local header, which a central header repeats after the version
// that made it.
template <class IO, class H> void localFields(IO& io, H& h) {
    io.u16(h.versionNeeded);
    io.u16(h.flags);
    io.u16(h.method);
    io.u32(h.dosDateTime);
    io.u32(h.crc32);
    io.u32(h.packedSize);
    io.u32(h.size);
    io.u16(h.nameLength);
    io.u16(h.extraLength);
}

template <class IO, class H> void centralFields(IO& io, H& h) {
    io.u16(h.versionMadeBy);
    localFields(io, h);
    io.u16(h.commentLength);
    io.u16(h.diskNumber);
    io.u16(h.internalAttr);
    io.u32(h.externalAttr);
    io.u32(h.localOffset);
}

template <class IO, class H> void endFields(IO& io, H& e) {
    io.u16(e.thisDisk);
    io.u16(e.centralDisk);
    io.u16(e.entriesThisDisk);
    io.u16(e.entries);
    io.u32(e.centralSize);
    io.u32(e.centralOffset);
    io.u16(e.commentLength);
}

std::string Text(Bytes b) {
    return std::string(b.begin(), b.end());
}

template <class H>
std::optional<H> readRecord(Bytes in, std::uint32_t sig, void (*fields)(FieldReader&, H&)) {
    FieldReader io{LeReader{in}};
    if (io.r.u32() != sig) return std::nullopt;
    H h;
    fields(io, h);
    if (!io.r.ok()) return std::nullopt;
    return h;
}

template <class H>
void writeRecord(const H& h, std::uint32_t sig, std::uint8_t* out, void (*fields)(FieldWriter&, const H&)) {
    FieldWriter io{out};
    io.u32(sig);
    fields(io, h);
}

} // namespace

std::optional<ZipLocalHeader> parseZipLocal(Bytes in) {
    return readRecord<ZipLocalHeader>(in, kLocalSig, localFields);
}
std::optional<ZipCentralHeader> parseZipCentral(Bytes in) {
    return readRecord<ZipCentralHeader>(in, kCentralSig, centralFields);
}
std::optional<ZipEndRecord> parseZipEnd(Bytes in) {
    return readRecord<ZipEndRecord>(in, kEndSig, endFields);
}

void putZipLocal(const ZipLocalHeader& h, std::uint8_t* out) {
    writeRecord(h, kLocalSig, out, localFields);
}
void putZipCentral(const ZipCentralHeader& h, std::uint8_t* out) {
    writeRecord(h, kCentralSig, out, centralFields);
}
void putZipEnd(const ZipEndRecord& e, std::uint8_t* out) {
    writeRecord(e, kEndSig, out, endFields);
}

std::optional<Bytes> findZipExtra(Bytes extra, std::uint16_t id) {
    LeReader r{extra};
    while (r.left() >= 4) {
        const std::uint16_t blockId = r.u16();
        const std::uint16_t size = r.u16();
        Bytes data = r.bytes(size);
        if (!r.ok()) return std::nullopt;
        if (blockId == id) return data;
    }
    return std::nullopt;
}

bool applyZip64Extra(Bytes extra, ZipCentralHeader& h) {
    const bool needSize = h.size == k32Max, needPacked = h.packedSize == k32Max,
               needOffset = h.localOffset == k32Max, needDisk = h.diskNumber == 0xFFFF;
    if (!needSize && !needPacked && !needOffset && !needDisk) return true;
    auto block = findZipExtra(extra, kExtraZip64);
    if (!block) return false;
    LeReader r{*block};
    if (needSize) h.size = r.u64();
    if (needPacked) h.packedSize = r.u64();
    if (needOffset) h.localOffset = r.u64();
    if (needDisk) h.diskNumber = r.u32();
    return r.ok();
}

std::optional<std::string> zipUnicodePath(Bytes extra, std::uint32_t storedNameCrc) {
    auto block = findZipExtra(extra, kExtraUnicodePath);
    if (!block) return std::nullopt;
    LeReader r{*block};
    if (r.u8() != 1) return std::nullopt;
    if (r.u32() != storedNameCrc || !r.ok()) return std::nullopt;
    return Text(r.bytes(r.left()));
}

bool IsTrailerSig(std::uint32_t sig) {
    return sig == kCentralSig || sig == kEndSig || sig == kEnd64Sig || sig == kEnd64LocatorSig ||
           sig == kDigitalSignatureSig;
}

std::optional<ZipEndFound> FindZipEnd(const Fetch& in, std::uint64_t fileSize, std::size_t maxComment,
                                      bool bytesAfter) {
    const std::uint64_t window = std::min<std::uint64_t>(fileSize, kMaxEndComment + kEndSize);
    Bytes b = in(fileSize - window, static_cast<std::size_t>(window));
    for (std::size_t i = b.size() >= kEndSize ? b.size() - kEndSize + 1 : 0; i-- > 0;) {
        if (GetLE32(b.data() + i) != kEndSig) continue;
        auto end = parseZipEnd(b.subspan(i));
        if (!end) continue;
        const std::size_t commentEnd = i + kEndSize + end->commentLength;
        if (bytesAfter ? commentEnd > b.size() : commentEnd != b.size()) continue;
        ZipEndFound found;
        found.record = *end;
        found.offset = fileSize - window + i;
        found.comment = Text(b.subspan(i + kEndSize, std::min<std::size_t>(end->commentLength, maxComment)));
        return found;
    }
    return std::nullopt;
}

std::optional<ZipDirectoryEnd> ResolveZipEnd(const Fetch& in, const ZipEndFound& end) {
    ZipDirectoryEnd d;
    const ZipEndRecord& e = end.record;
    d.thisDisk = e.thisDisk;
    d.centralDisk = e.centralDisk;
    d.entriesThisDisk = e.entriesThisDisk;
    d.entries = e.entries;
    d.centralSize = e.centralSize;
    d.centralOffset = e.centralOffset;
    d.directoryEnd = end.offset;
    if (end.offset < kEnd64LocatorSize) return d;
    const std::uint64_t locatorAt = end.offset - kEnd64LocatorSize;
    LeReader loc{in(locatorAt, kEnd64LocatorSize)};
    if (loc.u32() != kEnd64LocatorSig) return d;
    const std::uint32_t recordDisk = loc.u32();
    const std::uint64_t stored = loc.u64();
    if (!loc.ok() || recordDisk != e.thisDisk) return std::nullopt;
    // The record stands where the locator says, or -- when bytes in front of the zip moved
    // everything -- right in front of the locator.
    auto recordAt = [&](std::uint64_t at) -> std::optional<ZipDirectoryEnd> {
        if (at > locatorAt || locatorAt - at < kEnd64Size) return std::nullopt;
        LeReader r{in(at, kEnd64Size)};
        if (r.u32() != kEnd64Sig || r.u64() != locatorAt - at - 12) return std::nullopt;
        r.skip(4);
        ZipDirectoryEnd z = d;
        z.thisDisk = r.u32();
        z.centralDisk = r.u32();
        z.entriesThisDisk = r.u64();
        z.entries = r.u64();
        z.centralSize = r.u64();
        z.centralOffset = r.u64();
        z.directoryEnd = at;
        z.zip64 = true;
        if (!r.ok()) return std::nullopt;
        return z;
    };
    if (auto z = recordAt(stored)) return z;
    return recordAt(locatorAt - kEnd64Size);
}

ZipCentralRead ReadZipCentral(const Fetch& in, std::uint64_t offset, ZipCentralRecord& out,
                              std::size_t maxComment) {
    Bytes b = in(offset, kCentralSize);
    if (b.size() < 4) return ZipCentralRead::Short;
    const std::uint32_t sig = GetLE32(b.data());
    if (sig != kCentralSig) return IsTrailerSig(sig) ? ZipCentralRead::Trailer : ZipCentralRead::Foreign;
    auto h = parseZipCentral(b);
    if (!h) return ZipCentralRead::Short;
    Bytes var = in(offset + kCentralSize, h->variableLength());
    if (var.size() < h->variableLength()) return ZipCentralRead::VarShort;
    out.zip64 = h->packedSize == k32Max || h->size == k32Max || h->localOffset == k32Max;
    out.rawName.assign(var.begin(), var.begin() + h->nameLength);
    const Bytes extra = var.subspan(h->nameLength, h->extraLength);
    out.extra.assign(extra.begin(), extra.end());
    const Bytes comment = var.subspan(std::size_t{h->nameLength} + h->extraLength,
                                      std::min<std::size_t>(h->commentLength, maxComment));
    out.comment.assign(comment.begin(), comment.end());
    (void)applyZip64Extra(extra, *h);
    out.header = *h;
    out.next = offset + kCentralSize + h->variableLength();
    return ZipCentralRead::Record;
}

ZipLocalRead ReadZipLocal(const Fetch& in, std::uint64_t offset, ZipLocalRecord& out) {
    Bytes b = in(offset, kLocalSize);
    if (b.size() < 4) return ZipLocalRead::End;
    out.signature = GetLE32(b.data());
    if (out.signature != kLocalSig)
        return IsTrailerSig(out.signature) ? ZipLocalRead::Trailer : ZipLocalRead::Foreign;
    auto h = parseZipLocal(b);
    if (!h) return ZipLocalRead::Short;
    const std::size_t varLength = std::size_t{h->nameLength} + h->extraLength;
    Bytes var = in(offset + kLocalSize, varLength);
    if (var.size() < varLength) return ZipLocalRead::VarShort;
    out.header = *h;
    out.rawName.assign(var.begin(), var.begin() + h->nameLength);
    const Bytes extra = var.subspan(h->nameLength);
    out.extra.assign(extra.begin(), extra.end());
    out.packedSize = h->packedSize;
    out.size = h->size;
    out.zip64 = h->packedSize == k32Max || h->size == k32Max;
    // A local zip64 extra holds both sizes, the size first.
    if (out.zip64)
        if (auto z = findZipExtra(extra, kExtraZip64); z && z->size() >= 16) {
            out.size = GetLE64(z->data());
            out.packedSize = GetLE64(z->data() + 8);
        }
    out.data = offset + kLocalSize + varLength;
    return ZipLocalRead::Record;
}

} // namespace pvcommon::zip
