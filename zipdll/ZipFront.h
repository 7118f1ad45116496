// TZipFront: the zip front-end. Reads a zip archive's central directory itself and hands
// adding, deleting, extracting and testing to ZIPDLL.DLL and UNZDLL.DLL, loaded by name.
// Never blocks on a user: message boxes and password questions go through the UI hooks.
#pragma once
#include "common/Pump.h"
#include "zipdll/ZipRecords.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// ---- Option sets (bit n = enumeration value n) ----

template <class E, class Bits> class TPvSet {
public:
    constexpr TPvSet() = default;
    constexpr TPvSet(std::initializer_list<E> members) {
        for (E e : members) bits_ = static_cast<Bits>(bits_ | bit(e));
    }
    constexpr bool has(E e) const { return (bits_ & bit(e)) != 0; }
    constexpr TPvSet& include(E e) {
        bits_ = static_cast<Bits>(bits_ | bit(e));
        return *this;
    }
    constexpr TPvSet& exclude(E e) {
        bits_ = static_cast<Bits>(bits_ & ~bit(e));
        return *this;
    }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr Bits bits() const { return bits_; }
    static constexpr TPvSet fromBits(Bits b) {
        TPvSet s;
        s.bits_ = b;
        return s;
    }
    constexpr bool operator==(const TPvSet&) const = default;

private:
    static constexpr Bits bit(E e) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(e)); }
    Bits bits_ = 0;
};

enum AddOptsEnum {
    AddDirNames,
    AddRecurseDirs,
    AddMove,
    AddFreshen,
    AddUpdate,
    AddZipTime,
    AddForceDOS,
    AddHiddenFiles,
    AddArchiveOnly,
    AddResetArchive,
    AddEncrypt,
    AddSeparateDirs,
    AddVolume,
    AddDiskSpan,
    AddDiskSpanErase
};
using AddOpts = TPvSet<AddOptsEnum, uint16_t>; // stored in two bytes

enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
using ExtrOpts = TPvSet<ExtrOptsEnum, uint8_t>;

enum SFXOptsEnum {
    SFXAskCmdLine,
    SFXAskFiles,
    SFXAutoRun,
    SFXHideOverWriteBox,
    SFXCheckSize,
    SFXNoSuccessMsg
};
using SFXOpts = TPvSet<SFXOptsEnum, uint8_t>;

enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum CodePageOpts { cpAuto, cpNone, cpOEM };
enum DeleteOpts { htdFinal, htdAllowUndo };

enum AddStoreSuffixEnum {
    assGIF,
    assPNG,
    assZ,
    assZIP,
    assZOO,
    assARC,
    assLZH,
    assARJ,
    assTAZ,
    assTGZ,
    assLHA,
    assEXE
};
using AddStoreExts = TPvSet<AddStoreSuffixEnum, uint16_t>;

enum ProgressType { ptNewFile = 0, ptProgress = 1, ptEndOfBatch = 2, ptTotalFiles = 3, ptTotalSize = 4 };

// Bits handed to OnStatusDisk, and its answers (disk spanning).
using TZipDiskStatus = int;
enum TZipDiskAction { zdaOk = 0, zdaErase = 1, zdaReject = 2, zdaCancel = 3 };

// ---- Directory entries ----

// Central-header bytes 4 to 45, as stored.
#pragma pack(push, 1)
struct ZipCentralFields {
    uint8_t MadeByVersion;
    uint8_t HostVersionNo;
    uint16_t VersionNeeded;
    uint16_t Flag;
    uint16_t CompressionMethod;
    uint16_t FileTime;
    uint16_t FileDate;
    uint32_t CRC32;
    uint32_t CompressedSize;
    uint32_t UncompressedSize;
    uint16_t FileNameLength;
    uint16_t ExtraFieldLength;
    uint16_t FileCommentLen;
    uint16_t StartOnDisk;
    uint16_t IntFileAttrib;
    uint32_t ExtFileAttrib;
    uint32_t RelOffLocalHdr;
};
#pragma pack(pop)
static_assert(sizeof(ZipCentralFields) == 42, "central header bytes 4 to 45");

struct ZipDirEntry : ZipCentralFields {
    std::string FileName; // '/' separators, UTF-8 after the code-page rule
    std::string FileComment;
    bool Encrypted = false;                        // general flag bit 0
    std::optional<std::vector<uint8_t>> ExtraData; // none when the entry has no extra field
};

// ---- Exception ----

class EZipFront : public std::exception {
public:
    explicit EZipFront(int id, bool display = true);
    EZipFront(int id, int value);                // value filled into the text's format
    EZipFront(int id, const std::string& value); // text filled into the text's format
    const char* what() const noexcept override { return Message.c_str(); }
    std::string Message;
    bool DisplayMsg = true;
    int ResId = 0;
};

// The text of a message: the table's text or the missing-text notice.
std::string ZipLoadStr(int id);

class TZipFront;

// One rename: a whole stored name, or a folder (ending in a separator) and everything in it.
struct ZipRenameRec {
    std::string Source;
    std::string Dest;
    int32_t DateTime = 0; // DOS date in the high 16 bits, DOS time in the low; 0 keeps the date
};

// ---- Events (the sender first) ----
// Named apart from the engine's TNotifyEvent so that the application can use both.
using TZipNotifyEvent = std::function<void(TZipFront& Sender)>;
using TProgressEvent = std::function<void(TZipFront& Sender, ProgressType ProgrType,
                                          const std::string& Filename, int64_t FileSize)>;
using TMessageEvent = std::function<void(TZipFront& Sender, int ErrCode, const std::string& Message)>;
using TSetNewNameEvent = std::function<void(TZipFront& Sender, std::string& OldFileName, bool& IsChanged)>;
using TNewNameEvent = std::function<void(TZipFront& Sender, int SeqNo, const ZipDirEntry& ZipEntry)>;
using TCRC32ErrorEvent = std::function<void(TZipFront& Sender, const std::string& ForFile, uint32_t FoundCRC,
                                            uint32_t ExpectedCRC, bool& DoExtract)>;
using TPasswordErrorEvent = std::function<void(TZipFront& Sender, std::string& NewPassword,
                                               const std::string& ForFile, uint32_t& RepeatCount)>;
using TExtractOverwriteEvent =
    std::function<void(TZipFront& Sender, const std::string& ForFile, bool IsOlder, bool& DoOverwrite)>;
using TExtractSkippedEvent =
    std::function<void(TZipFront& Sender, const std::string& ForFile, UnZipSkipTypes SkipType, int ExtError)>;
using TCopyZipOverwriteEvent =
    std::function<void(TZipFront& Sender, const std::string& ForFile, bool& DoOverwrite)>;
using TGetNextDiskEvent = std::function<void(TZipFront& Sender, int DiskSeqNo, int DiskTotal,
                                             const std::string& Drive, bool& AbortAction)>;
using TStatusDiskEvent =
    std::function<void(TZipFront& Sender, int PreviousDisk, const std::string& PreviousFile,
                       TZipDiskStatus Status, TZipDiskAction& Action)>;
using TFileCommentEvent = std::function<void(TZipFront& Sender, const std::string& ForFile,
                                             std::string& FileComment, bool& IsChanged)>;
// An extracted entry is in place at `Path` (the target folder in front, as the library
// wrote it); `Replaced`: a file stood there before the run wrote over it.
using TFileWrittenEvent = std::function<void(TZipFront& Sender, const std::string& Path, bool Replaced)>;

// One parsed line of FSpecArgs for adding.
struct TAddSpec {
    std::string Spec;
    std::optional<std::string> Password;
    int32_t Encrypt = 0;
    uint16_t Recurse = 0;
};
// The file-spec syntax: a leading ">" (recurse) or "|" (do not), then "spec<password".
TAddSpec ParseAddSpec(const std::string& line, const std::string& recordPassword, int32_t recordEncrypt,
                      uint16_t recordRecurse);
// ".gif:.png:..." for the members of the set, in enumeration order.
std::string StoreSuffixList(AddStoreExts exts);

// Formats the removable medium in `drive` with `label` on a thread of its own while the
// caller keeps the events flowing. With `confirmErase` the user is asked first (Yes or
// Cancel). 0 done, -1 an error (also: not an emulated removable drive, or another format
// running), -2 cancelled.
class FormatThread {
public:
    static int Run(const std::string& drive, const std::string& label, bool confirmErase);
    static bool Running();
};

class ZipSpanner;

class TZipFront {
    friend class ZipSpanner;

public:
    explicit TZipFront(void* ownerWindow = nullptr);
    ~TZipFront();
    TZipFront(const TZipFront&) = delete;
    TZipFront& operator=(const TZipFront&) = delete;

    // ---- Published properties ----
    bool Verbose = false;
    bool Trace = false;
    int AddCompLevel = 9;
    AddOpts AddOptions;
    std::string ExtrBaseDir;
    ExtrOpts ExtrOptions;
    SFXOpts SFXOptions{SFXCheckSize};
    std::vector<std::string> FSpecArgs;
    std::vector<std::string> FSpecArgsExcl;
    // The lines of FSpecArgs of the next extract or delete run are stored names, matched as
    // they are (an entry named "*.txt" selects only itself), not wildcards. Cleared with
    // FSpecArgs after the run.
    bool FSpecArgsLiteral = false;
    bool Unattended = false;
    std::string Password;
    std::string SFXPath = "ZipSFX.bin";
    OvrOpts SFXOverWriteMode = OvrConfirm;
    std::string SFXCaption = "Self-extracting Archive";
    std::string SFXDefaultDir, SFXCommandLine, SFXMessage;
    std::string TempDir;
    int64_t KeepFreeOnDisk1 = 0;
    int64_t MaxVolumeSize = 0;
    int64_t MinFreeVolumeSize = 65536;
    bool ConfirmErase = true;
    CodePageOpts CodePage = cpAuto;
    DeleteOpts HowToDelete = htdAllowUndo;
    std::vector<uint8_t> SFXIcon; // the icon's file image; empty: none
    // ConvertSFX and ConvertZIP leave their input as it is (never deleted, truncated or
    // rewritten) rather than deleting it once the new file is complete.
    bool ConvertKeepsInput = false;
    AddStoreExts AddStoreSuffixes{assGIF, assPNG, assZ,   assZIP, assZOO, assARC,
                                  assLZH, assARJ, assTAZ, assTGZ, assLHA};
    bool UseDirOnlyEntries = false;

    const std::string& ZipFileName() const { return FZipFileName; }
    void SetZipFileName(const std::string& name); // re-lists the archive
    const std::string& DLLDirectory() const { return FDLLDirectory; }
    void SetDLLDirectory(const std::string& dir); // drops one trailing separator
    const std::string& RootDir() const { return FRootDir; }
    void SetRootDir(const std::string& dir); // appends a separator when missing
    uint32_t PasswordReqCount() const { return FPasswordReqCount; }
    void SetPasswordReqCount(uint32_t n); // at most 15
    std::string VersionInfo() const { return "1.60 L"; }
    void SetVersionInfo(const std::string&) {} // read-only in effect

    // The archive comment, converted for reading; the setter rewrites the archive.
    std::string Comment() const;
    void SetComment(const std::string& comment);

    // ---- Events ----
    TZipNotifyEvent OnDirUpdate;
    TProgressEvent OnProgress;
    TMessageEvent OnMessage;
    TSetNewNameEvent OnSetNewName;
    TNewNameEvent OnNewName;
    TCRC32ErrorEvent OnCRC32Error;
    TPasswordErrorEvent OnPasswordError;
    TExtractOverwriteEvent OnExtractOverwrite;
    TExtractSkippedEvent OnExtractSkipped;
    TCopyZipOverwriteEvent OnCopyZipOverwrite; // never raised
    TGetNextDiskEvent OnGetNextDisk;
    TStatusDiskEvent OnStatusDisk;
    TFileCommentEvent OnFileComment;
    TFileWrittenEvent OnFileWritten;

    // ---- State ----
    std::vector<std::unique_ptr<ZipDirEntry>> ZipContents;
    int Count() const { return static_cast<int>(ZipContents.size()); }
    const ZipDirEntry& operator[](int i) const { return *ZipContents.at(static_cast<size_t>(i)); }
    int ErrCode = 0;
    int32_t FullErrCode = 0; // a library's whole code beside its low byte
    std::string Message;     // the last message
    int SuccessCnt = 0;
    bool Cancel = false;
    int64_t SFXOffset = 0;
    int DirOnlyCount = 0;
    bool ZipBusy() const { return FZipBusy; }
    bool UnzBusy() const { return FUnzBusy; }
    bool WrongZipStruct() const { return FWrongZipStruct; }
    bool IsSpanned() const { return FIsSpanned || FTotalDisks > 0; }
    int64_t EOCOffset() const { return FEOCOffset; }
    int64_t CentralDirOffset() const { return FCentralDirOffset; }
    int64_t ZipSize() const { return FLogicalSize; } // up to the end of the comment
    int64_t RealFileSize() const { return FPhysicalSize; }
    int TotalDisks() const { return FTotalDisks; }
    const std::string& ZipComment() const { return FZipComment; } // as stored
    int64_t TotalSizeToProcess() const { return FTotalSize; }
    void* OwnerWindow() const { return FOwnerWindow; }
    // The drive of the archive, as read by List: root folder, label, serial and space.
    const std::string& Drive() const { return FDrive; }
    const std::string& VolumeName() const { return FVolumeName; }
    uint32_t VolumeSerial() const { return FVolumeSerial; }
    int64_t FreeOnDisk() const { return FFreeBytes; }
    int64_t SizeOfDisk() const { return FTotalBytes; }

    // ---- Operations ----
    void List();
    void Add();
    void Delete();
    void Extract();
    bool LoadZipDll();
    bool LoadUnzDll();
    void UnloadZipDll();
    void UnloadUnzDll();
    int ZipDllVersion();
    int UnzDllVersion();

    // Reports message `id` (plus `extra`) as the component does every message.
    void ShowZipMessage(int id, const std::string& extra = {});
    void ShowExceptionError(const EZipFront& e);
    // Inside a catch: shows the failure of a rename or span run and gives its result code,
    // -7 for the component's own errors, -8 when memory ran out, -9 for anything else.
    int ReportRunFailure();

    // Self-extractors: the archive behind ZIPSFX.BIN and a settings block, and back.
    int ConvertSFX(bool autoMode = false);
    int ConvertZIP();
    // Spanned sets: a single-file zip copied over several disks (or numbered files), and
    // a set joined back into one file.
    int WriteSpan(const std::string& inFile, const std::string& outFile);
    int ReadSpan(const std::string& inFile, std::string& outFile);
    // Renames entries (whole names or leading folders) and can give them a new date.
    int Rename(const std::vector<ZipRenameRec*>& List, int DateTime);
    // The component's own password questions (used by the callback without a handler).
    std::string GetAddPassword();
    std::string GetExtrPassword();
    // Shows the password window (caption, prompt); the text when OK was pressed, else empty.
    static bool PasswordDlgRun(const std::string& caption, const std::string& prompt, std::string& text);

    // Deletes a user's file: to the trash when HowToDelete is htdAllowUndo, for good when
    // htdFinal; a name without a folder is taken in the current folder. 0 on success, -1
    // when the file does not exist, 1 when it could not be deleted.
    int EraseFile(const std::string& name);

    // A new reserved file "zipXXXXXX.zip" in TempDir (or the system's temporary folder);
    // empty when it cannot be made.
    std::string MakeTempFileName();

    // The callback the libraries call; public for the fake libraries of the tests.
    static int32_t ZCallback(TZipCallbackRec* rec);

private:
    struct EndRecord;
    bool FindEndRecord(int fd, bool raising);
    void ReadDriveState(const std::string& path);
    void ListInner();
    std::string ConvertOemToAnsi(const std::string& raw, uint16_t flag = 0) const;
    std::string ConvertAnsiToOem(const std::string& text) const;
    bool ConvertCondition() const;
    int32_t HandleCallback(TZipCallbackRec& rec);
    void Report(int errCode, const std::string& text, bool show);
    void Progress(ProgressType t, const std::string& name, int64_t size);
    int moveOffsets(int in, int64_t cdStart, int out, int64_t shift);
    int copyZipFrom(int in, int64_t from, int out, int64_t shift, int64_t& zipSize);
    std::vector<uint8_t> ReadSpannedCentral();
    void readSfxSettings(int fd, int64_t zipStart);

    std::string FZipFileName, FDLLDirectory, FRootDir;
    uint32_t FPasswordReqCount = 1;
    bool FZipBusy = false, FUnzBusy = false;
    bool FIsSpanned = false, FWrongZipStruct = false;
    int FTotalDisks = 0;
    int64_t FEOCOffset = 0, FCentralDirOffset = 0, FLogicalSize = 0, FPhysicalSize = 0, FTotalSize = 0;
    std::string FZipComment;
    std::string FDrive, FVolumeName;
    uint32_t FVolumeSerial = 0;
    int64_t FFreeBytes = 0, FTotalBytes = 0;
    uint8_t FVersionMadeBy0 = 0, FHostNum = 0;
    // End record fields of the last search (widened from a zip64 end record).
    int FDiskNr = 0, FCentralDiskNr = 0;
    uint64_t FTotalEntries = 0;
    int64_t FCentralSize = 0, FCentralOffsetStored = 0;
    int64_t FDirEnd = 0;    // where the directory ends: the zip64 end record or the end record
    bool FZip64End = false; // the numbers came from a zip64 end record
    std::string FSetLast;   // the file the end record was read from (a set's last part)
    void* FOwnerWindow = nullptr;
    pvcommon::PumpThrottle FLastPump;
};
