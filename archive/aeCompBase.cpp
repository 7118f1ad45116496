// The writer base: collecting files, the temporary archive, keeping and copying entries,
// replacing the archive and deleting moved sources.
#include "archive/aeCompBase.h"
#include "archive/aeFormats.h"
#include "archive/aeMsgs.h"
#include "archive/codec/aeCrypt.h"
#include "common/PathParts.h"
#include "common/Pump.h"
#include "common/Wildcard.h"
#include "common/ZipLayout.h"

#include "platform/fileio.h"
#include "platform/ui_hooks.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

constexpr int64_t kCopyBlockSize = 32768;

std::string absoluteNormal(const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_relative()) p = std::filesystem::path(platform::currentDir()) / p;
    return p.lexically_normal().string();
}

// The extension of the file-name part, dot included; empty when there is none.
std::string extensionOf(const std::string& path) {
    const std::string name = ExtractFileNamePart(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return name.substr(dot);
}

std::string trimmed(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Lets pending events through (a Cancel button) while files are searched, at most about
// 30 times a second: a pump per file would cost more than the search on large trees.
void pumpMessages() {
    static pvcommon::PumpThrottle throttle;
    if (throttle.Due()) platform::processMessages();
}

} // namespace

int DeflateLevelOf(TDeflateType Type) {
    switch (Type) {
    case dtDeflateS:
        return 1;
    case dtDeflateF:
        return 2;
    case dtDeflateX:
        return 9;
    default:
        return 7;
    }
}

int HeaderSizeFor(TArcType Type) {
    return FormatOf(Type).HeaderSize;
}

THeadObject::THeadObject(const THeadObject& o)
    : Header(o.Header), CompressedSize(o.CompressedSize), UncompressedSize(o.UncompressedSize),
      DosDate(o.DosDate), Attr(o.Attr), Offset(o.Offset), StoredLength(o.StoredLength), Action(o.Action),
      Comment(o.Comment), Previous(o.Previous ? std::make_unique<THeadObject>(*o.Previous) : nullptr) {}

THeadObject& THeadObject::operator=(const THeadObject& o) {
    if (this != &o) {
        THeadObject copy(o);
        Header = std::move(copy.Header);
        CompressedSize = copy.CompressedSize;
        UncompressedSize = copy.UncompressedSize;
        DosDate = copy.DosDate;
        Attr = copy.Attr;
        Offset = copy.Offset;
        StoredLength = copy.StoredLength;
        Action = copy.Action;
        Comment = std::move(copy.Comment);
        Previous = std::move(copy.Previous);
    }
    return *this;
}

// Feeds an encoder (deflate or LZH; their I/O interfaces have the same shape) from a source
// file through the component's block reader, with the CRC mode the format checks, and takes
// its output through the encrypting block writer.
template <class Io> class TCompBaseEncoderIo final : public Io {
public:
    TCompBaseEncoderIo(TCompBase& w, int source, int dest, bool encrypt, int crcMode)
        : w_{w}, source_{source}, dest_{dest}, encrypt_{encrypt}, crcMode_{crcMode}, size_{w.FBytesToRead} {}

    int64_t ReadInput(uint8_t* buffer, int64_t count) override {
        const int64_t want = std::min(count, w_.FBytesToRead);
        if (want <= 0) return 0;
        const int64_t got = w_.ReadBlock(source_, nullptr, want, crcMode_, false, buffer);
        // A read error, or a file that shrank since it was listed, must not end the entry as
        // if it were complete: the entry fails instead.
        if (got <= 0) w_.RaiseError(w_.FileName, "", "0", kMsgReadError);
        w_.FBytesToRead -= got;
        w_.BytesLeft -= got;
        w_.ReportProgress(size_ - w_.FBytesToRead, size_, w_.FTotalSize);
        return got;
    }

    void WriteOutput(const uint8_t* buffer, int64_t count) override {
        // The encrypting writer transforms its buffer in place; without encryption it only
        // reads it.
        uint8_t* p = const_cast<uint8_t*>(buffer);
        if (encrypt_) {
            scratch_.assign(buffer, buffer + count);
            p = scratch_.data();
        }
        w_.FCompressedSize += w_.WriteBlockEncrypted(dest_, nullptr, 1, count, 0, encrypt_, p);
    }

    bool Cancelled() override { return w_.Cancel(); }

private:
    TCompBase& w_;
    int source_, dest_;
    bool encrypt_;
    int crcMode_;
    int64_t size_;
    std::vector<uint8_t> scratch_;
};

// ---- construction and properties ----

TCompBase::TCompBase() {
    FArcType = atBh;
    DateAttribute = daFileDate;
}

TCompBase::~TCompBase() {
    closeRunFiles();
    FTemp.discard();
}

void TCompBase::SetArchiveFile(const std::string& Value) {
    FArchiveFile = Value;
    ArcStart = 1;
}

void TCompBase::SetArcType(TArcType Value) {
    FArcType = Value;
}

void TCompBase::SetCompressMethod(TCompressMethod Value) {
    if (FAllowedMethods & MethodBit(Value)) FCompressMethod = Value;
}

void TCompBase::SetDefaultExt(const std::string& Value) {
    const std::string previous = FDefaultExt;
    std::string ext = trimmed(Value);
    if (!ext.empty() && ext != ".") {
        if (ext[0] != '.') ext = "." + ext;
        ext = pvcommon::LowerAscii(ext.substr(0, 4));
    } else {
        ext = FOwnDefaultExt;
    }
    FDefaultExt = ext;
    if (FArchiveFile.empty() || ext.empty()) return;
    const std::string current = extensionOf(FArchiveFile);
    if (current.empty())
        FArchiveFile += ext;
    else if (!previous.empty() && pvcommon::LowerAscii(current) == pvcommon::LowerAscii(previous))
        FArchiveFile = FArchiveFile.substr(0, FArchiveFile.size() - current.size()) + ext;
}

std::string TCompBase::DefaultDir() {
    if (trimmed(FDefaultDir).empty()) FDefaultDir = AppendDirTail(platform::currentDir());
    return FDefaultDir;
}

void TCompBase::SetDefaultDir(const std::string& Value) {
    const std::string v = trimmed(Value);
    if (!v.empty() && platform::dirExists(v))
        FDefaultDir = AppendDirTail(v);
    else
        FDefaultDir = AppendDirTail(platform::currentDir());
}

void TCompBase::SetFileSpecPaths(const std::vector<std::string>& Paths) {
    FFileSpec.clear();
    for (const auto& p : Paths)
        if (!trimmed(p).empty()) FFileSpec.push_back(p);
}

// ---- entry list ----

int TCompBase::IndexOfEntry(const std::string& Name) const {
    const auto it = FEntryIndex.find(Name);
    return it == FEntryIndex.end() ? -1 : static_cast<int>(it->second);
}

int TCompBase::AddListEntry(const std::string& Name, std::unique_ptr<THeadObject> Head, int SpecIndex) {
    FEntries.push_back(TEntryItem{Name, std::move(Head), SpecIndex, {}});
    const size_t i = FEntries.size() - 1;
    FEntryIndex.emplace(Name, i); // the first entry of a name stays the one found
    return static_cast<int>(i);
}

void TCompBase::eraseIndex(const std::string& Name, size_t i) {
    const auto it = FEntryIndex.find(Name);
    if (it == FEntryIndex.end() || it->second != i) return;
    FEntryIndex.erase(it);
    for (size_t k = i + 1; k < FEntries.size(); ++k)
        if (FEntries[k].Name == Name) {
            FEntryIndex.emplace(Name, k);
            break;
        }
}

void TCompBase::RenameEntry(size_t i, const std::string& NewName) {
    TEntryItem& e = FEntries.at(i);
    if (e.Name == NewName) return;
    eraseIndex(e.Name, i);
    e.Name = NewName;
    const auto it = FEntryIndex.find(NewName);
    if (it == FEntryIndex.end() || it->second > i) FEntryIndex[NewName] = i;
}

void TCompBase::freeRunState() {
    FEntries.clear();
    FEntryIndex.clear();
    FMoveList.clear();
    FCurrentEntry = -1;
}

// ---- the run ----

int TCompBase::Compress() {
    ReadMode = 0;
    WriteMode = 0;
    FNoRewrite = false;
    FReplaced = false;
    if (FArchiveFile.empty()) return 0;
    if (extensionOf(FArchiveFile).empty() && !FDefaultExt.empty()) FArchiveFile += FDefaultExt;
    // What a killed run left beside the archive or among the temporary files goes now.
    platform::removeStaleTemporaries(TempDir());
    platform::removeStaleTemporaries(ExtractDirPart(absoluteNormal(FArchiveFile)));

    TRunSpec spec;
    spec.OpenArchive = false;
    spec.RequireArchive = false;
    RunOperation(spec, [this](int) {
        freeRunState();
        FAddedCount = FDeletedCount = 0;
        FNewestDate = 0;
        FTotalSize = 0;
        FBytesToRead = FCompressedSize = 0;
        ProgressSink = [this](uint8_t f, uint8_t a) { DoProgress(f, a); };
        const auto cleanUp = [this] {
            closeRunFiles();
            FTemp.discard();
            freeRunState();
            FileCount = Switch == swDelete ? FDeletedCount : FAddedCount;
        };
        try {
            Run();
        } catch (E_RAISE& e) {
            // A failure that was not said yet (a write that stopped short) is said here,
            // naming the archive and the system's reason.
            if (!e.Reported) {
                ReportError(WrittenFile(), e.Detail, "0", e.ECode);
                e.Reported = true;
            }
            cleanUp();
            throw;
        } catch (...) {
            cleanUp();
            throw;
        }
        freeRunState();
    });
    FileCount = Switch == swDelete ? FDeletedCount : FAddedCount;
    return FileCount;
}

bool TCompBase::BeginWriteRun() {
    FNewArchive = !platform::pathExists(FArchiveFile);
    FArchiveAbs = absoluteNormal(FArchiveFile);
    if (Switch == swRead) {
        if (!FNewArchive) ReadArchive();
        return false;
    }
    if (FNewArchive && Switch == swDelete) RaiseError(FArchiveFile, "", "0", kMsgNothingToDo);
    return FNewArchive || checkWriteable();
}

void TCompBase::Run() {
    if (!BeginWriteRun()) return;
    makeTempArchive();

    if (!FNewArchive) {
        FArcHandle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
        // Without the old archive nothing can be kept: writing a new one over it would lose it.
        if (FArcHandle < 0) RaiseError(FArchiveFile, "", "0", kMsgOpenError);
        ArchiveSize = std::max<int64_t>(0, platform::fileSize(FArcHandle));
        ScanEnd = ArchiveSize;
        if (ArcStart > 1) {
            // A self-extractor's program part goes over unchanged.
            const int64_t prefix = ArcStart - 1;
            if (prefix > ArchiveSize) RaiseError(FArchiveFile, "", "0", kMsgReadError);
            platform::seekFile(FArcHandle, 0);
            if (CopyBlock(FArcHandle, prefix, 0, false, FTempHandle) != prefix) WriteError();
            platform::seekFile(FArcHandle, prefix);
        }
        if (Switch == swDelete) FExcludeSpec.clear();
        ScanExisting(FArcHandle);
    }
    if (Switch == swDelete && FEntries.empty() && FDeletedCount >= 1)
        deleteWholeArchive();
    else
        AddFiles();
    finishRun();
}

bool TCompBase::checkWriteable() {
    const uint32_t a = platform::fileAttributes(FArchiveFile);
    // Hidden only means a leading dot here: such a file is as writeable as any other.
    if (a == platform::kInvalidAttributes || (a & (platform::faReadOnly | platform::faSysFile)) == 0)
        return true;
    if (!OnNonWriteableArchive) RaiseError(FArchiveFile, "", "0", kMsgWriteError);
    bool WriteToFile = false;
    FireEvent(OnNonWriteableArchive, *this, FArchiveFile, WriteToFile);
    if (!WriteToFile) return false; // the user keeps the archive as it is
    if (!platform::setFileAttributes(FArchiveFile, platform::faArchive))
        RaiseError(FArchiveFile, "", "0", kMsgWriteError);
    return true;
}

std::string TCompBase::TempArchiveDir() {
    return ExtractDirPart(FArchiveAbs);
}

void TCompBase::makeTempArchive() {
    const std::string dir = TempArchiveDir();
    if (!FTemp.create(dir, ".pvtmp", ".tmp")) RaiseError(dir, "", "0", kMsgOpenError);
    FTempFileName = FTemp.reopenPath();
    FTempHandle = FTemp.fd();
}

void TCompBase::closeRunFiles() {
    // The temporary archive's descriptor belongs to FTemp.
    if (FArcHandle >= 0) platform::closeFile(FArcHandle);
    FTempHandle = FArcHandle = -1;
}

void TCompBase::finishRun() {
    AfterWrite();
    // A cancelled run leaves the archive as it was: entries not yet copied would be lost.
    if (Cancel()) RaiseError(FArchiveFile, "", "0", kMsgUserCanceled);
    if (FTempHandle >= 0) {
        const bool synced = platform::syncFile(FTempHandle);
        FTempHandle = -1;
        if (!synced) WriteError();
    }
    closeRunFiles();
    FReplaced = false;
    if (!FNoRewrite) {
        if (!ReplaceArchive(FTempFileName, FArchiveFile)) WriteError();
    }
    FTemp.discard();
    FReplaced = true;
    WriteDirectory();
    AfterRun();
    if (Switch == swMove && FAddedCount > 0) deleteMovedSources();
}

bool TCompBase::ReplaceArchive(const std::string& Temp, const std::string& Archive) {
    if (FNoRewrite || (FAddedCount == 0 && (Switch != swDelete || FDeletedCount == 0))) {
        FTemp.discard();
        return true;
    }
    // The new archive keeps the permissions of the one it replaces.
    const int mode = FNewArchive ? platform::newFileMode() : platform::fileMode(Archive);
    std::string folder = ExtractDirPart(absoluteNormal(Archive));
    struct stat temp = {}, dir = {};
    if (::fstat(FTemp.fd(), &temp) != 0 || ::stat(folder.c_str(), &dir) != 0) return false;
    if (temp.st_dev != dir.st_dev) return copyIntoPlace(Archive, mode);
    if (mode >= 0) platform::setFileMode(FTemp.fd(), mode);
    return FTemp.commit(Archive);
}

bool TCompBase::copyIntoPlace(const std::string& Archive, int Mode) {
    // A temporary archive on another file system: copied beside the archive first, so that
    // the archive is still replaced in one step, never left half written.
    platform::PendingFile out;
    if (!out.create(ExtractDirPart(absoluteNormal(Archive)), ".pvtmp", ".tmp")) return false;
    const int64_t size = platform::fileSize(FTemp.fd());
    std::vector<uint8_t> buffer(static_cast<size_t>(kCopyBlockSize));
    bool ok = size >= 0;
    for (int64_t at = 0; ok && at < size; at += kCopyBlockSize) {
        const int64_t n = std::min(kCopyBlockSize, size - at);
        ok = platform::readAt(FTemp.fd(), at, buffer.data(), n) &&
             platform::writeFile(out.fd(), buffer.data(), n) == n;
    }
    ok = ok && platform::syncFile(out.fd());
    if (ok && Mode >= 0) platform::setFileMode(out.fd(), Mode);
    if (!ok || !out.commit(Archive)) return false;
    FTemp.discard();
    return true;
}

void TCompBase::deleteWholeArchive() {
    // Every entry was deleted: the archive goes rather than staying as an empty file.
    if (FArcHandle >= 0) platform::closeFile(FArcHandle);
    FArcHandle = -1;
    FNoRewrite = true;
    if (!platform::removeFile(FArchiveFile)) {
        platform::messageBox("", "Unable to delete archive", platform::MsgType::Error, platform::mbOK);
        FDeletedCount = 0;
    }
}

void TCompBase::deleteMovedSources() {
    if (ProgressSink) {
        auto sink = ProgressSink;
        sink(0, 0);
    }
    const int count = static_cast<int>(FMoveList.size());
    for (int i = 0; i < count; ++i)
        if (DeleteFileEx(FMoveList[i], DeleteOptions)) FireEvent(OnDeleteFile, *this, FMoveList[i], count, i);
}

// ---- collecting files ----

void TCompBase::AddFiles() {
    if (Switch != swDelete) {
        for (size_t i = 0; i < FFileSpec.size(); ++i) {
            pumpMessages();
            if (Cancel()) break;
            ExpandSpec(i);
        }
    }
    BytesLeft = FTotalSize;
    int previousSpec = -1;
    for (size_t i = 0; i < FEntries.size(); ++i) {
        FileCount = static_cast<int>(i) + 1;
        FCurrentEntry = static_cast<int>(i);
        TEntryItem& e = FEntries[i];
        if (!e.Head) continue;
        if (Cancel()) {
            e.Head->Action = eaSkip;
            continue;
        }
        if (Switch != swDelete && e.SpecIndex > 0 && e.SpecIndex != previousSpec &&
            static_cast<size_t>(e.SpecIndex) <= FFileSpec.size()) {
            previousSpec = e.SpecIndex;
            FBaseDir = ExtractDirPart(FFileSpec[static_cast<size_t>(e.SpecIndex) - 1]);
        }
        switch (e.Head->Action) {
        case eaNew:
        case eaReplace:
            if (!addOneFile(e)) {
                THeadObject& h = *FEntries[i].Head;
                if (h.Previous) {
                    // A failed replacement keeps the entry the archive had.
                    std::unique_ptr<THeadObject> old = std::move(h.Previous);
                    h = *old;
                    h.Action = eaKeep;
                    RenameEntry(i, FEntries[i].PreviousName);
                    copyKeptEntry(h, FEntries[i].Name);
                } else {
                    h.Action = eaSkip;
                }
            }
            break;
        case eaKeep:
            copyKeptEntry(*e.Head, e.Name);
            break;
        default:
            break;
        }
    }
}

bool TCompBase::addOneFile(TEntryItem& Item) {
    const size_t i = static_cast<size_t>(&Item - FEntries.data());
    const std::string source = Item.Name;
    const bool ok = AddFile(FTempHandle, source, *Item.Head) && Item.Head->Action != eaSkip;
    if (!ok) return false;
    ++FAddedCount;
    if (Switch == swMove) FMoveList.push_back(source);
    Item.Head->Previous.reset();
    if (!FileName.empty()) RenameEntry(i, FileName);
    return true;
}

void TCompBase::copyKeptEntry(THeadObject& Head, const std::string& Name) {
    const int64_t offset = Head.Offset;
    int64_t length;
    if (InArcTypes(ZipFamilyArcTypes, FArcType)) {
        // Local header: signature, version, flags (6), method, time, CRC, sizes, name length
        // (26), extra length (28); then name, extra, data and, with flag bit 3, a descriptor.
        uint8_t h[30];
        if (!platform::readAt(FArcHandle, offset, h, 30) || pvcommon::GetLE32(h) != pvcommon::zip::kLocalSig)
            RaiseError(FArchiveFile, "", "0", kMsgInconsistentLocal);
        length = 30 + pvcommon::GetLE16(h + 26) + pvcommon::GetLE16(h + 28) + Head.CompressedSize;
        if (pvcommon::GetLE16(h + 6) & 8) {
            uint8_t sig[4];
            const bool hasSig = platform::readAt(FArcHandle, offset + length, sig, 4) &&
                                pvcommon::GetLE32(sig) == pvcommon::zip::kDescriptorSig;
            length += hasSig ? 16 : 12;
        }
        const int64_t newOffset = platform::fileSize(FTempHandle);
        if (newOffset < 0 || newOffset > 0xFFFFFFFFll) WriteError();
        if (Head.Header.size() >= 46)
            pvcommon::PutLE32(Head.Header.data() + 42, static_cast<uint32_t>(newOffset));
    } else if (Head.StoredLength > 0) {
        length = Head.StoredLength;
    } else if (const int block = FormatOf(FArcType).EntryBlock; block > 0) {
        length = (Head.CompressedSize + LocalHeaderLength() + block - 1) / block * block;
    } else {
        length = static_cast<int64_t>(Name.size()) + LocalHeaderLength() + Head.CompressedSize;
    }
    if (offset < 0 || length < 0 || offset > ArchiveSize || length > ArchiveSize - offset)
        RaiseError(FArchiveFile, "", "0", kMsgReadError);
    if (platform::seekFile(FArcHandle, offset) < 0 ||
        CopyBlock(FArcHandle, length, 0, false, FTempHandle) != length)
        WriteError();
}

void TCompBase::ExpandSpec(size_t Index) {
    std::string spec = FFileSpec[Index];
    if (spec.find('/') == std::string::npos) {
        if (!platform::dirExists(DefaultDir())) FDefaultDir = AppendDirTail(platform::currentDir());
        spec = DefaultDir() + spec;
    } else if (spec[0] != '/')
        spec = AppendDirTail(platform::currentDir()) + spec;
    spec = std::filesystem::path(spec).lexically_normal().string();
    FFileSpec[Index] = spec;
    FBaseDir = ExtractDirPart(spec);
    FindFiles(Index, ExtractFileNamePart(spec), FBaseDir);
}

bool TCompBase::HiddenExcluded() const {
    return !FileAttribute.ftHidden();
}

bool TCompBase::AttributeFilter(uint32_t A) const {
    if (A & (platform::faDirectory | 0x100u)) return false;
    const TaeFileAttr& f = FileAttribute;
    bool take;
    if (A & platform::faArchive)
        take = f.ftArchive();
    else if (A == 0 || (A & 0x3Fu) || (A & 0x80u))
        take = f.ftZeroAttr();
    else
        take = true;
    if (A & platform::faReadOnly) take = take || f.ftReadOnly();
    if (A & platform::faHidden) take = take || f.ftHidden();
    if (A & platform::faSysFile) take = take || f.ftSysFile();
    // Every file here carries the archive bit, so the rule above alone could never leave out
    // a hidden file: excluding hidden files must exclude them.
    if ((A & platform::faHidden) && HiddenExcluded()) take = false;
    return take;
}

bool TCompBase::isOwnFile(const std::string& Path) const {
    const std::string p = absoluteNormal(Path);
    // The temporary archive may have no name, or one that is no business of the run's.
    struct stat temp = {}, file = {};
    if (FTemp.isOpen() && ::fstat(FTemp.fd(), &temp) == 0 && ::stat(p.c_str(), &file) == 0 &&
        temp.st_dev == file.st_dev && temp.st_ino == file.st_ino)
        return true;
    return p == FArchiveAbs || std::any_of(FOwnFiles.begin(), FOwnFiles.end(),
                                           [&](const std::string& f) { return p == absoluteNormal(f); });
}

void TCompBase::Skipped(const std::string& FN, const std::string& Why, bool Failed) {
    if (OnSkipped)
        FireEvent(OnSkipped, *this, FN, Why, Failed);
    else
        ReportError(FN, Why, "0", kMsgOpenError);
}

bool TCompBase::FolderReadable(const std::string& Folder, int Found) {
    // A folder that exists but cannot be listed would leave its files out without a word.
    const int e = errno;
    if (Found != ERROR_PATH_NOT_FOUND || !platform::dirExists(Folder)) return true;
    const std::string name = RemoveDirTail(Folder);
    Skipped(name, "cannot open folder " + name + ": " + std::strerror(e ? e : EACCES), true);
    return false;
}

bool TCompBase::SkippedAsSpecial(const std::string& Path) {
    if (!platform::isSpecialFile(Path)) return false;
    // Reading a named pipe would wait for a writer that may never come; a socket or device
    // is no file either. Said, never read.
    Skipped(Path, Path + " is not a regular file (a named pipe, socket or device): skipped", false);
    return true;
}

void TCompBase::FindFiles(size_t Index, const std::string& Mask, const std::string& Folder) {
    TSearchRecDos sr;
    const int first = FindFirstDos(Folder + Mask, 0xFFFFFFFFu, sr);
    if (!FolderReadable(Folder, first)) return;
    for (int r = first; r == 0; r = FindNextDos(sr)) {
        pumpMessages();
        if (Cancel()) break;
        const std::string full = Folder + sr.Name;
        if (!AttributeFilter(sr.Attr)) continue;
        // The archive and its temporary copy are never added to themselves; asked for by
        // name, that is a file the run could not add.
        if (isOwnFile(full)) {
            if (!FReplaced && !pvcommon::HasWildcards(Mask))
                Skipped(full, full + " is the archive being written: not added to itself", true);
            continue;
        }
        if (!FReplaced && SkippedAsSpecial(full)) continue;
        BuildOutputName(full);
        if (FReplaced) {
            // The move phase deletes only files that this run added.
            const int k = IndexOfEntry(FileName);
            const bool added = k >= 0 && FEntries[static_cast<size_t>(k)].Head &&
                               FEntries[static_cast<size_t>(k)].Head->Action <= eaReplace;
            if (added) DeleteFileEx(full, DeleteOptions);
        } else if (!IsExcluded(FileName)) {
            if (sr.Time > FNewestDate) FNewestDate = sr.Time;
            AddEntry(static_cast<int>(Index), full, true, sr.Attr, sr.Time, sr.Size);
        }
    }
    FindCloseDos(sr);
    if (!RecurseDirs || Cancel()) return;

    // Sub-folders: symlinked ones are not followed (they may lead anywhere, or in circles);
    // dot-folders are searched unless hidden files are excluded.
    TSearchRecDos dir;
    for (int r = FindFirstDos(Folder + "*", 0xFFFFFFFFu, dir); r == 0; r = FindNextDos(dir)) {
        if (!(dir.Attr & platform::faDirectory) || (dir.Attr & platform::faSymLink)) continue;
        if (dir.Name == "." || dir.Name == ".." || (dir.Name[0] == '.' && HiddenExcluded())) continue;
        pumpMessages();
        if (Cancel()) break;
        FindFiles(Index, Mask, Folder + dir.Name + "/");
    }
    FindCloseDos(dir);
}

bool TCompBase::BuildOutputName(const std::string& Path) {
    std::string name = Path;
    switch (StoredDirNames) {
    case sdNone:
        name = ExtractFileNamePart(Path);
        break;
    case sdAbsolute:
        break;
    case sdAbsoluteNoDrv:
        if (const size_t colon = name.find(':'); colon != std::string::npos && colon < name.find('/'))
            name.erase(0, colon + 1);
        else if (IsUncPath(name)) {
            // "//server/share/rest" -> "/rest"
            size_t p = name.find('/', 2);
            p = p == std::string::npos ? std::string::npos : name.find('/', p + 1);
            name = p == std::string::npos ? "/" : name.substr(p);
        }
        break;
    case sdRelative:
        if (!FBaseDir.empty() && name.compare(0, FBaseDir.size(), FBaseDir) == 0)
            name.erase(0, FBaseDir.size());
        break;
    case sdRelativeStoreStart: {
        // The base folder without its last level: the stored name starts with that folder.
        const std::string base = RemoveDirTail(FBaseDir);
        const std::string parent = ExtractDirPart(base);
        if (!parent.empty() && name.compare(0, parent.size(), parent) == 0) name.erase(0, parent.size());
        break;
    }
    }
    FileName = name;
    return true;
}

platform::EncodedName TCompBase::EncodeName(const std::string& Stored) const {
    return {Stored, false, true};
}

std::string TCompBase::ListedName(const std::string& Stored) const {
    const platform::EncodedName e = EncodeName(Stored);
    return e.exact && e.bytes == Stored ? Stored : BackslashToSlash(e.readBack());
}

bool TCompBase::IsExcluded(const std::string& Name) {
    if (FExcludeSpec.empty()) return false;
    const std::string saved = FileName;
    const std::string name = Name; // Name may be FileName itself, which the loop changes
    bool excluded = false;
    for (const std::string& ex : FExcludeSpec) {
        BuildOutputName(ex);
        if (WildcardMatch(FileName, name, false)) {
            excluded = true;
            break;
        }
    }
    FileName = saved;
    return excluded;
}

// ---- finding and listing entries ----

int TCompBase::AddEntry(int Index, const std::string& Name, bool IsNew, uint32_t Attr, uint32_t DosDate,
                        int64_t Size) {
    int found = -1;
    if (!FEntries.empty()) {
        if (!FNewArchive) found = IndexOfEntry(FileName);
        if (found < 0) found = IndexOfEntry(Name);
        // An entry whose name the format could not hold exactly is listed as it was stored.
        if (found < 0 && !FNewArchive)
            if (const std::string listed = ListedName(FileName); listed != FileName)
                found = IndexOfEntry(listed);
    }
    if (found >= 0) {
        FCurrentEntry = found;
        TEntryItem& e = FEntries[static_cast<size_t>(found)];
        if (!e.Head) return found;
        THeadObject& h = *e.Head;
        if (IsNew && h.Action == eaNew) return found; // a file named twice is taken once
        if (h.DosDate == DosDate && h.UncompressedSize == Size && h.Attr == Attr) return found;
        if (!OnReplaceFile) {
            ReportError(FileName, "OnReplaceFile", "0", kMsgEventMissing);
            return found;
        }
        bool Replace = true;
        FireEvent(OnReplaceFile, *this, e.Name, Name, DosDateToDateTime(h.DosDate),
                  DosDateToDateTime(DosDate), h.UncompressedSize, Size, static_cast<int>(h.Attr),
                  static_cast<int>(Attr), Replace);
        if (Replace) {
            if (h.Action == eaKeep) {
                h.Previous = std::make_unique<THeadObject>(h);
                e.PreviousName = e.Name;
            }
            FTotalSize += Size - h.UncompressedSize;
            h.UncompressedSize = Size;
            h.DosDate = DosDate;
            h.Attr = Attr;
            h.Action = eaReplace;
            e.SpecIndex = Index + 1;
            RenameEntry(static_cast<size_t>(found), Name);
        }
        return found;
    }
    if (IsNew) {
        const int headerSize = HeaderSizeFor(FArcType);
        if (headerSize > 0) {
            auto h = std::make_unique<THeadObject>();
            h->Header.assign(static_cast<size_t>(headerSize), 0);
            h->UncompressedSize = Size;
            h->DosDate = DosDate;
            h->Attr = Attr;
            h->Action = eaNew;
            AddListEntry(Name, std::move(h), Index + 1);
            FTotalSize += Size;
        }
    }
    return -1;
}

bool TCompBase::BeginFile(std::string& Name, int Count) {
    if (OnProgress && ProgressSink) {
        auto sink = ProgressSink;
        sink(0, static_cast<uint8_t>(Percent(FTotalSize - BytesLeft, FTotalSize)));
    }
    bool Extract = true;
    FireEvent(OnBegin, *this, Name, Count, Extract);
    if (Extract && OnRenameCompressedFile) {
        std::string NewName = Name;
        FireEvent(OnRenameCompressedFile, *this, NewName);
        if (NewName != Name && IndexOfEntry(NewName) < 0) Name = NewName;
    }
    return Extract;
}

bool TCompBase::OpenSourceFile(int& Handle, const std::string& Name, int64_t Size) {
    Handle = OpenForRead(this, Name); // reports 25235 when it fails
    if (Handle >= 0) return true;
    if (FCurrentEntry >= 0 && static_cast<size_t>(FCurrentEntry) < FEntries.size() &&
        FEntries[static_cast<size_t>(FCurrentEntry)].Head)
        FEntries[static_cast<size_t>(FCurrentEntry)].Head->Action = eaSkip;
    BytesLeft -= Size;
    --FileCount;
    return false;
}

int64_t TCompBase::CopyBlock(int Source, int64_t Count, int CrcMode, bool Encrypt, int Dest) {
    try {
        std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(Count, 1, kCopyBlockSize)));
        int64_t done = 0;
        while (done < Count) {
            const int64_t n = std::min(kCopyBlockSize, Count - done);
            if (ReadBlock(Source, nullptr, n, CrcMode, false, buffer.data()) != n) WriteError();
            WriteBlockEncrypted(Dest, nullptr, 1, n, 0, Encrypt, buffer.data());
            done += n;
            BytesLeft -= n;
            ReportProgress(done, Count, FTotalSize);
        }
        return done;
    } catch (const std::exception&) {
        return 0;
    }
}

int64_t TCompBase::CopySource(int Source, int64_t Size, int CrcMode, bool Encrypt, int Dest) {
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(Size, 1, kCopyBlockSize)));
    int64_t done = 0;
    while (done < Size) {
        const int64_t n = std::min(kCopyBlockSize, Size - done);
        if (ReadBlock(Source, nullptr, n, CrcMode, false, buffer.data()) != n) break;
        WriteBlockEncrypted(Dest, nullptr, 1, n, 0, Encrypt, buffer.data());
        done += n;
        BytesLeft -= n;
        ReportProgress(done, Size, FTotalSize);
        if (Cancel()) break;
    }
    return done;
}

uint32_t TCompBase::StoredDate(uint32_t Date) {
    switch (DateAttribute) {
    case daSysDate:
        return FileTimeToDosLocal(static_cast<int64_t>(std::time(nullptr)));
    case daMaxFileDate:
        return FNewestDate;
    default:
        return Date;
    }
}

TDeflateResult TCompBase::DeflateSource(int Source, int Dest, bool Encrypt) {
    FCompressedSize = 0;
    TCompBaseEncoderIo<TDeflateIo> io{*this, Source, Dest, Encrypt, 32};
    const TDeflateResult r = Deflate(io, DeflateLevel());
    if (r.Stored && InArcTypes(ZipFamilyArcTypes, FArcType)) ZipLocalHeader[8] = ZipLocalHeader[9] = 0;
    return r;
}

ae::LzhEncodeResult TCompBase::LzhEncodeSource(int Source, int Dest, bool Encrypt,
                                               const ae::LzhEncodeParams& Params) {
    FCompressedSize = 0;
    const int64_t size = FBytesToRead;
    TCompBaseEncoderIo<ae::TLzhEncodeIo> io{*this, Source, Dest, Encrypt, Params.crcMode};
    const ae::LzhEncodeResult r = ae::LzhEncode(io, Params, size);
    // Stopped early by a cancel: the entry is incomplete.
    if (!r.Incompressible && FBytesToRead > 0) RaiseError(FileName, "", "0", kMsgUserCanceled);
    return r;
}

// ---- one new entry ----

bool TCompBase::CompressedByExtension(const std::string& Name) {
    const std::string file = ExtractFileNamePart(Name);
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos) return false;
    // Files that are archives or compressed already are stored, as coding them gains nothing; a
    // program is coded, whatever it may hold.
    const std::string ext = pvcommon::UpperAscii(file.substr(dot));
    return ext != ".EXE" && std::find(DefaultExts.begin(), DefaultExts.end(), ext) != DefaultExts.end();
}

void TCompBase::WriteCryptHeader(int Dest, uint32_t Crc) {
    TZipCryptHeader header = ZipMakeHeader(Ctx().Keys, Password, Crc ^ 0xFFFFFFFFu);
    WriteBlockEncrypted(Dest, nullptr, 1, kZipHeaderSize, 0, false, header.data());
}

bool TCompBase::WriteNewEntry(int TempHandle, const std::string& Name, THeadObject& Header,
                              const TNewEntry& Format) {
    BuildOutputName(Name);
    std::string stored = FileName;
    const int64_t size = Header.UncompressedSize;
    if (!BeginFile(stored, FileCount)) {
        Header.Action = eaSkip;
        BytesLeft -= size;
        return false;
    }
    FileName = stored;
    if (const std::string listed = ListedName(stored); listed != stored)
        ReportError(Name, "stored as \"" + listed + "\": the archive cannot hold the name exactly", "0",
                    kMsgInvalidName);
    const auto failed = [&] {
        Header.Action = eaSkip;
        FireEvent(OnEnd, *this, stored, false);
        return false;
    };
    std::string why;
    if (const int code = Format.Refuse ? Format.Refuse(stored, size, why) : 0) {
        // Refused before anything is opened or written: the file is left as it is.
        ReportError(Name, why, "0", code);
        BytesLeft -= size;
        return failed();
    }
    int src = -1;
    if (!OpenSourceFile(src, Name, size)) return failed();
    THandleGuard source{src};
    const int64_t offset = platform::fileSize(TempHandle);
    if (offset < 0 || platform::seekFile(TempHandle, offset) != offset) WriteError();
    const int64_t dataStart = offset + Format.WriteHead(TempHandle, offset);

    const int64_t left = BytesLeft;
    bool ok = true;
    try {
        if (size > 0) Format.WriteData(src, TempHandle, dataStart);
        // A file that grew since it was listed would be kept cut short, and a move would then
        // delete the rest: it fails instead.
        uint8_t more;
        if (!Cancel() && platform::readFile(src, &more, 1) != 0) {
            ReportError(Name, "the file grew while it was added", "0", kMsgReadError);
            ok = false;
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
        // It counts as passed in the progress, whatever was read of it.
        BytesLeft = left - size;
        return failed();
    }
    if (platform::seekFile(TempHandle, offset) != offset) WriteError();
    Format.WriteFinal(TempHandle);
    if (platform::seekFile(TempHandle, 0, platform::SeekFrom::End) < 0) WriteError();
    Header.Offset = offset;
    FireEvent(OnEnd, *this, stored, true);
    return true;
}

TCompressMethod TCompBase::WriteEntryData(const TEntryData& Data, TCompressMethod Method,
                                          const std::function<void()>& Start,
                                          const std::function<bool(TCompressMethod)>& Code) {
    if (StoreAlreadyCompressedFiles && CompressedByExtension(FileName)) Method = cmStore;
    const int64_t left = BytesLeft;
    for (;;) {
        if (Start) Start();
        FCompressedSize = 0;
        if (Data.CrcMode == 16)
            Ctx().Crc16Value = 0;
        else
            Ctx().Crc32Value = 0xFFFFFFFF;
        if (platform::seekFile(Data.Source, 0) != 0) RaiseError(Data.Name, "", "0", kMsgReadError);
        FBytesToRead = Data.Size;
        if (Method == cmStore) {
            FCompressedSize = CopySource(Data.Source, Data.Size, Data.CrcMode, Data.Encrypt, Data.Dest);
            if (FCompressedSize != Data.Size) {
                if (Cancel()) throw E_RAISE(kMsgUserCanceled);
                RaiseError(Data.Name, "", "0", kMsgReadError);
            }
            return cmStore;
        }
        if (Code(Method)) return Method;
        // Not smaller: stored instead, from the entry's data start.
        if (!platform::truncateFile(Data.Dest, Data.DataStart) ||
            platform::seekFile(Data.Dest, Data.DataStart) != Data.DataStart)
            WriteError();
        BytesLeft = left;
        Method = cmStore;
    }
}

// ---- the entries of the new archive ----

bool TCompBase::DeletedBySpec(const std::string& Name) {
    if (Switch != swDelete) return false;
    bool hit = MatchesFileSpec(Name, false);
    if (!hit) {
        // A name the format cannot hold exactly is found by the name the user gives too.
        std::vector<std::string> listed;
        for (const std::string& spec : FFileSpec) listed.push_back(ListedName(spec));
        if (listed != FFileSpec) {
            std::swap(FFileSpec, listed);
            hit = MatchesFileSpec(Name, false);
            std::swap(FFileSpec, listed);
        }
    }
    if (hit) ++FDeletedCount;
    return hit;
}

void TCompBase::ReportAddedEntries(const std::function<bool(const TEntryItem&, int64_t& Offset)>& Fill,
                                   bool PackedAsUnpacked) {
    for (size_t i = 0; i < EntryCount(); ++i) {
        const TEntryItem& item = Entry(i);
        if (!item.Head || item.Head->Action == eaSkip) continue;
        const THeadObject& h = *item.Head;
        TotalUnpackedSize += h.UncompressedSize;
        TotalPackedSize += PackedAsUnpacked ? h.UncompressedSize : h.CompressedSize;
        if (h.Action != eaNew || Switch == swDelete || !OnRead) continue;
        FileName = item.Name;
        int64_t offset = h.Offset;
        if (!Fill(item, offset)) continue;
        Ratio = GetRatio(PackedSize, UnpackedSize);
        FireEvent(OnRead, *this, offset, static_cast<int>(i));
    }
}

// ---- reading (swRead) ----

bool TCompBase::ReadFirstHeader(std::string& Name, int Handle) {
    CurrentOffset = FNextHeader = ArcStart - 1;
    return ReadHeader(Name, Handle, false);
}

void TCompBase::ReadArchive() {
    FileCount = 0;
    if (!OnRead) {
        ReportError(FArchiveFile, "OnRead", "0", kMsgEventMissing);
        return;
    }
    FArcHandle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
    if (FArcHandle < 0) {
        try {
            RaiseError(FArchiveFile, "", "0", kMsgOpenError);
        } catch (const E_RAISE&) {
        }
        return;
    }
    ArchiveSize = std::max<int64_t>(0, platform::fileSize(FArcHandle));
    ScanEnd = ArchiveSize;
    for (bool more = ReadFirstHeader(FileName, FArcHandle); more;
         more = ReadHeader(FileName, FArcHandle, false)) {
        EntryRead();
        ++FileCount;
        FireEvent(OnRead, *this, CurrentOffset, FileCount);
    }
    closeRunFiles();
}
