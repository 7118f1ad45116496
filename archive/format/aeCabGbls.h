// What the cabinet reader and writer share: the file handler that serves the callbacks of
// cabinet.dll with file streams (TCabinetFileHandler, TStreamCabinetFileHandler), the
// exception of a failed library call (ECabinetError), and the library itself, loaded once and
// bound to failing stand-ins when it is missing.
#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeBase.h"
#include "archive/format/aeCabDll.h"

// A failed FDI or FCI call: the library's error code and error type.
class ECabinetError : public std::exception {
public:
    ECabinetError(int ErrorCode, int ErrorType);
    const char* what() const noexcept override { return FMessage.c_str(); }
    int ErrorCode = 0;
    int ErrorType = 0;
    // What the code means, for the message shown beside it ("the cabinet is damaged", ...).
    std::string Reason;

private:
    std::string FMessage;
};

// Raises ECabinetError from an error record (code and type as filled in by the library).
[[noreturn]] void RaiseCabinetError(const TCabErf& Erf, bool Writing);
// What an FDI error code means ("the cabinet is damaged", ...); empty for an unknown one.
std::string CabinetReadReason(int Code);

// The file operations the library's callbacks are served with. Every operation reports a
// system error number through Error (0 = none); a handle is -1 when nothing was opened.
class TCabinetFileHandler {
public:
    virtual ~TCabinetFileHandler() = default;
    virtual TCabHandle Open(const std::string& Name, int OpenFlags, int PMode, int& Error) = 0;
    virtual uint32_t Read(TCabHandle Handle, void* Buffer, uint32_t Count, int& Error) = 0;
    virtual uint32_t Write(TCabHandle Handle, const void* Buffer, uint32_t Count, int& Error) = 0;
    virtual int Close(TCabHandle Handle, int& Error) = 0;
    virtual long Seek(TCabHandle Handle, long Distance, int Origin, int& Error) = 0;
    virtual int Delete(const std::string& Name, int& Error) = 0;
};

// The handler over file streams kept in a list; the handle is the stream's file handle.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
public:
    ~TStreamCabinetFileHandler() override;
    TCabHandle Open(const std::string& Name, int OpenFlags, int PMode, int& Error) override;
    uint32_t Read(TCabHandle Handle, void* Buffer, uint32_t Count, int& Error) override;
    uint32_t Write(TCabHandle Handle, const void* Buffer, uint32_t Count, int& Error) override;
    int Close(TCabHandle Handle, int& Error) override;
    long Seek(TCabHandle Handle, long Distance, int Origin, int& Error) override;
    int Delete(const std::string& Name, int& Error) override;
    size_t OpenCount() const { return FStreams.size(); }

private:
    TFileStream* Find(TCabHandle Handle);
    std::vector<std::unique_ptr<TFileStream>> FStreams;
};

// cabinet.dll: loaded at first use (its load errors are not shown); when it is missing every
// entry point is a local routine that fails (the create calls return no context) or does
// nothing, and Missing is set.
struct TCabinetLibrary {
    bool Missing = true;
    TFdiCreate FDICreate = nullptr;
    TFdiIsCabinet FDIIsCabinet = nullptr;
    TFdiCopy FDICopy = nullptr;
    TFdiDestroy FDIDestroy = nullptr;
    TFciCreate FCICreate = nullptr;
    TFciAddFile FCIAddFile = nullptr;
    TFciFlushCabinet FCIFlushCabinet = nullptr;
    TFciFlushFolder FCIFlushFolder = nullptr;
    TFciDestroy FCIDestroy = nullptr;
};
const TCabinetLibrary& CabinetLibrary();
// Loads the library (again); false when it is missing. UnloadCabinetLibrary releases it and
// binds the failing routines, as at the end of the program.
bool LoadCabinetLibrary();
void UnloadCabinetLibrary();

// Heap blocks for the library (release gives nothing back).
void* CabAlloc(uint32_t Count);
void CabFree(void* Block);

// The handler the plain (context-less) FDI callbacks go to while a run uses them.
void SetCurrentCabinetHandler(TCabinetFileHandler* Handler);
TCabinetFileHandler* CurrentCabinetHandler();
// Plain callbacks serving FDI from the current handler.
TCabHandle CabFdiOpen(char* Name, int OpenFlags, int PMode);
uint32_t CabFdiRead(TCabHandle Handle, void* Buffer, uint32_t Count);
int CabFdiClose(TCabHandle Handle);
long CabFdiSeek(TCabHandle Handle, long Distance, int Origin);
