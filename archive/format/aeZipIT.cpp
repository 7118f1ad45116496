// The zip and jar writers: the old archive's directory, new entries (stored, deflated,
// encrypted), the central directory and end record, and spanning over removable disks.
#include "archive/format/aeZipIT.h"

#include "archive/aeDiskMan.h"
#include "archive/aeHeaders.h"
#include "archive/aeMsgs.h"

#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/volumes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int64_t kCopyBlock = 32768;
constexpr int64_t kEndSearch = 65535 + 22; // the longest archive comment and the end record
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kCentralVersionMadeBy = 20;
constexpr uint16_t kMadeByUnix = 3 << 8;
constexpr uint32_t kUnixRegularFile = 0100000;
constexpr uint16_t kCentralVersionNeeded = 9;
constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8;

std::string limitText(const std::string& what) {
    return what + " (zip archives are written without Zip64)";
}

bool writeAll(int fd, const void* p, int64_t n) {
    return platform::writeFile(fd, p, n) == n;
}

} // namespace

// ---- construction ----

TZip::TZip() {
    FOwnType = atZip;
    FArcType = atZip;
    FAllowedMethods = MethodBit(cmStore) | MethodBit(cmDeflate);
    FCompressMethod = cmDeflate;
    FOwnDefaultExt = FDefaultExt = ".zip";
}

TJar::TJar() {
    FOwnType = atJar;
    FArcType = atJar;
    FOwnDefaultExt = FDefaultExt = ".jar";
}

void TZip::SetArcType(TArcType) {
    FArcType = FOwnType;
}

void TZip::Run() {
    FRaw.clear();
    FArchiveComment.clear();
    FWalk = {};
    try {
        TCompBase::Run();
    } catch (...) {
        FRaw.clear();
        throw;
    }
    FRaw.clear();
}

std::string TZip::TempArchiveDir() {
    std::string folder = ExtractDirPart(FArchiveFile);
    if (folder.empty()) folder = platform::currentDir();
    if (platform::dirExists(folder) && platform::driveKind(folder) == platform::DriveKind::Removable)
        return TempDir();
    return TCompBase::TempArchiveDir();
}

// ---- errors ----

void TZip::raiseLimit(const std::string& FN, const std::string& What) {
    const std::string text = limitText(What);
    ReportError(FN, text, "0", kMsgWriteError);
    throw E_RAISE(kMsgWriteError, FN + ": " + text);
}

// ---- the old archive ----

bool TZip::locateEnd(int Handle, bool Strict) {
    const auto corrupt = [&](const std::string& why) {
        if (Strict) RaiseError(FArchiveFile, why, "0", kMsgBadFileHeader);
        return false;
    };
    const int64_t size = ArchiveSize;
    const int64_t tail = std::min(size, kEndSearch);
    std::vector<uint8_t> buffer(static_cast<size_t>(tail));
    if (tail < 22 || !platform::readAt(Handle, size - tail, buffer.data(), tail))
        return corrupt("no end of central directory");
    // The last signature whose record, comment included, lies inside the file.
    int64_t at = -1;
    for (int64_t i = tail - 22; i >= 0; --i) {
        const uint8_t* p = buffer.data() + i;
        if (aehdr::le32(p) != aehdr::kZipEndSig) continue;
        if (i + 22 + aehdr::le16(p + 20) <= tail) {
            at = i;
            break;
        }
    }
    if (at < 0) return corrupt("no end of central directory");
    const auto end = aehdr::parseZipEnd(aehdr::Bytes(buffer.data() + at, 22));
    if (!end) return corrupt("no end of central directory");
    const int64_t endPos = size - tail + at;
    std::copy_n(buffer.data() + at, 22, ZipEndRecord.begin());
    if (end->thisDisk != 0 || end->centralDisk != 0) {
        if (!Strict) return false;
        RaiseError(FArchiveFile, "a set spanned over several disks cannot be updated", "0", kMsgBadArcType);
    }
    const bool zip64 = end->centralOffset == aehdr::kZip32Max || end->centralSize == aehdr::kZip32Max ||
                       (endPos >= 20 && end->entries == 0xFFFF && [&] {
                           uint8_t loc[4];
                           return platform::readAt(Handle, endPos - 20, loc, 4) &&
                                  aehdr::le32(loc) == aehdr::kZip64LocatorSig;
                       }());
    if (zip64) {
        if (!Strict) return false;
        RaiseError(FArchiveFile, limitText("a Zip64 archive cannot be updated"), "0", kMsgBadArcType);
    }
    // Bytes in front of the archive (a program part) shift every stored offset.
    const int64_t cdStart = endPos - static_cast<int64_t>(end->centralSize);
    if (cdStart < 0 || cdStart < static_cast<int64_t>(end->centralOffset))
        return corrupt("central directory outside the file");
    FWalk.Bias = cdStart - static_cast<int64_t>(end->centralOffset);
    FWalk.Pos = cdStart;
    FWalk.End = endPos;
    FWalk.Left = end->entries;
    FArchiveComment.assign(buffer.begin() + at + 22, buffer.begin() + at + 22 + end->commentLength);
    return true;
}

bool TZip::readCentral(int Handle, std::string& Name, TRawEntry& Raw, std::vector<uint8_t>& Comment,
                       aehdr::ZipCentralHeader& H) {
    if (FWalk.Left == 0) return false;
    const auto corrupt = [&](const std::string& why) {
        RaiseError(FArchiveFile, why, "0", kMsgBadFileHeader);
    };
    if (FWalk.End - FWalk.Pos < 46) corrupt("central directory too short");
    uint8_t c[46];
    if (!platform::readAt(Handle, FWalk.Pos, c, 46)) corrupt("central directory unreadable");
    const auto h = aehdr::parseZipCentral(aehdr::Bytes(c, 46));
    if (!h) corrupt("bad central header");
    const int64_t variable = static_cast<int64_t>(h->variableLength());
    if (FWalk.End - FWalk.Pos - 46 < variable) corrupt("name running past its header");
    std::vector<uint8_t> rest(static_cast<size_t>(variable));
    if (variable > 0 && !platform::readAt(Handle, FWalk.Pos + 46, rest.data(), variable))
        corrupt("central directory unreadable");
    Raw.Name.assign(rest.begin(), rest.begin() + h->nameLength);
    Raw.Extra.assign(rest.begin() + h->nameLength, rest.begin() + h->nameLength + h->extraLength);
    Comment.assign(rest.begin() + h->nameLength + h->extraLength, rest.end());
    if (h->packedSize == aehdr::kZip32Max || h->size == aehdr::kZip32Max ||
        h->localOffset == aehdr::kZip32Max)
        RaiseError(FArchiveFile, limitText("a Zip64 entry cannot be kept"), "0", kMsgBadArcType);
    // The entry's local header and data must lie in front of the central directory.
    const int64_t local = static_cast<int64_t>(h->localOffset) + FWalk.Bias;
    const int64_t cdStart = FWalk.End - static_cast<int64_t>(aehdr::le32(ZipEndRecord.data() + 12));
    if (local < 0 ||
        local + 30 + static_cast<int64_t>(h->nameLength) + static_cast<int64_t>(h->packedSize) > cdStart)
        corrupt("entry outside the file");
    H = *h;
    std::copy_n(c, 46, ZipCentralHeader.begin());
    Name = BackslashToSlash(platform::decodeArchiveName(Raw.Name, (h->flags & aehdr::kZipFlagUtf8) != 0));
    FWalk.Pos += 46 + variable;
    --FWalk.Left;
    CurrentOffset = local;
    return true;
}

bool TZip::readLocal(int Handle, std::string& Name) {
    uint8_t l[30];
    if (CurrentOffset < 0 || CurrentOffset + 30 > ArchiveSize ||
        !platform::readAt(Handle, CurrentOffset, l, 30))
        return false;
    const auto h = aehdr::parseZipLocal(aehdr::Bytes(l, 30));
    if (!h || CurrentOffset + 30 + h->nameLength > ArchiveSize) return false;
    std::string raw(h->nameLength, '\0');
    if (!platform::readAt(Handle, CurrentOffset + 30, raw.data(), h->nameLength)) return false;
    std::copy_n(l, 30, ZipLocalHeader.begin());
    Name = BackslashToSlash(platform::decodeArchiveName(raw, (h->flags & aehdr::kZipFlagUtf8) != 0));
    CurrentOffset += 30 + h->nameLength + h->extraLength + h->packedSize;
    return true;
}

bool TZip::ReadFirstHeader(std::string& Name, int Handle) {
    if (!locateEnd(Handle, false)) return false;
    return ReadHeader(Name, Handle, false);
}

bool TZip::ReadHeader(std::string& Name, int Handle, bool Flag) {
    if (Flag) return readLocal(Handle, Name);
    TRawEntry raw;
    std::vector<uint8_t> comment;
    aehdr::ZipCentralHeader h;
    if (!readCentral(Handle, Name, raw, comment, h)) return false;
    setEntryProperties(Name, h);
    FileComment.assign(comment.begin(), comment.end());
    return true;
}

void TZip::ScanExisting(int ArchiveHandle) {
    // Only a missing or empty file starts a new archive: anything else must be a zip.
    if (ArchiveSize == 0) return;
    locateEnd(ArchiveHandle, true);
    std::string name;
    TRawEntry raw;
    std::vector<uint8_t> comment;
    aehdr::ZipCentralHeader h;
    // Bytes in front of the first entry (a self-extractor's program) stay in front.
    int64_t prefix = FWalk.End - static_cast<int64_t>(aehdr::le32(ZipEndRecord.data() + 12));
    while (readCentral(ArchiveHandle, name, raw, comment, h)) {
        prefix = std::min(prefix, CurrentOffset);
        if (FNoRewrite) {
            AddListEntry(name, nullptr);
            continue;
        }
        if (DeletedBySpec(name)) continue;
        auto head = std::make_unique<THeadObject>();
        head->Header.assign(ZipCentralHeader.begin(), ZipCentralHeader.end());
        head->CompressedSize = static_cast<int64_t>(h.packedSize);
        head->UncompressedSize = static_cast<int64_t>(h.size);
        head->DosDate = h.dosDateTime;
        // A Unix entry's mode is no DOS attribute: its low byte compares with a found file's.
        head->Attr = (h.versionMadeBy >> 8) == (kMadeByUnix >> 8) ? (h.externalAttr & 0xFF) : h.externalAttr;
        head->Offset = CurrentOffset; // where the writer base copies the entry from
        head->Action = eaKeep;
        head->Comment = comment;
        FRaw[head.get()] = raw;
        AddListEntry(name, std::move(head));
    }
    if (prefix > 0 && platform::fileSize(FTempHandle) == 0 &&
        (platform::seekFile(ArchiveHandle, 0) != 0 ||
         CopyBlock(ArchiveHandle, prefix, 0, false, FTempHandle) != prefix))
        WriteError();
}

void TZip::setEntryProperties(const std::string& Name, const aehdr::ZipCentralHeader& H) {
    FileName = Name;
    VersionMadeBy = static_cast<uint8_t>(H.versionMadeBy);
    VersionNeeded = static_cast<uint8_t>(H.versionNeeded);
    PackedSize = static_cast<int64_t>(H.packedSize);
    UnpackedSize = static_cast<int64_t>(H.size);
    FileCRC = H.crc32;
    Encrypted = (H.flags & aehdr::kZipFlagEncrypted) != 0;
    MethodCode = H.method;
    MethodName = GetMethodName(H.method, H.flags);
    ExternalAttr = H.externalAttr;
    FileAttr = H.internalAttr;
    Ratio = GetRatio(PackedSize, UnpackedSize);
    FileDate = static_cast<int32_t>(H.dosDateTime) > 0 ? DosDateToDateTime(H.dosDateTime) : 0;
}

// ---- a new entry ----

platform::EncodedName TZip::EncodeName(const std::string& Stored) const {
    platform::EncodedName e = platform::encodeArchiveName(Stored, true);
    e.bytes = BackslashToSlash(e.bytes);
    return e;
}

bool TZip::AddFile(int TempHandle, const std::string& Name, THeadObject& Header) {
    const int64_t size = Header.UncompressedSize;
    std::string rawName;
    bool utf8 = false;
    bool encrypt = false;
    aehdr::ZipLocalHeader lh;
    int64_t offset = 0;
    int64_t packed = 0;
    uint32_t crc = 0;
    TNewEntry entry;
    entry.Refuse = [&](const std::string& Stored, int64_t Size, std::string& Why) -> int {
        if (Size > kMaxFieldValue) {
            Why = limitText("a file of 4 GiB or more cannot be stored");
            return kMsgWriteError;
        }
        const platform::EncodedName enc = EncodeName(Stored);
        rawName = enc.bytes;
        utf8 = enc.utf8;
        if (rawName.size() > 0xFFFF) {
            Why = "name too long";
            return kMsgInvalidName;
        }
        return 0;
    };
    // The local header; data follow, then the header is written again with the results.
    entry.WriteHead = [&](int Temp, int64_t Offset) {
        offset = Offset;
        if (Offset > kMaxFieldValue) raiseLimit(Name, "the archive would grow past 4 GiB");
        encrypt = !Password.empty() && size > 0;
        lh.versionNeeded = kVersionNeeded;
        lh.flags = static_cast<uint16_t>((encrypt ? aehdr::kZipFlagEncrypted : 0) |
                                         (utf8 ? aehdr::kZipFlagUtf8 : 0));
        // Empty: stored, sizes and CRC 0, never an encryption header.
        lh.method = size == 0 ? kMethodStored : kMethodDeflated;
        lh.dosDateTime = StoredDate(Header.DosDate);
        lh.size = static_cast<uint32_t>(size);
        lh.nameLength = static_cast<uint16_t>(rawName.size());
        aehdr::putZipLocal(lh, ZipLocalHeader.data());
        std::vector<uint8_t> head(ZipLocalHeader.begin(), ZipLocalHeader.end());
        head.insert(head.end(), rawName.begin(), rawName.end());
        WriteBlockEncrypted(Temp, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
        return static_cast<int64_t>(head.size());
    };
    entry.WriteData = [&](int Source, int Temp, int64_t DataStart) {
        uint32_t firstPass = 0;
        if (encrypt && !FileCrc32(Source, firstPass, nullptr, {}, size))
            RaiseError(Name, "", "0", kMsgReadError);
        const auto start = [&] {
            if (encrypt) WriteCryptHeader(Temp, firstPass);
        };
        const auto deflate = [&](TCompressMethod) {
            const TDeflateResult r = DeflateSource(Source, Temp, encrypt);
            if (Cancel()) throw E_RAISE(kMsgUserCanceled);
            if (r.Stored) {
                lh.method = kMethodStored;
                return true;
            }
            // Deflating made the data bigger: stored instead, as other zip tools do.
            if (FCompressedSize >= size) return false;
            lh.method = kMethodDeflated;
            lh.flags = static_cast<uint16_t>(DeflateFlags(lh.flags, DeflateLevel()));
            return true;
        };
        const TEntryData data{Name, Source, Temp, size, DataStart, 32, encrypt};
        const TCompressMethod method = CompressMethod() == cmStore ? cmStore : cmDeflate;
        if (WriteEntryData(data, method, start, deflate) == cmStore) lh.method = kMethodStored;
        packed = FCompressedSize;
        // With encryption both passes must have read the same bytes.
        crc = Ctx().Crc32Value ^ 0xFFFFFFFFu;
        if (encrypt && Ctx().Crc32Value != firstPass)
            RaiseError(Name, "the file changed while it was added", "0", kMsgReadError);
        if (encrypt) packed += kZipHeaderSize;
        if (packed > kMaxFieldValue || offset + packed > kMaxFieldValue)
            raiseLimit(Name, "the archive would grow past 4 GiB");
    };
    entry.WriteFinal = [&](int Temp) {
        // The local header again, with the results (no data descriptor).
        lh.crc32 = size == 0 ? 0 : crc;
        lh.packedSize = static_cast<uint32_t>(size == 0 ? 0 : packed);
        aehdr::putZipLocal(lh, ZipLocalHeader.data());
        if (!writeAll(Temp, ZipLocalHeader.data(), 30)) WriteError();

        // The central header, kept with the entry until the directory is written.
        aehdr::ZipCentralHeader ch;
        ch.versionMadeBy = kCentralVersionMadeBy;
        ch.externalAttr = Header.Attr;
        if (!platform::isAscii(rawName)) {
            // The file's permissions: unzip sets a Unix entry's mode from them, 0 included.
            int mode = platform::fileMode(Name);
            if (mode < 0) mode = (Header.Attr & platform::faReadOnly) ? 0444 : 0644;
            ch.versionMadeBy = kMadeByUnix | kCentralVersionMadeBy;
            ch.externalAttr =
                (kUnixRegularFile | (static_cast<uint32_t>(mode) & 0777)) << 16 | (Header.Attr & 0xFF);
        }
        ch.versionNeeded = kCentralVersionNeeded;
        ch.flags = lh.flags;
        ch.method = lh.method;
        ch.dosDateTime = lh.dosDateTime;
        ch.crc32 = lh.crc32;
        ch.packedSize = lh.packedSize;
        ch.size = lh.size;
        ch.nameLength = lh.nameLength;
        ch.internalAttr = 1;
        ch.localOffset = static_cast<uint64_t>(offset);
        aehdr::putZipCentral(ch, ZipCentralHeader.data());
        Header.Header.assign(ZipCentralHeader.begin(), ZipCentralHeader.end());
        Header.CompressedSize = lh.packedSize;
        Header.Comment.clear();
        FRaw[&Header] = TRawEntry{rawName, {}};
    };
    return WriteNewEntry(TempHandle, Name, Header, entry);
}

// ---- the directory ----

int64_t TZip::centralDirectorySize(size_t& Count) {
    int64_t bytes = 0;
    Count = 0;
    for (size_t i = 0; i < EntryCount(); ++i) {
        const THeadObject* h = Entry(i).Head.get();
        if (!h || h->Action == eaSkip) continue;
        const auto raw = FRaw.find(h);
        if (raw == FRaw.end()) continue;
        bytes +=
            46 + static_cast<int64_t>(raw->second.Name.size() + raw->second.Extra.size() + h->Comment.size());
        ++Count;
    }
    return bytes;
}

// One central record: the header with the lengths of what follows it, then name, extra field
// and comment as stored.
static std::vector<uint8_t> centralRecord(const THeadObject& h, const std::string& name,
                                          const std::vector<uint8_t>& extra) {
    std::vector<uint8_t> r(h.Header.begin(), h.Header.begin() + 46);
    const auto put16 = [&](size_t at, size_t v) {
        r[at] = static_cast<uint8_t>(v);
        r[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(28, name.size());
    put16(30, extra.size());
    put16(32, h.Comment.size());
    r.insert(r.end(), name.begin(), name.end());
    r.insert(r.end(), extra.begin(), extra.end());
    r.insert(r.end(), h.Comment.begin(), h.Comment.end());
    return r;
}

void TZip::AfterWrite() {
    if (ProgressSink) {
        auto sink = ProgressSink;
        sink(0, 0);
    }
    if (FTempHandle < 0 || Cancel()) return;
    size_t count = 0;
    const int64_t cdBytes = centralDirectorySize(count);
    if (count < 1) return; // the writer base decides what happens to the archive
    if (count > kMaxEntries) raiseLimit(FArchiveFile, "more than 65,535 entries");
    // Nothing changed: the archive stays as it is, wherever it is.
    if (FAddedCount == 0 && (Switch != swDelete || FDeletedCount == 0)) return;

    const int64_t total =
        platform::fileSize(FTempHandle) + cdBytes + 22 + static_cast<int64_t>(FArchiveComment.size());
    RefreshArchiveDrive();
    const bool removable = ArchiveDrive.Removable && DiskManager;
    if (removable && DiskManager->DiskSpace.FreeBytes < total)
        spanArchive();
    else
        writeCentralFixed();
}

void TZip::writeCentralFixed() {
    const int64_t cdOffset = platform::fileSize(FTempHandle);
    if (cdOffset < 0 || platform::seekFile(FTempHandle, cdOffset) != cdOffset) WriteError();
    if (cdOffset > kMaxFieldValue) raiseLimit(FArchiveFile, "the archive would grow past 4 GiB");
    std::vector<uint8_t> out;
    size_t count = 0;
    for (size_t i = 0; i < EntryCount(); ++i) {
        const THeadObject* h = Entry(i).Head.get();
        if (!h || h->Action == eaSkip) continue;
        const auto raw = FRaw.find(h);
        if (raw == FRaw.end()) continue;
        const auto r = centralRecord(*h, raw->second.Name, raw->second.Extra);
        out.insert(out.end(), r.begin(), r.end());
        ++count;
        if (out.size() >= 1u << 20) {
            if (!writeAll(FTempHandle, out.data(), static_cast<int64_t>(out.size()))) WriteError();
            out.clear();
        }
    }
    if (!out.empty() && !writeAll(FTempHandle, out.data(), static_cast<int64_t>(out.size()))) WriteError();
    const int64_t cdEnd = platform::fileSize(FTempHandle);
    if (cdEnd > kMaxFieldValue) raiseLimit(FArchiveFile, "the archive would grow past 4 GiB");
    aehdr::ZipEndRecord e;
    e.entriesThisDisk = e.entries = static_cast<uint16_t>(count);
    e.centralSize = static_cast<uint32_t>(cdEnd - cdOffset);
    e.centralOffset = static_cast<uint32_t>(cdOffset);
    e.commentLength = static_cast<uint16_t>(FArchiveComment.size());
    aehdr::putZipEnd(e, ZipEndRecord.data());
    std::vector<uint8_t> end(ZipEndRecord.begin(), ZipEndRecord.end());
    end.insert(end.end(), FArchiveComment.begin(), FArchiveComment.end());
    if (!writeAll(FTempHandle, end.data(), static_cast<int64_t>(end.size()))) WriteError();
}

void TZip::WriteDirectory() {
    for (size_t i = 0; i < EntryCount(); ++i) {
        const TEntryItem& e = Entry(i);
        if (!e.Head || e.Head->Action == eaSkip) continue;
        TotalPackedSize += e.Head->CompressedSize;
        TotalUnpackedSize += e.Head->UncompressedSize;
        if (e.Head->Action != eaNew || Switch == swDelete || e.Head->Header.size() < 46) continue;
        const auto h = aehdr::parseZipCentral(aehdr::Bytes(e.Head->Header.data(), 46));
        if (!h) continue;
        setEntryProperties(e.Name, *h);
        FireEvent(OnRead, *this, static_cast<int64_t>(h->localOffset), static_cast<int>(i));
    }
    TotalRatio = GetRatio(TotalPackedSize, TotalUnpackedSize);
}

// ---- spanning ----

namespace {

// The disks of a spanned archive: each holds a file of the archive's name; writing moves on
// to the next disk whenever one is full.
class TSpanWriter {
public:
    TSpanWriter(TZipCommon& z, TDiskManager& dm, std::string path) : z_{z}, dm_{dm}, path_{std::move(path)} {}
    ~TSpanWriter() { close(); }

    int Disk = 0;    // index of the disk being written (0 for the first)
    int64_t Pos = 0; // position in its file

    // The first disk: the one in the drive when it has room, else one asked for.
    bool Start() {
        if (!createFile()) return false;
        dm_.Refresh();
        if (dm_.Ready && dm_.DiskSpace.FreeBytes >= 34) return accept();
        close();
        platform::removeFile(path_);
        return request(34);
    }
    int64_t Room() const { return room_; }
    bool Next() {
        close();
        ++Disk;
        return request(30);
    }
    // Writes n bytes, going on to the next disk whenever the disk is full.
    bool Write(const uint8_t* p, int64_t n) {
        while (n > 0) {
            if (room_ <= 0 && !Next()) return false;
            const int64_t part = std::min(n, room_);
            if (platform::writeFile(fd_, p, part) != part) z_.WriteError();
            p += part;
            n -= part;
            Pos += part;
            room_ -= part;
        }
        return true;
    }
    // Writes n bytes on one disk: on the next one when they do not fit on this one.
    bool WriteWhole(const uint8_t* p, int64_t n) {
        if (room_ < n && !Next()) return false;
        return Write(p, n);
    }
    void close() {
        if (fd_ >= 0) {
            const bool synced = platform::syncFile(fd_);
            const bool ok = platform::closeFile(fd_) && synced;
            fd_ = -1;
            if (!ok) z_.WriteError();
        }
    }

private:
    bool createFile() {
        platform::makeDirs(ExtractDirPart(path_));
        fd_ = platform::openFile(path_, platform::OpenMode::Create);
        if (fd_ < 0) z_.RaiseError(path_, "", "0", kMsgOpenError);
        Pos = 0;
        return true;
    }

    bool accept() {
        previousSerial_ = dm_.SerialNumber;
        char label[32];
        std::snprintf(label, sizeof label, "PKBACK# %.3d", Disk + 1);
        if (!dm_.SetVolumeLabel(label)) z_.ReportError(path_, label, "0", 25153);
        room_ = dm_.DiskSpace.FreeBytes;
        return true;
    }

    bool request(int64_t need) {
        // A disk that is refused (no room, the one just written) is asked for again; a handler
        // that never changes the disk must not keep the run going round forever.
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (!z_.OnInsertDiskette) {
                z_.ReportError(z_.ArchiveFile(), "OnInsertDiskette", std::to_string(Disk + 1),
                               kMsgEventMissing);
                z_.SetCancel(true);
                return false;
            }
            dm_.Refresh();
            bool cancel = true;
            z_.SetCancel(true);
            FireEvent(z_.OnInsertDiskette, z_, std::to_string(Disk + 1), dm_.DiskSpace.TotalBytes,
                      dm_.DiskSpace.FreeBytes, cancel);
            if (!cancel) z_.SetCancel(false);
            if (z_.Cancel()) return false;
            dm_.Refresh();
            if (!dm_.Ready) continue;
            if (Disk > 0 && dm_.SerialNumber == previousSerial_) continue; // the full disk again
            if (platform::pathExists(path_)) {
                TOverwriteMode mode = omOverwrite;
                if (z_.OnFileExists) {
                    const auto t = platform::fileTimes(path_);
                    const TDateTime date = t ? z_.DosDateToDateTime(FileTimeToDosLocal(t->lastWrite)) : 0;
                    FireEvent(z_.OnFileExists, z_, path_, date, mode);
                }
                if (mode == omSkip) {
                    z_.SetCancel(true);
                    return false;
                }
                platform::removeFile(path_);
                dm_.Refresh();
            }
            if (dm_.DiskSpace.FreeBytes < need) continue;
            createFile();
            dm_.Refresh();
            return accept();
        }
        z_.ReportError(path_, "", std::to_string(Disk + 1), kMsgNoRoom);
        z_.SetCancel(true);
        return false;
    }

    TZipCommon& z_;
    TDiskManager& dm_;
    std::string path_;
    int fd_ = -1;
    int64_t room_ = 0;
    uint32_t previousSerial_ = 0;
};

} // namespace

void TZip::spanArchive() {
    TSpanWriter out{*this, *DiskManager, FArchiveFile};
    if (!out.Start()) return;
    // The set's marker; entry offsets count it, as every reader of spanned sets expects.
    const uint8_t marker[4] = {0x50, 0x4B, 0x07, 0x08};
    if (!out.Write(marker, 4)) return;

    std::vector<uint8_t> buffer(static_cast<size_t>(kCopyBlock));
    const size_t total = EntryCount();
    for (size_t i = 0; i < total; ++i) {
        THeadObject* h = Entry(i).Head.get();
        if (!h || h->Action == eaSkip || FRaw.find(h) == FRaw.end()) continue;
        const int64_t from = aehdr::le32(h->Header.data() + 42);
        uint8_t local[30];
        if (!platform::readAt(FTempHandle, from, local, 30)) WriteError();
        // A local header is never split over two disks.
        if (out.Room() < 30 && !out.Next()) return;
        const auto put = [](uint8_t* p, uint32_t v, int n) {
            for (int k = 0; k < n; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
        };
        put(h->Header.data() + 42, static_cast<uint32_t>(out.Pos), 4);
        put(h->Header.data() + 34, static_cast<uint32_t>(out.Disk), 2);
        if (!out.Write(local, 30)) return;
        int64_t left =
            static_cast<int64_t>(aehdr::le16(local + 26)) + aehdr::le16(local + 28) + h->CompressedSize;
        int64_t at = from + 30;
        while (left > 0) {
            const int64_t n = std::min(left, kCopyBlock);
            if (!platform::readAt(FTempHandle, at, buffer.data(), n)) WriteError();
            if (!out.Write(buffer.data(), n)) return;
            at += n;
            left -= n;
        }
        ReportProgress(static_cast<int64_t>(i) + 1, static_cast<int64_t>(total), static_cast<int64_t>(total));
    }

    // The central directory, split wherever a disk is full.
    if (out.Room() <= 0 && !out.Next()) return;
    const int cdDisk = out.Disk;
    const int64_t cdOffset = out.Pos;
    int64_t cdSize = 0;
    size_t count = 0, onLastDisk = 0;
    int recordDisk = cdDisk;
    for (size_t i = 0; i < total; ++i) {
        const THeadObject* h = Entry(i).Head.get();
        if (!h || h->Action == eaSkip) continue;
        const auto raw = FRaw.find(h);
        if (raw == FRaw.end()) continue;
        const auto r = centralRecord(*h, raw->second.Name, raw->second.Extra);
        if (out.Room() <= 0 && !out.Next()) return;
        // Counted on the disk where the record begins.
        if (out.Disk != recordDisk) {
            recordDisk = out.Disk;
            onLastDisk = 0;
        }
        ++onLastDisk;
        if (!out.Write(r.data(), static_cast<int64_t>(r.size()))) return;
        cdSize += static_cast<int64_t>(r.size());
        ++count;
    }
    // The end record stays whole on the last disk, where readers look for it.
    aehdr::ZipEndRecord e;
    std::vector<uint8_t> end(22);
    const int64_t endLength = 22 + static_cast<int64_t>(FArchiveComment.size());
    if (out.Room() < endLength && !out.Next()) return;
    e.thisDisk = static_cast<uint16_t>(out.Disk);
    e.centralDisk = static_cast<uint16_t>(cdDisk);
    e.entriesThisDisk = static_cast<uint16_t>(out.Disk == recordDisk ? onLastDisk : 0);
    e.entries = static_cast<uint16_t>(count);
    e.centralSize = static_cast<uint32_t>(cdSize);
    e.centralOffset = static_cast<uint32_t>(cdOffset);
    e.commentLength = static_cast<uint16_t>(FArchiveComment.size());
    aehdr::putZipEnd(e, end.data());
    end.insert(end.end(), FArchiveComment.begin(), FArchiveComment.end());
    if (!out.WriteWhole(end.data(), endLength)) return;
    out.close();
    // Written in place on the disks: the temporary archive replaces nothing.
    FNoRewrite = true;
}
