// The BH writer: headers, stored, Fuse and deflated data with the fall-back to stored, the
// encryption header, and the walk of existing archives.
#include "archive/format/aeBlakHole.h"
#include "archive/codec/aeCrypt.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"

#include "platform/fileio.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int64_t kMaxFieldValue = 0xFFFFFFFFll;
constexpr int64_t kCrcPassBlock = 100000;
constexpr size_t kHeaderSize = 37;
constexpr uint8_t kEncrypted = 1;

constexpr std::array<const char*, 19> kCompressedExts = {
    ".UUE", ".XXE", ".ENC", ".TAR", ".Z",   ".GZ",  ".ZIP", ".ZOO", ".LHA", ".LZH",
    ".ARC", ".ARJ", ".BH",  ".PAK", ".CAB", ".RAR", ".JAR", ".ACE", ".TGZ"};

bool compressedByExtension(const std::string& Name) {
    const std::string file = ExtractFileNamePart(Name);
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = file.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return std::any_of(kCompressedExts.begin(), kCompressedExts.end(),
                       [&](const char* e) { return ext == e; });
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct FileGuard {
    int fd = -1;
    ~FileGuard() {
        if (fd >= 0) platform::closeFile(fd);
    }
};

// The CRC-32 register over the whole source, from its start.
bool crcPass(int fd, int64_t size, uint32_t& crc) {
    crc = 0xFFFFFFFF;
    if (platform::seekFile(fd, 0) != 0) return false;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(size, 1, kCrcPassBlock)));
    for (int64_t left = size; left > 0;) {
        const int64_t want = std::min(left, kCrcPassBlock);
        if (platform::readFile(fd, buffer.data(), want) != want) return false;
        Crc32Update(buffer.data(), static_cast<size_t>(want), crc);
        left -= want;
    }
    return true;
}

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

bool TBlakHole::AddFile(int TempHandle, const std::string& Name, THeadObject& Header) {
    BuildOutputName(Name);
    std::string stored = FileName;
    if (!BeginFile(stored, FileCount)) {
        Header.Action = eaSkip;
        return false;
    }
    FileName = stored;
    const int64_t size = Header.UncompressedSize;
    const std::string rawName = AnsiToOemName(stored); // '/' between folders
    const auto refuse = [&](const std::string& why, int code) {
        ReportError(Name, why, "0", code);
        Header.Action = eaSkip;
        BytesLeft -= size;
        FireEvent(OnEnd, *this, stored, false);
        return false;
    };
    if (rawName.size() > 0xFFFF - kHeaderSize) return refuse("name too long", kMsgInvalidName);
    if (size > kMaxFieldValue)
        return refuse("a file of 4 GiB or more does not fit a BH header", kMsgWriteError);

    int src = -1;
    if (!OpenSourceFile(src, Name, size)) {
        FireEvent(OnEnd, *this, stored, false);
        return false;
    }
    FileGuard source{src};
    const int64_t offset = platform::fileSize(TempHandle);
    if (offset < 0 || platform::seekFile(TempHandle, offset) != offset) WriteError();
    if (offset > kMaxFieldValue) {
        ReportError(FArchiveFile, "the archive would grow past 4 GiB", "0", kMsgWriteError);
        throw E_RAISE(kMsgWriteError);
    }

    uint8_t h[kHeaderSize] = {};
    put32(h, aehdr::kBhSig);
    put16(h + 4, static_cast<uint32_t>(kHeaderSize + rawName.size()));
    h[6] = static_cast<uint8_t>(kHeaderSize);
    h[7] = 3;
    h[8] = 14;
    const bool encrypt = !Password.empty() && size > 0;
    h[9] = encrypt ? kEncrypted : 0;
    const uint32_t date = StoredDate(Header.DosDate);
    put32(h + 11, date);
    put32(h + 19, static_cast<uint32_t>(size));
    put16(h + 27, Header.Attr & 0xFFFF);
    put16(h + 33, static_cast<uint32_t>(rawName.size()));
    std::vector<uint8_t> head(h, h + kHeaderSize);
    head.insert(head.end(), rawName.begin(), rawName.end());
    WriteBlockEncrypted(TempHandle, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
    const int64_t dataStart = offset + static_cast<int64_t>(head.size());

    uint8_t method = 0;
    int64_t packed = 0;
    uint32_t crc = 0;
    bool ok = true;
    try {
        if (size > 0) {
            uint32_t firstPass = 0;
            if (encrypt && !crcPass(src, size, firstPass)) RaiseError(Name, "", "0", kMsgReadError);
            const auto startData = [&] {
                if (encrypt) {
                    TZipCryptHeader ch = ZipMakeHeader(Ctx().Keys, Password, firstPass ^ 0xFFFFFFFFu);
                    WriteBlockEncrypted(TempHandle, nullptr, 1, kZipHeaderSize, 0, false, ch.data());
                }
                FCompressedSize = 0;
                Ctx().Crc32Value = 0xFFFFFFFF;
                if (platform::seekFile(src, 0) != 0) RaiseError(Name, "", "0", kMsgReadError);
                FBytesToRead = size;
            };
            TCompressMethod m = CompressMethod();
            if (StoreAlreadyCompressedFiles && compressedByExtension(stored)) m = cmStore;
            const int64_t left = BytesLeft;
            for (;;) {
                startData();
                h[9] = encrypt ? kEncrypted : 0;
                if (m == cmStore) {
                    method = 0;
                    packed = CopySource(src, size, 32, encrypt, TempHandle);
                    if (packed != size) {
                        if (Cancel()) throw E_RAISE(kMsgUserCanceled);
                        RaiseError(Name, "", "0", kMsgReadError);
                    }
                    break;
                }
                if (m == cmDeflate) {
                    const TDeflateResult r = DeflateSource(src, TempHandle, encrypt);
                    if (Cancel()) throw E_RAISE(kMsgUserCanceled);
                    packed = FCompressedSize;
                    if (r.Stored) {
                        method = 0;
                        break;
                    }
                    if (packed < size) {
                        method = 8;
                        h[9] = static_cast<uint8_t>(DeflateFlags(h[9], DeflateLevel()));
                        break;
                    }
                    // Deflating made the data bigger: stored instead, as the zip writer does.
                    if (!platform::truncateFile(TempHandle, dataStart) ||
                        platform::seekFile(TempHandle, dataStart) != dataStart)
                        WriteError();
                    BytesLeft = left;
                    m = cmStore;
                    continue;
                }
                method = 1;
                const ae::LzhEncodeResult r =
                    LzhEncodeSource(src, TempHandle, encrypt, ae::LzhEncodeParams::Fuse());
                packed = FCompressedSize;
                if (!r.Incompressible) break;
                // Not smaller: stored instead, from the entry's data start.
                if (!platform::truncateFile(TempHandle, dataStart) ||
                    platform::seekFile(TempHandle, dataStart) != dataStart)
                    WriteError();
                BytesLeft = left;
                m = cmStore;
            }
            // Both passes must have read the same bytes: the encryption header holds the first.
            if (encrypt && Ctx().Crc32Value != firstPass) {
                RaiseError(Name, "the file changed while it was added", "0", kMsgReadError);
            }
            crc = Ctx().Crc32Value ^ 0xFFFFFFFFu;
            if (encrypt) packed += static_cast<int64_t>(kZipHeaderSize);
            if (packed > kMaxFieldValue)
                RaiseError(Name, "the entry would grow past 4 GiB", "0", kMsgReadError);
        }
    } catch (const E_RAISE& e) {
        // A failed write (a full disk) ends the run; the original archive stays as it was.
        if (e.ECode == kMsgWriteError) throw;
        ok = false;
    } catch (const std::exception&) {
        ReportError(Name, "", "0", kMsgReadError);
        ok = false;
    }
    if (!ok || Cancel()) {
        // The entry is cut off the temporary archive: it is never recorded with part of its data.
        if (!platform::truncateFile(TempHandle, offset) || platform::seekFile(TempHandle, offset) != offset)
            WriteError();
        Header.Action = eaSkip;
        FireEvent(OnEnd, *this, stored, false);
        return false;
    }

    h[10] = method;
    put32(h + 15, static_cast<uint32_t>(packed));
    put32(h + 23, crc);
    if (platform::seekFile(TempHandle, offset) != offset) WriteError();
    WriteBlockEncrypted(TempHandle, nullptr, 1, kHeaderSize, 0, false, h);
    if (platform::seekFile(TempHandle, 0, platform::SeekFrom::End) < 0) WriteError();

    Header.Header.assign(h, h + kHeaderSize);
    Header.Comment.clear();
    Header.CompressedSize = packed;
    Header.DosDate = date;
    Header.Offset = offset;
    Header.StoredLength = dataStart - offset + packed;
    FireEvent(OnEnd, *this, stored, true);
    return true;
}

// ---- existing entries ----

void TBlakHole::ScanExisting(int ArchiveHandle) {
    THeaderReader reader{ArchiveHandle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    uint64_t offset = static_cast<uint64_t>(ArcStart - 1);
    while (offset < size) {
        const aehdr::Bytes b = reader.Fetch(offset, kHeaderSize);
        const auto h = b.size() == kHeaderSize ? aehdr::parseBhHeader(b) : std::nullopt;
        // A damaged header would lose what follows it: the archive is left alone.
        const uint64_t length =
            h ? uint64_t{kHeaderSize} + h->nameLength + h->commentLength + h->packedSize : 0;
        if (!h || length > size - offset) RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        auto head = std::make_unique<THeadObject>();
        head->Header.assign(b.begin(), b.end());
        const aehdr::Bytes nb = reader.Fetch(offset + kHeaderSize, h->nameLength);
        const std::string name = OemToAnsiName(std::string(nb.begin(), nb.end()));
        if (Switch == swDelete && MatchesFileSpec(name, false)) {
            ++FDeletedCount;
        } else {
            if (h->commentLength > 0) {
                const aehdr::Bytes cb =
                    reader.Fetch(offset + kHeaderSize + h->nameLength + h->packedSize, h->commentLength);
                head->Comment.assign(cb.begin(), cb.end());
            }
            head->CompressedSize = h->packedSize;
            head->UncompressedSize = h->size;
            head->DosDate = h->dosDateTime;
            head->Attr = h->attributes;
            head->Offset = static_cast<int64_t>(offset);
            head->StoredLength = static_cast<int64_t>(length);
            head->Action = eaKeep;
            AddListEntry(name, std::move(head));
        }
        offset += length;
    }
}

void TBlakHole::WriteDirectory() {
    for (size_t i = 0; i < EntryCount(); ++i) {
        TEntryItem& item = Entry(i);
        if (!item.Head || item.Head->Action == eaSkip) continue;
        const THeadObject& h = *item.Head;
        TotalUnpackedSize += h.UncompressedSize;
        TotalPackedSize += h.CompressedSize;
        if (h.Action != eaNew || Switch == swDelete || !OnRead) continue;
        const auto bh = aehdr::parseBhHeader(aehdr::Bytes(h.Header.data(), h.Header.size()));
        if (!bh) continue;
        FileName = item.Name;
        VersionMadeBy = bh->versionMadeBy;
        VersionNeeded = bh->versionNeeded;
        PackedSize = bh->packedSize;
        UnpackedSize = bh->size;
        FileCRC = bh->crc32;
        Encrypted = (bh->flags & kEncrypted) != 0;
        MethodCode = bh->method;
        MethodName = GetMethodName(bh->method, bh->flags);
        FileAttr = bh->attributes;
        Ratio = GetRatio(PackedSize, UnpackedSize);
        FileDate = static_cast<int32_t>(bh->dosDateTime) > 0 ? DosDateToDateTime(bh->dosDateTime) : 0;
        FireEvent(OnRead, *this, h.Offset, static_cast<int>(i));
    }
}

// ---- listing (swRead) ----

bool TBlakHole::ReadFirstHeader(std::string& Name, int Handle) {
    FNextHeader = ArcStart - 1;
    return ReadHeader(Name, Handle, false);
}

bool TBlakHole::ReadHeader(std::string& Name, int Handle, bool) {
    THeaderReader reader{Handle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    const auto offset = static_cast<uint64_t>(FNextHeader);
    if (offset >= size) return false;
    const aehdr::Bytes b = reader.Fetch(offset, kHeaderSize);
    const auto h = b.size() == kHeaderSize ? aehdr::parseBhHeader(b) : std::nullopt;
    const uint64_t length = h ? uint64_t{kHeaderSize} + h->nameLength + h->commentLength + h->packedSize : 0;
    if (!h || length > size - offset) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return false;
    }
    const aehdr::Bytes nb = reader.Fetch(offset + kHeaderSize, h->nameLength);
    Name = OemToAnsiName(std::string(nb.begin(), nb.end()));
    CurrentOffset = FNextHeader;
    FNextHeader = static_cast<int64_t>(offset + length);
    FileDate = static_cast<int32_t>(h->dosDateTime) > 0 ? DosDateToDateTime(h->dosDateTime) : 0;
    PackedSize = h->packedSize;
    UnpackedSize = h->size;
    FileCRC = h->crc32;
    Encrypted = (h->flags & kEncrypted) != 0;
    VersionMadeBy = h->versionMadeBy;
    VersionNeeded = h->versionNeeded;
    MethodCode = h->method;
    MethodName = GetMethodName(h->method, h->flags);
    FileAttr = h->attributes;
    Ratio = GetRatio(PackedSize, UnpackedSize);
    return true;
}
