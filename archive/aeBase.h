// The base classes of every archive component (lister, extractors, writers, tester and
// converter): TaeMain (archive name and detected type), TReadWriteObj (block reading and
// writing with decryption and CRC hooks) and TZipCommon (specs, folders, passwords, the cancel
// flag, the current entry, volumes, method names, errors and the run protocol); the event
// types they publish; the engine's exception E_RAISE; and the per-run context.
#pragma once
#include "common/Pump.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "archive/aeMsgs.h"

#include "aeCommon.h"
#include "archive/codec/aeCrypt.h"
#include "aeMain.h"

class TDiskManager;
class TZipCommon;
struct TCCAB;

// ---------------------------------------------------------------------------------------------
// Stopwatch behind OnElapsedTime; pauses while the user answers an event.
// ---------------------------------------------------------------------------------------------
class TaeTimer {
public:
    TaeTimer();
    void Start();
    void Stop();
    void Pause();
    void Resume();
    bool Running() const { return start_ != 0; }
    float Elapsed = 0; // seconds, set by Stop
    // Milliseconds of a monotonic clock; tests may replace it.
    std::function<int64_t()> Now;

private:
    int64_t start_ = 0, pause_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The engine's exception: carries the message number whose text is its message.
// ---------------------------------------------------------------------------------------------
class E_RAISE : public std::exception {
public:
    explicit E_RAISE(int ECode);          // the text of message ECode
    E_RAISE(int ECode, std::string Text); // a text of the caller's
    const char* what() const noexcept override { return Message.c_str(); }
    int ECode = 0;
    std::string Message;
    // The system's reason when a call of the system failed ("No space left on device").
    std::string Detail;
    // Said through OnError already (RaiseError); one that was not is said where the run ends.
    bool Reported = false;
};

// Refusal of a run while another one is under way (no number of the message table fits).
constexpr int kMsgRunBusy = 25999;
constexpr std::string_view kRunBusyText = "Another archive operation is already running";

// ---------------------------------------------------------------------------------------------
// Enumerations shared by the components (their order is fixed).
// ---------------------------------------------------------------------------------------------
enum TOverwriteMode : uint8_t { omOverwrite, omSkip };
enum TDateAttribute : uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum TDeleteOptions : uint8_t { doFinal, doAllowUndo };
enum TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };

// ---------------------------------------------------------------------------------------------
// Streams for ReadMode/WriteMode 1..3.
// ---------------------------------------------------------------------------------------------
class TStream {
public:
    virtual ~TStream() = default;
    // Up to Count bytes; the count read, -1 on a read error.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // The count written (less than Count only on an error).
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Origin 0 begin, 1 current, 2 end; the new position, -1 on failure.
    virtual int64_t Seek(int64_t Offset, int Origin) = 0;
    virtual int64_t Size() = 0;
    int64_t Position() { return Seek(0, 1); }
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    int64_t Size() override { return static_cast<int64_t>(Data.size()); }
    std::vector<uint8_t> Data;

private:
    int64_t pos_ = 0;
};

// A stream over a file it opens (and closes).
class TFileStream : public TStream {
public:
    // Mode: 0 read an existing file, 1 create (replacing), 2 read and write an existing file.
    TFileStream(const std::string& Name, int Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    bool Valid() const { return fd_ >= 0; }
    int Handle() const { return fd_; }
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    int64_t Size() override;

private:
    int fd_ = -1;
};

// ---------------------------------------------------------------------------------------------
// Event types. Every event is a std::function whose first parameter is the sending component.
// ---------------------------------------------------------------------------------------------
using TNotifyEvent = std::function<void(TZipCommon& Sender)>;
using TOnBegin = std::function<void(TZipCommon& Sender, const std::string& FN, int Count, bool& Extract)>;
using TOnClearDiskette =
    std::function<void(TZipCommon& Sender, const std::string& Drive, int64_t TotalSpace, int64_t FreeSpace)>;
using TOnCorruptZipHeader = std::function<void(TZipCommon& Sender, uint8_t HeadFlag, bool& Cancel)>;
using TOnDeleteFile =
    std::function<void(TZipCommon& Sender, const std::string& Filename, int Count, int MaxCount)>;
using TOnElapsedTime = std::function<void(TZipCommon& Sender, float ElapsedTime)>;
using TOnEnd = std::function<void(TZipCommon& Sender, const std::string& FN, bool CRC_PASS)>;
using TOnError = std::function<void(TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                                    const std::string& VolumeID, int ECode)>;
using TOnFileExists = std::function<void(TZipCommon& Sender, const std::string& FN, TDateTime FileDate,
                                         TOverwriteMode& OverwriteMode)>;
using TOnGetPassword =
    std::function<void(TZipCommon& Sender, const std::string& FN, std::string& Password, bool& TryAgain)>;
using TOnGetZipFirstDisk = std::function<void(TZipCommon& Sender, bool& Cancel)>;
using TOnGetZipLastDisk = std::function<void(TZipCommon& Sender, bool& Cancel)>;
using TOnGetZipNextDisk =
    std::function<void(TZipCommon& Sender, const std::string& VolumeName, bool& Cancel)>;
using TOnInsertDiskette = std::function<void(TZipCommon& Sender, const std::string& VolumeName,
                                             int64_t TotalSpace, int64_t FreeSpace, bool& Cancel)>;
using TOnNextVolume = std::function<void(TZipCommon& Sender, std::string& VolumeName,
                                         const std::string& VolumeID, bool FExists, bool& Cancel)>;
using TOnNonWriteableArchive =
    std::function<void(TZipCommon& Sender, const std::string& ArchiveFile, bool& WriteToFile)>;
using TOnProgress =
    std::function<void(TZipCommon& Sender, uint8_t ProgressByFile, uint8_t ProgressByArchive)>;
using TOnRead = std::function<void(TZipCommon& Sender, int64_t Offset, int Filenum)>;
using TOnRecurseDir = std::function<void(TZipCommon& Sender, const std::string& Directory)>;
using TOnRemoveTempfile = std::function<void(TZipCommon& Sender, const std::string& Filename)>;
using TOnRenameFile = std::function<void(TZipCommon& Sender, std::string& Filename)>;
using TOnReplaceFile = std::function<void(TZipCommon& Sender, const std::string& OldFN, const std::string& FN,
                                          TDateTime OldDate, TDateTime NewDate, int64_t OldFileSize,
                                          int64_t NewFileSize, int OldAttr, int NewAttr, bool& Replace)>;
using TGetNextCabinetEvent =
    std::function<void(TZipCommon& Sender, TCCAB& CabParameters, std::string& NewCabFileName,
                       int64_t PreviousCabEstimatedSize, bool& AbortCreation)>;
using TOnIntegrityBegin = std::function<void(TZipCommon& Sender, const std::string& FN)>;
using TOnIntegrityEnd = std::function<void(TZipCommon& Sender, const std::string& FN)>;
using TOnIntegrityStatus = std::function<void(TZipCommon& Sender, const std::string& FN, bool PassFail)>;
using TOnReadFile = std::function<void(TZipCommon& Sender, const std::string& Filename)>;
using TOnTotals = std::function<void(TZipCommon& Sender, int NumFiles)>;

// Calls an event when it is assigned. The handler is copied first: it may reassign itself.
template <class Event, class... A> void FireEvent(const Event& ev, A&&... args) {
    if (ev) {
        Event copy = ev;
        copy(std::forward<A>(args)...);
    }
}

// ---------------------------------------------------------------------------------------------
// The per-run context: everything one operation keeps while it runs. One is created when a run
// starts and dropped when it ends; a run started while another is under way is refused.
// ---------------------------------------------------------------------------------------------
class TRunContext {
public:
    TZipCommon* CurrentComponent = nullptr;
    uint16_t Crc16Value = 0;          // CRC-16 accumulator (start value set by the caller)
    uint32_t Crc32Value = 0xFFFFFFFF; // CRC-32 accumulator (not inverted)
    TZipKeys Keys;                    // traditional zip cipher keys
    uint64_t BitBuffer = 0;           // bit buffer for decoders that keep it here
    unsigned BitCount = 0;
    // A component may run children (the converter runs an extractor, a writer and the tester)
    // while this is set; any other nested run is refused.
    bool AllowChildRuns = false;

    // State of one decoder or encoder unit for this run, created on first use.
    template <class T> T& UnitState() {
        auto& slot = units_[std::type_index(typeid(T))];
        if (!slot) slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

private:
    std::unordered_map<std::type_index, std::shared_ptr<void>> units_;
};

// The context of the innermost run under way, nullptr when none.
TRunContext* ActiveRun();
// The component of the innermost run under way, nullptr when none.
TZipCommon* CurrentComponent();

// Marks a run as allowed to start child runs for the scope (RAII).
class TChildRunScope {
public:
    explicit TChildRunScope(TRunContext& ctx) : ctx_(ctx), saved_(ctx.AllowChildRuns) {
        ctx.AllowChildRuns = true;
    }
    ~TChildRunScope() { ctx_.AllowChildRuns = saved_; }
    TChildRunScope(const TChildRunScope&) = delete;
    TChildRunScope& operator=(const TChildRunScope&) = delete;

private:
    TRunContext& ctx_;
    bool saved_;
};

// What a main operation needs checked before its work (the run protocol's step 2).
struct TRunSpec {
    TArcTypes Handles = ~TArcTypes{0}; // ArcType outside this set -> 25242
    bool OpenArchive = true;    // open ArchiveFile for shared reading (never for outside-library types)
    bool RequireArchive = true; // empty or missing ArchiveFile -> 25172
    // The lister's order at the end: OnDeactivate, then OnElapsedTime (the others fire
    // OnElapsedTime first).
    bool ElapsedAfterDeactivate = false;
};

// ---------------------------------------------------------------------------------------------
// Safe entry names
// ---------------------------------------------------------------------------------------------
// The one rule by which a stored entry name becomes a relative path below an extraction
// folder: split on '/' and '\'; a drive prefix ("C:") and leading separators go; empty and "."
// components go; a ".." component refuses the whole name (std::nullopt). The result is
// '/'-separated, never absolute, never climbing; it may be empty (a name of separators only).
std::optional<std::string> SafeRelativePath(std::string_view stored);

// ---------------------------------------------------------------------------------------------
// TaeMain: the archive name, its detected type and the detection state.
// ---------------------------------------------------------------------------------------------
class TaeMain {
public:
    TaeMain();
    virtual ~TaeMain();
    TaeMain(const TaeMain&) = delete;
    TaeMain& operator=(const TaeMain&) = delete;

    // ---- virtual operations, in order ----
    // Stores the name and, unless it is empty or the component is loading, detects its type.
    virtual void SetArchiveFile(const std::string& Value);
    // Ignores the value and runs type detection; writers override it to pin their own type.
    virtual void SetArcType(TArcType Value);

    // ---- properties ----
    const std::string& ArchiveFile() const { return FArchiveFile; }
    TArcType ArcType() const { return FArcType; }
    std::string About() const;
    void SetAbout(const std::string&) {} // read-only in effect
    int ZipCmntBufSize() const { return FZipCmntBufSize; }
    void SetZipCmntBufSize(int Value); // clamped to 2000..32767
    int PasswordAttempts = 3;
    bool UseStoredDirs = true;
    TaeFileAttr FileAttribute;
    std::string Password;
    std::vector<std::string> Passwords;

    // ---- owned helpers ----
    std::shared_ptr<TDiskManager> DiskManager; // removable-disk state of the archive's drive
    TaeTimer Timer;
    std::unique_ptr<TaeFileList> FileList; // created by the extractors

    // ---- detection state ----
    int64_t ArcStart = 1; // see the ArcStart convention in aeMain.h
    char VolumeLetter = 0;
    int VolumeNumber = 0;
    int64_t ArchiveSize = 0;
    int64_t CurrentOffset = 0; // position of the run in the archive
    int64_t ScanEnd = 0;       // offset at which the run's scan ends
    uint32_t ZipDirFlags = 0;
    uint16_t FirstWord = 0;
    int64_t ZipCentralOffset = 0;
    int64_t ZipOffsetBias = 0;
    std::array<uint8_t, 22> ZipEndRecord{};
    std::array<uint8_t, 46> ZipCentralHeader{};
    std::array<uint8_t, 30> ZipLocalHeader{};
    TDetectDrive ArchiveDrive; // set by RefreshArchiveDrive

    // Set while the component is being set up (not yet usable): no detection then.
    bool ComponentLoading = false;
    virtual void Loaded() {}

    // ---- operations ----
    bool OpenArchive(int& Handle, const std::string& Name);
    bool CloseArchive(int Handle);
    bool IsWildList(const std::vector<std::string>& Specs) const;
    void InitVolumeNumbers();

    // ---- detection ----
    void DetectArcType();
    TArcType CheckSignature(uint32_t Signature, int Mode);
    int64_t FindEndOfCentralDir(int Handle);
    int64_t FindZipCentral(int Handle);
    int64_t ScanForEmbeddedArchive(int Handle, TArcType& Type, int64_t From = 17000);
    bool FindUueBegin(int Handle);
    bool IsTarHeader(int Handle);
    bool FindZipAtFixedOffsets(int Handle);
    void RefreshArchiveDrive();

protected:
    std::string FArchiveFile;
    TArcType FArcType = atNA;
    int FZipCmntBufSize = 0;

    // Detection state taken over from a finished detector, and handed to a new one.
    void TakeDetection(const TDetectResult& d);
    TDetectResult Snapshot() const;
    TArcDetector MakeDetector(const TByteSource& src) const;
    template <class F> auto WithDetector(int Handle, F step);
    // A new archive name was set: run totals start again.
    virtual void ResetForNewArchive();
    // Reports through OnError where the component has one (TZipCommon).
    virtual void ReportDetectionError(const std::string& FN, int ECode);
};

// ---------------------------------------------------------------------------------------------
// TReadWriteObj: block reading and writing with decryption and CRC hooks.
// ---------------------------------------------------------------------------------------------
class TReadWriteObj : public TaeMain {
public:
    TReadWriteObj();

    // ---- virtual operations, in order ----
    // Reads up to Count bytes from the source ReadMode selects, decrypts them when Decrypt,
    // updates the CRC selected by CrcMode (16 or 32); the count read.
    virtual int64_t ReadBlock(int Handle, TStream* Stream, int64_t Count, int CrcMode, bool Decrypt,
                              uint8_t* Buffer);
    // Encrypts the buffer in place (zip family and BH, when Crypt and CrcAfter = 1), then WriteBlock.
    virtual int64_t WriteBlockEncrypted(int Handle, TStream* Stream, int CrcAfter, int64_t Count, int CrcMode,
                                        bool Crypt, uint8_t* Buffer);
    // Decrypts the buffer in place (zip family and BH, when Crypt and CrcAfter = 1), then WriteBlock.
    virtual int64_t WriteBlockDecrypted(int Handle, TStream* Stream, int CrcAfter, int64_t Count, int CrcMode,
                                        bool Crypt, uint8_t* Buffer);

    // Writes Count bytes to the target WriteMode selects (with AsciiTranslation, lone line feeds
    // become CR LF); the count accounted for. A short write raises E_RAISE 25136 at once.
    int64_t WriteBlock(int Handle, const uint8_t* Buffer, int CrcAfter, int64_t Count, int CrcMode,
                       TStream* Stream);
    void DecryptBlock(uint8_t* Buffer, int64_t Count);
    void UpdateCrc(int CrcMode, const uint8_t* Buffer, int64_t Count);

    // ReadMode: 0 the handle of the call, 1 stream A, 2 the stream of the call, 3 stream B,
    // 4 the memory block ReadMemory/ReadMemoryLeft (advanced by each read, never beyond it).
    uint8_t ReadMode = 0;
    // WriteMode: 0 the handle of the call, 1 stream A, 2 the stream of the call, 3 stream B,
    // 4 and above nothing; 7 marks a test run.
    uint8_t WriteMode = 0;
    TStream* StreamA = nullptr;
    TStream* StreamB = nullptr;
    const uint8_t* ReadMemory = nullptr;
    int64_t ReadMemoryLeft = 0;
    bool AsciiTranslation = false;
    int ArjPasswordPos = 1; // 1-based position in Password of the next ARJ key character

    // Bound to this object's ReadBlock, WriteBlockDecrypted and WriteBlockEncrypted; decoders
    // that are handed only these call back through them.
    std::function<int64_t(int, TStream*, int64_t, int, bool, uint8_t*)> ReadProc;
    std::function<int64_t(int, TStream*, int, int64_t, int, bool, uint8_t*)> WriteProc;
    std::function<int64_t(int, TStream*, int, int64_t, int, bool, uint8_t*)> WriteEncryptedProc;

    // The context of this component's run (CRC registers, cipher keys, ...). Outside a run it
    // is the component's own idle context, so single calls (and tests) work the same way.
    TRunContext& Ctx();

protected:
    // A write of WriteBlock came short (Err: the system's error number, 0 when none is known):
    // raises E_RAISE 25136; an extractor reports it first, naming the file and the reason.
    [[noreturn]] virtual void ShortWrite(int Err);

    std::unique_ptr<TRunContext> FRun;
};

// ---------------------------------------------------------------------------------------------
// TZipCommon: what every archive component has in common.
// ---------------------------------------------------------------------------------------------
class TZipCommon : public TReadWriteObj, public TErrorSink {
public:
    TZipCommon();
    ~TZipCommon() override;

    // ---- virtual operations, in order ----
    // Turns the current entry's stored name into its output path in FileName. False (with an
    // error reported and FileName empty) for a name that would leave the extraction folder.
    virtual bool BuildOutputName(const std::string& StoredName);
    virtual std::string VolumeName(const std::string& Name, int Number);
    virtual TDateTime DosDateToDateTime(uint32_t DosDate);
    // Reports through OnError and raises E_RAISE with the text of ECode (25449 once cancelled).
    [[noreturn]] virtual void RaiseError(const std::string& FN, const std::string& MsgEx,
                                         const std::string& VolumeID, int ECode);
    // Reports through OnError; the run goes on.
    void ReportError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                     int ECode) override;

    // ---- properties ----
    const std::vector<std::string>& FileSpec() const { return FFileSpec; }
    void SetFileSpec(const std::vector<std::string>& Value);
    const std::vector<std::string>& ExcludeSpec() const { return FExcludeSpec; }
    void SetExcludeSpec(const std::vector<std::string>& Value);
    const std::string& ExtractDir() const { return FExtractDir; }
    void SetExtractDir(const std::string& Value);
    std::string TempDir();
    void SetTempDir(const std::string& Value);
    bool ConfirmOverwrites = true;
    TOverwriteMode OverwriteMode = omOverwrite;
    TDateAttribute DateAttribute = daFileDate;
    TDeleteOptions DeleteOptions = doAllowUndo;
    bool RestoreFileAttr = false;
    TCpuType CpuType = cptAuto;
    bool Cancel() const { return FCancel; }
    void SetCancel(bool Value);

    // Receives (ProgressByFile, ProgressByArchive); DoProgress by default, empty for none.
    std::function<void(uint8_t, uint8_t)> ProgressSink;

    // ---- the current entry ----
    std::string FileName;
    int64_t PackedSize = 0;
    int64_t UnpackedSize = 0;
    int Ratio = 0;
    uint32_t FileCRC = 0;
    int MethodCode = 0;
    std::string MethodName;
    TDateTime FileDate = 0;
    uint32_t FileAttr = 0;
    uint32_t ExternalAttr = 0;
    uint8_t VersionMadeBy = 0;
    uint8_t VersionNeeded = 0;
    bool Encrypted = false;
    std::string FileComment;
    // The format's own entry type byte, for method names: ARC header type (30 = folder),
    // ARJ file type (3 = folder). 0 where the format has none.
    uint8_t EntryTypeByte = 0;

    // ---- run totals ----
    int FileCount = 0;
    int64_t TotalPackedSize = 0;
    int64_t TotalUnpackedSize = 0;
    int TotalRatio = 0;
    int64_t BytesLeft = 0; // archive bytes not yet processed, for ProgressByArchive
    std::string ArchiveComment;
    // Name collection: 1 adds each entry's name to CollectedNames instead of firing OnRead;
    // 0 and 2 fire OnRead; other values report nothing.
    uint8_t NameCollectionMode = 0;
    std::vector<std::string> CollectedNames;

    // ---- events held by every component ----
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TOnBegin OnBegin;
    TOnEnd OnEnd;
    TOnProgress OnProgress;
    TOnError OnError;
    TOnElapsedTime OnElapsedTime;
    TOnFileExists OnFileExists;
    TOnGetPassword OnGetPassword;
    TOnNextVolume OnNextVolume;
    TOnRead OnRead;
    TOnRenameFile OnRenameCompressedFile;
    TOnDeleteFile OnDeleteFile;
    TOnCorruptZipHeader OnCorruptZipHeader;
    TOnGetZipFirstDisk OnGetZipFirstDisk;
    TOnGetZipNextDisk OnGetZipNextDisk;
    TOnGetZipLastDisk OnGetZipLastDisk;
    TOnInsertDiskette OnInsertDiskette;
    TOnClearDiskette OnClearDiskette;
    TOnNonWriteableArchive OnNonWriteableArchive;
    TOnRecurseDir OnRecurseDir;
    TOnReplaceFile OnReplaceFile;
    TOnRemoveTempfile OnRemoveTempfile;

    // ---- operations ----
    bool MatchesFileSpec(const std::string& Name, bool Flag);
    bool IsExcluded(const std::string& Name);
    std::string GetMethodName(int MethodCode, uint32_t Flags);
    static std::string GetDeflateName(uint32_t Flags);
    // Flags with the deflate-level bits of a writer's level (1 superfast, 2 fast, 9 maximum).
    static uint32_t DeflateFlags(uint32_t Flags, int Level);
    std::string GetArcTypeName() const;
    static int GetRatio(int64_t Packed, int64_t Unpacked);
    static bool IsArcTypeKnown(TArcType t);
    static bool IsArcTypeWritable(TArcType t);
    static bool IsArcTypeExtractable(TArcType t);
    static bool IsArcTypeTestable(TArcType t);
    std::string GetFileTypeName(const std::string& Name);
    std::string GetTempFileName();
    bool DeleteFileEx(const std::string& Name, TDeleteOptions Mode);
    bool CloseOutput(int& Handle, std::unique_ptr<TStream>& Stream);
    void ReportProgress(int64_t Done, int64_t Total, int64_t ArchiveTotal);
    void DoProgress(uint8_t ProgressByFile, uint8_t ProgressByArchive);
    bool ReopenArchive(int& Handle);
    bool AskNextVolume(std::string& Name, int Number);
    // The same with the VolumeID the request names (a cabinet's stored next-disk name).
    bool AskNextVolume(std::string& Name, int Number, const std::string& VolumeID);
    bool OpenNextVolume(int& Handle, std::string& Name);
    // Raises 25136 "Error writing to file" naming WrittenFile(), with the system's reason
    // (errno when it is called) as the detail.
    [[noreturn]] void WriteError();
    // The file a failed write was writing: the current entry's output by default.
    virtual std::string WrittenFile() const { return FileName; }

    // ---- the run protocol ----
    // Every main operation (listing, extracting, testing, writing, converting) runs through
    // here: a fresh run context (refused while another run is under way, unless that run
    // allows child runs); CurrentComponent, the cancel flag, counters and the current offset
    // reset; the checks of Spec (25172, 25242, 25235 through RaiseError); OnActivate; the timer
    // when OnElapsedTime is assigned; Work(handle) (-1 when nothing was opened); then, also when
    // Work throws, the timer stops, OnElapsedTime, the handle is closed and OnDeactivate fires.
    // Exceptions reach the caller after the clean-up. Work gets the handle by reference so
    // that a volume change (OpenNextVolume, ReopenArchive) is what the clean-up closes.
    void RunOperation(const TRunSpec& Spec, const std::function<void(int& ArchiveHandle)>& Work);
    bool Running() const { return FRunning; }

protected:
    void ReportDetectionError(const std::string& FN, int ECode) override;
    void ResetForNewArchive() override;
    // The output path of a stored name by the safe-name rule; std::nullopt when refused.
    std::optional<std::string> OutputPathFor(const std::string& StoredName);
    // Effective message number: 25449 once the current component was cancelled.
    int EffectiveCode(int ECode) const;

    std::vector<std::string> FFileSpec;
    std::vector<std::string> FExcludeSpec;
    std::string FExtractDir;
    std::string FTempDir;
    bool FCancel = false;
    bool FRunning = false;
    pvcommon::PumpThrottle FLastPump; // how often DoProgress lets events through
};
