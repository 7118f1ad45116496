#include "archive/format/aeCabGbls.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#include "platform/dynlib.h"
#include "platform/fileio.h"

namespace {

std::string ReasonOf(int Code, bool Writing) {
    if (Writing) {
        static const char* const fci[] = {"",
                                          "a source file cannot be opened",
                                          "a source file cannot be read",
                                          "out of memory",
                                          "a temporary file cannot be made",
                                          "compression type not supported",
                                          "the cabinet file cannot be written",
                                          "cancelled",
                                          "compression failed",
                                          "the data do not fit the cabinet format"};
        return Code > 0 && Code < 10 ? fci[Code] : "";
    }
    static const char* const fdi[] = {"",
                                      "cabinet not found",
                                      "not a cabinet",
                                      "unknown cabinet version",
                                      "the cabinet is damaged",
                                      "out of memory",
                                      "compression type not supported",
                                      "decompression failed",
                                      "an output file cannot be written",
                                      "reserve sizes do not match",
                                      "wrong cabinet in the set",
                                      "cancelled"};
    return Code > 0 && Code < 12 ? fdi[Code] : "";
}

char* Text(int Code, int Type) {
    static thread_local char buf[64];
    std::snprintf(buf, sizeof(buf), "Cabinet error %d (type %d)", Code, Type);
    return buf;
}

// ---- the routines that stand in for a missing library ----
HFDI NoFdiCreate(TCabAlloc, TCabFree, TFdiOpen, TFdiRead, TFdiWrite, TFdiClose, TFdiSeek, int, TCabErf*) {
    return nullptr;
}
int NoFdiIsCabinet(HFDI, TCabHandle, TFdiCabinetInfo*) {
    return 1;
}
int NoFdiCopy(HFDI, char*, char*, int, TFdiNotify, TFdiDecrypt, void*) {
    return 1;
}
int NoDestroy(void*) {
    return 1;
}
HFCI NoFciCreate(TCabErf*, TFciFilePlaced, TCabAlloc, TCabFree, TFciOpen, TFciRead, TFciWrite, TFciClose,
                 TFciSeek, TFciDelete, TFciGetTempFile, TCCAB*, void*) {
    return nullptr;
}
int NoFciAddFile(HFCI, char*, char*, int, TFciGetNextCabinet, TFciStatus, TFciGetOpenInfo, uint16_t) {
    return 1;
}
int NoFciFlushCabinet(HFCI, int, TFciGetNextCabinet, TFciStatus) {
    return 1;
}
int NoFciFlushFolder(HFCI, TFciGetNextCabinet, TFciStatus) {
    return 1;
}

struct TLibraryCell {
    platform::DynLib Lib;
    TCabinetLibrary Api;
    bool Tried = false;
};
TLibraryCell& Cell() {
    static TLibraryCell c;
    return c;
}

void BindMissing(TCabinetLibrary& a) {
    a = TCabinetLibrary{};
    a.Missing = true;
    a.FDICreate = NoFdiCreate;
    a.FDIIsCabinet = NoFdiIsCabinet;
    a.FDICopy = NoFdiCopy;
    a.FDIDestroy = NoDestroy;
    a.FCICreate = NoFciCreate;
    a.FCIAddFile = NoFciAddFile;
    a.FCIFlushCabinet = NoFciFlushCabinet;
    a.FCIFlushFolder = NoFciFlushFolder;
    a.FCIDestroy = NoDestroy;
}

template <class F> bool Bind(platform::DynLib& L, const char* Name, F& Fn) {
    Fn = reinterpret_cast<F>(L.symbol(Name));
    return Fn != nullptr;
}

TCabinetFileHandler* gHandler = nullptr;

} // namespace

ECabinetError::ECabinetError(int Code, int Type)
    : ErrorCode(Code), ErrorType(Type), FMessage(Text(Code, Type)) {}

std::string CabinetReadReason(int Code) {
    return ReasonOf(Code, false);
}

void RaiseCabinetError(const TCabErf& Erf, bool Writing) {
    ECabinetError e(Erf.erfOper, Erf.erfType);
    e.Reason = ReasonOf(Erf.erfOper, Writing);
    // The writer's file errors carry the system's error number: its reason is said too.
    constexpr int kFileErrors[] = {1, 2, 4, 6};
    if (Writing && Erf.erfType > 0 &&
        std::find(std::begin(kFileErrors), std::end(kFileErrors), Erf.erfOper) != std::end(kFileErrors))
        e.Reason += std::string(": ") + std::strerror(Erf.erfType);
    throw e;
}

// ---- the stream handler ----

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() = default;

TFileStream* TStreamCabinetFileHandler::Find(TCabHandle Handle) {
    for (auto& s : FStreams)
        if (s->Handle() == Handle) return s.get();
    return nullptr;
}

TCabHandle TStreamCabinetFileHandler::Open(const std::string& Name, int OpenFlags, int, int& Error) {
    // Create: a new (emptied) file; read-write and write open an existing one.
    const int mode = (OpenFlags & kCabOpenCreate) ? ((OpenFlags & kCabOpenReadWrite) ? 3 : 1)
                     : (OpenFlags & (kCabOpenReadWrite | kCabOpenWrite)) ? 2
                                                                         : 0;
    errno = 0;
    auto s = std::make_unique<TFileStream>(Name, mode);
    if (!s->Valid()) {
        Error = errno ? errno : ENOENT;
        return -1;
    }
    Error = 0;
    const TCabHandle h = s->Handle();
    FStreams.push_back(std::move(s));
    return h;
}

uint32_t TStreamCabinetFileHandler::Read(TCabHandle Handle, void* Buffer, uint32_t Count, int& Error) {
    TFileStream* s = Find(Handle);
    if (!s) {
        Error = -1;
        return 0;
    }
    errno = 0;
    int64_t total = 0;
    // A read may come back short before the end: go on until all came or the file ended.
    while (total < Count) {
        const int64_t n = s->Read(static_cast<uint8_t*>(Buffer) + total, Count - total);
        if (n <= 0) {
            if (n < 0) {
                Error = errno ? errno : EIO;
                return static_cast<uint32_t>(-1);
            }
            break;
        }
        total += n;
    }
    Error = total == Count ? 0 : (errno ? errno : 0);
    return static_cast<uint32_t>(total);
}

uint32_t TStreamCabinetFileHandler::Write(TCabHandle Handle, const void* Buffer, uint32_t Count, int& Error) {
    TFileStream* s = Find(Handle);
    if (!s) {
        Error = -1;
        return 0;
    }
    errno = 0;
    const int64_t n = s->Write(Buffer, Count);
    Error = n == Count ? 0 : (errno ? errno : ENOSPC);
    return n < 0 ? static_cast<uint32_t>(-1) : static_cast<uint32_t>(n);
}

int TStreamCabinetFileHandler::Close(TCabHandle Handle, int& Error) {
    Error = 0;
    for (auto it = FStreams.begin(); it != FStreams.end(); ++it)
        if ((*it)->Handle() == Handle) {
            FStreams.erase(it);
            return 0;
        }
    Error = -1;
    return 0;
}

long TStreamCabinetFileHandler::Seek(TCabHandle Handle, long Distance, int Origin, int& Error) {
    TFileStream* s = Find(Handle);
    if (!s) {
        Error = -1;
        return -1;
    }
    errno = 0;
    const int64_t p = s->Seek(Distance, Origin);
    Error = (Origin == 0 && p != Distance) ? (errno ? errno : EINVAL) : 0;
    return static_cast<long>(p);
}

int TStreamCabinetFileHandler::Delete(const std::string& Name, int& Error) {
    Error = platform::removeFile(Name) ? 0 : (errno ? errno : ENOENT);
    return 0;
}

// ---- the library ----

const TCabinetLibrary& CabinetLibrary() {
    TLibraryCell& c = Cell();
    if (!c.Tried) LoadCabinetLibrary();
    return c.Api;
}

bool LoadCabinetLibrary() {
    TLibraryCell& c = Cell();
    c.Tried = true;
    BindMissing(c.Api);
    if (!c.Lib.load("cabinet.dll")) return false;
    TCabinetLibrary a;
    if (!Bind(c.Lib, "FDICreate", a.FDICreate) || !Bind(c.Lib, "FDIIsCabinet", a.FDIIsCabinet) ||
        !Bind(c.Lib, "FDICopy", a.FDICopy) || !Bind(c.Lib, "FDIDestroy", a.FDIDestroy) ||
        !Bind(c.Lib, "FCICreate", a.FCICreate) || !Bind(c.Lib, "FCIAddFile", a.FCIAddFile) ||
        !Bind(c.Lib, "FCIFlushCabinet", a.FCIFlushCabinet) ||
        !Bind(c.Lib, "FCIFlushFolder", a.FCIFlushFolder) || !Bind(c.Lib, "FCIDestroy", a.FCIDestroy)) {
        c.Lib.unload();
        return false;
    }
    a.Missing = false;
    c.Api = a;
    return true;
}

void UnloadCabinetLibrary() {
    TLibraryCell& c = Cell();
    c.Tried = true;
    BindMissing(c.Api);
    c.Lib.unload();
}

void* CabAlloc(uint32_t Count) {
    return std::malloc(Count ? Count : 1);
}

void CabFree(void* Block) {
    std::free(Block);
}

void SetCurrentCabinetHandler(TCabinetFileHandler* Handler) {
    gHandler = Handler;
}
TCabinetFileHandler* CurrentCabinetHandler() {
    return gHandler;
}

TCabHandle CabFdiOpen(char* Name, int OpenFlags, int PMode) {
    int err = 0;
    return gHandler ? gHandler->Open(Name ? Name : "", OpenFlags, PMode, err) : -1;
}
uint32_t CabFdiRead(TCabHandle Handle, void* Buffer, uint32_t Count) {
    int err = 0;
    return gHandler ? gHandler->Read(Handle, Buffer, Count, err) : static_cast<uint32_t>(-1);
}
int CabFdiClose(TCabHandle Handle) {
    int err = 0;
    return gHandler ? gHandler->Close(Handle, err) : -1;
}
long CabFdiSeek(TCabHandle Handle, long Distance, int Origin) {
    int err = 0;
    return gHandler ? gHandler->Seek(Handle, Distance, Origin, err) : -1;
}
