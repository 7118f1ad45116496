// The entry points of "unrar.dll" and their records, shared by the RAR extractor and the
// library's stand-in. C calling convention; strings are byte strings ending in zero.
#pragma once
#include <cstdint>

extern "C" {

constexpr int kRarNameSize = 1024;

// Result codes of the library.
enum : int {
    kRarOk = 0,
    kRarEndArchive = 10, // no more entries
    kRarNoMemory = 11,
    kRarBadData = 12,    // a damaged header or data
    kRarBadArchive = 13, // not a RAR archive
    kRarUnknownFormat = 14,
    kRarOpenError = 15,
    kRarCreateError = 16,
    kRarCloseError = 17,
    kRarReadError = 18,
    kRarWriteError = 19,
    kRarBrokenChain = 21, // the next volume was refused or is not the right one
    kRarBadPassword = 22,
    kRarNotSupported = 24 // an entry this library cannot decode (encrypted, unknown method)
};

// Operations of RARProcessFile.
enum : int { kRarSkip = 0, kRarTest = 1, kRarExtract = 2 };
// Open mode of RAROpenArchive: 0 lists, 1 extracts.
enum : unsigned { kRarOpenList = 0, kRarOpenExtract = 1 };
// Modes of the volume callback: 0 asks for the next volume (the buffer holds the name the
// library expects, the callback may change it; 1 accepts, 0 refuses); 1 announces that the
// volume named in the buffer has been opened.
enum : int { kRarVolumeAsk = 0, kRarVolumeOpened = 1 };

struct TRarOpenData {
    const char* ArcName = nullptr;
    unsigned OpenMode = kRarOpenExtract;
    unsigned OpenResult = 0;
};

// The record given to RARReadHeader stays the caller's until its next call: RARProcessFile
// completes it for an entry that runs over several volumes (PackSize over every part, and
// FileCRC from the last part's header, which holds the whole file's CRC).
struct TRarHeaderData {
    char ArcName[kRarNameSize];  // the volume the entry starts in
    char FileName[kRarNameSize]; // as stored (OEM bytes, '\' separators possible)
    uint32_t Flags;              // the file block's flags
    uint64_t PackSize;           // packed size over every volume of the entry
    uint64_t UnpSize;
    uint32_t HostOS; // 0 MS-DOS, 2 Win32, 3 Unix, ...
    uint32_t FileCRC;
    uint32_t FileTime; // DOS date and time
    uint32_t UnpVer;
    uint32_t Method;   // 0x30 stored .. 0x35 best
    uint32_t FileAttr; // DOS attributes, or Unix mode bits when HostOS is 3
};

// The data callback: 1 goes on, 0 stops the entry (the library then returns an error).
typedef int (*TRarProcessDataProc)(uint8_t* Data, int Size);
// The volume callback: Name is a buffer of kRarNameSize bytes.
typedef int (*TRarChangeVolProc)(char* Name, int Mode);

typedef void* (*TRAROpenArchive)(TRarOpenData* Data);
typedef int (*TRARCloseArchive)(void* Handle);
typedef int (*TRARReadHeader)(void* Handle, TRarHeaderData* Header);
typedef int (*TRARProcessFile)(void* Handle, int Operation, const char* DestPath, const char* DestName);
typedef void (*TRARSetChangeVolProc)(void* Handle, TRarChangeVolProc Proc);
typedef void (*TRARSetProcessDataProc)(void* Handle, TRarProcessDataProc Proc);
typedef void (*TRARSetPassword)(void* Handle, const char* Password);

} // extern "C"
