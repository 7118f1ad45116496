// TUnBase: the common base of the extractors and of the tester. It owns the run that
// extracts or tests an archive (checks, opening, events, timer, the output drive) and the
// steps around each file: naming and the overwrite question (BeginFile), creating the
// output (CreateOutput), copying stored data (CopyStored) and closing the file with its
// date and attributes (FinishFile). Each extractor supplies its format by overriding
// ExtractArchive.
//
// Output policy, the same for every extractor: a file is written to a temporary file in
// the target's own folder (one without a name where the file system allows, so that even a
// killed process leaves nothing behind) and put onto the target only when the entry passed
// its check (FinishFile with Passed). A failed check, a cancel or an exception removes the
// partial file, and an existing target stays untouched -- a wrong password or a corrupt
// entry never replaces a good file. A symlink at the target path is replaced by the file
// (rename replaces the link itself), never written through; no folder on the way below
// ExtractDir may be a symlink. Every path comes from BuildOutputName.
#pragma once
#include "archive/aeBase.h"
#include "platform/fileio.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <type_traits>

namespace ae {
class EntryWorkspace;
}

// The answer of BeginFile: write this entry, pass over it, or stop the run.
enum class TBeginResult : uint8_t { brExtract, brSkip, brCancel };

class TUnBase : public TZipCommon {
public:
    TUnBase();
    ~TUnBase() override;

    // ---- runs ----
    // Extracts to files (WriteMode 0); the number of files handled (FileCount).
    int Extract();
    // Tests (WriteMode 7): decodes and checks, creates and changes nothing.
    int Test();

    // ---- the steps around each file (for the extractors) ----

    // Before each file: BuildOutputName (FileName := the output path), Exists := a file
    // (or link) is there, the overwrite question (only when writing files), OnBegin and
    // OnRenameCompressedFile. brExtract: go ahead, with FileName (files) or StoredName
    // (other modes) set to the name to write; brSkip: pass over this entry (it exists and
    // is kept, OnBegin declined, or its name was refused); brCancel: the run was cancelled.
    // Without OnFileExists an existing file is kept (OverwriteMode itself is not changed).
    TBeginResult BeginFile(std::string& StoredName, bool& Exists, TDateTime EntryDate);

    // Opens the output of one entry by WriteMode: 0 a temporary file beside OutputPath
    // (folders created as needed); 2 a file stream on such a temporary file; 1 needs
    // stream A; 3 needs stream B; 4 gives False; other modes (the test mode 7) True with
    // nothing created. False when OutputPath is empty or the file cannot be made. The
    // handle (or stream) given out is closed by FinishFile or DiscardOutput, never by the
    // extractor itself; one the run leaves open is closed and its file removed at the end.
    bool CreateOutput(int& Handle, std::unique_ptr<TStream>& Stream, const std::string& StoredName,
                      const std::string& OutputPath);

    // Copies Count stored bytes from the archive (Source/SourceStream) to the output,
    // decrypting when Decrypt (by archive type) and keeping the CRC selected by CrcMode.
    // In test mode the data only go through the CRC. True when all Count bytes were
    // copied; a short read reports 25236 and gives False, as does a cancel.
    bool CopyStored(int Source, TStream* SourceStream, int Dest, TStream* DestStream, int64_t Count,
                    const std::string& Name, bool Decrypt, int CrcMode);

    // Closes the output of one entry. With Passed the temporary file replaces the target
    // and gets its date (by DateAttribute) and, with RestoreFileAttr and Attr other than
    // 32, its attributes; without Passed it is removed and the target stays as it was.
    // A failed close reports 25137 (and the file is not put in place), a file that cannot
    // be put in place 25136. True when the entry passed and, when writing files, is in
    // place: what the extractor reports through OnEnd. Write modes other than 0 and 2 only
    // release the handle and stream.
    bool FinishFile(int& Handle, std::unique_ptr<TStream>& Stream, uint32_t Attr, uint32_t DosDate,
                    const std::string& Name, bool Passed, int Mode = -1);

    // An entry whose output CreateOutput could not make: reports 25235 with the reason (a
    // folder in the way, a name too long, no permission, ...) and fires OnEnd with FN and
    // CRC_PASS False, so the entry counts as failed; the run goes on with the next entry.
    void OutputFailed(const std::string& Output, const std::string& FN);

    // Removes the temporary file of an entry still open (an extractor that gives up on an
    // entry without FinishFile); the run's end does the same for anything left.
    void DiscardOutput(int& Handle, std::unique_ptr<TStream>& Stream);

    // ---- the one way an entry is extracted ----
    // One entry as the format sees it; ExtractOne does the rest the same for every format:
    // BeginFile, Prepare, CreateOutput, Decode (an E_RAISE inside is already reported: the
    // entry fails and the run goes on), FinishFile, Finished, then EndEntry.
    //
    // Prepare holds what a format checks before any output exists (data within the file, a
    // method it knows, the password): esGo goes on; esFailed ends the entry as failed (its
    // reason reported already, so no failed-check message follows) and the run goes on;
    // esStop does the same and stops the run; esDone: Prepare made the entry itself (a link)
    // and it passed.
    enum class TEntryStep : uint8_t { esGo, esFailed, esStop, esDone };
    struct TEntryJob {
        std::string Name;       // the entry's name as stored
        TDateTime Date = 0;     // for the overwrite question
        int64_t PackedSize = 0; // passed over when the entry is skipped or cannot be written
        uint32_t Attr = 32;     // attributes and DOS date for FinishFile
        uint32_t DosDate = 0;
        int Mode = -1; // permission bits the archive stored, given as they are; -1: the default
        std::function<TEntryStep()> Prepare; // optional
        // Writes the entry's data to the output; true when its check passed.
        std::function<bool(int Out, TStream* OutStream)> Decode;
        // Optional: after FinishFile, with its result and the output path (file modes).
        std::function<void(bool Passed, const std::string& Output)> Finished;
    };
    // erFailed: Prepare ended the entry; erStopped: Prepare stopped the run.
    enum class TEntryResult : uint8_t { erCancelled, erSkipped, erOutputFailed, erFailed, erStopped, erDone };
    TEntryResult ExtractOne(const TEntryJob& Job, bool* Passed = nullptr);
    // The end of one entry: OnEnd with its result, or without OnEnd a failed check reported
    // as 25233 (unless Decoded is false: the entry failed before its data, for a reason
    // reported already). FN is the output path when writing files, else the stored name.
    void EndEntry(const std::string& Output, const std::string& Name, bool Passed, bool Decoded = true);

    // ---- the one password policy ----
    // Finds the password of an encrypted entry: Password, then each of Passwords, then
    // OnGetPassword up to PasswordAttempts times. Accepts tells whether a password opens
    // the entry (formats that cannot tell before decoding accept any non-empty one). A
    // password found is left in Password; one typed in is also put first in Passwords.
    enum class TPasswordResult : uint8_t { prAccepted, prNoEvent, prFailed };
    TPasswordResult SettlePassword(const std::string& Name,
                                   const std::function<bool(const std::string&)>& Accepts);
    // SettlePassword as a step of Prepare, the same for every format: found, go on; no
    // OnGetPassword (25270 reported), the entry fails and the run goes on; every attempt
    // failed or was declined, 25xxx "password failed" and the run stops.
    TEntryStep PasswordStep(const std::string& Name, const std::function<bool(const std::string&)>& Accepts);
    // Asks OnGetPassword once for the password of entry Name (the timer paused meanwhile);
    // false when the answer was to give up or the run was cancelled.
    bool AskPassword(const std::string& Name, std::string& Answer);

    // ---- the block writer of a test run ----
    // Takes each block of an entry's decoded data in a test run (WriteMode 7): Count bytes,
    // decrypted first when Decrypt, go into the check value selected by CrcMode (16 or 32);
    // nothing is written anywhere. A tester puts its own routine here; unset, the check
    // value is kept by UpdateCrc.
    std::function<int64_t(int64_t Count, int CrcMode, bool Decrypt, uint8_t* Buffer)> TestWriteProc;
    // Hands one block of decoded data of a test run to TestWriteProc.
    void TestBlock(const uint8_t* Buffer, int64_t Count, int CrcMode);

    // The decoding state the entries of the run share (made on first use, let go when the
    // run ends).
    ae::EntryWorkspace& Workspace();

    // The newest DOS date-time of the run's chosen entries, for daMaxFileDate; extractors
    // raise it during their scan.
    uint32_t MaxFileDosDate = 0;
    // Drive type of the output folder, refreshed at the start of runs that write (mode 0, 2, 3).
    uint8_t OutputDriveType = 0;
    // Whoever makes a link during a run calls this: a folder found free of links before
    // must then be looked at again.
    void ForgetSafeFolder() { FSafeFolders.clear(); }

protected:
    // The extractor's work: scan, then extract or test each chosen entry. Empty here.
    virtual void ExtractArchive(int& ArchiveHandle, TStream* Stream);

    // The run of a format whose entries are chosen first and then extracted in order:
    // Scan records each chosen entry as a TChosen in FileList and adds up the totals; Entry
    // then gets each record in turn until the run is cancelled or Entry (when it answers at
    // all) answers false: the run stopped. Memory running out ends the run with 25xxx.
    template <class TChosen, class FEntry>
    void ScanThenExtract(const std::function<void()>& Scan, FEntry&& Entry) {
        ExtractChosen(Scan, [&](size_t I) {
            TChosen& chosen = FileList->Record<TChosen>(I);
            if constexpr (std::is_void_v<decltype(Entry(chosen))>) {
                Entry(chosen);
                return true;
            } else {
                return static_cast<bool>(Entry(chosen));
            }
        });
    }
    void ExtractChosen(const std::function<void()>& Scan, const std::function<bool(size_t)>& Entry);

    // Moves the archive handle to an entry's data at Data; a failed seek, or (with Packed
    // given) data that cannot all lie within the archive, raise a read error.
    void SeekData(int Handle, int64_t Data, int64_t Packed = -1);
    // Decodes an entry against its check value: the register of CrcMode (16, or 32 whose
    // value is stored complemented) starts afresh, and the entry passes when Decode
    // delivered and the register matches Expected.
    template <class F> bool DecodeChecked(int CrcMode, uint32_t Expected, F&& Decode) {
        if (CrcMode == 16)
            Ctx().Crc16Value = 0;
        else
            Ctx().Crc32Value = 0xFFFFFFFF;
        if (!Decode()) return false;
        return CrcMode == 16 ? Ctx().Crc16Value == Expected : (Ctx().Crc32Value ^ 0xFFFFFFFFu) == Expected;
    }
    // False when a folder between ExtractDir and OutputPath is a symbolic link.
    bool SafeFolders(const std::string& OutputPath);
    // Readies the place of a file to be written: OutputPath names a file, its folders are
    // made as needed (none of them, before or after, a symbolic link) and no folder stands
    // where the file goes. False, with the reason in FOutputError, when it cannot go there.
    bool PrepareOutputPath(const std::string& OutputPath);
    // The date a file written for an entry of DosDate gets, by DateAttribute (the entry's
    // date, now, or the newest date of the run's entries), in Unix time; -1 when none.
    int64_t OutputFileTime(uint32_t DosDate) const;
    // Why the last output could not be made, for OutputFailed.
    std::string FOutputError;
    // A write to an entry's output came short: reported with the file and the reason ("No
    // space left on device"), then raised.
    [[noreturn]] void ShortWrite(int Err) override;

private:
    int Run(uint8_t Mode);
    bool WritesFiles() const { return WriteMode == 0 || WriteMode == 2; }
    void DropPending();

    struct Pending {
        platform::PendingFile file; // nameless where the file system allows it
        std::string target;
        int fd = -1; // the handle given out (mode 0, a dup of file's), closed here if abandoned
    };
    std::optional<Pending> FPending;
    std::unique_ptr<ae::EntryWorkspace> FWorkspace;
    // Per-file costs paid once per run or per folder: the mode a new file gets (the umask
    // is read once a run), the folders made and found free of links (each looked at once,
    // until the run makes a link), the target BeginFile found absent, and the last DOS date
    // turned into a time (one look at the time zone per date, not per file).
    int FRunFileMode = -1;
    std::unordered_set<std::string> FSafeFolders;
    std::string FAbsentTarget;
    mutable uint32_t FLastDos = 0;
    mutable int64_t FLastDosTime = -1;
};
