#include "zipdll/ZipFront.h"

#include "common/ZipLayout.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "platform/volumes.h"
#include "platform/ui_hooks.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace zipfront;

namespace {

using pvcommon::zip::kCentralSig;
using pvcommon::zip::kEndSig;
using pvcommon::zip::kLocalSig;
constexpr uint32_t kSpanSig = pvcommon::zip::kDescriptorSig; // a spanned set's first four bytes
constexpr int64_t kMaxEndSearch = 65557;                     // 22-byte end record + the longest comment
const char* const kAppTitle = "Parvex 2000";

using pvcommon::GetLE16;
using pvcommon::GetLE32;

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

// The file's own handle, closed on every way out.
struct FileHandle {
    int fd = platform::kInvalidHandle;
    ~FileHandle() {
        if (fd >= 0) platform::closeFile(fd);
    }
};

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

// End record: signature (4), number of this disk (2), disk with the directory (2),
// entries on this disk (2), entries (2), directory size (4), directory offset (4),
// comment length (2), comment.
bool TZipFront::FindEndRecord(int fd, bool raising) {
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
    FPhysicalSize = platform::fileSize(fd);
    auto take = [&](const uint8_t* p, int64_t pos) {
        FEOCOffset = pos;
        FDiskNr = GetLE16(p + 4);
        FCentralDiskNr = GetLE16(p + 6);
        FTotalEntries = GetLE16(p + 10);
        FCentralSize = GetLE32(p + 12);
        FCentralOffsetStored = GetLE32(p + 16);
    };
    if (FPhysicalSize >= 22) {
        uint8_t last[22];
        if (platform::readAt(fd, FPhysicalSize - 22, last, 22) && GetLE32(last) == kEndSig) {
            take(last, FPhysicalSize - 22);
            FLogicalSize = FPhysicalSize;
            return true;
        }
        const int64_t tail = std::min(FPhysicalSize, kMaxEndSearch);
        std::vector<uint8_t> buf(static_cast<size_t>(tail));
        if (platform::readAt(fd, FPhysicalSize - tail, buf.data(), tail)) {
            for (int64_t i = tail - 23; i >= 0; --i) {
                const uint8_t* p = buf.data() + i;
                if (GetLE32(p) != kEndSig) continue;
                take(p, FPhysicalSize - tail + i);
                const uint16_t clen = GetLE16(p + 20);
                FLogicalSize = FEOCOffset + 22 + clen;
                const int64_t excess = FPhysicalSize - FLogicalSize;
                bool harmless = false;
                if (excess > 0 && excess < 512 && FPhysicalSize % 512 == 0)
                    harmless = std::all_of(buf.end() - excess, buf.end(), [](uint8_t b) { return b == 0; });
                if (excess != 0 && !harmless) ShowZipMessage(LI_GarbageAtEOF);
                const size_t avail = std::min<size_t>(clen, static_cast<size_t>(tail - i - 22));
                const char* c = reinterpret_cast<const char*>(p + 22);
                FZipComment.assign(c, strnlen(c, avail));
                return true;
            }
        }
    }
    if (!raising) return false;
    if (FIsSpanned) throw EZipFront(labelDisk == 1 ? DS_FirstInSet : DS_NotLastInSetFile);
    if (labelDisk > 0) throw EZipFront(DS_NotLastInSet, labelDisk);
    throw EZipFront(DS_NoValidZip, false);
}

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

// Central header: signature (4), then bytes 4-45 as in ZipCentralFields, then name,
// extra field and comment.
void TZipFront::ListInner() {
    ReadDriveState(FZipFileName);
    FileHandle f;
    f.fd = platform::openFile(FZipFileName, platform::OpenMode::Read);
    // Listing reads in raising mode, where a file that cannot be opened counts as missing.
    if (f.fd < 0) throw EZipFront(DS_NoInFile);
    FindEndRecord(f.fd, true);
    FTotalDisks = FDiskNr;
    const int64_t commentLen = FLogicalSize - FEOCOffset - 22;
    // A directory that starts on an earlier disk of a set is read from the disks.
    const bool fromSet = FDiskNr != FCentralDiskNr;
    std::vector<uint8_t> setDir;
    int64_t start = FLogicalSize - FCentralSize - commentLen - 22;
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
    int64_t pos = start;
    auto readField = [&](void* dst, int64_t n, int err) {
        if (n <= 0) return;
        if (fromSet) {
            const int64_t at = pos - start;
            if (at > static_cast<int64_t>(setDir.size()) - n) throw EZipFront(err);
            std::memcpy(dst, setDir.data() + at, static_cast<size_t>(n));
        } else if (!platform::readAt(f.fd, pos, dst, n)) {
            throw EZipFront(err);
        }
        pos += n;
    };
    for (unsigned i = 0; i < FTotalEntries; ++i) {
        uint8_t h[46];
        readField(h, 46, DS_CEHBadRead);
        if (GetLE32(h) != kCentralSig) throw EZipFront(DS_CEHWrongSig);
        auto e = std::make_unique<ZipDirEntry>();
        std::memcpy(static_cast<ZipCentralFields*>(e.get()), h + 4, sizeof(ZipCentralFields));
        std::string raw(e->FileNameLength, '\0');
        readField(raw.data(), e->FileNameLength, DS_CENameLen);
        FVersionMadeBy0 = e->MadeByVersion;
        FHostNum = e->HostVersionNo;
        e->FileName = ConvertOemToAnsi(raw, e->Flag);
        std::replace(e->FileName.begin(), e->FileName.end(), '\\', '/');
        e->Encrypted = (e->Flag & 1) != 0;
        if (e->ExtraFieldLength) {
            e->ExtraData.emplace(e->ExtraFieldLength);
            readField(e->ExtraData->data(), e->ExtraFieldLength, LI_ReadZipError);
        }
        if (e->FileCommentLen) {
            std::string c(e->FileCommentLen, '\0');
            readField(c.data(), e->FileCommentLen, DS_CECommentLen);
            e->FileComment = ConvertOemToAnsi(c, e->Flag);
        }
        SFXOffset = std::min<int64_t>(SFXOffset, e->RelOffLocalHdr);
        if (UseDirOnlyEntries || e->FileName.empty() || e->FileName.back() != '/') {
            ZipContents.push_back(std::move(e));
            if (auto handler = OnNewName) handler(*this, static_cast<int>(i) + 1, *ZipContents.back());
        } else {
            ++DirOnlyCount;
        }
    }
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
        FileHandle in;
        in.fd = platform::openFile(FZipFileName, platform::OpenMode::Read);
        if (in.fd < 0) throw EZipFront(DS_FileOpen);
        uint8_t end[22];
        if (FEOCOffset < 0 || !platform::readAt(in.fd, FEOCOffset, end, 22)) throw EZipFront(DS_FailedSeek);
        if (GetLE32(end) != kEndSig) throw EZipFront(DS_EOCBadRead);
        rewriting = true;
        end[20] = static_cast<uint8_t>(stored.size());
        end[21] = static_cast<uint8_t>(stored.size() >> 8);
        std::string dir = FZipFileName.rfind('/') == std::string::npos
                              ? "."
                              : FZipFileName.substr(0, std::max<size_t>(FZipFileName.rfind('/'), 1));
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
        const int mode = platform::fileMode(FZipFileName);
        if (!platform::syncFile(out.fd())) throw EZipFront(DS_NoWrite);
        if (mode >= 0) platform::setFileMode(out.fd(), mode);
        if (!out.commit(FZipFileName)) throw EZipFront(DS_NoWrite);
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
