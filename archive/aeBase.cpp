#include "aeBase.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <cmath>

#include "aeDiskMan.h"
#include "aeFormats.h"
#include "format/aeTarWalk.h"
#include "format/aeUueWalk.h"
#include "format/aeZipWalk.h"
#include "common/SafePath.h"
#include "aeMsgs.h"
#include "platform/fileio.h"
#include "platform/trash.h"
#include "platform/ui_hooks.h"

// ---------------------------------------------------------------------------------------------
// E_RAISE
// ---------------------------------------------------------------------------------------------
E_RAISE::E_RAISE(int code) : ECode(code) {
    Message = code == kMsgRunBusy ? std::string(kRunBusyText) : AeMessageString(code);
}

E_RAISE::E_RAISE(int code, std::string text) : ECode(code), Message(std::move(text)) {}

// ---------------------------------------------------------------------------------------------
// Streams
// ---------------------------------------------------------------------------------------------
int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || pos_ >= Size()) return 0;
    const int64_t n = std::min(Count, Size() - pos_);
    std::copy_n(Data.data() + pos_, n, static_cast<uint8_t*>(Buffer));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    if (pos_ + Count > Size()) Data.resize(size_t(pos_ + Count));
    std::copy_n(static_cast<const uint8_t*>(Buffer), Count, Data.data() + pos_);
    pos_ += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, int Origin) {
    const int64_t base = Origin == 0 ? 0 : Origin == 1 ? pos_ : Size();
    if (base + Offset < 0) return -1;
    pos_ = base + Offset;
    return pos_;
}

// Mode 3 (beyond those the header names) creates the file for reading and writing: the
// cabinet library reads back the temporary files it writes.
TFileStream::TFileStream(const std::string& Name, int Mode) {
    using platform::OpenMode;
    fd_ = platform::openFile(Name, Mode == 0   ? OpenMode::Read
                                   : Mode == 1 ? OpenMode::Create
                                   : Mode == 3 ? OpenMode::CreateReadWrite
                                               : OpenMode::ReadWrite);
}
TFileStream::~TFileStream() {
    if (fd_ >= 0) platform::closeFile(fd_);
}
int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    return fd_ < 0 ? -1 : platform::readFile(fd_, Buffer, Count);
}
int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    return fd_ < 0 ? 0 : platform::writeFile(fd_, Buffer, Count);
}
int64_t TFileStream::Seek(int64_t Offset, int Origin) {
    return fd_ < 0 ? -1 : platform::seekFile(fd_, Offset, static_cast<platform::SeekFrom>(Origin));
}
int64_t TFileStream::Size() {
    return fd_ < 0 ? 0 : platform::fileSize(fd_);
}

// ---------------------------------------------------------------------------------------------
// Runs
// ---------------------------------------------------------------------------------------------
namespace {

// Runs under way, innermost last (a converter's children stand above it).
std::vector<TRunContext*>& runStack() {
    static std::vector<TRunContext*> stack;
    return stack;
}

bool isSep(char c) {
    return c == '/' || c == '\\';
}

// A stored name that the conversion of names and SafeRelativePath give back as it is:
// ASCII parts, none empty, "." or "..", joined by single slashes, with no drive, no
// backslash and no slash at either end. Most names are; they skip the general way.
bool IsPlainRelative(std::string_view s) {
    if (s.empty() || s.front() == '/' || s.back() == '/') return false;
    std::size_t partStart = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        const char c = i < s.size() ? s[i] : '/';
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\\' || c == ':') return false;
        if (c != '/') continue;
        const std::size_t len = i - partStart;
        if (len == 0 || (s[partStart] == '.' && (len == 1 || (len == 2 && s[partStart + 1] == '.'))))
            return false;
        partStart = i + 1;
    }
    return true;
}

} // namespace

TRunContext* ActiveRun() {
    return runStack().empty() ? nullptr : runStack().back();
}

TZipCommon* CurrentComponent() {
    TRunContext* r = ActiveRun();
    return r ? r->CurrentComponent : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Safe entry names
// ---------------------------------------------------------------------------------------------
std::optional<std::string> SafeRelativePath(std::string_view stored) {
    return pvcommon::SafeRelativePath(stored);
}

// ---------------------------------------------------------------------------------------------
// TaeMain
// ---------------------------------------------------------------------------------------------
TaeMain::TaeMain() : DiskManager(std::make_shared<TDiskManager>()) {}
TaeMain::~TaeMain() = default;

std::string TaeMain::About() const {
    return "Parvex archive engine";
}

void TaeMain::SetZipCmntBufSize(int Value) {
    FZipCmntBufSize = std::clamp(Value, 2000, 32767);
}

void TaeMain::SetArchiveFile(const std::string& Value) {
    FArchiveFile = Value;
    if (ComponentLoading || Value.empty()) {
        FArcType = atNA;
        return;
    }
    ResetForNewArchive();
    ArcStart = 1;
    SetArcType(atNA);
    InitVolumeNumbers();
}

void TaeMain::SetArcType(TArcType) {
    DetectArcType();
}

void TaeMain::ResetForNewArchive() {}

void TaeMain::ReportDetectionError(const std::string&, int) {}

bool TaeMain::OpenArchive(int& Handle, const std::string& Name) {
    Handle = platform::openFile(Name, platform::OpenMode::Read);
    if (Handle < 0) ReportDetectionError(Name, kMsgOpenError);
    return Handle >= 0;
}

bool TaeMain::CloseArchive(int Handle) {
    return platform::closeFile(Handle);
}

bool TaeMain::IsWildList(const std::vector<std::string>& Specs) const {
    const size_t listed = FileList ? FileList->Count() : 0;
    if (Specs.size() > 1 && Specs.size() > listed) return true;
    return Specs.size() == 1 && Specs[0].find('*') != std::string::npos;
}

void TaeMain::InitVolumeNumbers() {
    VolumeNumber = 0;
    const TVolumeNaming& names = FormatOf(FArcType).Volumes;
    if (!names.Letter || !InArcTypes(names.Types, FArcType)) return;
    VolumeLetter = names.Letter;
    const std::string dflt = names.DefaultExt;
    const std::string file = ExtractFileNamePart(FArchiveFile);
    const size_t dot = file.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : file.substr(dot + 1);
    if (ext.empty()) ext = dflt;
    // Names compare by case here: the volume letter follows the case of the extension, so
    // that "x.ace" goes on with "x.c00" and "X.ARJ" with "X.A01".
    if (std::isalpha(static_cast<unsigned char>(ext[0])))
        VolumeLetter = std::isupper(static_cast<unsigned char>(ext[0]))
                           ? char(std::toupper(static_cast<unsigned char>(VolumeLetter)))
                           : char(std::tolower(static_cast<unsigned char>(VolumeLetter)));
    // Only the trailing run of digits is a volume number ("a12" is 12, "1a2" is 2).
    size_t k = ext.size();
    while (k > 0 && std::isdigit(static_cast<unsigned char>(ext[k - 1]))) --k;
    if (k == ext.size()) {
        VolumeNumber = names.Unnumbered;
        return;
    }
    VolumeLetter = ext[0];
    const std::string digits = ext.substr(k, 9); // nine digits fit an int
    VolumeNumber = std::stoi(digits) + 1;
}

void TaeMain::RefreshArchiveDrive() {
    ArchiveDrive = {};
    if (FArchiveFile.empty() || !DiskManager) return;
    std::string folder = ExtractDirPart(FArchiveFile);
    if (folder.empty()) folder = platform::currentDir();
    // A folder that is not there has no disk to describe (and asking to retry would stall
    // detection).
    if (!platform::dirExists(folder)) return;
    DiskManager->SetDrive(folder);
    ArchiveDrive.Removable = DiskManager->DriveType == DRIVE_REMOVABLE;
    ArchiveDrive.HasDiskNumber = DiskManager->DiskNumber > 0;
}

TArcDetector TaeMain::MakeDetector(const TByteSource& src) const {
    return TArcDetector(src, FArchiveFile, ArchiveDrive, FZipCmntBufSize);
}

void TaeMain::TakeDetection(const TDetectResult& d) {
    FArcType = d.ArcType;
    ArcStart = d.ArcStart;
    ArchiveSize = d.ArchiveSize;
    ZipDirFlags = d.ZipDirFlags;
    FirstWord = d.FirstWord;
    ZipCentralOffset = d.ZipCentralOffset;
    ZipOffsetBias = d.ZipOffsetBias;
    ZipEndRecord = d.ZipEndRecord;
    ZipCentralHeader = d.ZipCentralHeader;
    ZipLocalHeader = d.ZipLocalHeader;
}

void TaeMain::DetectArcType() {
    if (FArchiveFile.empty()) {
        FArcType = atNA;
        return;
    }
    FArcType = atFileOpenErr;
    RefreshArchiveDrive();
    int fd;
    if (!OpenArchive(fd, FArchiveFile)) return;
    TFdSource src(fd);
    TArcDetector d = MakeDetector(src);
    d.DetectArcType();
    TakeDetection(d);
    platform::closeFile(fd);
}

TArcType TaeMain::CheckSignature(uint32_t Signature, int Mode) {
    TMemorySource none({});
    TArcDetector d = MakeDetector(none);
    static_cast<TDetectResult&>(d) = Snapshot();
    const TArcType t = d.CheckSignature(Signature, Mode);
    ArcStart = d.ArcStart;
    ZipDirFlags = d.ZipDirFlags;
    return t;
}

TDetectResult TaeMain::Snapshot() const {
    TDetectResult r;
    r.ArcType = FArcType;
    r.ArcStart = ArcStart;
    r.ArchiveSize = ArchiveSize;
    r.ZipDirFlags = ZipDirFlags;
    r.FirstWord = FirstWord;
    r.ZipCentralOffset = ZipCentralOffset;
    r.ZipOffsetBias = ZipOffsetBias;
    r.ZipEndRecord = ZipEndRecord;
    r.ZipCentralHeader = ZipCentralHeader;
    r.ZipLocalHeader = ZipLocalHeader;
    return r;
}

template <class F> auto TaeMain::WithDetector(int Handle, F step) {
    TFdSource src(Handle);
    TArcDetector d = MakeDetector(src);
    static_cast<TDetectResult&>(d) = Snapshot();
    d.ArchiveSize = src.Size();
    auto r = step(d);
    TakeDetection(d);
    return r;
}

int64_t TaeMain::FindEndOfCentralDir(int Handle) {
    return WithDetector(Handle, [](TArcDetector& d) { return ::FindEndOfCentralDir(d); });
}
int64_t TaeMain::FindZipCentral(int Handle) {
    return WithDetector(Handle, [](TArcDetector& d) { return ::FindZipCentral(d); });
}
int64_t TaeMain::ScanForEmbeddedArchive(int Handle, TArcType& Type, int64_t From) {
    return WithDetector(Handle, [&](TArcDetector& d) { return d.ScanForEmbeddedArchive(Type, From); });
}
bool TaeMain::FindUueBegin(int Handle) {
    return WithDetector(Handle, [](TArcDetector& d) { return ::FindUueBegin(d); });
}
bool TaeMain::IsTarHeader(int Handle) {
    return WithDetector(Handle, [](TArcDetector& d) { return ::IsTarHeader(d); });
}
bool TaeMain::FindZipAtFixedOffsets(int Handle) {
    return WithDetector(Handle, [](TArcDetector& d) { return ::FindZipAtFixedOffsets(d); });
}

// ---------------------------------------------------------------------------------------------
// TReadWriteObj
// ---------------------------------------------------------------------------------------------
TReadWriteObj::TReadWriteObj() {
    ReadProc = [this](int h, TStream* s, int64_t n, int crc, bool dec, uint8_t* b) {
        return ReadBlock(h, s, n, crc, dec, b);
    };
    WriteProc = [this](int h, TStream* s, int after, int64_t n, int crc, bool crypt, uint8_t* b) {
        return WriteBlockDecrypted(h, s, after, n, crc, crypt, b);
    };
    WriteEncryptedProc = [this](int h, TStream* s, int after, int64_t n, int crc, bool crypt, uint8_t* b) {
        return WriteBlockEncrypted(h, s, after, n, crc, crypt, b);
    };
}

TRunContext& TReadWriteObj::Ctx() {
    if (!FRun) FRun = std::make_unique<TRunContext>();
    return *FRun;
}

int64_t TReadWriteObj::ReadBlock(int Handle, TStream* Stream, int64_t Count, int CrcMode, bool Decrypt,
                                 uint8_t* Buffer) {
    if (Count <= 0) return 0;
    int64_t got = 0;
    auto fromStream = [&](TStream* s) { return s ? s->Read(Buffer, Count) : 0; };
    switch (ReadMode) {
    case 0:
        got = platform::readFile(Handle, Buffer, Count);
        break;
    case 1:
        got = fromStream(StreamA);
        break;
    case 2:
        got = fromStream(Stream);
        break;
    case 3:
        got = fromStream(StreamB);
        break;
    case 4: // a memory block: never past its end
        got = std::min(Count, ReadMemoryLeft);
        if (got > 0 && ReadMemory) {
            std::copy_n(ReadMemory, got, Buffer);
            ReadMemory += got;
            ReadMemoryLeft -= got;
        } else {
            got = 0;
        }
        break;
    default:
        got = 0;
        break;
    }
    if (got < 0) got = 0; // a read error reads as nothing
    if (Decrypt) DecryptBlock(Buffer, got);
    UpdateCrc(CrcMode, Buffer, got);
    return got;
}

void TReadWriteObj::DecryptBlock(uint8_t* Buffer, int64_t Count) {
    if (Count <= 0) return;
    const TEntryCipher cipher = FormatOf(FArcType).Cipher;
    if (cipher == ecXorPassword) {
        if (Password.empty()) return;
        for (int64_t i = 0; i < Count; ++i) {
            if (ArjPasswordPos < 1 || ArjPasswordPos > int(Password.size())) ArjPasswordPos = 1;
            Buffer[i] ^= static_cast<uint8_t>(Password[size_t(ArjPasswordPos - 1)]);
            ++ArjPasswordPos;
        }
    } else if (cipher == ecZipKeys) {
        Ctx().Keys.DecryptBuffer(Buffer, size_t(Count));
    }
}

void TReadWriteObj::UpdateCrc(int CrcMode, const uint8_t* Buffer, int64_t Count) {
    if (Count <= 0) return;
    if (CrcMode == 16)
        Crc16Update(Buffer, size_t(Count), Ctx().Crc16Value);
    else if (CrcMode == 32)
        Crc32Update(Buffer, size_t(Count), Ctx().Crc32Value);
}

int64_t TReadWriteObj::WriteBlock(int Handle, const uint8_t* Buffer, int CrcAfter, int64_t Count, int CrcMode,
                                  TStream* Stream) {
    if (Count < 0) Count = 0;
    errno = 0; // what a short write leaves here says why
    auto put = [&](const uint8_t* p, int64_t n) -> int64_t {
        if (n <= 0) return 0;
        switch (WriteMode) {
        case 0:
            return platform::writeFile(Handle, p, n);
        case 1:
            return StreamA ? StreamA->Write(p, n) : 0;
        case 2:
            return Stream ? Stream->Write(p, n) : 0;
        case 3:
            return StreamB ? StreamB->Write(p, n) : 0;
        default:
            return 0;
        }
    };
    int64_t accounted = 0;
    int64_t runStart = 0;
    if (AsciiTranslation) {
        static const uint8_t crlf[2] = {'\r', '\n'};
        for (int64_t i = 0; i < Count; ++i) {
            if (Buffer[i] != '\n' || (i > 0 && Buffer[i - 1] == '\r')) continue;
            // A lone line feed ends a run: the run, then CR LF.
            const int64_t run = i - runStart;
            const int64_t w = put(Buffer + runStart, run);
            if (w != run || put(crlf, 2) != 2) ShortWrite(errno);
            accounted += run + 1;
            runStart = i + 1;
        }
    }
    errno = 0;
    accounted += put(Buffer + runStart, Count - runStart);
    if (accounted != Count) ShortWrite(errno);
    if (CrcAfter == 1) UpdateCrc(CrcMode, Buffer, accounted);
    return accounted;
}

void TReadWriteObj::ShortWrite(int Err) {
    // A write that stopped short without an error of its own ran out of room.
    E_RAISE x(kMsgWriteError);
    x.Detail = std::strerror(Err ? Err : ENOSPC);
    throw x;
}

int64_t TReadWriteObj::WriteBlockEncrypted(int Handle, TStream* Stream, int CrcAfter, int64_t Count,
                                           int CrcMode, bool Crypt, uint8_t* Buffer) {
    if (Crypt && CrcAfter == 1 && Count > 0 && FormatOf(FArcType).Cipher == ecZipKeys)
        Ctx().Keys.EncryptBuffer(Buffer, size_t(Count));
    return WriteBlock(Handle, Buffer, CrcAfter, Count, CrcMode, Stream);
}

int64_t TReadWriteObj::WriteBlockDecrypted(int Handle, TStream* Stream, int CrcAfter, int64_t Count,
                                           int CrcMode, bool Crypt, uint8_t* Buffer) {
    if (Crypt && CrcAfter == 1 && Count > 0 && FormatOf(FArcType).Cipher == ecZipKeys)
        Ctx().Keys.DecryptBuffer(Buffer, size_t(Count));
    return WriteBlock(Handle, Buffer, CrcAfter, Count, CrcMode, Stream);
}

// ---------------------------------------------------------------------------------------------
// TZipCommon
// ---------------------------------------------------------------------------------------------
TZipCommon::TZipCommon() {
    ProgressSink = [this](uint8_t f, uint8_t a) { DoProgress(f, a); };
}

TZipCommon::~TZipCommon() = default;

void TZipCommon::ResetForNewArchive() {
    FileCount = 0;
}

void TZipCommon::ReportDetectionError(const std::string& FN, int ECode) {
    ReportError(FN, "", "0", ECode);
}

int TZipCommon::EffectiveCode(int ECode) const {
    const TZipCommon* cur = CurrentComponent();
    if (!cur) cur = this;
    return cur->FCancel ? kMsgUserCanceled : ECode;
}

void TZipCommon::RaiseError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                            int ECode) {
    Timer.Pause();
    const int code = EffectiveCode(ECode);
    FireEvent(OnError, *this, FN, MsgEx, VolumeID, code);
    Timer.Resume();
    E_RAISE e(code);
    e.Reported = true;
    throw e;
}

void TZipCommon::ReportError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                             int ECode) {
    Timer.Pause();
    FireEvent(OnError, *this, FN, MsgEx, VolumeID, EffectiveCode(ECode));
    Timer.Resume();
}

void TZipCommon::WriteError() {
    const int e = errno;
    RaiseError(WrittenFile(), e ? std::strerror(e) : "", "0", kMsgWriteError);
    throw E_RAISE(kMsgWriteError); // only if an override of RaiseError returned
}

void TZipCommon::SetCancel(bool Value) {
    FCancel = Value;
    platform::processMessages();
}

TDateTime TZipCommon::DosDateToDateTime(uint32_t DosDate) {
    return DosDateToDateTimeSafe(DosDate);
}

void TZipCommon::SetFileSpec(const std::vector<std::string>& Value) {
    std::vector<std::string> v = Value;
    NormaliseSpecList(v);
    FFileSpec = std::move(v);
}

void TZipCommon::SetExcludeSpec(const std::vector<std::string>& Value) {
    std::vector<std::string> v = Value;
    NormaliseSpecList(v);
    FExcludeSpec = std::move(v);
}

void TZipCommon::SetExtractDir(const std::string& Value) {
    if (!Value.empty())
        FExtractDir = AppendDirTail(Value);
    else
        FExtractDir = FArchiveFile.empty() ? std::string() : ExtractDirPart(FArchiveFile);
}

std::string TZipCommon::TempDir() {
    if (FTempDir.empty() || !platform::dirExists(FTempDir)) FTempDir = SystemTempDir();
    return FTempDir;
}

void TZipCommon::SetTempDir(const std::string& Value) {
    if (ComponentLoading) {
        FTempDir = Value;
        return;
    }
    std::string v = Value.empty() ? SystemTempDir() : AppendDirTail(Value);
    if (!platform::dirExists(v)) {
        const auto answer =
            platform::messageBox("", std::string(AeMessageText(kMsgDirMissing)) + "\r\r" + v,
                                 platform::MsgType::Confirmation, platform::mbYes | platform::mbNo);
        if (answer == platform::ModalResult::Yes)
            platform::makeDirs(v);
        else
            v.clear();
    }
    if (v.empty() || !platform::dirExists(v)) v = SystemTempDir();
    FTempDir = v;
}

std::optional<std::string> TZipCommon::OutputPathFor(const std::string& StoredName) {
    if (FExtractDir.empty()) SetExtractDir({});
    if (FExtractDir.empty()) SetExtractDir(platform::currentDir());
    if (IsPlainRelative(StoredName)) {
        std::string_view rel = StoredName;
        if (!UseStoredDirs) rel.remove_prefix(rel.rfind('/') + 1); // npos + 1: the whole name
        std::string out = AppendDirTail(FExtractDir);
        out += rel;
        return out;
    }
    const std::string name = OemToAnsiName(StoredName);
    auto rel = SafeRelativePath(name);
    if (!rel) return std::nullopt;
    const bool isFolder = isSep(name.back());
    // A file entry must name a file: "." or a bare drive would make the folder itself the output.
    if (!isFolder && rel->empty()) return std::nullopt;
    if (!UseStoredDirs) {
        const size_t slash = rel->rfind('/');
        *rel = isFolder ? std::string() : (slash == std::string::npos ? *rel : rel->substr(slash + 1));
    } else if (isFolder && !rel->empty()) {
        *rel += '/';
    }
    return AppendDirTail(FExtractDir) + *rel;
}

bool TZipCommon::BuildOutputName(const std::string& StoredName) {
    FileName.clear();
    if (StoredName.empty()) return false;
    auto path = OutputPathFor(StoredName);
    if (!path) {
        // A name that climbs out of the extraction folder is refused; the entry is skipped.
        ReportError(StoredName, "", "0", kMsgInvalidName);
        return false;
    }
    FileName = std::move(*path);
    return true;
}

bool TZipCommon::MatchesFileSpec(const std::string& Name, bool Flag) {
    for (const std::string& spec : FFileSpec) {
        if (spec != "*.*" && !WildcardMatch(spec, Name, Flag)) continue;
        for (const std::string& ex : FExcludeSpec)
            if (ex == "*.*" || WildcardMatch(ex, Name, false)) return false;
        return true;
    }
    return false;
}

bool TZipCommon::IsExcluded(const std::string& Name) {
    for (const std::string& ex : FExcludeSpec) {
        const auto path = OutputPathFor(ex);
        if (path && WildcardMatch(*path, Name, false)) return true;
    }
    return false;
}

int TZipCommon::GetRatio(int64_t Packed, int64_t Unpacked) {
    if (Packed <= 0 || Unpacked <= 0 || Packed >= Unpacked) return 0;
    if (Unpacked - Packed > 100000) {
        Packed /= 100;
        Unpacked /= 100;
    }
    const int r = int((Unpacked - Packed) * 100 / Unpacked);
    return r == 0 ? 1 : r;
}

std::string TZipCommon::GetDeflateName(uint32_t Flags) {
    if ((Flags & 6) == 6) return "DeflateS";
    if (Flags & 4) return "DeflateF";
    if (Flags & 2) return "DeflateX";
    return "DeflateN";
}

uint32_t TZipCommon::DeflateFlags(uint32_t Flags, int Level) {
    switch (Level) {
    case 1:
        return Flags | 6;
    case 2:
        return Flags | 4;
    case 9:
        return Flags | 2;
    default:
        return Flags;
    }
}

std::string TZipCommon::GetMethodName(int Code, uint32_t Flags) {
    // Each format names its own methods in its registration row.
    const TFormatRow* f = FindFormat(FArcType);
    return f && f->MethodName ? f->MethodName(*this, Code, Flags) : std::string("Unsupported");
}

std::string TZipCommon::GetArcTypeName() const {
    return std::string(ArcTypeName(FArcType));
}

bool TZipCommon::IsArcTypeKnown(TArcType t) {
    return t < kArcTypeCount && !InArcTypes(UnknownArcTypes, t);
}
bool TZipCommon::IsArcTypeWritable(TArcType t) {
    return InArcTypes(WritableArcTypes, t);
}
bool TZipCommon::IsArcTypeExtractable(TArcType t) {
    return InArcTypes(ExtractableArcTypes, t);
}
bool TZipCommon::IsArcTypeTestable(TArcType t) {
    return InArcTypes(TestableArcTypes, t);
}

std::string TZipCommon::GetFileTypeName(const std::string& Name) {
    return platform::fileTypeName(Name);
}

std::string TZipCommon::GetTempFileName() {
    const std::string dir = SystemTempDir();
    if (!dir.empty() && !platform::dirExists(dir)) platform::makeDirs(dir);
    platform::TempFile t = platform::makeTempFile(dir, "ae");
    if (t.fd >= 0) platform::closeFile(t.fd);
    return t.path;
}

bool TZipCommon::DeleteFileEx(const std::string& Name, TDeleteOptions Mode) {
    if (Mode != doAllowUndo) return platform::removeFile(Name);
    if (!platform::pathExists(Name)) return false;
    return platform::moveToTrash(Name);
}

bool TZipCommon::CloseOutput(int& Handle, std::unique_ptr<TStream>& Stream) {
    bool ok = true;
    if (Handle >= 0) {
        ok = platform::closeFile(Handle);
        Handle = -1;
    }
    Stream.reset();
    return ok;
}

void TZipCommon::ReportProgress(int64_t Done, int64_t Total, int64_t ArchiveTotal) {
    const int f = Percent(Done, Total);
    const int a = Percent(ArchiveTotal - BytesLeft, ArchiveTotal);
    // The sink hears every step; DoProgress is what keeps the event pump down to a few
    // times a second.
    if (!ProgressSink) return;
    auto sink = ProgressSink;
    sink(uint8_t(f), uint8_t(a));
}

void TZipCommon::DoProgress(uint8_t ProgressByFile, uint8_t ProgressByArchive) {
    // Pending events are let through at most ~30 times a second: a pump per block would cost
    // more than the work on small blocks.
    if (FLastPump.Due()) platform::processMessages();
    FireEvent(OnProgress, *this, ProgressByFile, ProgressByArchive);
}

std::string TZipCommon::VolumeName(const std::string& Name, int Number) {
    if (Name.empty() || Number < 0) return {};
    const std::string dir = ExtractDirPart(Name);
    std::string file = ExtractFileNamePart(Name);
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos) file.resize(dot);
    if (FormatOf(FArcType).Volumes.LetterRolls) {
        Number %= 100;
        if (Number == 0) ++VolumeLetter; // .r99 is followed by .s00
    }
    std::string ext;
    if (Number < 10)
        ext = std::string(".") + VolumeLetter + "0" + std::to_string(Number);
    else if (Number < 100)
        ext = std::string(".") + VolumeLetter + std::to_string(Number);
    else
        ext = "." + std::to_string(Number);
    return dir + file + ext;
}

bool TZipCommon::AskNextVolume(std::string& Name, int Number) {
    return AskNextVolume(Name, Number, std::to_string(Number));
}

bool TZipCommon::AskNextVolume(std::string& Name, int Number, const std::string& VolumeID) {
    bool ok = false;
    if (Number > 999) {
        ReportError(Name, "", std::to_string(Number), kMsgMaxVolumes);
    } else if (Name.empty()) {
        ReportError(Name, "", std::to_string(Number), kMsgInvalidName);
    } else if (OnNextVolume) {
        if (ExtractDirPart(Name).empty()) Name = AppendDirTail(platform::currentDir()) + Name;
        bool exists = platform::fileExists(Name);
        // A handler that neither cancels nor produces the file would be asked forever.
        for (int round = 0; round < 100; ++round) {
            bool cancel = true;
            Timer.Pause();
            FireEvent(OnNextVolume, *this, Name, VolumeID, exists, cancel);
            Timer.Resume();
            if (cancel) break;
            exists = platform::fileExists(Name);
            if (exists) {
                ok = true;
                break;
            }
        }
    }
    if (ok)
        ++VolumeNumber;
    else
        CurrentOffset = ScanEnd; // a running listing ends here
    return ok;
}

bool TZipCommon::OpenNextVolume(int& Handle, std::string& Name) {
    if (!OnNextVolume) return false;
    Name = VolumeName(Name, VolumeNumber);
    const int number = VolumeNumber;
    if (!AskNextVolume(Name, number)) return false;
    if (Handle >= 0 && !platform::closeFile(Handle)) {
        Handle = -1;
        RaiseError(Name, "", std::to_string(number), kMsgCloseError);
    }
    Handle = platform::openFile(Name, platform::OpenMode::Read);
    if (Handle < 0) {
        Handle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
        RaiseError(Name, "", std::to_string(number), kMsgReadError);
    }
    ArchiveSize = std::max<int64_t>(0, platform::fileSize(Handle));
    return true;
}

bool TZipCommon::ReopenArchive(int& Handle) {
    if (Handle >= 0 && !platform::closeFile(Handle)) {
        Handle = -1;
        RaiseError(FArchiveFile, "", "0", kMsgCloseError);
    }
    Handle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
    if (Handle < 0) RaiseError(FArchiveFile, "", "0", kMsgReadError);
    ArchiveSize = std::max<int64_t>(0, platform::fileSize(Handle));
    RefreshArchiveDrive();
    return !DiskManager || DiskManager->Ready;
}

// ---------------------------------------------------------------------------------------------
// The run protocol
// ---------------------------------------------------------------------------------------------
namespace {

// Registers a run's context for its lifetime and takes it off again on every way out.
class RunRegistration {
public:
    RunRegistration(TRunContext* ctx, bool& running) : ctx_(ctx), running_(running) {
        runStack().push_back(ctx);
        running_ = true;
    }
    ~RunRegistration() {
        auto& s = runStack();
        s.erase(std::remove(s.begin(), s.end(), ctx_), s.end());
        running_ = false;
    }
    RunRegistration(const RunRegistration&) = delete;
    RunRegistration& operator=(const RunRegistration&) = delete;

private:
    TRunContext* ctx_;
    bool& running_;
};

} // namespace

void TZipCommon::RunOperation(const TRunSpec& Spec, const std::function<void(int& ArchiveHandle)>& Work) {
    const TRunContext* outer = ActiveRun();
    if (FRunning || (outer && !outer->AllowChildRuns)) throw E_RAISE(kMsgRunBusy);

    FRun = std::make_unique<TRunContext>();
    FRun->CurrentComponent = this;
    RunRegistration reg(FRun.get(), FRunning);

    SetCancel(false);
    FileCount = 0;
    TotalPackedSize = TotalUnpackedSize = 0;
    TotalRatio = 0;
    CurrentOffset = 0;
    BytesLeft = 0;

    if (Spec.RequireArchive && (FArchiveFile.empty() || !platform::fileExists(FArchiveFile)))
        RaiseError(FArchiveFile, "", "0", kMsgFileNotFound);
    if (!InArcTypes(Spec.Handles, FArcType)) RaiseError(FArchiveFile, "", "0", kMsgBadArcType);
    int handle = -1;
    if (Spec.OpenArchive && !InArcTypes(OutsideLibraryArcTypes, FArcType) && !FArchiveFile.empty()) {
        handle = platform::openFile(FArchiveFile, platform::OpenMode::Read);
        if (handle < 0) RaiseError(FArchiveFile, "", "0", kMsgOpenError);
        ArchiveSize = std::max<int64_t>(0, platform::fileSize(handle));
    }
    ScanEnd = ArchiveSize;

    auto finish = [&] {
        const bool timed = Timer.Running();
        if (timed) Timer.Stop();
        if (timed && !Spec.ElapsedAfterDeactivate) FireEvent(OnElapsedTime, *this, Timer.Elapsed);
        if (handle >= 0) platform::closeFile(handle);
        handle = -1;
        FireEvent(OnDeactivate, *this);
        if (timed && Spec.ElapsedAfterDeactivate) FireEvent(OnElapsedTime, *this, Timer.Elapsed);
    };
    try {
        FireEvent(OnActivate, *this);
        if (OnElapsedTime) Timer.Start();
        Work(handle);
    } catch (...) {
        finish();
        throw;
    }
    finish();
}
