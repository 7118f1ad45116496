// The gzip writer: its own run over the input files, one member per output file.
#include "archive/format/aeGZip.h"
#include "archive/aeMsgs.h"

#include "common/LittleEndian.h"
#include "common/PathParts.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

namespace {

constexpr uint8_t kFlagName = 0x08;
constexpr int64_t kMaxStoredBlock = 65535;

} // namespace

TGZip::TGZip() {
    FArcType = atGZip;
    FOwnDefaultExt = ".gz";
    FDefaultExt = ".gz";
    FAllowedMethods = MethodBit(cmDeflate);
    FCompressMethod = cmDeflate;
    FDeflateType = dtDeflateN;
}

void TGZip::SetArcType(TArcType) {
    FArcType = atGZip;
    if (ComponentLoading || FArchiveFile.empty() || FDefaultExt.empty()) return;
    const std::string name = ExtractFileNamePart(FArchiveFile);
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string{} : name.substr(dot);
    if (pvcommon::LowerAscii(ext) != pvcommon::LowerAscii(FDefaultExt)) FArchiveFile += FDefaultExt;
}

void TGZip::Run() {
    if (FFileSpec.empty()) return;
    if (Switch == swDelete) {
        ReportError(FArchiveFile, "", "0", kMsgNothingToDo);
        return;
    }
    if (Switch == swRead) {
        TCompBase::Run();
        return;
    }
    try {
        compressAll();
    } catch (const E_RAISE& e) {
        // The run ends here; what ended it is said through OnError (a failed write names the
        // output it was writing), and the caller learns nothing more.
        if (!e.Reported) ReportError(FArchiveFile, e.Detail, "0", e.ECode);
    }
}

void TGZip::collect(std::vector<TInput>& Inputs) {
    std::set<std::string> seen;
    for (size_t i = 0; i < FFileSpec.size(); ++i) {
        platform::processMessages();
        if (Cancel()) return;
        std::string spec = FFileSpec[i];
        if (spec.find('/') == std::string::npos)
            spec = DefaultDir() + spec;
        else if (spec[0] != '/')
            spec = AppendDirTail(platform::currentDir()) + spec;
        spec = std::filesystem::path(spec).lexically_normal().string();
        collectIn(ExtractDirPart(spec), ExtractFileNamePart(spec), Inputs, seen);
    }
}

void TGZip::collectIn(const std::string& Folder, const std::string& Mask, std::vector<TInput>& Inputs,
                      std::set<std::string>& Seen) {
    TSearchRecDos sr;
    const int first = FindFirstDos(Folder + Mask, 0xFFFFFFFFu, sr);
    if (!FolderReadable(Folder, first)) return;
    std::vector<std::string> folders;
    for (int r = first; r == 0; r = FindNextDos(sr)) {
        if (Cancel()) break;
        const std::string path = Folder + sr.Name;
        if (sr.Attr & platform::faDirectory) {
            // Searched below with RecurseDirs; otherwise the user hears what was not taken.
            if (RecurseDirs || (sr.Attr & platform::faSymLink) || (sr.Name[0] == '.' && HiddenExcluded()))
                continue;
            Skipped(path, "folder " + path + " not searched: only its files are compressed", false);
            continue;
        }
        if (!AttributeFilter(sr.Attr) || SkippedAsSpecial(path)) continue;
        if (!Seen.insert(path).second) continue; // a file named twice is taken once
        Inputs.push_back({path, sr.Time});
        FTotalSize += sr.Size;
        if (sr.Time > FNewestDate) FNewestDate = sr.Time;
    }
    FindCloseDos(sr);
    if (!RecurseDirs || Cancel()) return;
    // Sub-folders, as the other writers search them: links to folders are not followed.
    TSearchRecDos dir;
    for (int r = FindFirstDos(Folder + "*", 0xFFFFFFFFu, dir); r == 0; r = FindNextDos(dir)) {
        if (!(dir.Attr & platform::faDirectory) || (dir.Attr & platform::faSymLink)) continue;
        if (dir.Name[0] == '.' && HiddenExcluded()) continue;
        folders.push_back(Folder + dir.Name + "/");
    }
    FindCloseDos(dir);
    for (const std::string& f : folders) {
        platform::processMessages();
        if (Cancel()) return;
        collectIn(f, Mask, Inputs, Seen);
    }
}

bool TGZip::mayReplace(const std::string& Output, const std::string& Input) {
    if (!platform::pathExists(Output)) return true;
    const bool ours = FWritten.count(Output) != 0;
    if (ours && (!ConfirmOverwrites || !OnFileExists)) {
        // Two inputs of one name: the first one's output is never lost to the second.
        Skipped(Input, Input + " not compressed: " + Output + " was written from another file of this run",
                true);
        return false;
    }
    if (ConfirmOverwrites && OnFileExists) {
        const auto t = platform::fileTimes(Output);
        TOverwriteMode mode = OverwriteMode;
        FireEvent(OnFileExists, *this, Output, t ? UnixToDateTime(t->lastWrite) : kDosEpochDateTime, mode);
        if (mode == omSkip) return false;
    }
    // A leading dot (hidden) does not keep a file from being replaced here.
    const uint32_t a = platform::fileAttributes(Output);
    const bool regular = platform::fileExists(Output) && !platform::isSymlink(Output);
    if (regular && (a & (platform::faReadOnly | platform::faSysFile)) == 0) return true;
    if (!OnNonWriteableArchive) {
        ReportError(Output, "", "0", kMsgWriteError);
        return false;
    }
    bool proceed = false;
    FireEvent(OnNonWriteableArchive, *this, Output, proceed);
    if (!proceed) return false;
    // Only a plain file can be unlocked; a folder or a link in the output's place cannot.
    if (!regular || !platform::setFileAttributes(Output, platform::faArchive)) {
        FireEvent(OnEnd, *this, Output, false);
        RaiseError(Output, "", "0", kMsgWriteError);
    }
    return true;
}

void TGZip::compressAll() {
    FWritten.clear();
    std::vector<TInput> inputs;
    collect(inputs);
    BytesLeft = FTotalSize;
    const std::string outDir = ExtractDirPart(FArchiveFile);
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (Cancel()) break;
        FileCount = static_cast<int>(i) + 1;
        const std::string& input = inputs[i].Path;
        const std::string base = ExtractFileNamePart(input);
        std::string output = outDir + base + FDefaultExt;
        FArchiveFile = output;
        FileName = base;
        if (!BeginFile(output, FileCount) || !mayReplace(output, input)) {
            // Declined or left alone: the input is not compressed (and never moved).
            FireEvent(OnEnd, *this, output, true);
            continue;
        }
        int src = OpenForRead(this, input); // reports 25235 when it fails
        if (src < 0) {
            FireEvent(OnEnd, *this, output, false);
            continue;
        }
        const int64_t size = std::max<int64_t>(0, platform::fileSize(src));
        int64_t mtime;
        if (DateAttribute == daFileDate) {
            const auto t = platform::fileTimes(src);
            mtime = t ? t->lastWrite : DosLocalToUnixTime(inputs[i].DosDate);
        } else {
            mtime = DosLocalToUnixTime(StoredDate(inputs[i].DosDate));
        }
        TMemberInfo info;
        try {
            info = WriteGzipFile(src, size, output, base, mtime);
        } catch (const E_RAISE& e) {
            platform::closeFile(src);
            BytesLeft -= std::max<int64_t>(0, FBytesToRead);
            // An input that cannot be read, shrank, or whose output cannot be created fails
            // alone; a write error or a cancel ends the run.
            if (e.ECode != kMsgReadError && e.ECode != kMsgOpenError) throw;
            FireEvent(OnEnd, *this, input, false);
            continue;
        }
        platform::closeFile(src);
        FWritten.insert(output);
        ++FAddedCount;
        reportEntry(base, mtime, info);
        if (Switch == swMove) DeleteFileEx(input, DeleteOptions);
        FireEvent(OnEnd, *this, input, true);
    }
}

TGZip::TMemberInfo TGZip::WriteMember(int Source, int64_t Size, int Dest, const std::string& StoredName,
                                      int64_t MTime) {
    const uint32_t mtime = MTime < 0 || MTime > 0xFFFFFFFFll ? 0 : static_cast<uint32_t>(MTime);
    std::vector<uint8_t> head(10, 0);
    head[0] = 0x1F;
    head[1] = 0x8B;
    head[2] = 8;
    head[3] = StoredName.empty() ? 0 : kFlagName;
    pvcommon::PutLE32(head.data() + 4, mtime);
    if (!StoredName.empty()) {
        head.insert(head.end(), StoredName.begin(), StoredName.end());
        head.push_back(0);
    }
    WriteBlockEncrypted(Dest, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
    const int64_t dataStart = platform::filePosition(Dest);
    if (dataStart < 0) WriteError();

    TMemberInfo info;
    info.Size = Size;
    Ctx().Crc32Value = 0xFFFFFFFF;
    FBytesToRead = Size;
    const TDeflateResult r = DeflateSource(Source, Dest, false);
    if (Cancel()) RaiseError(FileName, "", "0", kMsgUserCanceled);
    if (Size == 0) {
        // An empty input still has a deflate stream: one empty final block.
        uint8_t empty[2] = {0x03, 0x00};
        WriteBlockEncrypted(Dest, nullptr, 1, 2, 0, false, empty);
        info.Compressed = 2;
    } else if (r.Stored) {
        // The encoder wrote the input as it is (it would not shrink): the member's method is
        // deflate, so those bytes go again as stored blocks.
        std::vector<uint8_t> raw(static_cast<size_t>(r.Bytes));
        if (!platform::readAt(Dest, dataStart, raw.data(), r.Bytes) ||
            !platform::truncateFile(Dest, dataStart) || platform::seekFile(Dest, dataStart) != dataStart)
            WriteError();
        info.Compressed = 0;
        int64_t at = 0;
        do {
            const int64_t n = std::min(kMaxStoredBlock, r.Bytes - at);
            const bool last = at + n == r.Bytes;
            uint8_t bh[5] = {static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(n),
                             static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                             static_cast<uint8_t>(~n >> 8)};
            WriteBlockEncrypted(Dest, nullptr, 1, 5, 0, false, bh);
            WriteBlockEncrypted(Dest, nullptr, 1, n, 0, false, raw.data() + at);
            info.Compressed += 5 + n;
            at += n;
        } while (at < r.Bytes);
    } else {
        info.Compressed = FCompressedSize;
    }
    info.Crc = Ctx().Crc32Value ^ 0xFFFFFFFFu;
    uint8_t trailer[8];
    pvcommon::PutLE32(trailer, info.Crc);
    pvcommon::PutLE32(trailer + 4, static_cast<uint32_t>(static_cast<uint64_t>(Size)));
    WriteBlockEncrypted(Dest, nullptr, 1, 8, 0, false, trailer);
    return info;
}

TGZip::TMemberInfo TGZip::WriteGzipFile(int Source, int64_t Size, const std::string& Output,
                                        const std::string& StoredName, int64_t MTime) {
    std::string dir = ExtractDirPart(Output);
    if (dir.empty()) dir = AppendDirTail(platform::currentDir());
    // Without a name until it is complete, so that a killed run leaves nothing beside it.
    platform::PendingFile temp;
    if (!temp.create(dir, ".pvtmp", ".tmp")) RaiseError(Output, std::strerror(errno), "0", kMsgOpenError);
    const TMemberInfo info = WriteMember(Source, Size, temp.fd(), StoredName, MTime);
    platform::setFileTimes(temp.fd(), MTime, MTime);
    if (!platform::syncFile(temp.fd())) WriteError();
    // A replaced output keeps its permissions; a new one gets the usual ones.
    const int mode = platform::fileExists(Output) ? platform::fileMode(Output) : platform::newFileMode();
    if (mode >= 0) platform::setFileMode(temp.fd(), mode);
    if (!temp.commit(Output)) WriteError();
    return info;
}

void TGZip::reportEntry(const std::string& StoredName, int64_t MTime, const TMemberInfo& Info) {
    if (!OnRead) return;
    FileName = OemToAnsiName(StoredName);
    FileDate = UnixToDateTime(MTime);
    PackedSize = Info.Compressed;
    UnpackedSize = Info.Size;
    FileCRC = Info.Crc;
    Encrypted = false;
    MethodCode = 8;
    MethodName = GetDeflateName(kFlagName);
    FileAttr = 32;
    Ratio = GetRatio(PackedSize, UnpackedSize);
    FireEvent(OnRead, *this, int64_t{0}, 1);
}
