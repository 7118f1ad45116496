// Parameter records exchanged with ZIPDLL.DLL and UNZDLL.DLL, and the record of their
// callback. Shared by the front-end and the stand-in libraries, so both sides agree on
// every byte. The field order and integer widths are fixed by the libraries' 32-bit
// interface; pointers take their natural width, so on a 64-bit build the offsets move
// (both layouts are pinned below). Unnamed fields are zero.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

struct TZipCallbackRec;
// Answers 0 to go on, -1 to ask the library to stop.
typedef int32_t (*TZipCallback)(TZipCallbackRec* rec);

// Action codes of the callback.
enum ZipCallbackAction : int32_t {
    zcaNewFile = 1,    // text: file name, value 24: its size
    zcaProgress = 2,   // value 24: bytes done in this step
    zcaEndOfBatch = 3, // last call of every run
    zcaMessage = 4,    // text: message, value 20: error code (0: information)
    zcaTotalFiles = 5, // value 24: number of files
    zcaTotalSize = 6,  // first call of every run, value 24: total bytes
    zcaNewName = 7,    // text in/out: stored name; value 20 out: 1 when changed
    zcaPassword = 8,   // value 20 in: bit 0 = adding; text out: password; value 24: repeat count
    zcaCrcError = 9, // value 20 in: found CRC, value 24: expected; value 20 out: 1 keep, 0 drop, 2 no answer
    zcaOverwrite =
        10,          // text: file; value 20 in bit 0: the file on disk is older; value 24 in/out: 1 overwrite
    zcaSkipped = 11, // text: file; value 20: error code; value 24: skip type
    zcaFileComment = 12, // text in: file, out: comment; value 20 out: changed; value 24 out: length
    // Our own addition (libraries of version 160 that know the record's target folder):
    // an entry's data is in place. Text: the path it was written to, the target folder in
    // front; value 20: 1 when a file stood there before and was replaced, 0 when the file
    // is new; value 24: 1 when the path is longer than the text area (the text is empty).
    zcaWrittenTo = 13
};

// Why an entry was skipped (value 24 of zcaSkipped).
enum UnZipSkipTypes : int32_t {
    stOnFreshen = 0,          // not extracted: freshen/update found nothing newer
    stNoOverwrite = 1,        // the file exists and overwriting was refused
    stFileExists = 2,         // the file exists (no question could be asked)
    stBadPassword = 3,        // no or wrong password
    stCompressionUnknown = 4, // a method this library cannot decode
    stUnsafeName = 5,         // the name would leave the target folder
    stCrcError = 6,           // the data fails its CRC check
    stGeneralExtractError = 7
};

struct TZipCallbackRec {
    void* Handle;       //  0  owner window
    void* Caller;       //  4  the component, as handed in the parameter record
    int32_t Version;    //  8
    int32_t Reserved;   // 12
    int32_t ActionCode; // 16
    int32_t Arg1;       // 20  in/out value
    int32_t Arg2;       // 24  in/out value
    char Text[512];     // 28  zero-terminated
};

// One file spec of an add or delete run.
struct TZipSpecRec {
    char* FileSpec;       //  0  spec without prefix and password
    int32_t Literal;      //  4  ours: 1 = FileSpec is a stored name, never a wildcard
    uint8_t Reserved8[4]; //  8
    char* Password;       // 12  this spec's password, or null
    int32_t Encrypt;      // 16  65535 / -1 encrypt, 0 not
    uint16_t Recurse;     // 20  65535 recurse, 0 not
    uint8_t Reserved22[14];
    char* RootDir; // 36  base folder of the file specs, or null
    uint8_t Reserved40[64];
};

// ZIPDLL.DLL parameters, libraries of version 151 and above.
struct TZipParams {
    void* Handle;               //   0  owner window, null when unattended
    void* Caller;               //   4
    int32_t Version;            //   8  160
    TZipCallback Callback;      //  12
    int32_t fTraceEnabled;      //  16
    char* Password;             //  20
    char* Suffix;               //  24  ".gif:.png:..." stored without compression
    int32_t fEncrypt;           //  28
    int32_t fSystem;            //  32  hidden and system files too
    int32_t fVolume;            //  36
    int32_t fExtra;             //  40
    int32_t fNoDirEntries;      //  44  no separate folder entries
    int32_t fDate;              //  48
    int32_t fVerbose;           //  52
    int32_t fQuiet;             //  56  -1
    int32_t fLevel;             //  60  0-9
    int32_t fComprSpecial;      //  64
    int32_t fCRLF_LF;           //  68
    int32_t fJunkDir;           //  72  drop folder names
    uint16_t fRecurse;          //  76
    int32_t fGrow;              //  80  -1 adding, 0 deleting
    int32_t fForce;             //  84  DOS 8.3 names
    int32_t fMove;              //  88
    int32_t fDeleteEntries;     //  92
    int32_t fUpdate;            //  96
    int32_t fFreshen;           // 100
    int32_t fJunkSFX;           // 104
    int32_t fLatestTime;        // 108  archive gets the time of its newest entry
    uint8_t Reserved112[8];     // 112
    int32_t argc;               // 120  number of spec records
    char* pZipFN;               // 124  archive path
    char* fTempPath;            // 128
    char* fArchComment;         // 132  stored form
    uint16_t fArchiveFilesOnly; // 136
    uint16_t fResetArchiveBit;  // 138
    TZipSpecRec* fFDS;          // 140  array of argc spec records
    int32_t Reserved144;        // 144
    int32_t fTotExFileSpecs;    // 148
    char** fExFiles;            // 152  exclusion specs
    uint8_t Reserved156[56];
    int32_t fSeven; // 212  7, end marker
};

// ZIPDLL.DLL parameters up to version 150: plain spec texts after the end marker.
constexpr int kOldSpecSlots = 4097;
struct TZipParams150 {
    void* Handle;
    void* Caller;
    int32_t Version;
    TZipCallback Callback;
    int32_t fTraceEnabled;
    char* Password;
    char* Suffix;
    int32_t fEncrypt;
    int32_t fSystem;
    int32_t fVolume;
    int32_t fExtra;
    int32_t fNoDirEntries;
    int32_t fDate;
    int32_t fVerbose;
    int32_t fQuiet;
    int32_t fLevel;
    int32_t fComprSpecial;
    int32_t fCRLF_LF;
    int32_t fJunkDir;
    uint16_t fRecurse;
    int32_t fGrow;
    int32_t fForce;
    int32_t fMove;
    int32_t fDeleteEntries;
    int32_t fUpdate;
    int32_t fFreshen;
    int32_t fJunkSFX;
    int32_t fLatestTime;
    uint8_t Reserved112[8];
    int32_t argc;
    char* pZipFN;
    int32_t fSeven;           // 128
    char* FNV[kOldSpecSlots]; // 132
};

// One file spec of an extract run.
struct TUnzSpecRec {
    char* FileSpec;
    int32_t Literal; // ours: 1 = FileSpec is a stored name, never a wildcard
    uint8_t Reserved8[64];
};

// UNZDLL.DLL parameters, libraries of version 152 and above.
struct TUnzParams {
    void* Handle;            //   0
    void* Caller;            //   4
    int32_t Version;         //   8  160
    TZipCallback Callback;   //  12
    int32_t fTraceEnabled;   //  16
    int32_t Reserved20;      //  20
    char* fPassword;         //  24
    int32_t fTest;           //  28
    int32_t fComments;       //  32
    int32_t fConvert;        //  36
    int32_t fQuiet;          //  40  -1
    int32_t fVerboseEnabled; //  44
    int32_t fUpdate;         //  48
    int32_t fFreshen;        //  52
    int32_t fDirectories;    //  56  keep folder names
    int32_t fOverwrite;      //  60
    int32_t fArgc;           //  64
    char* pZipFN;            //  68
    TUnzSpecRec* fUFDS;      //  72
    int32_t Reserved76;      //  76
    int32_t fUseOutStream;   //  80  always 0
    void* fOutStream;        //  84
    int32_t fOutStreamSize;  //  88
    uint8_t Reserved92[12];  //  92
    int32_t fPwdReqCount;    // 104
    int32_t Reserved108;     // 108
    // Ours: the folder the entries are written below; null or empty = the current folder.
    // The library never changes the process's current folder.
    char* fExtractDir;                                 // 112
    uint8_t Reserved116[sizeof(void*) == 4 ? 28 : 24]; // 116
    int32_t fSeven;                                    // 144  7, end marker
};

// UNZDLL.DLL parameters up to version 151.
struct TUnzParams151 {
    void* Handle;
    void* Caller;
    int32_t Version;
    TZipCallback Callback;
    int32_t fTraceEnabled;
    int32_t Reserved20;
    char* fPassword;
    int32_t fTest;
    int32_t fComments;
    int32_t fConvert;
    int32_t fQuiet;
    int32_t fVerboseEnabled;
    int32_t fUpdate;
    int32_t fFreshen;
    int32_t fDirectories;
    int32_t fOverwrite;
    int32_t fArgc;
    char* pZipFN;
    int32_t fSeven;           // 72
    char* FNV[kOldSpecSlots]; // 76
};

// Entry points of the libraries.
typedef int32_t (*ZipDllExecFn)(TZipParams* params);
typedef int32_t (*UnzDllExecFn)(TUnzParams* params);
typedef int32_t (*DllVersionFn)();

} // extern "C"

// The layouts, pinned: the 32-bit offsets are those the libraries expect on a 32-bit build.
#define PV_PIN(type, field, off32, off64)                                                                    \
    static_assert(offsetof(type, field) == (sizeof(void*) == 4 ? (off32) : (off64)), #type "." #field)
PV_PIN(TZipCallbackRec, Caller, 4, 8);
PV_PIN(TZipCallbackRec, ActionCode, 16, 24);
PV_PIN(TZipCallbackRec, Arg1, 20, 28);
PV_PIN(TZipCallbackRec, Arg2, 24, 32);
PV_PIN(TZipCallbackRec, Text, 28, 36);
static_assert(sizeof(TZipCallbackRec) == (sizeof(void*) == 4 ? 540 : 552));

PV_PIN(TZipSpecRec, Literal, 4, 8);
PV_PIN(TZipSpecRec, Password, 12, 16);
PV_PIN(TZipSpecRec, Encrypt, 16, 24);
PV_PIN(TZipSpecRec, Recurse, 20, 28);
PV_PIN(TZipSpecRec, RootDir, 36, 48);
static_assert(sizeof(TZipSpecRec) == (sizeof(void*) == 4 ? 104 : 120));

PV_PIN(TZipParams, Version, 8, 16);
PV_PIN(TZipParams, Callback, 12, 24);
PV_PIN(TZipParams, fTraceEnabled, 16, 32);
PV_PIN(TZipParams, Password, 20, 40);
PV_PIN(TZipParams, Suffix, 24, 48);
PV_PIN(TZipParams, fEncrypt, 28, 56);
PV_PIN(TZipParams, fNoDirEntries, 44, 72);
PV_PIN(TZipParams, fVerbose, 52, 80);
PV_PIN(TZipParams, fLevel, 60, 88);
PV_PIN(TZipParams, fJunkDir, 72, 100);
PV_PIN(TZipParams, fRecurse, 76, 104);
PV_PIN(TZipParams, fGrow, 80, 108);
PV_PIN(TZipParams, fDeleteEntries, 92, 120);
PV_PIN(TZipParams, fFreshen, 100, 128);
PV_PIN(TZipParams, fLatestTime, 108, 136);
PV_PIN(TZipParams, argc, 120, 148);
PV_PIN(TZipParams, pZipFN, 124, 152);
PV_PIN(TZipParams, fTempPath, 128, 160);
PV_PIN(TZipParams, fArchComment, 132, 168);
PV_PIN(TZipParams, fArchiveFilesOnly, 136, 176);
PV_PIN(TZipParams, fResetArchiveBit, 138, 178);
PV_PIN(TZipParams, fFDS, 140, 184);
PV_PIN(TZipParams, fTotExFileSpecs, 148, 196);
PV_PIN(TZipParams, fExFiles, 152, 200);
PV_PIN(TZipParams, fSeven, 212, 264);
static_assert(sizeof(TZipParams) == (sizeof(void*) == 4 ? 216 : 272));

PV_PIN(TZipParams150, pZipFN, 124, 152);
PV_PIN(TZipParams150, fSeven, 128, 160);
PV_PIN(TZipParams150, FNV, 132, 168);
static_assert(sizeof(TZipParams150) == (sizeof(void*) == 4 ? 16520 : 32944));

PV_PIN(TUnzSpecRec, Literal, 4, 8);
static_assert(sizeof(TUnzSpecRec) == (sizeof(void*) == 4 ? 72 : 80));
PV_PIN(TUnzParams, fPassword, 24, 40);
PV_PIN(TUnzParams, fTest, 28, 48);
PV_PIN(TUnzParams, fQuiet, 40, 60);
PV_PIN(TUnzParams, fVerboseEnabled, 44, 64);
PV_PIN(TUnzParams, fDirectories, 56, 76);
PV_PIN(TUnzParams, fOverwrite, 60, 80);
PV_PIN(TUnzParams, fArgc, 64, 84);
PV_PIN(TUnzParams, pZipFN, 68, 88);
PV_PIN(TUnzParams, fUFDS, 72, 96);
PV_PIN(TUnzParams, fUseOutStream, 80, 108);
PV_PIN(TUnzParams, fOutStream, 84, 112);
PV_PIN(TUnzParams, fOutStreamSize, 88, 120);
PV_PIN(TUnzParams, fPwdReqCount, 104, 136);
PV_PIN(TUnzParams, fExtractDir, 112, 144);
PV_PIN(TUnzParams, fSeven, 144, 176);
static_assert(sizeof(TUnzParams) == (sizeof(void*) == 4 ? 148 : 184));

PV_PIN(TUnzParams151, pZipFN, 68, 88);
PV_PIN(TUnzParams151, fSeven, 72, 96);
PV_PIN(TUnzParams151, FNV, 76, 104);
static_assert(sizeof(TUnzParams151) == (sizeof(void*) == 4 ? 16464 : 32880));
#undef PV_PIN
