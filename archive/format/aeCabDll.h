// The calling interface of "cabinet.dll": the records and callback types its FDI (reading)
// and FCI (writing) entry points use. One header for both sides: the engine's cabinet units
// call through it, and the stand-in library in stubs/cabinet implements it. Handles and
// pointers have their natural width; file positions are `long`.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

using TCabHandle = intptr_t; // a file handle of the callbacks (-1: none)

// Error record filled by a failing call: the library's error code, the system error (or 0)
// and a flag.
struct TCabErf {
    int erfOper = 0;
    int erfType = 0;
    int fError = 0;
};

// The cabinet parameter record handed to FCICreate and to the next-cabinet callback: 802
// bytes, little-endian, no padding.
#pragma pack(push, 1)
struct TCCAB {
    uint32_t cb;                // media size
    uint32_t cbFolderThresh;    // folder threshold
    uint32_t cbReserveCFHeader; // reserve in the cabinet header
    uint32_t cbReserveCFFolder; // reserve per folder
    uint32_t cbReserveCFData;   // reserve per data block
    int32_t iCab;               // cabinet number
    int32_t iDisk;              // disk number
    int32_t fFailOnIncompressible;
    uint16_t setID;
    char szDisk[256];
    char szCab[256];
    char szCabPath[256];
};
#pragma pack(pop)
static_assert(sizeof(TCCAB) == 802, "the cabinet parameter record is 802 bytes");
static_assert(offsetof(TCCAB, szDisk) == 34 && offsetof(TCCAB, szCab) == 290 &&
                  offsetof(TCCAB, szCabPath) == 546,
              "field offsets of the cabinet parameter record");

// Open flags of the open callbacks (as the C runtime spells them on the original platform).
enum : int {
    kCabOpenRead = 0x0000,
    kCabOpenWrite = 0x0001,
    kCabOpenReadWrite = 0x0002,
    kCabOpenCreate = 0x0100,
    kCabOpenTruncate = 0x0200,
    kCabOpenExclusive = 0x0400,
    kCabOpenBinary = 0x8000,
};

// ---- FDI (reading) ----
enum TFdiError : int {
    fdiErrNone = 0,
    fdiErrCabinetNotFound = 1,
    fdiErrNotACabinet = 2,
    fdiErrUnknownVersion = 3,
    fdiErrCorruptCabinet = 4,
    fdiErrAllocFail = 5,
    fdiErrBadCompressionType = 6,
    fdiErrMdiFail = 7,
    fdiErrTargetFile = 8,
    fdiErrReserveMismatch = 9,
    fdiErrWrongCabinet = 10,
    fdiErrUserAbort = 11,
};

enum TFdiNotificationType : int {
    fdintCABINET_INFO = 0,
    fdintPARTIAL_FILE = 1,
    fdintCOPY_FILE = 2,
    fdintCLOSE_FILE_INFO = 3,
    fdintNEXT_CABINET = 4,
    fdintENUMERATE = 5,
};

struct TFdiNotification {
    long cb;    // file size (copy file), execute flag (close file info)
    char* psz1; // file name / next cabinet name (buffer of 256 for next cabinet)
    char* psz2; // next disk name
    char* psz3; // cabinet path (buffer of 256 for next cabinet)
    void* pv;   // the caller's value given to FDICopy
    TCabHandle hf;
    uint16_t date;
    uint16_t time;
    uint16_t attribs;
    uint16_t setID;
    uint16_t iCabinet;
    uint16_t iFolder;
    int fdie; // next cabinet: why it is asked for; close file info: non-zero (an FDI error)
              // when the file's data could not be decoded: that file failed, the copy goes on
};

struct TFdiCabinetInfo {
    long cbCabinet;
    uint16_t cFolders;
    uint16_t cFiles;
    uint16_t setID;
    uint16_t iCabinet;
    int fReserve;
    int hasprev;
    int hasnext;
};

using TCabAlloc = void* (*)(uint32_t cb);
using TCabFree = void (*)(void* p);
using TFdiOpen = TCabHandle (*)(char* pszFile, int oflag, int pmode);
using TFdiRead = uint32_t (*)(TCabHandle hf, void* pv, uint32_t cb);
using TFdiWrite = uint32_t (*)(TCabHandle hf, void* pv, uint32_t cb);
using TFdiClose = int (*)(TCabHandle hf);
using TFdiSeek = long (*)(TCabHandle hf, long dist, int seektype);
using TFdiNotify = TCabHandle (*)(int fdint, TFdiNotification* pfdin);
using TFdiDecrypt = int (*)(void* pfdid);

using HFDI = void*;
using TFdiCreate = HFDI (*)(TCabAlloc, TCabFree, TFdiOpen, TFdiRead, TFdiWrite, TFdiClose, TFdiSeek,
                            int cpuType, TCabErf* perf);
using TFdiIsCabinet = int (*)(HFDI, TCabHandle hf, TFdiCabinetInfo* pfdici);
using TFdiCopy = int (*)(HFDI, char* pszCabinet, char* pszCabPath, int flags, TFdiNotify, TFdiDecrypt,
                         void* pvUser);
using TFdiDestroy = int (*)(HFDI);

// ---- FCI (writing) ----
enum TFciError : int {
    fciErrNone = 0,
    fciErrOpenSource = 1,
    fciErrReadSource = 2,
    fciErrAllocFail = 3,
    fciErrTempFile = 4,
    fciErrBadCompressionType = 5,
    fciErrCabFile = 6,
    fciErrUserAbort = 7,
    fciErrMciFail = 8,
    fciErrFormatLimit = 9,
};

// Compression types of FCIAddFile: type in bits 0-3 (0 none, 1 MSZIP, 2 Quantum, 3 LZX);
// for LZX the window (15..21) in bits 8-12.
enum : uint16_t { kCabCompNone = 0, kCabCompMsZip = 1, kCabCompQuantum = 2, kCabCompLzx = 3 };

using TFciFilePlaced = int (*)(TCCAB* pccab, char* pszFile, long cbFile, int fContinuation, void* pv);
using TFciOpen = TCabHandle (*)(char* pszFile, int oflag, int pmode, int* err, void* pv);
using TFciRead = uint32_t (*)(TCabHandle hf, void* memory, uint32_t cb, int* err, void* pv);
using TFciWrite = uint32_t (*)(TCabHandle hf, void* memory, uint32_t cb, int* err, void* pv);
using TFciClose = int (*)(TCabHandle hf, int* err, void* pv);
using TFciSeek = long (*)(TCabHandle hf, long dist, int seektype, int* err, void* pv);
using TFciDelete = int (*)(char* pszFile, int* err, void* pv);
using TFciGetTempFile = int (*)(char* pszTempName, int cbTempName, void* pv);
using TFciGetNextCabinet = int (*)(TCCAB* pccab, uint32_t cbPrevCab, void* pv);
using TFciStatus = long (*)(uint32_t typeStatus, uint32_t cb1, uint32_t cb2, void* pv);
using TFciGetOpenInfo = TCabHandle (*)(char* pszName, uint16_t* pdate, uint16_t* ptime, uint16_t* pattribs,
                                       int* err, void* pv);

using HFCI = void*;
using TFciCreate = HFCI (*)(TCabErf* perf, TFciFilePlaced, TCabAlloc, TCabFree, TFciOpen, TFciRead, TFciWrite,
                            TFciClose, TFciSeek, TFciDelete, TFciGetTempFile, TCCAB* pccab, void* pv);
using TFciAddFile = int (*)(HFCI, char* pszSourceFile, char* pszFileName, int fExecute, TFciGetNextCabinet,
                            TFciStatus, TFciGetOpenInfo, uint16_t typeCompress);
using TFciFlushCabinet = int (*)(HFCI, int fGetNextCab, TFciGetNextCabinet, TFciStatus);
using TFciFlushFolder = int (*)(HFCI, TFciGetNextCabinet, TFciStatus);
using TFciDestroy = int (*)(HFCI);

} // extern "C"
