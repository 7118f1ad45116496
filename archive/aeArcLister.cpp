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
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

using aehdr::Bytes;

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

void TArcLister::RaiseError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                            int ECode) {
    FLastErrorDetail = MsgEx;
    TZipCommon::RaiseError(FN, MsgEx, VolumeID, ECode);
}

bool TArcLister::Activate() {
    FLastError.clear();
    FLastErrorDetail.clear();
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
        if (!FLastErrorDetail.empty()) FLastError += " (" + FLastErrorDetail + ")";
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
            l.FWalk.reset();
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
    case Filter::SpecFilesOnly:
        if (!isDir && MatchesFileSpec(e.Name, namesOnly)) Emit(e, true);
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
    const TFormatRow* f = FindFormat(ArcType());
    FWalk = f && f->NewWalk ? f->NewWalk(ArcType()) : nullptr;
    return FWalk ? FWalk->Prepare(*this, start) : -1;
}

int64_t TArcLister::ParseHeader(int64_t Offset) {
    return FWalk ? FWalk->Step(*this, Offset) : -1;
}

// ------------------------------------------------------------------------------ volumes

void TArcLister::AttachVolume() {
    FIn.Attach(FHandle, ArchiveSize);
    ScanEnd = ArchiveSize;
    ++FVolumeSwitches;
}

bool TArcLister::NextVolume() {
    if (!OpenNextVolume(FHandle, FVolumeName)) {
        SetCancel(true);
        return false;
    }
    ArchiveSize = FileSize64(FHandle);
    if (ArchiveSize < 0) Corrupt(kMsgReadError);
    AttachVolume();
    return true;
}

bool TArcLister::NextVolume(std::string Name) {
    if (!OnNextVolume || !AskNextVolume(Name, VolumeNumber)) {
        SetCancel(true);
        return false;
    }
    OpenVolume(Name);
    return true;
}

void TArcLister::OpenVolume(const std::string& Path) {
    if (FHandle >= 0 && !CloseFileHandle(FHandle)) {
        FHandle = -1;
        RaiseError(FVolumeName, "", "0", kMsgCloseError);
    }
    FHandle = OpenForRead(this, Path);
    if (FHandle < 0) {
        FHandle = OpenForRead(nullptr, ArchiveFile());
        RaiseError(Path, "", "0", kMsgReadError);
    }
    FVolumeName = Path;
    ArchiveSize = FileSize64(FHandle);
    AttachVolume();
}

void TArcLister::ReopenVolume() {
    ReopenArchive(FHandle);
    AttachVolume();
}
