#include "archive/format/aeUnTAR.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/format/aeTarHeaders.h"
#include "archive/aeUnHelpers.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

std::string TarName(const std::string& raw) {
    std::string name = platform::decodeArchiveName(raw);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool IsRegular(char t) {
    return t == '0' || t == '\0' || t == '7';
}
bool IsLink(char t) {
    return t == '1' || t == '2';
}

} // namespace

// The entry reached by a link stored in entry Name: for a symbolic link Target is relative
// to Name's folder (absolute targets are refused), for a hard link it is an archive name.
// std::nullopt when it would lead out of the extraction folder.
std::optional<std::string> LinkDestination(const std::string& Name, char Type, const std::string& Target) {
    if (Target.empty()) return std::nullopt;
    std::string joined;
    if (Type == '2') {
        if (Target.front() == '/' || Target.front() == '\\' || (Target.size() >= 2 && Target[1] == ':'))
            return std::nullopt;
        const size_t slash = Name.find_last_of('/');
        joined = (slash == std::string::npos ? std::string{} : Name.substr(0, slash + 1)) + Target;
    } else {
        joined = Target;
    }
    // Resolve "." and ".." lexically; climbing above the folder refuses the link.
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= joined.size()) {
        size_t next = joined.find_first_of("/\\", pos);
        if (next == std::string::npos) next = joined.size();
        const std::string part = joined.substr(pos, next - pos);
        if (part == "..") {
            if (parts.empty()) return std::nullopt;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    if (parts.empty()) return std::nullopt;
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

void TUnTAR::ExtractArchive(int& ArchiveHandle, TStream*) {
    ScanThenExtract<TTarChosen>([&] { Scan(ArchiveHandle); },
                                [&](const TTarChosen& E) { ExtractEntry(ArchiveHandle, E); });
}

void TUnTAR::Scan(int Handle) {
    THeaderReader rd(Handle);
    uint64_t offset = 0;
    const auto size = static_cast<uint64_t>(ArchiveSize);
    while (!Cancel() && offset < size) {
        aehdr::TarEntry e;
        const aehdr::TarRead r = aehdr::readTarEntry(rd.Fetcher(), offset, size, e);
        if (r == aehdr::TarRead::End) break;
        if (r == aehdr::TarRead::Corrupt) {
            // A damaged header is reported and passed over by the size it claims, when it
            // has one that fits; else the walk goes on at the next block.
            aehdr::Bytes blk = rd.Fetch(offset, aehdr::kTarBlock);
            if (blk.size() < aehdr::kTarBlock) {
                ReportError(FArchiveFile, "", "0", kMsgReadError);
                break;
            }
            ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            auto h = aehdr::parseTarHeader(blk);
            uint64_t next = offset + aehdr::kTarBlock;
            if (h && h->size <= size - next)
                next += (h->size + aehdr::kTarBlock - 1) / aehdr::kTarBlock * aehdr::kTarBlock;
            offset = next;
            continue;
        }
        const std::string name = TarName(e.name);
        const char t = e.header.typeflag;
        const bool folder = t == '5' || name.empty() || name.back() == '/';
        if (folder && !name.empty() && MatchesFileSpec(name, true)) {
            if (auto path = OutputPathFor(name.back() == '/' ? name : name + "/"))
                MakeEntryFolder(*this, *path);
            else
                ReportError(name, "", "0", kMsgInvalidName);
        }
        if (!folder && IsRegular(t) && e.paxSparse && MatchesFileSpec(name, true)) {
            // Its data hold a map of the pieces, not the file: written as they are it would be
            // a different file under a made-up name.
            ReportError(name, "sparse member not extracted", "0", kMsgBadFileHeader);
        } else if (!folder && (IsRegular(t) || IsLink(t)) && MatchesFileSpec(name, true)) {
            TTarChosen c;
            c.Offset = static_cast<int64_t>(offset);
            c.DataOffset = static_cast<int64_t>(e.dataOffset);
            c.Size = IsRegular(t) ? static_cast<int64_t>(e.header.size) : 0;
            FileList->AddRecord(c);
            TotalPackedSize += c.Size;
            TotalUnpackedSize += c.Size;
            MaxFileDosDate =
                std::max(MaxFileDosDate, UnixTimeToDosLocal(e.paxMtime.value_or(e.header.mtime)));
            if (!IsWildList(FFileSpec)) break;
        } else if (!folder && !IsRegular(t) && !IsLink(t) && t != 'V' && MatchesFileSpec(name, true)) {
            // Devices, pipes, sparse files and the like have no plain file to write.
            ReportError(name, std::string("member type '") + t + "' not extracted", "0", kMsgBadFileHeader);
        }
        offset = e.next;
    }
}

void TUnTAR::ExtractEntry(int Handle, const TTarChosen& Entry) {
    THeaderReader rd(Handle);
    aehdr::TarEntry e;
    if (aehdr::readTarEntry(rd.Fetcher(), static_cast<uint64_t>(Entry.Offset),
                            static_cast<uint64_t>(ArchiveSize), e) != aehdr::TarRead::Entry) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return;
    }
    const std::string name = TarName(e.name);
    const int64_t mtime = e.paxMtime.value_or(e.header.mtime);
    TEntryJob job;
    job.Name = name;
    job.Date = UnixToDateTime(mtime);
    job.PackedSize = Entry.Size;
    // Unix permission bits go with the file; read-only follows the owner's write bit.
    job.Attr = (e.header.mode & 0200) ? 32 : 33;
    job.DosDate = UnixTimeToDosLocal(mtime);
    if (IsLink(e.header.typeflag))
        // Passed over with its message, nothing written, it still counts as failed.
        job.Prepare = [&] {
            return MakeLink(FileName, name, e.header.typeflag, TarName(e.linkName)) ? TEntryStep::esDone
                                                                                    : TEntryStep::esFailed;
        };
    job.Decode = [&](int out, TStream* outStream) {
        const std::string fn = WriteMode == 0 || WriteMode == 2 ? FileName : name;
        if (Entry.DataOffset + Entry.Size > ArchiveSize) {
            // The member's data run past the end of the archive: it fails, whatever of it is
            // there is not put in place.
            ReportError(fn, "", "0", kMsgReadError);
            return false;
        }
        if (platform::seekFile(Handle, Entry.DataOffset) != Entry.DataOffset) {
            ReportError(fn, "", "0", kMsgReadError);
            return false;
        }
        return CopyStored(Handle, nullptr, out, outStream, Entry.Size, fn, false, 0);
    };
    job.Mode = static_cast<int>(e.header.mode & 0777);
    ExtractOne(job);
}

// A link is made only where it cannot lead out of the extraction folder, and only when
// writing files; otherwise it is passed over with a message (false).
bool TUnTAR::MakeLink(const std::string& Output, const std::string& Name, char Type,
                      const std::string& Target) {
    const std::string kind = Type == '2' ? "symbolic link" : "hard link";
    const auto dest = LinkDestination(Name, Type, Target);
    if (!dest) {
        ReportError(Name, kind + " to " + Target + " points outside the folder, not extracted", "0",
                    kMsgInvalidName);
        return false;
    }
    if (WriteMode != 0) return true; // a test run has no data to check for a link
    std::string hardTarget;
    if (Type == '1') {
        // The member it names must have been extracted already, as a plain file.
        const auto destPath = OutputPathFor(*dest);
        if (!destPath || !platform::fileExists(*destPath) || platform::isSymlink(*destPath)) {
            ReportError(Name, kind + " to " + Target + " not extracted (its target is missing)", "0",
                        kMsgInvalidName);
            return false;
        }
        hardTarget = *destPath;
    }
    return MakeEntryLink(*this, Output, Type, Type == '2' ? Target : hardTarget);
}

namespace {
// No folder between ExtractDir and Path may be a symlink.
bool NoSymlinkOnTheWay(TUnBase& Ex, const std::string& Path) {
    const std::string base = AppendDirTail(Ex.ExtractDir());
    if (Path.compare(0, base.size(), base) != 0) return true;
    for (size_t pos = Path.find('/', base.size()); pos != std::string::npos; pos = Path.find('/', pos + 1))
        if (platform::isSymlink(Path.substr(0, pos))) return false;
    return true;
}
} // namespace

void MakeEntryFolder(TUnBase& Ex, const std::string& Path) {
    if (Ex.WriteMode != 0 || Path.empty()) return;
    const std::string dir = RemoveDirTail(Path);
    if (!NoSymlinkOnTheWay(Ex, dir + "/") || platform::isSymlink(dir)) {
        Ex.ReportError(Path, "", "0", kMsgInvalidName);
        return;
    }
    try {
        CreateDirPath(dir);
    } catch (const std::exception&) {
        Ex.ReportError(Path, "", "0", 25156); // Unable to create directory
    }
}

bool MakeSymlinkEntry(TUnBase& Ex, const std::string& Name, const std::string& Target,
                      const std::string& Output) {
    if (!LinkDestination(Name, '2', Target) || Target.find('\0') != std::string::npos) {
        Ex.ReportError(Name, "symbolic link to " + Target + " points outside the folder, not extracted", "0",
                       kMsgInvalidName);
        return false;
    }
    if (Ex.WriteMode != 0) return true; // a test run makes nothing
    return MakeEntryLink(Ex, Output, '2', Target);
}

bool MakeEntryLink(TUnBase& Ex, const std::string& Output, char Type, const std::string& Target) {
    // No folder on the way may be a symlink (an earlier link entry could be one).
    if (!NoSymlinkOnTheWay(Ex, Output)) {
        Ex.ReportError(Output, "", "0", kMsgInvalidName);
        return false;
    }
    const std::string dir = ExtractDirPart(Output);
    try {
        if (!dir.empty()) CreateDirPath(dir);
    } catch (const std::exception&) {
        Ex.ReportError(Output, "", "0", kMsgOpenError);
        return false;
    }
    // Replace what is there (BeginFile allowed it); never write through it.
    if (platform::isSymlink(Output) || platform::fileExists(Output)) platform::removeFile(Output);
    Ex.ForgetSafeFolder();
    std::error_code ec;
    if (Type == '2')
        std::filesystem::create_symlink(Target, Output, ec);
    else
        std::filesystem::create_hard_link(Target, Output, ec);
    if (ec) {
        Ex.ReportError(Output, ec.message(), "0", kMsgOpenError);
        return false;
    }
    return true;
}
