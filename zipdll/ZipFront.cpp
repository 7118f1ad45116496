#include "zipdll/ZipFront.h"

#include "common/ZipLayout.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/volumes.h"
#include "platform/ui_hooks.h"
#include "zipdll/ZipFrontIO.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

using namespace zipfront;
using namespace zipfront::io;

namespace {

const char* const kAppTitle = "Parvex 2000";

// The message text with its first format item ("%s", "%d", "%.1d") replaced by `value`.
// Done by hand: a table text is never used as a printf format.
std::string formatMsg(int id, const std::string& value) {
    std::string t = ZipLoadStr(id);
    for (size_t p = t.find('%'); p != std::string::npos; p = t.find('%', p + 1)) {
        size_t e = p + 1;
        while (e < t.size() && (t[e] == '.' || (t[e] >= '0' && t[e] <= '9'))) ++e;
        if (e < t.size() && (t[e] == 's' || t[e] == 'd')) return t.replace(p, e - p + 1, value);
    }
    return t;
}

} // namespace

// ---- Messages ----

std::string ZipLoadStr(int id) {
    if (const char* t = ZipMsgText(id)) return t;
    return "The message table is probably not linked to the executable\nMissing String ID is: " +
           std::to_string(id);
}

EZipFront::EZipFront(int id, bool display) : Message(ZipLoadStr(id)), DisplayMsg(display), ResId(id) {}
EZipFront::EZipFront(int id, int value)
    : Message(formatMsg(id, std::to_string(value))), DisplayMsg(true), ResId(id) {}
EZipFront::EZipFront(int id, const std::string& value)
    : Message(formatMsg(id, value)), DisplayMsg(true), ResId(id) {}

void TZipFront::Report(int errCode, const std::string& text, bool show) {
    Message = text;
    ErrCode = errCode;
    if (show && !Unattended)
        platform::messageBox(kAppTitle, text, platform::MsgType::Information, platform::mbOK);
    if (auto h = OnMessage) h(*this, 0, text);
}

void TZipFront::ShowZipMessage(int id, const std::string& extra) {
    Report(id, ZipLoadStr(id) + extra, true);
}

void TZipFront::ShowExceptionError(const EZipFront& e) {
    Report(e.ResId, e.Message, e.DisplayMsg);
}

// ---- Construction and properties ----

TZipFront::TZipFront(void* ownerWindow) : FOwnerWindow(ownerWindow) {}

TZipFront::~TZipFront() = default;

void TZipFront::SetZipFileName(const std::string& name) {
    FZipFileName = name;
    List();
}

void TZipFront::SetDLLDirectory(const std::string& dir) {
    FDLLDirectory = dir;
    if (FDLLDirectory.size() > 1 && FDLLDirectory.back() == '/') FDLLDirectory.pop_back();
}

void TZipFront::SetRootDir(const std::string& dir) {
    FRootDir = dir;
    if (!FRootDir.empty() && FRootDir.back() != '/') FRootDir += '/';
}

void TZipFront::SetPasswordReqCount(uint32_t n) {
    FPasswordReqCount = std::min<uint32_t>(n, 15);
}

// ---- Code pages ----

bool TZipFront::ConvertCondition() const {
    return CodePage == cpOEM || (CodePage == cpAuto && FHostNum == 0) || FHostNum == 6 ||
           (FHostNum == 11 && FVersionMadeBy0 == 50);
}

// Reading: the "OEM" bytes become UTF-8 (bytes that already are UTF-8, or flagged as
// such, stay as they are); otherwise the bytes are copied unchanged.
std::string TZipFront::ConvertOemToAnsi(const std::string& raw, uint16_t flag) const {
    if (!ConvertCondition()) return raw;
    return platform::decodeArchiveName(raw, (flag & 0x800) != 0);
}

std::string TZipFront::ConvertAnsiToOem(const std::string& text) const {
    if (!ConvertCondition()) return text;
    return platform::utf8ToCp437(text);
}

// ---- End record ----

// The end record, found by the shared search: the one whose comment runs to the end of the
// file, else the last one with bytes after it; its numbers are widened from the zip64 end
// record when one stands in front of it.
bool TZipFront::FindEndRecord(int fd, bool raising) {
    namespace zip = pvcommon::zip;
    FZipComment.clear();
    // A disk of a spanned set is labelled "PKBACK# nnn" (disk number, from 1).
    int labelDisk = 0;
    if (FVolumeName.rfind("PKBACK# ", 0) == 0) {
        const std::string digits = FVolumeName.substr(8, 3);
        if (!digits.empty() &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            labelDisk = std::stoi(digits);
    }
    uint8_t head[8];
    if (platform::readAt(fd, 0, head, 8) && GetLE32(head) == kSpanSig && GetLE32(head + 4) == kLocalSig)
        FIsSpanned = true;
    FPhysicalSize = std::max<int64_t>(platform::fileSize(fd), 0);
    FileFetch file(fd);
    const zip::Fetch in = file.fetch();
    const auto size = static_cast<uint64_t>(FPhysicalSize);
    auto found = zip::FindZipEnd(in, size);
    if (!found) found = zip::FindZipEnd(in, size, zip::kMaxEndComment, true);
    if (found) {
        const auto dir = zip::ResolveZipEnd(in, *found);
        if (!dir || dir->thisDisk > 0xFFFF || dir->centralDisk > 0xFFFF) throw EZipFront(DS_EOCBadRead);
        if (dir->beyond32())
            throw std::runtime_error("Zip64 archives over 4 GiB are not supported; this one cannot be read");
        FEOCOffset = static_cast<int64_t>(found->offset);
        FDiskNr = static_cast<int>(dir->thisDisk);
        FCentralDiskNr = static_cast<int>(dir->centralDisk);
        FTotalEntries = dir->entries;
        FCentralSize = static_cast<int64_t>(dir->centralSize);
        FCentralOffsetStored = static_cast<int64_t>(dir->centralOffset);
        FDirEnd = static_cast<int64_t>(dir->directoryEnd);
        FZip64End = dir->zip64;
        FLogicalSize = FEOCOffset + 22 + found->record.commentLength;
        // Bytes after the zip are worth a warning, unless they only pad it with zeros to
        // a whole sector.
        const int64_t excess = FPhysicalSize - FLogicalSize;
        bool harmless = false;
        if (excess > 0 && excess < 512 && FPhysicalSize % 512 == 0) {
            const auto pad = in(static_cast<uint64_t>(FLogicalSize), static_cast<size_t>(excess));
            harmless = pad.size() == static_cast<size_t>(excess) &&
                       std::all_of(pad.begin(), pad.end(), [](uint8_t b) { return b == 0; });
        }
        if (excess != 0 && !harmless) ShowZipMessage(LI_GarbageAtEOF);
        FZipComment.assign(found->comment.c_str(), strnlen(found->comment.c_str(), found->comment.size()));
        return true;
    }
    if (!raising) return false;
    if (FIsSpanned) throw EZipFront(labelDisk == 1 ? DS_FirstInSet : DS_NotLastInSetFile);
    if (labelDisk > 0) throw EZipFront(DS_NotLastInSet, labelDisk);
    throw EZipFront(DS_NoValidZip, false);
}

// ---- The shared walk, for every reader of the front-end ----

namespace zipfront::io {

FileFetch::FileFetch(int fd, int64_t limit) : fd_(fd) {
    const int64_t size = platform::fileSize(fd);
    limit_ = static_cast<uint64_t>(std::max<int64_t>(limit >= 0 && limit < size ? limit : size, 0));
}

pvcommon::Bytes FileFetch::read(uint64_t offset, size_t count) {
    constexpr size_t kWindow = 1 << 16;
    if (offset >= limit_) return {};
    count = static_cast<size_t>(std::min<uint64_t>(count, limit_ - offset));
    if (offset >= start_ && offset - start_ <= window_.size() && count <= window_.size() - (offset - start_))
        return pvcommon::Bytes(window_).subspan(static_cast<size_t>(offset - start_), count);
    const auto want = static_cast<size_t>(std::min<uint64_t>(std::max(count, kWindow), limit_ - offset));
    window_.resize(want);
    if (!platform::readAt(fd_, static_cast<int64_t>(offset), window_.data(), static_cast<int64_t>(want))) {
        window_.clear();
        return {};
    }
    start_ = offset;
    return pvcommon::Bytes(window_).first(count);
}

pvcommon::zip::Fetch memoryFetch(const std::vector<uint8_t>& bytes, uint64_t base) {
    return [&bytes, base](uint64_t offset, size_t count) -> pvcommon::Bytes {
        if (offset < base || offset - base >= bytes.size()) return {};
        const auto at = static_cast<size_t>(offset - base);
        return pvcommon::Bytes(bytes).subspan(at, std::min(count, bytes.size() - at));
    };
}

void walkCentral(const pvcommon::zip::Fetch& in, uint64_t start, uint64_t count, const CentralVisit& each) {
    namespace zip = pvcommon::zip;
    zip::ZipCentralRecord r;
    uint64_t at = start;
    for (uint64_t i = 0; i < count; ++i) {
        switch (zip::ReadZipCentral(in, at, r)) {
        case zip::ZipCentralRead::Record:
            break;
        case zip::ZipCentralRead::Short:
            throw EZipFront(DS_CEHBadRead);
        case zip::ZipCentralRead::VarShort:
            throw EZipFront(DS_CENameLen);
        default:
            throw EZipFront(DS_CEHWrongSig);
        }
        each(r, in(at, static_cast<size_t>(r.next - at)));
        at = r.next;
    }
}

void refuseZip64() {
    EZipFront e(DS_EOCBadWrite);
    e.Message = "Zip64 archives (more than 65,535 entries, or over 4 GiB) cannot be written";
    throw e;
}

} // namespace zipfront::io

// ---- Drive ----

// The drive's root, label, serial and space. A fixed drive is always ready; a removable
// one (an emulated drive) must hold a readable medium.
void TZipFront::ReadDriveState(const std::string& path) {
    FDrive = platform::volumeRoot(path);
    FVolumeName.clear();
    FVolumeSerial = 0;
    FFreeBytes = FTotalBytes = 0;
    platform::VolumeInfo info;
    if (platform::volumeInformation(path, info)) {
        FVolumeName = info.label;
        FVolumeSerial = info.serial;
    } else if (platform::driveKind(path) == platform::DriveKind::Removable) {
        throw EZipFront(DS_DriveNoMount, FDrive);
    }
    platform::VolumeSpace space;
    if (platform::volumeFreeSpace(path, space)) {
        FFreeBytes = space.freeBytes;
        FTotalBytes = space.totalBytes;
    }
}

// ---- Directory ----

void TZipFront::List() {
    ZipContents.clear();
    FEOCOffset = FCentralDirOffset = FLogicalSize = FPhysicalSize = 0;
    SFXOffset = 0;
    FZipComment.clear();
    FIsSpanned = false;
    FWrongZipStruct = false;
    FSetLast.clear();
    FTotalDisks = 0;
    DirOnlyCount = 0;
    if (FZipFileName.empty() || !platform::fileExists(FZipFileName)) {
        if (auto h = OnDirUpdate) h(*this);
        return;
    }
    try {
        ListInner();
    } catch (const EZipFront& e) {
        ShowExceptionError(e);
    } catch (const std::bad_alloc&) {
        ShowZipMessage(GE_NoMem);
    } catch (const std::exception& e) {
        ShowZipMessage(LI_ErrorUnknown, e.what());
    }
    if (auto h = OnDirUpdate) h(*this);
}

void TZipFront::ListInner() {
    namespace zip = pvcommon::zip;
    ReadDriveState(FZipFileName);
    FileHandle f(platform::openFile(FZipFileName, platform::OpenMode::Read));
    // Listing reads in raising mode, where a file that cannot be opened counts as missing.
    if (f.fd < 0) throw EZipFront(DS_NoInFile);
    FSetLast = FZipFileName;
    if (!FindEndRecord(f.fd, false)) {
        // On a fixed drive every part of a set is there: one chosen by another of its parts
        // lists from the last part.
        const std::string last = platform::driveKind(FZipFileName) == platform::DriveKind::Removable
                                     ? std::string()
                                     : findLastPart(FZipFileName);
        FileHandle l(last.empty() ? platform::kInvalidHandle
                                  : platform::openFile(last, platform::OpenMode::Read));
        if (l.fd >= 0 && FindEndRecord(l.fd, false)) {
            std::swap(f.fd, l.fd);
            FSetLast = last;
        } else {
            FindEndRecord(f.fd, true); // raises what the chosen file is
        }
    }
    FTotalDisks = FDiskNr;
    // A directory that starts on an earlier disk of a set is read from the disks.
    const bool fromSet = FDiskNr != FCentralDiskNr;
    std::vector<uint8_t> setDir;
    int64_t start = FDirEnd - FCentralSize;
    if (fromSet) {
        setDir = ReadSpannedCentral();
        start = FCentralOffsetStored;
    }
    if (start < 0) throw EZipFront(LI_ReadZipError);
    FCentralDirOffset = start;
    if (!fromSet && FCentralOffsetStored != start) {
        FWrongZipStruct = true;
        ShowZipMessage(LI_WrongZipStruct);
    }
    SFXOffset = FLogicalSize == 22 ? 0 : FLogicalSize;
    FileFetch file(f.fd);
    const zip::Fetch in = fromSet ? memoryFetch(setDir, static_cast<uint64_t>(start)) : file.fetch();
    auto clamp32 = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, zip::k32Max)); };
    int seq = 0;
    walkCentral(in, static_cast<uint64_t>(start), FTotalEntries,
                [&](const zip::ZipCentralRecord& r, pvcommon::Bytes) {
                    ++seq;
                    const zip::ZipCentralHeader& h = r.header;
                    auto e = std::make_unique<ZipDirEntry>();
                    e->MadeByVersion = static_cast<uint8_t>(h.versionMadeBy & 0xFF);
                    e->HostVersionNo = static_cast<uint8_t>(h.versionMadeBy >> 8);
                    e->VersionNeeded = h.versionNeeded;
                    e->Flag = h.flags;
                    e->CompressionMethod = h.method;
                    e->FileTime = static_cast<uint16_t>(h.dosDateTime & 0xFFFF);
                    e->FileDate = static_cast<uint16_t>(h.dosDateTime >> 16);
                    e->CRC32 = h.crc32;
                    e->CompressedSize = clamp32(h.packedSize);
                    e->UncompressedSize = clamp32(h.size);
                    e->FileNameLength = h.nameLength;
                    e->ExtraFieldLength = h.extraLength;
                    e->FileCommentLen = h.commentLength;
                    e->StartOnDisk = static_cast<uint16_t>(std::min<uint32_t>(h.diskNumber, 0xFFFF));
                    e->IntFileAttrib = h.internalAttr;
                    e->ExtFileAttrib = h.externalAttr;
                    e->RelOffLocalHdr = clamp32(h.localOffset);
                    FVersionMadeBy0 = e->MadeByVersion;
                    FHostNum = e->HostVersionNo;
                    e->FileName = ConvertOemToAnsi(r.rawName, e->Flag);
                    std::replace(e->FileName.begin(), e->FileName.end(), '\\', '/');
                    e->Encrypted = (e->Flag & 1) != 0;
                    if (!r.extra.empty()) e->ExtraData.emplace(r.extra.begin(), r.extra.end());
                    if (!r.comment.empty()) e->FileComment = ConvertOemToAnsi(r.comment, e->Flag);
                    SFXOffset = std::min<int64_t>(SFXOffset, e->RelOffLocalHdr);
                    if (UseDirOnlyEntries || e->FileName.empty() || e->FileName.back() != '/') {
                        ZipContents.push_back(std::move(e));
                        if (auto handler = OnNewName) handler(*this, seq, *ZipContents.back());
                    } else {
                        ++DirOnlyCount;
                    }
                });
}

// ---- Archive comment ----

std::string TZipFront::Comment() const {
    return ConvertOemToAnsi(FZipComment);
}

// The new archive (everything up to the end record, the end record with the new comment
// length, the comment) is written beside the old one and renamed over it, so a failure
// never leaves a half-rewritten archive.
void TZipFront::SetComment(const std::string& comment) {
    const std::string stored = comment.empty() ? std::string() : ConvertAnsiToOem(comment);
    if (stored.size() > 0xFFFF) {
        // The length field has 16 bits: a longer comment is refused, never cut or wrapped.
        ShowZipMessage(DS_EOCBadWrite, "\nThe comment is longer than 65535 bytes");
        return;
    }
    FZipComment = stored;
    bool rewriting = false;
    try {
        if (FZipFileName.empty()) throw EZipFront(DS_NoInFile);
        // The end record of a set chosen by another of its parts stands in the last part.
        const std::string& file = FSetLast.empty() ? FZipFileName : FSetLast;
        FileHandle in;
        in.fd = platform::openFile(file, platform::OpenMode::Read);
        if (in.fd < 0) throw EZipFront(DS_FileOpen);
        uint8_t end[22];
        if (FEOCOffset < 0 || !platform::readAt(in.fd, FEOCOffset, end, 22)) throw EZipFront(DS_FailedSeek);
        if (GetLE32(end) != kEndSig) throw EZipFront(DS_EOCBadRead);
        rewriting = true;
        end[20] = static_cast<uint8_t>(stored.size());
        end[21] = static_cast<uint8_t>(stored.size() >> 8);
        std::string dir =
            file.rfind('/') == std::string::npos ? "." : file.substr(0, std::max<size_t>(file.rfind('/'), 1));
        // Without a name until it replaces the archive: a killed process leaves nothing.
        platform::PendingFile out;
        if (!out.create(dir, ".zipcmt", ".tmp")) throw EZipFront(DS_NoTempFile);
        std::vector<uint8_t> buf(1 << 16);
        for (int64_t at = 0; at < FEOCOffset;) {
            const int64_t n = std::min<int64_t>(FEOCOffset - at, static_cast<int64_t>(buf.size()));
            if (!platform::readAt(in.fd, at, buf.data(), n)) throw EZipFront(DS_FailedSeek);
            if (platform::writeFile(out.fd(), buf.data(), n) != n) throw EZipFront(DS_NoWrite);
            at += n;
        }
        if (platform::writeFile(out.fd(), end, 22) != 22) throw EZipFront(DS_EOCBadWrite);
        const auto clen = static_cast<int64_t>(stored.size());
        if (platform::writeFile(out.fd(), stored.data(), clen) != clen) throw EZipFront(DS_NoWrite);
        const int mode = platform::fileMode(file);
        if (!platform::syncFile(out.fd())) throw EZipFront(DS_NoWrite);
        if (mode >= 0) platform::setFileMode(out.fd(), mode);
        if (!out.commit(file)) throw EZipFront(DS_NoWrite);
        FLogicalSize = FPhysicalSize = FEOCOffset + 22 + clen;
    } catch (const EZipFront& e) {
        ShowExceptionError(e);
        FZipComment.clear();
        if (rewriting) List();
    } catch (const std::bad_alloc&) {
        ShowZipMessage(GE_NoMem);
        FZipComment.clear();
        if (rewriting) List();
    }
}

// ---- Spec syntax ----

TAddSpec ParseAddSpec(const std::string& line, const std::string& recordPassword, int32_t recordEncrypt,
                      uint16_t recordRecurse) {
    TAddSpec s;
    s.Spec = line;
    s.Recurse = recordRecurse;
    if (!s.Spec.empty() && s.Spec[0] == '>') {
        s.Recurse = 65535;
        s.Spec.erase(0, 1);
    } else if (!s.Spec.empty() && s.Spec[0] == '|') {
        s.Recurse = 0;
        s.Spec.erase(0, 1);
    }
    if (!recordPassword.empty()) s.Password = recordPassword;
    s.Encrypt = recordEncrypt;
    const auto lt = s.Spec.find('<');
    if (lt != std::string::npos) {
        const std::string after = s.Spec.substr(lt + 1);
        s.Spec.erase(lt);
        if (!after.empty()) {
            s.Password = after;
            s.Encrypt = 65535;
        } else {
            s.Password.reset();
            s.Encrypt = 0;
        }
    }
    return s;
}

std::string StoreSuffixList(AddStoreExts exts) {
    static const char* const kExt[] = {"gif", "png", "z",   "zip", "zoo", "arc",
                                       "lzh", "arj", "taz", "tgz", "lha", "exe"};
    std::string list;
    for (int i = 0; i <= assEXE; ++i)
        if (exts.has(static_cast<AddStoreSuffixEnum>(i))) list += std::string(".") + kExt[i] + ":";
    if (!list.empty()) list.pop_back();
    return list;
}
