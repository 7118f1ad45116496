// The BH writer: headers, stored, Fuse and deflated data with the fall-back to stored, the
// encryption header, and the walk of existing archives.
#include "archive/format/aeBlakHole.h"
#include "archive/codec/aeCrypt.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"

#include "common/LittleEndian.h"
#include "platform/fileio.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int64_t kMaxFieldValue = 0xFFFFFFFFll;
constexpr size_t kHeaderSize = 37;
constexpr uint8_t kEncrypted = 1;

} // namespace

TBlakHole::TBlakHole() {
    FArcType = atBh;
    FOwnDefaultExt = FDefaultExt = ".bh";
    FAllowedMethods = MethodBit(cmStore) | MethodBit(cmDeflate) | MethodBit(cmFuse);
    FCompressMethod = cmFuse;
}

void TBlakHole::SetArcType(TArcType) {
    FArcType = atBh;
}

// ---- a new entry ----

platform::EncodedName TBlakHole::EncodeName(const std::string& Stored) const {
    platform::EncodedName e = platform::encodeUnflaggedName(Stored);
    e.bytes = BackslashToSlash(e.bytes);
    return e;
}

bool TBlakHole::AddFile(int TempHandle, const std::string& Name, THeadObject& Header) {
    uint8_t h[kHeaderSize] = {};
    std::string rawName; // '/' between folders
    bool encrypt = false;
    uint32_t date = 0;
    uint8_t method = 0;
    int64_t packed = 0;
    uint32_t crc = 0;
    TNewEntry entry;
    entry.Refuse = [&](const std::string& Stored, int64_t Size, std::string& Why) -> int {
        rawName = EncodeName(Stored).bytes;
        if (rawName.size() > 0xFFFF - kHeaderSize) {
            Why = "name too long";
            return kMsgInvalidName;
        }
        if (Size > kMaxFieldValue) {
            Why = "a file of 4 GiB or more does not fit a BH header";
            return kMsgWriteError;
        }
        return 0;
    };
    entry.WriteHead = [&](int Temp, int64_t Offset) {
        if (Offset > kMaxFieldValue) {
            RaiseError(FArchiveFile, "the archive would grow past 4 GiB", "0", kMsgWriteError);
        }
        pvcommon::PutLE32(h, aehdr::kBhSig);
        pvcommon::PutLE16(h + 4, static_cast<uint32_t>(kHeaderSize + rawName.size()));
        h[6] = static_cast<uint8_t>(kHeaderSize);
        h[7] = 3;
        h[8] = 14;
        encrypt = !Password.empty() && Header.UncompressedSize > 0;
        h[9] = encrypt ? kEncrypted : 0;
        date = StoredDate(Header.DosDate);
        pvcommon::PutLE32(h + 11, date);
        pvcommon::PutLE32(h + 19, static_cast<uint32_t>(Header.UncompressedSize));
        pvcommon::PutLE16(h + 27, Header.Attr & 0xFFFF);
        pvcommon::PutLE16(h + 33, static_cast<uint32_t>(rawName.size()));
        std::vector<uint8_t> head(h, h + kHeaderSize);
        head.insert(head.end(), rawName.begin(), rawName.end());
        WriteBlockEncrypted(Temp, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
        return static_cast<int64_t>(head.size());
    };
    entry.WriteData = [&](int Source, int Temp, int64_t DataStart) {
        const int64_t size = Header.UncompressedSize;
        uint32_t firstPass = 0;
        if (encrypt && !FileCrc32(Source, firstPass, nullptr, {}, size))
            RaiseError(Name, "", "0", kMsgReadError);
        const auto start = [&] {
            if (encrypt) WriteCryptHeader(Temp, firstPass);
            h[9] = encrypt ? kEncrypted : 0;
        };
        const auto code = [&](TCompressMethod m) {
            if (m == cmDeflate) {
                const TDeflateResult r = DeflateSource(Source, Temp, encrypt);
                if (Cancel()) throw E_RAISE(kMsgUserCanceled);
                if (r.Stored) {
                    method = 0;
                    return true;
                }
                // Deflating made the data bigger: stored instead, as the zip writer does.
                if (FCompressedSize >= size) return false;
                method = 8;
                h[9] = static_cast<uint8_t>(DeflateFlags(h[9], DeflateLevel()));
                return true;
            }
            method = 1;
            return !LzhEncodeSource(Source, Temp, encrypt, ae::LzhEncodeParams::Fuse()).Incompressible;
        };
        const TEntryData data{Name, Source, Temp, size, DataStart, 32, encrypt};
        if (WriteEntryData(data, CompressMethod(), start, code) == cmStore) method = 0;
        packed = FCompressedSize;
        // Both passes must have read the same bytes: the encryption header holds the first.
        if (encrypt && Ctx().Crc32Value != firstPass)
            RaiseError(Name, "the file changed while it was added", "0", kMsgReadError);
        crc = Ctx().Crc32Value ^ 0xFFFFFFFFu;
        if (encrypt) packed += static_cast<int64_t>(kZipHeaderSize);
        if (packed > kMaxFieldValue) RaiseError(Name, "the entry would grow past 4 GiB", "0", kMsgReadError);
    };
    entry.WriteFinal = [&](int Temp) {
        h[10] = method;
        pvcommon::PutLE32(h + 15, static_cast<uint32_t>(packed));
        pvcommon::PutLE32(h + 23, crc);
        WriteBlockEncrypted(Temp, nullptr, 1, kHeaderSize, 0, false, h);
        Header.Header.assign(h, h + kHeaderSize);
        Header.Comment.clear();
        Header.CompressedSize = packed;
        Header.DosDate = date;
        Header.StoredLength = static_cast<int64_t>(kHeaderSize + rawName.size()) + packed;
    };
    return WriteNewEntry(TempHandle, Name, Header, entry);
}

// ---- existing entries ----

void TBlakHole::ScanExisting(int ArchiveHandle) {
    THeaderReader reader{ArchiveHandle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    uint64_t offset = static_cast<uint64_t>(ArcStart - 1);
    while (offset < size) {
        const auto e = readEntry(reader, offset, size);
        // A damaged header would lose what follows it: the archive is left alone.
        if (!e) RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        const aehdr::BhHeader& h = e->Parsed;
        if (!DeletedBySpec(e->Name)) {
            auto head = std::make_unique<THeadObject>();
            head->Header = e->Raw;
            if (h.commentLength > 0) {
                const aehdr::Bytes cb =
                    reader.Fetch(offset + kHeaderSize + h.nameLength + h.packedSize, h.commentLength);
                head->Comment.assign(cb.begin(), cb.end());
            }
            head->CompressedSize = h.packedSize;
            head->UncompressedSize = h.size;
            head->DosDate = h.dosDateTime;
            head->Attr = h.attributes;
            head->Offset = static_cast<int64_t>(offset);
            head->StoredLength = static_cast<int64_t>(e->Length);
            head->Action = eaKeep;
            AddListEntry(e->Name, std::move(head));
        }
        offset += e->Length;
    }
}

std::optional<TBlakHole::TEntryAt> TBlakHole::readEntry(THeaderReader& Reader, uint64_t Offset,
                                                        uint64_t Size) {
    TEntryAt e;
    const aehdr::Bytes b = Reader.Fetch(Offset, kHeaderSize);
    const auto h = b.size() == kHeaderSize ? aehdr::parseBhHeader(b) : std::nullopt;
    if (!h) return std::nullopt;
    e.Raw.assign(b.begin(), b.end());
    e.Parsed = *h;
    e.Length = uint64_t{kHeaderSize} + h->nameLength + h->commentLength + h->packedSize;
    if (e.Length > Size - Offset) return std::nullopt;
    const aehdr::Bytes nb = Reader.Fetch(Offset + kHeaderSize, h->nameLength);
    e.Name = OemToAnsiName(std::string(nb.begin(), nb.end()));
    return e;
}

void TBlakHole::WriteDirectory() {
    ReportAddedEntries([this](const TEntryItem& Item, int64_t&) {
        const std::vector<uint8_t>& header = Item.Head->Header;
        const auto bh = aehdr::parseBhHeader(aehdr::Bytes(header.data(), header.size()));
        if (bh) setEntryProperties(*bh);
        return bh.has_value();
    });
}

void TBlakHole::setEntryProperties(const aehdr::BhHeader& H) {
    FileDate = static_cast<int32_t>(H.dosDateTime) > 0 ? DosDateToDateTime(H.dosDateTime) : 0;
    PackedSize = H.packedSize;
    UnpackedSize = H.size;
    FileCRC = H.crc32;
    Encrypted = (H.flags & kEncrypted) != 0;
    VersionMadeBy = H.versionMadeBy;
    VersionNeeded = H.versionNeeded;
    MethodCode = H.method;
    MethodName = GetMethodName(H.method, H.flags);
    FileAttr = H.attributes;
    Ratio = GetRatio(PackedSize, UnpackedSize);
}

// ---- listing (swRead) ----

bool TBlakHole::ReadHeader(std::string& Name, int Handle, bool) {
    THeaderReader reader{Handle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    const auto offset = static_cast<uint64_t>(FNextHeader);
    if (offset >= size) return false;
    const auto e = readEntry(reader, offset, size);
    if (!e) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return false;
    }
    Name = e->Name;
    CurrentOffset = FNextHeader;
    FNextHeader = static_cast<int64_t>(offset + e->Length);
    setEntryProperties(e->Parsed);
    return true;
}
