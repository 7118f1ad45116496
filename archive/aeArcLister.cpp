#include "archive/aeArcLister.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include "archive/aeCommon.h"
#include "archive/aeMain.h"
#include "archive/aeDiskMan.h"
#include "archive/aeFormats.h"
#include "archive/format/aeZipWalk.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

// Largest variable header we read in one piece: a 16-bit length plus its fixed part.
constexpr size_t kMaxVarHeader = 65536 + 64;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The uncompressed size of a compress (.Z) stream, found by running its LZW code stream
// with string lengths in place of strings: nothing is decoded, but the count is exact.
// Codes are LSB-first; when the code width grows, or after a clear code, the reader skips
// to the end of the current group of 8 codes, as compress itself does. Nothing for a
// stream that breaks the format.
std::optional<int64_t> CompressedLzwSize(TArcInput& in, uint64_t start) {
    Bytes h = in.Fetch(start, 3);
    if (h.size() < 3) return std::nullopt;
    const unsigned maxBits = h[2] & 0x1F;
    const bool blockMode = (h[2] & 0x80) != 0;
    if (maxBits < 9 || maxBits > 16) return std::nullopt;
    const uint32_t maxMaxCode = 1u << maxBits;
    std::vector<uint32_t> length(maxMaxCode + 1, 1);
    const uint64_t dataStart = start + 3;
    const uint64_t totalBits = (static_cast<uint64_t>(in.Size()) - dataStart) * 8;
    unsigned bits = 9;
    auto limit = [&] { return bits == maxBits ? maxMaxCode : (1u << bits) - 1; };
    uint32_t maxCode = limit(), freeEnt = blockMode ? 257 : 256;
    uint64_t pos = 0, origin = 0;
    int64_t out = 0;
    int64_t oldCode = -1;
    auto align = [&] {
        const uint64_t group = uint64_t{bits} * 8;
        pos = origin + (pos - origin + group - 1) / group * group;
        origin = pos;
    };
    while (pos + bits <= totalBits) {
        if (freeEnt > maxCode) {
            align();
            ++bits;
            maxCode = limit();
            continue;
        }
        Bytes c = in.Fetch(dataStart + pos / 8, 3);
        uint32_t window = 0;
        for (size_t i = 0; i < c.size(); ++i) window |= uint32_t{c[i]} << (8 * i);
        const uint32_t code = (window >> (pos % 8)) & ((1u << bits) - 1);
        pos += bits;
        if (oldCode < 0) {
            if (code >= 256) return std::nullopt;
            out += 1;
            oldCode = code;
            continue;
        }
        if (code == 256 && blockMode) {
            freeEnt = 256;
            align();
            bits = 9;
            maxCode = limit();
            continue;
        }
        if (code > freeEnt) return std::nullopt;
        const uint32_t produced = code == freeEnt ? length[oldCode] + 1 : length[code];
        out += produced;
        if (freeEnt < maxMaxCode) {
            length[freeEnt] = length[oldCode] + 1;
            ++freeEnt;
        }
        oldCode = code;
    }
    return out;
}

} // namespace

// ------------------------------------------------------------------------------ TArcInput

void TArcInput::Attach(int Handle, int64_t Size) {
    handle_ = Handle;
    size_ = Size;
    bufOffset_ = 0;
    bufLength_ = 0;
}

Bytes TArcInput::Fetch(uint64_t Offset, size_t Count) {
    if (handle_ < 0 || Offset >= static_cast<uint64_t>(size_)) return {};
    const uint64_t avail = static_cast<uint64_t>(size_) - Offset;
    if (Count > avail) Count = static_cast<size_t>(avail);
    if (Offset >= bufOffset_ && Offset + Count <= bufOffset_ + bufLength_)
        return Bytes(buf_.data() + (Offset - bufOffset_), Count);
    // Read a window that covers the request and some read-ahead for the next headers.
    constexpr size_t kWindow = 256 * 1024;
    size_t want = std::max(Count, kWindow);
    if (want > avail) want = static_cast<size_t>(avail);
    if (buf_.size() < want) buf_.resize(want);
    bufLength_ = 0;
    bufOffset_ = Offset;
    if (!SeekFileHandle(handle_, static_cast<int64_t>(Offset), FILE_BEGIN)) return {};
    const int64_t got = ReadFileHandle(handle_, buf_.data(), static_cast<int64_t>(want));
    if (got <= 0) return {};
    bufLength_ = static_cast<size_t>(got);
    return Bytes(buf_.data(), std::min(Count, bufLength_));
}

// ------------------------------------------------------------------------------ TArcLister

TArcLister::TArcLister() {
    SetZipCmntBufSize(32000);
}

void TArcLister::Pump() {
    // Let a Cancel button through, at most about 30 times a second.
    if (FLastPump.Due()) platform::processMessages();
}

TDateTime TArcLister::ArchiveFileDate() const {
    auto t = platform::fileTimes(ArchiveFile());
    return t ? UnixToDateTime(t->lastWrite) : kDosEpochDateTime;
}

void TArcLister::Corrupt(int ECode) {
    RaiseError(ArchiveFile(), "", "0", ECode);
    throw E_RAISE(ECode); // not reached: RaiseError always throws
}

std::string TArcLister::DecodeName(const std::string& raw, bool utf8) const {
    std::string name = platform::decodeArchiveName(raw, utf8);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool TArcLister::Activate() {
    FLastError.clear();
    FLastErrorCode = 0;
    SetCancel(false);
    ProgressSink = nullptr; // the lister reports no progress
    if (ArchiveFile().empty()) return false;
    try {
        if (!FileOrDirExists(ArchiveFile())) Corrupt(kMsgFileNotFound);
        if (!OnRead) RaiseError(ArchiveFile(), "OnRead", "0", kMsgEventMissing);
        if (ArcType() == atNA || ArcType() == atUnknown || ArcType() == atUnsupported)
            Corrupt(kMsgUnknownType);
        if (ArcType() == atFileOpenErr) Corrupt(kMsgFileNotFound);
        TRunSpec spec;
        spec.OpenArchive = false; // the lister opens every type itself, outside-library ones too
        spec.ElapsedAfterDeactivate = true;
        RunOperation(spec, [this](int) { Run(); });
        return true;
    } catch (const E_RAISE& e) {
        FLastError = e.Message;
        FLastErrorCode = e.ECode;
        return false;
    } catch (const std::exception& e) {
        FLastError = e.what();
        FLastErrorCode = kMsgReadError;
        return false;
    }
}

void TArcLister::Run() {
    FVolumeName = ArchiveFile();
    FHandle = OpenForRead(this, FVolumeName);
    if (FHandle < 0) Corrupt(kMsgReadError);
    struct Closer {
        TArcLister& l;
        ~Closer() {
            if (l.FHandle >= 0) CloseFileHandle(l.FHandle);
            l.FHandle = -1;
            l.FIn.Detach();
        }
    } closer{*this};
    ArchiveSize = FileSize64(FHandle);
    if (ArchiveSize < 0) Corrupt(kMsgReadError);
    FIn.Attach(FHandle, ArchiveSize);
    ScanEnd = ArchiveSize;
    FileCount = 0;
    TotalPackedSize = TotalUnpackedSize = 0;
    FVolumeSwitches = 0;
    ArchiveComment.clear();

    int64_t offset = PrepareListing();
    while (offset >= 0 && !Cancel()) {
        Pump();
        const int switches = FVolumeSwitches;
        const int64_t next = ParseHeader(offset);
        // Every step moves forward in the file, or to a new volume: a loop cannot run
        // backwards or forever on forged offsets.
        if (next >= 0 && next <= offset && switches == FVolumeSwitches) Corrupt(kMsgBadFileHeader);
        offset = next;
    }
    if (OnTotals) {
        TotalRatio = GetRatio(TotalPackedSize, TotalUnpackedSize);
        FireEvent(OnTotals, *this, FileCount);
    }
}

// ------------------------------------------------------------------------------ reporting

void TArcLister::Report(Entry& e, Filter filter, bool isDir, bool namesOnly) {
    FireEvent(OnReadFile, *this, e.Name);
    switch (filter) {
    case Filter::None:
        Emit(e, true);
        return;
    case Filter::Spec:
        if (MatchesFileSpec(e.Name, namesOnly)) Emit(e, true);
        return;
    case Filter::SpecOrBlankDir:
        if ((isDir && ShowBlankDirs) || MatchesFileSpec(e.Name, namesOnly)) Emit(e, true);
        return;
    case Filter::SpecBlankDirUncounted:
        // Zip folders are shown only on request and then neither counted nor totalled.
        if (!MatchesFileSpec(e.Name, namesOnly)) return;
        if (!isDir)
            Emit(e, true);
        else if (ShowBlankDirs)
            Emit(e, false);
        return;
    }
}

void TArcLister::Emit(Entry& e, bool countIt) {
    FileName = e.Name;
    PackedSize = e.Packed;
    UnpackedSize = e.Unpacked;
    Ratio = GetRatio(e.Packed, e.Unpacked);
    FileCRC = e.Crc;
    MethodCode = e.Method;
    FileDate = e.Date;
    FileAttr = e.Attr;
    ExternalAttr = e.ExtAttr;
    VersionMadeBy = e.VerMade;
    VersionNeeded = e.VerNeeded;
    Encrypted = e.Encrypted;
    EntryTypeByte = e.TypeByte;
    FileComment = e.Comment;
    MethodName = e.NoMethod ? std::string() : GetMethodName(e.Method, e.MethodFlags);
    if (countIt) {
        ++FileCount;
        TotalPackedSize += e.Packed;
        TotalUnpackedSize += e.Unpacked;
    }
    if (NameCollectionMode == 1) {
        CollectedNames.push_back(FileName);
    } else if (NameCollectionMode == 0 || NameCollectionMode == 2) {
        FireEvent(OnReadBegin, *this);
        FireEvent(OnRead, *this, e.Offset, FileCount);
        FireEvent(OnReadEnd, *this);
    }
}

// ------------------------------------------------------------------------------ set-up

int64_t TArcLister::PrepareListing() {
    const int64_t start = ArcStart - 1;
    if (start < 0 || start > ArchiveSize) Corrupt(kMsgBadFileHeader);
    FArcFolders.clear();
    FMsgzFolders.clear();
    FCabVisited.clear();
    FPackedSum = FUnpackedSum = 0;
    const TFormatRow* f = FindFormat(ArcType());
    if (!f) return -1;
    return f->ListPrepare ? f->ListPrepare(*this, start) : start;
}

int64_t TArcLister::ParseHeader(int64_t Offset) {
    const TFormatRow* f = FindFormat(ArcType());
    return f && f->ListStep ? f->ListStep(*this, Offset) : -1;
}

// Some self-extractors leave a zero byte where a 128-byte gap precedes the archive.
int64_t TArcLister::PrepareLha(int64_t start) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(start), 22);
    if (!b.empty() && b[0] == 0 && !aehdr::readLhaHeader(FIn.Fetcher(), static_cast<uint64_t>(start)))
        return start + 128;
    return start;
}

int64_t TArcLister::PrepareHa(int64_t start) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(start), aehdr::kHaArchiveHeaderSize);
    if (b.size() < aehdr::kHaArchiveHeaderSize || le16(b.data()) != aehdr::kHaSig) Corrupt(kMsgBadFileHeader);
    FHaLeft = le16(b.data() + 2);
    return start + static_cast<int64_t>(aehdr::kHaArchiveHeaderSize);
}

int64_t TArcLister::PrepareUue(int64_t) {
    ListUue();
    return -1;
}

// ------------------------------------------------------------------------------ ZIP

int64_t TArcLister::PrepareZip(int64_t) {
    FZipSpanned = false;
    if (ArcType() == atZipMV) return PrepareZipSpanned();
    const uint32_t all = zdEndRecord | zdCentralHeader | zdLocalHeader;
    if (OnCorruptZipHeader && (ZipDirFlags & all) != all) {
        bool cancel = true;
        FireEvent(OnCorruptZipHeader, *this, static_cast<uint8_t>(ZipDirFlags), cancel);
        if (cancel) return -1;
    }
    FZipCentral = (ZipDirFlags & zdCentralHeader) != 0;
    ReadZipArchiveComment();
    if (FZipCentral) return ZipCentralOffset;
    if (ZipDirFlags & zdLocalHeader) return ArcStart - 1;
    // Neither a directory nor a local header was confirmed: try the local header at the start.
    Bytes b = FIn.Fetch(static_cast<uint64_t>(ArcStart - 1), 4);
    if (b.size() == 4 && le32(b.data()) == aehdr::kZipLocalSig) return ArcStart - 1;
    if (b.size() == 4 && le32(b.data()) == aehdr::kZipEndSig) return -1; // an empty zip
    Corrupt(kMsgBadFileHeader);
}

// The end-of-central-directory record of the open file. Its comment becomes the archive's
// comment.
std::optional<aehdr::ZipEndRecord> TArcLister::FindZipEnd() {
    auto end = pvcommon::zip::FindZipEnd(FIn.Fetcher(), static_cast<uint64_t>(ArchiveSize),
                                         static_cast<size_t>(ZipCmntBufSize()));
    if (!end) return std::nullopt;
    ArchiveComment = platform::decodeArchiveName(aehdr::fixedString(
        aehdr::Bytes(reinterpret_cast<const uint8_t*>(end->comment.data()), end->comment.size())));
    return end->record;
}

void TArcLister::ReadZipArchiveComment() {
    (void)FindZipEnd();
}

void TArcLister::ReopenZipDisk() {
    ReopenArchive(FHandle);
    FIn.Attach(FHandle, ArchiveSize);
    ScanEnd = ArchiveSize;
    ++FVolumeSwitches;
}

// A spanned set lies on removable disks that all carry the same file name; the label of
// each says its number ("PKBACK# 002"). The directory is read from the disk that holds
// the end record (asked for through OnGetZipLastDisk), and from the disks after the one
// it starts on (OnGetZipNextDisk) when it runs over a disk's end.
int64_t TArcLister::PrepareZipSpanned() {
    std::optional<aehdr::ZipEndRecord> end;
    for (int asked = 0; !(end = FindZipEnd()); ++asked) {
        if (!OnGetZipLastDisk) Corrupt(kMsgBadFileHeader);
        if (asked >= kMaxDiskRequests) Corrupt(kMsgBrokenChain);
        bool cancel = true;
        FireEvent(OnGetZipLastDisk, *this, cancel);
        if (cancel) return -1;
        ReopenZipDisk();
    }
    FZipSpanned = true;
    FZipCentral = true;
    FZipLastDisk = end->thisDisk;
    FZipDisk = end->thisDisk;
    if (end->centralDisk > end->thisDisk) Corrupt(kMsgBadFileHeader);
    if (end->centralDisk != end->thisDisk && !SwitchZipDisk(end->centralDisk)) return -1;
    return end->centralOffset;
}

// Asks for disk Index (0-based) until the drive holds it; false when the user cancels.
bool TArcLister::SwitchZipDisk(int Index) {
    if (!OnGetZipNextDisk) Corrupt(kMsgBrokenChain);
    for (int asked = 0; asked < kMaxDiskRequests; ++asked) {
        bool cancel = true;
        FireEvent(OnGetZipNextDisk, *this, std::to_string(Index + 1), cancel);
        if (cancel) {
            SetCancel(true);
            return false;
        }
        ReopenZipDisk();
        if (DiskManager && DiskManager->DiskNumber == Index + 1) {
            FZipDisk = Index;
            return true;
        }
    }
    Corrupt(kMsgBrokenChain);
}

int64_t TArcLister::ListZip(int64_t offset) {
    return FZipCentral ? ListZipCentral(offset) : ListZipLocal(offset);
}

int64_t TArcLister::ListZipCentral(int64_t offset) {
    if (FZipSpanned && offset >= ArchiveSize && FZipDisk < FZipLastDisk) {
        // The directory goes on at the start of the next disk.
        const int64_t size = ArchiveSize;
        if (!SwitchZipDisk(FZipDisk + 1)) return -1;
        return offset - size;
    }
    pvcommon::zip::ZipCentralRecord& r = FZipRecord;
    switch (pvcommon::zip::ReadZipCentral(FIn.Fetcher(), static_cast<uint64_t>(offset), r,
                                          static_cast<size_t>(ZipCmntBufSize()))) {
    case pvcommon::zip::ZipCentralRead::Record:
        break;
    case pvcommon::zip::ZipCentralRead::Trailer:
        return -1;
    case pvcommon::zip::ZipCentralRead::Foreign:
        Corrupt(kMsgBadFileHeader);
    default:
        Corrupt(kMsgReadError);
    }
    const aehdr::ZipCentralHeader& h = r.header;
    Entry e;
    bool utf8 = false;
    e.Name = ZipCentralName(r, utf8);
    e.Comment = platform::decodeArchiveName(
        aehdr::fixedString(
            aehdr::Bytes(reinterpret_cast<const uint8_t*>(r.comment.data()), r.comment.size())),
        utf8);
    e.Packed = static_cast<int64_t>(h.packedSize);
    e.Unpacked = static_cast<int64_t>(h.size);
    e.Crc = h.crc32;
    e.Method = h.method;
    e.MethodFlags = h.flags | 0x40u;
    e.Date = DosDateToDateTime(h.dosDateTime);
    e.Attr = h.internalAttr;
    e.ExtAttr = h.externalAttr;
    e.VerMade = static_cast<uint8_t>(h.versionMadeBy);
    e.VerNeeded = static_cast<uint8_t>(h.versionNeeded);
    e.Encrypted = (h.flags & aehdr::kZipFlagEncrypted) != 0;
    e.Offset = static_cast<int64_t>(h.localOffset) + ZipOffsetBias;
    const bool isDir = (h.externalAttr & 0x10) != 0 || (!e.Name.empty() && e.Name.back() == '/');
    ExternalAttr = e.ExtAttr; // the method name of a folder looks at it
    Report(e, Filter::SpecBlankDirUncounted, isDir);
    return static_cast<int64_t>(r.next);
}

int64_t TArcLister::ListZipLocal(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::ZipLocalHeader::kSize);
    if (b.size() < 4) {
        if (FileCount == 0 && b.empty()) Corrupt(kMsgBadFileHeader);
        return -1;
    }
    const uint32_t sig = le32(b.data());
    if (sig != aehdr::kZipLocalSig) {
        if (pvcommon::zip::IsTrailerSig(sig) && FileCount > 0) return -1;
        if (sig == aehdr::kZipEndSig) return -1; // an empty archive
        Corrupt(kMsgBadFileHeader);
    }
    auto h = aehdr::parseZipLocal(b);
    if (!h) Corrupt(kMsgReadError);
    const size_t varLength = size_t{h->nameLength} + h->extraLength;
    Bytes var = FIn.Fetch(static_cast<uint64_t>(offset) + aehdr::ZipLocalHeader::kSize, varLength);
    if (var.size() < varLength) Corrupt(kMsgReadError);
    const std::string rawName = aehdr::toString(var.first(h->nameLength));
    const Bytes extra = var.subspan(h->nameLength);
    uint64_t packed = h->packedSize, size = h->size;
    if (packed == aehdr::kZip32Max || size == aehdr::kZip32Max) {
        if (auto z = aehdr::findZipExtra(extra, 0x0001); z && z->size() >= 16) {
            size = aehdr::le64(z->data());
            packed = aehdr::le64(z->data() + 8);
        }
    }
    Entry e;
    e.Name = DecodeName(rawName, (h->flags & aehdr::kZipFlagUtf8) != 0);
    e.Packed = static_cast<int64_t>(packed);
    e.Unpacked = static_cast<int64_t>(size);
    e.Crc = h->crc32;
    e.Method = h->method;
    e.MethodFlags = h->flags;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Attr = 0;
    e.ExtAttr = 0;
    e.VerMade = e.VerNeeded = static_cast<uint8_t>(h->versionNeeded);
    e.Encrypted = (h->flags & aehdr::kZipFlagEncrypted) != 0;
    e.Offset = offset;
    const bool isDir = !e.Name.empty() && e.Name.back() == '/';
    Report(e, Filter::SpecBlankDirUncounted, isDir);
    const int64_t next = offset + static_cast<int64_t>(aehdr::ZipLocalHeader::kSize + varLength + packed);
    // Sizes kept in a data descriptor leave nothing to step by: without the directory the
    // rest of the archive cannot be found.
    if ((h->flags & aehdr::kZipFlagDescriptor) && packed == 0 && h->method != 0) Corrupt(kMsgBadFileHeader);
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ GZip family

int64_t TArcLister::ListGzip(int64_t offset) {
    const uint64_t start = static_cast<uint64_t>(offset);
    Bytes b = FIn.Fetch(start, kMaxVarHeader * 2);
    auto h = aehdr::parseGzipHeader(b);
    if (!h) {
        if (b.size() >= 2 && aehdr::isGzipFamilyMagic(le16(b.data()))) Corrupt(kMsgReadError);
        return -1;
    }
    Entry e;
    e.Method = h->method;
    e.Offset = offset;
    e.Attr = e.ExtAttr = 32;
    const int64_t size = ArchiveSize;
    if (h->hasFullHeader()) {
        if (static_cast<int64_t>(h->headerLength + aehdr::GzipHeader::kTrailerSize) > size - offset)
            Corrupt(kMsgReadError);
        Bytes t = FIn.Fetch(static_cast<uint64_t>(size - 8), 8);
        if (t.size() < 8) Corrupt(kMsgReadError);
        e.Crc = le32(t.data());
        e.Unpacked = le32(t.data() + 4);
        e.Packed = size - offset - static_cast<int64_t>(h->headerLength) - 8;
        std::string rawName = h->name;
        // Some writers append a name block instead of using FNAME: its length stands in the
        // last dword and a copy of the magic where the CRC would be.
        if (le32(t.data()) == 0x00008B1F) {
            const int64_t n = le32(t.data() + 4);
            if (n >= 0 && n + 16 <= e.Packed) {
                Bytes nb = FIn.Fetch(static_cast<uint64_t>(size - n - 16), static_cast<size_t>(n) + 8);
                if (nb.size() == static_cast<size_t>(n) + 8) {
                    e.Crc = le32(nb.data());
                    e.Unpacked = le32(nb.data() + 4);
                    rawName =
                        aehdr::toString(nb.subspan(8, std::min<size_t>(static_cast<size_t>(n), n & 0xFF)));
                    e.Packed -= n + 8;
                }
            }
        }
        e.Encrypted = (h->flags & aehdr::kGzipFlagEncrypted) != 0;
        // MTIME 0 means "no time stored" (a stream compressed from a pipe): the file's own date.
        e.Date = h->mtime != 0 ? UnixToDateTime(h->mtime) : ArchiveFileDate();
        if (!rawName.empty()) e.Name = DecodeName(rawName);
    } else {
        const int64_t dataSize = size - offset;
        if (h->magic == aehdr::kPackMagic) {
            // pack stores the original size big-endian after the magic.
            e.Unpacked = (int64_t{b[2]} << 24) | (int64_t{b[3]} << 16) | (int64_t{b[4]} << 8) | b[5];
            e.Packed = dataSize;
        } else if (h->magic == aehdr::kCompressMagic) {
            e.Packed = dataSize;
            e.Unpacked = CompressedLzwSize(FIn, start).value_or(dataSize);
        } else {
            e.Packed = e.Unpacked = std::max<int64_t>(0, dataSize - 10);
        }
        e.Date = h->magic == aehdr::kCompressMagic ? ArchiveFileDate() : UnixToDateTime(h->mtime);
    }
    if (e.Name.empty()) {
        // The archive's own name without its compression suffix, as gzip itself names it.
        std::string base = FileNameOf(ArchiveFile());
        const size_t dot = base.find_last_of('.');
        std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".tgz" || ext == ".taz")
            base = base.substr(0, dot) + ".tar";
        else if (dot != std::string::npos && dot > 0)
            base = base.substr(0, dot);
        e.Name = base;
    }
    // The entry carries the compressed file's own attributes ("normal" stands for none).
    uint32_t attr = platform::fileAttributes(ArchiveFile());
    if (attr == platform::kInvalidAttributes) attr = 32;
    e.ExtAttr = attr == platform::faNormal ? 0 : attr;
    // A gzip file is one entry: it is always counted, whatever FileSpec says.
    Report(e, Filter::None, false);
    return -1;
}

// ------------------------------------------------------------------------------ TAR

int64_t TArcLister::ListTar(int64_t offset) {
    aehdr::TarEntry t;
    switch (aehdr::readTarEntry(FIn.Fetcher(), static_cast<uint64_t>(offset),
                                static_cast<uint64_t>(ArchiveSize), t)) {
    case aehdr::TarRead::End:
        return -1;
    case aehdr::TarRead::Corrupt:
        Corrupt(FileCount == 0 ? kMsgBadFileHeader : kMsgReadError);
    case aehdr::TarRead::Entry:
        break;
    }
    Entry e;
    e.Name = DecodeName(t.name);
    while (!e.Name.empty() && e.Name.front() == ' ') e.Name.erase(e.Name.begin());
    while (!e.Name.empty() && e.Name.back() == ' ') e.Name.pop_back();
    if (e.Name.empty()) return -1;
    e.Packed = e.Unpacked = static_cast<int64_t>(t.header.size);
    const int64_t mtime = t.paxMtime ? *t.paxMtime : t.header.mtime;
    e.Date = mtime > 0 ? UnixToDateTime(mtime) : kDosEpochDateTime;
    e.Crc = t.header.checksum;
    e.Method = 0;
    e.Attr = 0;
    e.ExtAttr = t.header.mode;
    e.Offset = static_cast<int64_t>(t.headerOffset);
    const char tf = t.header.typeflag;
    const bool isFile = tf == 0 || tf == '0' || tf == '1' || tf == '7';
    FireEvent(OnReadFile, *this, e.Name);
    if (isFile && MatchesFileSpec(e.Name, !ShowBlankDirs)) Emit(e, true);
    if (t.next > static_cast<uint64_t>(ArchiveSize)) Corrupt(kMsgReadError);
    return static_cast<int64_t>(t.next);
}

// ------------------------------------------------------------------------------ LHA / LZH

int64_t TArcLister::ListLha(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), 22);
    if (b.empty()) return -1; // archives without an end marker
    auto h = aehdr::readLhaHeader(FIn.Fetcher(), static_cast<uint64_t>(offset));
    if (!h) {
        if (b[0] == 0) return -1; // the end marker
        Corrupt(b.size() < 22 ? kMsgReadError : kMsgBadFileHeader);
    }
    std::string raw = h->folder + h->name;
    std::replace(raw.begin(), raw.end(), '\xFF', '/');
    Entry e;
    e.Name = DecodeName(raw);
    e.Packed = static_cast<int64_t>(h->packedSize);
    e.Unpacked = h->size;
    // Level 2 stores Unix time whatever OS wrote it; levels 0 and 1 a DOS time, unless a
    // Unix time extension gives the exact one.
    if (h->level == 2)
        e.Date = UnixToDateTime(h->timeStamp);
    else if (h->unixTime)
        e.Date = UnixToDateTime(*h->unixTime);
    else
        e.Date = DosDateToDateTime(h->timeStamp);
    e.Crc = h->crc16;
    e.Method = static_cast<uint8_t>(h->method[3]);
    e.Attr = 32;
    e.ExtAttr = h->attribute;
    e.Offset = offset;
    const bool isDir = h->method == "-lhd-";
    Report(e, Filter::SpecOrBlankDir, isDir);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength + h->packedSize);
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ ARJ

int64_t TArcLister::PrepareArj(int64_t start) {
    auto main = aehdr::parseArjHeader(FIn.Fetch(static_cast<uint64_t>(start), kMaxVarHeader + 2700));
    if (!main) Corrupt(kMsgBadFileHeader);
    FArjVolumeArchive = (main->flags & aehdr::kArjFlagVolume) != 0;
    ArchiveComment = platform::decodeArchiveName(main->comment);
    return start + static_cast<int64_t>(main->totalLength);
}

bool TArcLister::NextVolume() {
    if (!OpenNextVolume(FHandle, FVolumeName)) {
        SetCancel(true);
        return false;
    }
    ArchiveSize = FileSize64(FHandle);
    if (ArchiveSize < 0) Corrupt(kMsgReadError);
    FIn.Attach(FHandle, ArchiveSize);
    ScanEnd = ArchiveSize;
    ++FVolumeSwitches;
    return true;
}

int64_t TArcLister::ListArj(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), 4);
    if (b.size() < 4) {
        if (b.empty()) return -1;
        Corrupt(kMsgReadError);
    }
    if (le16(b.data()) != aehdr::kArjMagic) Corrupt(kMsgBadFileHeader);
    if (le16(b.data() + 2) == 0) return -1; // the end header
    auto h = aehdr::parseArjHeader(FIn.Fetch(static_cast<uint64_t>(offset), kMaxVarHeader + 2700));
    if (!h) Corrupt(b.size() < 4 ? kMsgReadError : kMsgBadFileHeader);
    Entry e;
    e.Name = DecodeName(h->name);
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    // ARJ for Unix (and NeXT) stores the modification time as Unix seconds, not as a DOS
    // date-time; read as DOS it would land decades off.
    e.Date = (h->hostOs == aehdr::kArjHostUnix || h->hostOs == aehdr::kArjHostNext)
                 ? UnixToDateTime(h->dosDateTime)
                 : DosDateToDateTime(h->dosDateTime);
    e.Attr = e.ExtAttr = h->accessMode;
    e.VerMade = h->versionMadeBy;
    e.VerNeeded = h->versionNeeded;
    e.Encrypted = (h->flags & aehdr::kArjFlagGarbled) != 0;
    e.TypeByte = h->fileType;
    e.Comment = platform::decodeArchiveName(h->comment);
    e.Offset = offset;
    const bool continuedFromPrevious = (h->flags & aehdr::kArjFlagExtFile) != 0;
    int64_t next = offset + static_cast<int64_t>(h->totalLength) + h->packedSize;
    uint8_t flags = h->flags;
    // A file continued in the next volume: follow the volumes, adding each part's sizes.
    while ((flags & aehdr::kArjFlagVolume) && !Cancel()) {
        if (!NextVolume()) return -1;
        auto vm = aehdr::parseArjHeader(FIn.Fetch(0, kMaxVarHeader + 2700));
        if (!vm) Corrupt(kMsgBadFileHeader);
        const int64_t at = static_cast<int64_t>(vm->totalLength);
        auto part = aehdr::parseArjHeader(FIn.Fetch(static_cast<uint64_t>(at), kMaxVarHeader + 2700));
        if (!part) Corrupt(kMsgBadFileHeader);
        e.Packed += part->packedSize;
        e.Unpacked += part->size;
        e.Name = DecodeName(part->name);
        e.Crc = part->crc32;
        flags = part->flags;
        next = at + static_cast<int64_t>(part->totalLength) + part->packedSize;
    }
    const bool isDir = h->fileType == aehdr::kArjTypeDir;
    if (FArjVolumeArchive && continuedFromPrevious) {
        FireEvent(OnReadFile, *this, e.Name); // the rest of an entry of an earlier volume
    } else {
        Report(e, Filter::SpecOrBlankDir, isDir);
    }
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ RAR

int64_t TArcLister::PrepareRar(int64_t start) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(start), 8 + aehdr::kRarMainHeaderSize);
    if (b.size() < 7) Corrupt(kMsgReadError);
    if (std::memcmp(b.data(), aehdr::kRarMarker, 7) != 0) Corrupt(kMsgBadFileHeader); // also RAR 5
    auto main = aehdr::parseRarBlock(b.subspan(7));
    if (!main || main->type != aehdr::kRarTypeMain)
        Corrupt(b.size() < 7 + aehdr::kRarMainHeaderSize ? kMsgReadError : kMsgBadFileHeader);
    return start + 7 + main->headerSize;
}

int64_t TArcLister::ListRar(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), 11);
    if (b.empty()) return -1;
    auto blk = aehdr::parseRarBlock(b);
    if (!blk) Corrupt(b.size() < 7 ? kMsgReadError : kMsgBadFileHeader);
    if (blk->type == aehdr::kRarTypeEnd) return -1;
    const int64_t next = offset + static_cast<int64_t>(blk->totalLength());
    if (blk->type != aehdr::kRarTypeFile) {
        if (next > ArchiveSize) Corrupt(kMsgReadError);
        return next;
    }
    auto h = aehdr::parseRarFileHeader(FIn.Fetch(static_cast<uint64_t>(offset), blk->headerSize));
    if (!h) Corrupt(kMsgBadFileHeader);
    if (h->flags & aehdr::kRarFlagSplitBefore)
        FPackedSum += static_cast<int64_t>(h->packedSize);
    else
        FPackedSum = static_cast<int64_t>(h->packedSize);
    if (h->flags & aehdr::kRarFlagSplitAfter) {
        // Reported from the volume that holds its end, with the packed sizes summed.
        if (!NextVolume()) return -1;
        return PrepareRar(0);
    }
    Entry e;
    e.Name = h->utf8Name ? DecodeName(*h->utf8Name, true) : DecodeName(h->name);
    e.Packed = FPackedSum;
    e.Unpacked = static_cast<int64_t>(h->size);
    e.Crc = h->crc32;
    e.Method = h->method;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.VerMade = h->version;
    e.Encrypted = (h->flags & aehdr::kRarFlagPassword) != 0;
    e.Offset = offset;
    if (!(h->flags & aehdr::kRarFlagSkip)) Report(e, Filter::SpecOrBlankDir, h->isDirectory());
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ ACE

int64_t TArcLister::PrepareAce(int64_t start) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(start), 4);
    if (b.size() < 4) Corrupt(kMsgReadError);
    const size_t total = 4u + le16(b.data() + 2);
    auto main = aehdr::parseAceMain(FIn.Fetch(static_cast<uint64_t>(start), total));
    if (!main) Corrupt(kMsgBadFileHeader);
    FAceVersion = main->versionMadeBy;
    FPackedSum = 0;
    return start + static_cast<int64_t>(main->headerLength);
}

int64_t TArcLister::ListAce(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::AceBlock::kBaseSize);
    if (b.empty()) return -1;
    auto blk = aehdr::parseAceBlock(b);
    if (!blk) Corrupt(kMsgReadError);
    if (blk->type != aehdr::kAceTypeFile) return -1; // recovery records and the like end the list
    auto h = aehdr::parseAceFile(
        FIn.Fetch(static_cast<uint64_t>(offset), static_cast<size_t>(blk->totalHeaderLength())));
    if (!h) Corrupt(kMsgReadError);
    const uint8_t version = FAceVersion;
    if (h->flags & aehdr::kAceFlagSplitBefore)
        FPackedSum += h->packedSize;
    else
        FPackedSum = h->packedSize;
    Entry e;
    e.Name = DecodeName(h->name);
    e.Packed = FPackedSum;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->quality;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.VerMade = e.VerNeeded = version;
    e.Encrypted = (h->flags & aehdr::kAceFlagPassword) != 0;
    e.Offset = offset;
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (h->flags & aehdr::kAceFlagSplitBefore)
        FireEvent(OnReadFile, *this, e.Name); // its first part was reported already
    else
        Report(e, Filter::Spec, false);
    if (h->flags & aehdr::kAceFlagSplitAfter) {
        if (!NextVolume()) return -1;
        const int64_t sum = FPackedSum;
        const int64_t first = PrepareAce(0);
        FPackedSum = sum;
        return first;
    }
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ CAB

int64_t TArcLister::PrepareCab(int64_t start) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(start), kMaxVarHeader + 1024);
    auto h = aehdr::parseCabHeader(b);
    if (!h) Corrupt(b.size() < aehdr::CabHeader::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    FCab = *h;
    std::error_code ec;
    FCabVisited.push_back(std::filesystem::weakly_canonical(FVolumeName, ec).string());
    FCabFolderMethods.clear();
    const size_t folderStride = aehdr::CabFolder::kSize + h->folderReserve;
    for (uint16_t i = 0; i < h->folderCount; ++i) {
        auto f = aehdr::parseCabFolder(FIn.Fetch(
            static_cast<uint64_t>(start) + h->folderTableOffset + i * folderStride, aehdr::CabFolder::kSize));
        if (!f) Corrupt(kMsgReadError);
        FCabFolderMethods.push_back(f->compression);
    }
    FCabFilesLeft = h->fileCount;
    return start + h->firstFileOffset;
}

bool TArcLister::OpenCabinet(const std::string& path) {
    std::error_code ec;
    const std::string key = std::filesystem::weakly_canonical(path, ec).string();
    for (const auto& seen : FCabVisited)
        if (seen == key) return false; // a set whose next-cabinet names run in a circle
    std::string name = path;
    // The request names the next cabinet's disk as the cabinet itself stores it.
    if (!AskNextVolume(name, VolumeNumber + 1, DecodeName(FCab.nextDisk))) {
        SetCancel(true);
        return false;
    }
    if (FHandle >= 0 && !CloseFileHandle(FHandle)) {
        FHandle = -1;
        RaiseError(FVolumeName, "", "0", kMsgCloseError);
    }
    FHandle = OpenForRead(this, name);
    if (FHandle < 0) {
        FHandle = OpenForRead(nullptr, ArchiveFile());
        RaiseError(name, "", "0", kMsgReadError);
    }
    FVolumeName = name;
    ArchiveSize = FileSize64(FHandle);
    FIn.Attach(FHandle, ArchiveSize);
    ScanEnd = ArchiveSize;
    ++FVolumeSwitches;
    return true;
}

int64_t TArcLister::ListCab(int64_t offset) {
    if (FCabFilesLeft <= 0) {
        if (!(FCab.flags & aehdr::kCabFlagNext) || FCab.nextCabinet.empty()) return -1;
        const std::string path = FolderOf(FVolumeName) + DecodeName(FCab.nextCabinet);
        if (!OpenCabinet(path)) return -1;
        return PrepareCab(0);
    }
    --FCabFilesLeft;
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::CabFile::kFixedSize + 1024);
    auto f = aehdr::parseCabFile(b);
    if (!f) Corrupt(b.size() < aehdr::CabFile::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    const int64_t next = offset + static_cast<int64_t>(f->recordLength);
    // A file that began in an earlier cabinet was listed there.
    if (f->folderIndex == aehdr::kCabContinuedFromPrev || f->folderIndex == aehdr::kCabContinuedPrevAndNext)
        return next;
    Entry e;
    e.Name = DecodeName(f->name, (f->attributes & aehdr::kCabAttrUtf8Name) != 0);
    e.Packed = e.Unpacked = f->size;
    size_t folder = f->folderIndex;
    if (f->folderIndex == aehdr::kCabContinuedToNext)
        folder = FCabFolderMethods.empty() ? 0 : FCabFolderMethods.size() - 1;
    e.Method = folder < FCabFolderMethods.size() ? FCabFolderMethods[folder] : 0;
    e.Date = DosDateToDateTime(f->dosDateTime);
    e.Attr = e.ExtAttr = f->attributes;
    e.VerMade = FCab.versionMinor;
    e.VerNeeded = FCab.versionMajor;
    e.Offset = offset;
    Report(e, Filter::Spec, false);
    return next;
}

// ------------------------------------------------------------------------------ ZOO

int64_t TArcLister::PrepareZoo(int64_t start) {
    auto h = aehdr::parseZooArchive(FIn.Fetch(static_cast<uint64_t>(start), aehdr::ZooArchiveHeader::kSize));
    if (!h) Corrupt(kMsgBadFileHeader);
    if (!h->consistent()) Corrupt(kMsgBadFileHeader);
    if (h->commentLength > 0) {
        Bytes c = FIn.Fetch(h->commentOffset, h->commentLength);
        ArchiveComment = platform::decodeArchiveName(aehdr::fixedString(c));
    }
    return h->firstEntry;
}

int64_t TArcLister::ListZoo(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::ZooEntry::kFixedSize + 512);
    auto z = aehdr::parseZooEntry(b);
    if (!z) Corrupt(b.size() < aehdr::ZooEntry::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    if (z->next == 0) return -1; // the closing entry of the chain
    Entry e;
    std::string folder = z->folder;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    e.Name = DecodeName(folder + (z->longName.empty() ? z->shortName : z->longName));
    e.Packed = z->packedSize;
    e.Unpacked = z->size;
    e.Crc = z->crc16;
    e.Method = z->method;
    e.Date = DosDateToDateTime(z->dosDateTime);
    e.VerMade = z->versionMajor;
    e.VerNeeded = z->versionMinor;
    e.Offset = offset;
    if (z->commentLength > 0)
        e.Comment =
            platform::decodeArchiveName(aehdr::fixedString(FIn.Fetch(z->commentOffset, z->commentLength)));
    if (!z->deleted) Report(e, Filter::Spec, false);
    if (z->next > static_cast<uint64_t>(ArchiveSize)) Corrupt(kMsgReadError);
    return z->next;
}

// ------------------------------------------------------------------------------ HA

int64_t TArcLister::ListHa(int64_t offset) {
    if (FHaLeft <= 0) return -1;
    --FHaLeft;
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::HaHeader::kFixedSize + 4096);
    auto h = aehdr::parseHaHeader(b);
    if (!h) Corrupt(b.size() < aehdr::HaHeader::kFixedSize + 3 ? kMsgReadError : kMsgBadFileHeader);
    std::string path = h->path;
    std::replace(path.begin(), path.end(), '\xFF', '/');
    if (!path.empty() && path.back() != '/') path.push_back('/');
    Entry e;
    e.Name = DecodeName(path + h->name);
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    e.VerMade = e.VerNeeded = h->version;
    e.Date = UnixToDateTime(h->time);
    e.Offset = offset;
    Report(e, Filter::SpecOrBlankDir, h->method == aehdr::kHaMethodDir);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ ARC / PAK

int64_t TArcLister::ListArc(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::ArcHeader::kSize);
    if (b.empty()) return -1; // archives cut after their last entry
    auto h = aehdr::parseArcHeader(b);
    if (!h) Corrupt(b.size() < 2 || b[0] == aehdr::kArcMark ? kMsgReadError : kMsgBadFileHeader);
    if (h->type == aehdr::kArcEnd) return -1;
    const bool isArc = ArcType() == atArc || ArcType() == atArcExe;
    if (h->type == aehdr::kArcFolderEnd) {
        if (!isArc) return -1;
        if (!FArcFolders.empty()) FArcFolders.pop_back();
        return offset + 2;
    }
    std::string prefix;
    for (const auto& f : FArcFolders) prefix += f + "/";
    Entry e;
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc16;
    e.Method = h->type;
    e.TypeByte = h->type;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Offset = offset;
    if (isArc && h->type == aehdr::kArcFolder) {
        // A folder record: its "data" is the folder's own entries, which follow at once.
        if (FArcFolders.size() >= 256) Corrupt(kMsgBadFileHeader);
        FArcFolders.push_back(DecodeName(h->name));
        e.Name = prefix + FArcFolders.back() + "/";
        e.Packed = e.Unpacked = 0;
        e.Attr = e.ExtAttr = 16;
        Report(e, Filter::SpecOrBlankDir, true);
        return offset + static_cast<int64_t>(h->headerLength);
    }
    e.Name = prefix + DecodeName(h->name);
    Report(e, Filter::SpecOrBlankDir, false);
    const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ BH

int64_t TArcLister::ListBh(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::BhHeader::kSize);
    if (b.empty()) return -1;
    auto h = aehdr::parseBhHeader(b);
    if (!h) {
        if (b.size() >= 6 && le32(b.data()) == aehdr::kBhSig && le16(b.data() + 4) == 0) return -1;
        Corrupt(b.size() < aehdr::BhHeader::kSize ? kMsgReadError : kMsgBadFileHeader);
    }
    Bytes name = FIn.Fetch(static_cast<uint64_t>(offset) + aehdr::BhHeader::kSize, h->nameLength);
    if (name.size() < h->nameLength) Corrupt(kMsgReadError);
    Entry e;
    e.Name = DecodeName(aehdr::toString(name));
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Crc = h->crc32;
    e.Method = h->method;
    e.MethodFlags = h->flags;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Attr = e.ExtAttr = h->attributes;
    e.VerMade = h->versionMadeBy;
    e.VerNeeded = h->versionNeeded;
    e.Encrypted = (h->flags & 1) != 0;
    e.Offset = offset;
    Report(e, Filter::Spec, false);
    const int64_t next =
        offset + static_cast<int64_t>(aehdr::BhHeader::kSize + h->nameLength) + h->packedSize;
    if (next > ArchiveSize) Corrupt(kMsgReadError);
    return next;
}

// ------------------------------------------------------------------------------ MsGZ

int64_t TArcLister::PrepareMsgz(int64_t start) {
    Bytes hb = FIn.Fetch(static_cast<uint64_t>(start), aehdr::kMsgzArchiveHeaderSize);
    if (hb.size() < aehdr::kMsgzArchiveHeaderSize) Corrupt(kMsgReadError);
    uint64_t pos = le32(hb.data() + aehdr::kMsgzFolderTableOffsetAt);
    if (pos >= static_cast<uint64_t>(ArchiveSize)) return -1;
    // Folder records until one with length 0; each takes L bytes, so the walk moves forward.
    for (;;) {
        Bytes r = FIn.Fetch(pos, aehdr::kMsgzFolderRecordSize);
        if (r.size() < aehdr::kMsgzFolderRecordSize) Corrupt(kMsgReadError);
        const uint8_t length = r[2];
        if (length == 0) break;
        if (length < aehdr::kMsgzFolderRecordSize) Corrupt(kMsgBadFileHeader);
        Bytes name = FIn.Fetch(pos + aehdr::kMsgzFolderRecordSize, length - aehdr::kMsgzFolderRecordSize);
        if (name.size() < length - aehdr::kMsgzFolderRecordSize) Corrupt(kMsgReadError);
        FMsgzFolders.push_back(DecodeName(aehdr::fixedString(name)));
        pos += length;
    }
    return static_cast<int64_t>(pos + aehdr::kMsgzFolderRecordSize) - 4;
}

int64_t TArcLister::ListMsgz(int64_t offset) {
    Bytes b = FIn.Fetch(static_cast<uint64_t>(offset), aehdr::MsgzEntry::kSize);
    if (b.empty()) return -1;
    auto h = aehdr::parseMsgzEntry(b);
    if (!h) Corrupt(kMsgReadError);
    Bytes name = FIn.Fetch(static_cast<uint64_t>(offset) + aehdr::MsgzEntry::kSize, h->nameLength);
    if (name.size() < h->nameLength) Corrupt(kMsgReadError);
    if (h->recordSize < aehdr::MsgzEntry::kSize + h->nameLength) Corrupt(kMsgBadFileHeader);
    Entry e;
    e.Name = DecodeName(aehdr::toString(name));
    if (h->folderIndex < FMsgzFolders.size() && !FMsgzFolders[h->folderIndex].empty())
        e.Name = FMsgzFolders[h->folderIndex] + "/" + e.Name;
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Date = DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.Offset = h->dataOffset;
    e.NoMethod = true;
    Report(e, Filter::Spec, false);
    // The record size counts the fixed part and the name, which were read already.
    return offset + static_cast<int64_t>(h->recordSize);
}

// ------------------------------------------------------------------------------ UUE / XXE

// The size of the decoded data, from the length character that starts every line: UU
// writes it as ' ' + n (or '`' for 0), XX as the n-th character of its alphabet. Reading
// stops at the "end" line or at the end of the file.
int64_t TArcLister::UuDecodedSize(uint64_t bodyStart) {
    static constexpr std::string_view kXx =
        "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string ext = FileNameOf(ArchiveFile());
    ext = ext.size() >= 4 ? ext.substr(ext.size() - 4) : ext;
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool xx = ext == ".xxe";
    int64_t total = 0;
    bool first = true;
    uint64_t pos = bodyStart;
    for (;;) {
        Bytes b = FIn.Fetch(pos, 4096);
        if (b.empty()) break;
        // Move to the start of the next line.
        const void* nl = std::memchr(b.data(), '\n', b.size());
        if (nl == nullptr) {
            if (b.size() < 4096) break;
            pos += b.size();
            continue;
        }
        pos += static_cast<uint64_t>(static_cast<const uint8_t*>(nl) - b.data()) + 1;
        Bytes line = FIn.Fetch(pos, 4);
        if (line.empty()) break;
        if (line.size() >= 3 && std::memcmp(line.data(), "end", 3) == 0) break;
        const uint8_t c = line[0];
        if (c == '\r' || c == '\n') continue;
        if (first && c == 'h') xx = true;
        first = false;
        if (xx) {
            const size_t n = kXx.find(static_cast<char>(c));
            if (n == std::string_view::npos) break;
            total += static_cast<int64_t>(n);
        } else {
            if (c < ' ' || c > '`') break;
            total += (c - ' ') & 0x3F;
        }
    }
    return total;
}

void TArcLister::ListUue() {
    const uint64_t start = static_cast<uint64_t>(ArcStart - 1);
    Bytes b = FIn.Fetch(start, 32768);
    for (size_t i = 0; i + 6 <= b.size(); ++i) {
        if (i != 0 && b[i - 1] != '\n') continue;
        if (std::memcmp(b.data() + i, "begin ", 6) != 0) continue;
        // "begin <mode> <name>": the name runs to the end of the line.
        size_t p = i + 6;
        while (p < b.size() && b[p] != ' ' && b[p] != '\r' && b[p] != '\n') ++p;
        if (p < b.size() && b[p] == ' ') ++p;
        size_t end = p;
        while (end < b.size() && b[end] != '\r' && b[end] != '\n') ++end;
        std::string raw(b.begin() + static_cast<std::ptrdiff_t>(p),
                        b.begin() + static_cast<std::ptrdiff_t>(end));
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) raw.pop_back();
        Entry e;
        e.Name = DecodeName(raw);
        e.Packed = ArchiveSize;
        e.Unpacked = UuDecodedSize(start + end);
        e.Date = ArchiveFileDate();
        e.NoMethod = true;
        e.Offset = 0;
        FireEvent(OnReadFile, *this, e.Name);
        Emit(e, true);
        return;
    }
}
