#include "archive/format/aeMakeCab.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "archive/aeMsgs.h"
#include "archive/format/aeUnCAB.h"
#include "common/Wildcard.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

TMakeCAB* Self(void* pv) {
    return static_cast<TMakeCAB*>(pv);
}

int CbPlaced(TCCAB*, char*, long, int, void*) {
    return 0;
}
long CbStatus(uint32_t, uint32_t, uint32_t, void*) {
    return 0;
}
TCabHandle CbOpen(char* Name, int Flags, int Mode, int* Err, void* pv) {
    return Self(pv)->Handler().Open(Name ? Name : "", Flags, Mode, *Err);
}
uint32_t CbRead(TCabHandle H, void* Buffer, uint32_t Count, int* Err, void* pv) {
    return Self(pv)->ReadSource(H, Buffer, Count, *Err);
}
uint32_t CbWrite(TCabHandle H, void* Buffer, uint32_t Count, int* Err, void* pv) {
    return Self(pv)->Handler().Write(H, Buffer, Count, *Err);
}
int CbClose(TCabHandle H, int* Err, void* pv) {
    return Self(pv)->Handler().Close(H, *Err);
}
long CbSeek(TCabHandle H, long Distance, int Origin, int* Err, void* pv) {
    return Self(pv)->Handler().Seek(H, Distance, Origin, *Err);
}
int CbDelete(char* Name, int* Err, void* pv) {
    return Self(pv)->Handler().Delete(Name ? Name : "", *Err);
}
int CbTempFile(char* Buffer, int Size, void* pv) {
    return Self(pv)->TempFileName(Buffer, Size) ? 1 : 0;
}
int CbNextCabinet(TCCAB* Cab, uint32_t PreviousSize, void* pv) {
    return Cab && Self(pv)->NextCabinet(*Cab, PreviousSize) ? 1 : 0;
}
TCabHandle CbOpenInfo(char* Name, uint16_t* Date, uint16_t* Time, uint16_t* Attribs, int* Err, void* pv) {
    return Self(pv)->OpenInfo(Name ? Name : "", *Date, *Time, *Attribs, *Err);
}

void CopyField(char* Dest, const std::string& Value) {
    std::strncpy(Dest, Value.c_str(), 255);
    Dest[255] = '\0';
}

std::string FolderPart(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string{} : Path.substr(0, slash + 1);
}

} // namespace

TMakeCAB::TMakeCAB() {
    FOwnDefaultExt = ".CAB";
    FDefaultExt = ".CAB";
    FArcType = atCab;
    FAllowedMethods = MethodBit(cmStore) | MethodBit(cmMsZip) | MethodBit(cmLzx) | MethodBit(cmQuantum);
    FCompressMethod = cmMsZip;
}

TMakeCAB::~TMakeCAB() {
    if (FContext) CabinetLibrary().FCIDestroy(FContext);
}

void TMakeCAB::SetArcType(TArcType) {
    FArcType = atCab;
}

void TMakeCAB::SetLzxLevel(int Value) {
    FLzxLevel = std::clamp(Value, 15, 21);
}
void TMakeCAB::SetQuantumLevel(int Value) {
    FQuantumLevel = std::clamp(Value, 1, 7);
}
void TMakeCAB::SetQuantumMemory(int Value) {
    FQuantumMemory = std::clamp(Value, 10, 21);
}

uint16_t TMakeCAB::CompressionType() const {
    switch (FCompressMethod) {
    case cmStore:
        return kCabCompNone;
    case cmLzx:
        return static_cast<uint16_t>(FLzxLevel * 256 + kCabCompLzx);
    case cmQuantum: {
        static const int kinds[] = {kCabCompNone, kCabCompMsZip, kCabCompLzx};
        return static_cast<uint16_t>(FQuantumMemory * 256 + FQuantumLevel * 16 + kinds[QuantumType]);
    }
    default:
        return kCabCompMsZip;
    }
}

std::string TMakeCAB::CompressionName() const {
    switch (FCompressMethod) {
    case cmStore:
        return "Stored";
    case cmLzx:
        return "Lzx";
    case cmQuantum:
        return "Quantum";
    default:
        return "MsZIP";
    }
}

int TMakeCAB::CompressionCode() const {
    switch (FCompressMethod) {
    case cmStore:
        return 0;
    case cmLzx:
        return 2;
    case cmQuantum:
        return static_cast<int>(QuantumType);
    default:
        return 1;
    }
}

TCCAB TMakeCAB::CabParameters(const std::string& Archive) const {
    TCCAB c;
    std::memset(&c, 0, sizeof(c));
    c.cb = 0x7FFFFFFF;
    c.cbFolderThresh = 900000;
    c.fFailOnIncompressible = FailOnIncompressible ? 1 : 0;
    CopyField(c.szCab, Archive.substr(FolderPart(Archive).size()));
    CopyField(c.szCabPath, FolderPart(Archive));
    return c;
}

bool TMakeCAB::NextCabinet(TCCAB& Cab, uint32_t PreviousSize) {
    bool abort = true;
    std::string name;
    FireEvent(OnGetNextCabinet, *this, Cab, name, static_cast<int64_t>(PreviousSize), abort);
    if (abort) return false;
    CopyField(Cab.szCab, name.substr(FolderPart(name).size()));
    CopyField(Cab.szCabPath, FolderPart(name));
    return true;
}

bool TMakeCAB::TempFileName(char* Buffer, int Size) {
    int ticket = -1;
    platform::TempFile t = platform::makeTempFileRemovedOnSignal(TempDir(), "ae", "", ticket);
    if (t.fd < 0) return false;
    platform::closeFile(t.fd);
    FScratch.push_back({t.path, ticket});
    FOwnFiles.push_back(t.path);
    if (static_cast<int>(t.path.size()) >= Size) return false;
    std::memcpy(Buffer, t.path.c_str(), t.path.size() + 1);
    return true;
}

void TMakeCAB::dropScratch() {
    for (const TScratch& s : FScratch) {
        platform::removeFile(s.Path);
        platform::forgetOnTerminatingSignal(s.Ticket);
    }
    FScratch.clear();
}

TCabHandle TMakeCAB::OpenInfo(const std::string& Name, uint16_t& Date, uint16_t& Time, uint16_t& Attribs,
                              int& Error) {
    const uint32_t a = platform::fileAttributes(Name);
    if (a == platform::kInvalidAttributes) {
        Error = errno ? errno : ENOENT;
        return -1;
    }
    const TCabHandle h = FHandler.Open(Name, kCabOpenRead | kCabOpenBinary, 0, Error);
    if (h == -1) return -1;
    struct stat st {};
    const bool timed = ::fstat(static_cast<int>(h), &st) == 0;
    const uint32_t dos = StoredDate(timed ? UnixTimeToDosLocal(st.st_mtime) : 0);
    Date = static_cast<uint16_t>(dos >> 16);
    Time = static_cast<uint16_t>(dos & 0xFFFF);
    // Read-only, hidden, system and archive; a file its owner may run is marked executable,
    // and a name that needs it is flagged as UTF-8.
    Attribs = static_cast<uint16_t>((a & 0x27) | (timed && (st.st_mode & S_IXUSR) ? 0x40 : 0) |
                                    (FNameIsUtf8 ? 0x80 : 0));
    if (OnRead) {
        PackedSize = UnpackedSize = FBytesToRead;
        FileDate = DosDateToDateTime(dos);
        FileAttr = a;
        FileCRC = 0;
        Ratio = 0;
        Encrypted = false;
    }
    Error = 0;
    return h;
}

uint32_t TMakeCAB::ReadSource(TCabHandle Handle, void* Buffer, uint32_t Count, int& Error) {
    const uint32_t got = FHandler.Read(Handle, Buffer, Count, Error);
    if (got != static_cast<uint32_t>(-1) && got > 0 && FBytesToRead != 0) {
        FBytesToRead -= std::min<int64_t>(got, FBytesToRead);
        BytesLeft -= got;
        ReportProgress(FFileSize - FBytesToRead, FFileSize, FTotalSize);
    }
    return got;
}

bool TMakeCAB::DeleteMatches(const std::string& Name) const {
    const size_t slash = Name.rfind('/');
    const std::string base = slash == std::string::npos ? Name : Name.substr(slash + 1);
    for (const std::string& s : FFileSpec) {
        std::string spec = s;
        std::replace(spec.begin(), spec.end(), '\\', '/');
        if (pvcommon::WildcardMatch(spec, Name, false)) return true;
        if (spec.find('/') == std::string::npos && pvcommon::WildcardMatch(spec, base, true)) return true;
    }
    return false;
}

void TMakeCAB::ReadExisting(const std::string& Folder, std::vector<TKept>& Kept) {
    TUnCAB un;
    bool failed = false;
    std::vector<std::string> written;
    un.OnError = [&failed](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
        failed = true;
    };
    un.OnEnd = [&](TZipCommon&, const std::string& FN, bool Pass) {
        if (!Pass) failed = true;
        if (Pass) written.push_back(FN);
    };
    un.SetArchiveFile(FArchiveFile);
    un.SetExtractDir(Folder);
    un.SetFileSpec({"*"});
    un.UseStoredDirs = true;
    un.ConfirmOverwrites = false;
    un.OverwriteMode = omOverwrite;
    {
        TChildRunScope scope(Ctx());
        try {
            un.Extract();
        } catch (const std::exception&) {
            failed = true;
        }
    }
    // Without all of its entries the cabinet would lose some: it stays as it is.
    if (failed || un.Cancel()) RaiseError(FArchiveFile, "its entries cannot be read", "0", kMsgReadError);
    const std::string base = AppendDirTail(Folder);
    std::set<std::string> seen;
    for (const std::string& fn : written) {
        if (fn.compare(0, base.size(), base) != 0) continue;
        const std::string name = fn.substr(base.size());
        if (seen.insert(name).second) Kept.push_back({name, fn});
    }
}

bool TMakeCAB::AddToCabinet(const std::string& Source, const std::string& Stored) {
    const auto enc = platform::encodeArchiveName(Stored, true);
    FNameIsUtf8 = enc.utf8;
    std::string inCab = enc.bytes;
    std::replace(inCab.begin(), inCab.end(), '/', '\\');
    std::string src = Source;
    FErf = TCabErf{};
    if (!CabinetLibrary().FCIAddFile(FContext, src.data(), inCab.data(), 0, CbNextCabinet, CbStatus,
                                     CbOpenInfo, CompressionType()))
        RaiseCabinetError(FErf, true);
    return true;
}

bool TMakeCAB::AddFile(int, const std::string& Name, THeadObject& Header) {
    FFileSize = FBytesToRead = Header.UncompressedSize;
    if (!BuildOutputName(Name)) return false;
    std::string stored = FileName;
    if (!BeginFile(stored, FileCount)) return false;
    MethodName = CompressionName();
    MethodCode = CompressionCode();
    try {
        AddToCabinet(Name, stored);
        if (OnRead) {
            FileName = stored;
            FireEvent(OnRead, *this, int64_t{0}, 0);
        }
    } catch (const ECabinetError& e) {
        FBytesToRead = 0;
        ReportError(Name, e.Reason.empty() ? e.what() : std::string(e.what()) + ": " + e.Reason, "0",
                    kMsgWriteError);
        FireEvent(OnEnd, *this, Name, false);
        return false;
    } catch (const E_RAISE&) {
        FBytesToRead = 0;
        FireEvent(OnEnd, *this, Name, false);
        return false;
    }
    FileName = stored;
    FBytesToRead = 0;
    FireEvent(OnEnd, *this, Name, true);
    return true;
}

void TMakeCAB::Run() {
    std::string keepFolder;
    int keepTicket = -1;
    struct Clean {
        TMakeCAB& m;
        std::string& folder;
        int& ticket;
        ~Clean() {
            if (m.FContext) CabinetLibrary().FCIDestroy(m.FContext);
            m.FContext = nullptr;
            m.dropScratch();
            if (!folder.empty()) platform::removeTree(folder);
            platform::forgetOnTerminatingSignal(ticket);
        }
    } clean{*this, keepFolder, keepTicket};
    try {
        if (CabinetLibrary().Missing) RaiseError(FArchiveFile, "", "0", 25261);
        if (!BeginWriteRun()) return;

        // The entries the cabinet keeps, read back first: nothing is written when that fails.
        std::vector<TKept> kept;
        if (!FNewArchive) {
            keepFolder = platform::makeTempDirRemovedOnSignal(TempDir(), "pvcab", keepTicket);
            if (keepFolder.empty()) RaiseError(TempDir(), std::strerror(errno), "0", kMsgCannotCreateDir);
            FOwnFiles.push_back(keepFolder);
            ReadExisting(keepFolder, kept);
        }
        if (Switch == swDelete) {
            const size_t before = kept.size();
            kept.erase(std::remove_if(kept.begin(), kept.end(),
                                      [this](const TKept& k) { return DeleteMatches(k.Name); }),
                       kept.end());
            FDeletedCount = static_cast<int>(before - kept.size());
            if (FDeletedCount == 0) return;
            if (kept.empty()) {
                if (!platform::removeFile(FArchiveFile)) {
                    FDeletedCount = 0;
                    RaiseError(FArchiveFile, "", "0", kMsgWriteError);
                }
                return;
            }
        }

        // The new cabinet: a file beside the archive without a name (where the file system
        // allows) until the library finished it, which it writes through a path that opens it.
        const std::string archive = std::filesystem::absolute(FArchiveFile).lexically_normal().string();
        platform::PendingFile temp;
        if (!temp.create(FolderPart(archive), ".pvcab", ".tmp"))
            RaiseError(archive, std::strerror(errno), "0", kMsgOpenError);
        const std::string tempPath = temp.reopenPath();
        FOwnFiles.push_back(tempPath);
        TCCAB params = CabParameters(tempPath);
        FErf = TCabErf{};
        FContext = CabinetLibrary().FCICreate(&FErf, CbPlaced, CabAlloc, CabFree, CbOpen, CbRead, CbWrite,
                                              CbClose, CbSeek, CbDelete, CbTempFile, &params, this);
        if (!FContext) RaiseCabinetError(FErf, true);

        if (Switch != swDelete) AddFiles();
        if (Cancel()) RaiseError(FArchiveFile, "", "0", kMsgUserCanceled);
        std::set<std::string> added;
        for (size_t i = 0; i < EntryCount(); ++i)
            if (Entry(i).Head && Entry(i).Head->Action != eaSkip) added.insert(Entry(i).Name);
        for (const TKept& k : kept) {
            if (added.count(k.Name)) continue; // replaced by a new file of that name
            FBytesToRead = 0;
            AddToCabinet(k.Path, k.Name);
        }
        if (FAddedCount == 0 && Switch != swDelete) return; // nothing new: the archive stays
        FErf = TCabErf{};
        if (!CabinetLibrary().FCIFlushCabinet(FContext, 0, CbNextCabinet, CbStatus))
            RaiseCabinetError(FErf, true);
        CabinetLibrary().FCIDestroy(FContext);
        FContext = nullptr;
        const int mode = FNewArchive ? -1 : platform::fileMode(archive);
        platform::setFileMode(temp.fd(), mode >= 0 ? mode : platform::newFileMode());
        if (!platform::syncFile(temp.fd()) || !temp.commit(archive)) WriteError();
        if (Switch == swMove) {
            const int count = static_cast<int>(FMoveList.size());
            for (int i = 0; i < count; ++i)
                if (DeleteFileEx(FMoveList[static_cast<size_t>(i)], DeleteOptions))
                    FireEvent(OnDeleteFile, *this, FMoveList[static_cast<size_t>(i)], count, i);
        }
    } catch (const ECabinetError& e) {
        FAddedCount = 0;
        ReportError(FArchiveFile, e.Reason.empty() ? e.what() : std::string(e.what()) + ": " + e.Reason, "0",
                    kMsgWriteError);
    } catch (const E_RAISE& e) {
        // Said through OnError when it was raised (a short write is said here); the archive is
        // as it was.
        if (!e.Reported) ReportError(FArchiveFile, e.Detail, "0", e.ECode);
        if (Switch != swDelete) FAddedCount = 0;
    }
}
