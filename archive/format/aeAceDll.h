// The calling interface of "unace.dll": its records, result codes and callbacks. One header
// for both sides: TUnACE calls through it, and the stand-in library in stubs/unace
// implements it. Names are bytes as stored in the archive (code page 437, '\' separators).
#pragma once
#include <cstdint>

extern "C" {

// Results of the entry points.
enum : int {
    kAceOk = 0,
    kAceNoMemory = 1,
    kAceEndOfArchive = 2, // ACEReadHeader: no further entry
    kAceNotFound = 3,
    kAceDiskFull = 4,
    kAceOpenError = 5,
    kAceReadError = 6, // also: damaged or cut-short data
    kAceWriteError = 7,
    kAceBadCrc = 9,
    kAceBadArchive = 128,
    kAceBadPassword = 131,
    kAceNotSupported = 132, // ACE 2.0 methods, encrypted entries
    kAceUserCancel = 255,
};

// ACEProcessFile operations.
enum : int { kAceSkip = 0, kAceTest = 1, kAceExtract = 2 };
// ACEOpenArchive modes.
enum : int { kAceOpenList = 0, kAceOpenExtract = 1 };
// Volume callback modes: 0 the library cannot find the next volume and asks for it; 1 it
// found it and announces the move. The callback may change the name in the buffer.
enum : int { kAceVolumeAsk = 0, kAceVolumeNotify = 1 };

constexpr int kAceNameSize = 1024; // name buffers, zero byte included

// Data callback: the bytes of the entry being tested or extracted, in order, each once.
// Returns 1 to go on, 0 to stop (the call then ends with kAceUserCancel).
using TAceDataProc = int (*)(const std::uint8_t* Data, std::uint32_t Size, void* User);
// Volume callback (buffer of kAceNameSize bytes): 1 to go on with the name in the buffer,
// 0 to stop.
using TAceVolumeProc = int (*)(char* VolumeName, int Mode, void* User);

struct TAceOpenArchiveData {
    const char* ArcName = nullptr;
    int OpenMode = kAceOpenExtract;
    int OpenResult = kAceOk; // set by ACEOpenArchive
    TAceDataProc DataProc = nullptr;
    TAceVolumeProc VolumeProc = nullptr;
    void* User = nullptr; // handed to the callbacks
    // Where the library writes the text of its last failure (what failed, naming the entry);
    // may be null.
    char* MessageBuffer = nullptr;
    std::uint32_t MessageBufferSize = 0;
};

// Flags of TAceHeaderData::Flags (the entry's header flags).
enum : std::uint32_t {
    kAceHdrComment = 0x0002,
    kAceHdrSplitBefore = 0x1000,
    kAceHdrSplitAfter = 0x2000,
    kAceHdrPassword = 0x4000,
    kAceHdrSolid = 0x8000,
};

struct TAceHeaderData {
    char FileName[kAceNameSize] = {};
    std::uint32_t Flags = 0;
    std::uint64_t PackSize = 0; // of this volume's part
    std::uint64_t UnpSize = 0;
    std::uint32_t FileTime = 0; // DOS date and time
    std::uint32_t FileAttr = 0;
    std::uint32_t FileCRC = 0; // as stored (the format keeps the register without its final inversion)
    std::uint8_t Method = 0;   // 0 stored, 1 LZ77 (ACE 1.0), 2 ACE 2.0 blocks
    std::uint8_t Quality = 0;
    std::uint16_t Parameter = 0; // dictionary bits - 10 in its low 4 bits
    std::uint8_t HostOS = 0;
    std::uint8_t VolumeNumber = 0;
};

using TAceHandle = void*;
using TACEOpenArchive = TAceHandle (*)(TAceOpenArchiveData* Data);
using TACECloseArchive = int (*)(TAceHandle Handle);
using TACEReadHeader = int (*)(TAceHandle Handle, TAceHeaderData* Header);
// DestName: the file to write (kAceExtract); ignored otherwise.
using TACEProcessFile = int (*)(TAceHandle Handle, int Operation, const char* DestName);
using TACESetPassword = int (*)(TAceHandle Handle, const char* Password);

} // extern "C"
