// The outside extraction libraries ("unrar.dll", "unace.dll") and what the extractors that
// drive them share.
//
// TOutsideLibrary loads one library by file name through the platform loader, silently: a
// library that is missing (or lacks an entry point) leaves the program working, its entry
// points bound to local routines that fail, and Missing() set. It is released at program end.
//
// TUnOutsideLib is the base of the extractors whose data the library decodes. The library
// calls back with the running extractor held in one unit-level pointer (one run at a time):
// the data callback keeps the CRC-32 of every byte handed back exactly once, advances the
// progress and, when no file is being written, passes the data to the block writer (stream,
// memory or the tester's routine); the volume callback runs the next-volume request. When the
// library writes a file itself it gets a named temporary file beside the target, which takes
// the target's place only when the entry passed its check -- the extractor base's policy.
#pragma once
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "archive/aeMsgs.h"
#include "archive/aeUnBase.h"

namespace platform {
class DynLib;
}
class THeaderReader;

class TOutsideLibrary {
public:
    explicit TOutsideLibrary(std::string FileName);
    ~TOutsideLibrary();
    TOutsideLibrary(const TOutsideLibrary&) = delete;
    TOutsideLibrary& operator=(const TOutsideLibrary&) = delete;

    // Loads the library (again); false, quietly, when it is missing or refused.
    bool Load();
    // Releases it; Missing() is true afterwards.
    void Unload();
    bool Missing() const { return !FLoaded; }
    const std::string& FileName() const { return FFileName; }
    // The entry point Name, or nullptr when the library is missing or lacks it.
    void* Symbol(const char* Name) const;
    // Binds Fn to the entry point Name, or to Fallback when there is none; true when bound to
    // the library's own routine.
    template <class F> bool Bind(const char* Name, F& Fn, F Fallback) const {
        void* p = Symbol(Name);
        Fn = p ? reinterpret_cast<F>(p) : Fallback;
        return p != nullptr;
    }

private:
    std::string FFileName;
    std::unique_ptr<platform::DynLib> FLib;
    bool FLoaded = false;
};

// One outside library and its table of entry points (TApi, with a Missing flag), loaded at
// first use. Binder binds every entry point of the table to the library or to its failing
// stand-in routine and says whether the library had them all; one that lacks any is treated as
// missing, so no run ever mixes the library's routines with the stand-ins.
template <class TApi> class TOutsideLibraryCell {
public:
    using TBinder = bool (*)(const TOutsideLibrary&, TApi&);
    TOutsideLibraryCell(const char* FileName, TBinder Binder) : FLib(FileName), FBinder(Binder) {}

    const TApi& Api() {
        if (!FTried) Load();
        return FApi;
    }
    bool Load() {
        FTried = true;
        FLib.Load();
        BindAll();
        return !FApi.Missing;
    }
    void Unload() {
        FTried = true;
        FLib.Unload();
        BindAll();
    }

private:
    void BindAll() {
        const bool all = !FLib.Missing() && FBinder(FLib, FApi);
        if (!all) {
            FLib.Unload();
            FBinder(FLib, FApi);
        }
        FApi.Missing = !all;
    }

    TOutsideLibrary FLib;
    TBinder FBinder;
    TApi FApi;
    bool FTried = false;
};

class TUnOutsideLib : public TUnBase {
public:
    TUnOutsideLib();
    ~TUnOutsideLib() override;

    // The extractor whose run the library is serving, nullptr between runs.
    static TUnOutsideLib* Current();

    // ---- the callbacks, as the library's routines reach them ----
    // Data handed back by the library: 1 to go on, 0 to stop (the run was cancelled).
    int LibraryData(const uint8_t* Data, int64_t Size);
    // The next volume: Name holds the library's idea of it and gets the accepted name. Mode 0
    // asks for it (true when accepted), mode 1 announces that it was opened.
    bool LibraryVolume(std::string& Name, int Mode);

    // A callback must not let an exception through the library's frames: Guarded runs its
    // body, keeps what it throws and answers 0 (stop); RaisePending throws it again once the
    // library has returned, and DropPending forgets it at the start of a run.
    template <class F> static int Guarded(F&& Body) {
        try {
            return Body();
        } catch (...) {
            KeepPending(std::current_exception());
            return 0;
        }
    }
    static void RaisePending();
    static void DropPending();

    // The data callback's body: the data go to the extractor the library serves.
    static int DataToCurrent(const uint8_t* Data, int64_t Size) {
        TUnOutsideLib* u = Current();
        if (!u) return 0;
        return Guarded([&] { return u->LibraryData(Data, Size); });
    }
    // The volume callback's name field (Capacity bytes with its terminator): Accept gets the
    // library's name and may change it; 1 when accepted and the new name fits back in the field.
    template <class F> static int VolumeField(char* Name, size_t Capacity, F&& Accept) {
        return Guarded([&] {
            std::string name(Name, strnlen(Name, Capacity));
            if (!Accept(name) || name.size() >= Capacity) return 0;
            std::memcpy(Name, name.c_str(), name.size() + 1);
            return 1;
        });
    }

protected:
    // ---- for the extractor's run ----
    // Makes this the extractor the callbacks reach (for the scope of the returned guard).
    struct TCurrentScope {
        explicit TCurrentScope(TUnOutsideLib* U);
        ~TCurrentScope();
        TUnOutsideLib* Saved;
    };

    // The entry about to be handed to the library: its uncompressed size, whether its data
    // are only passed over (a skipped entry), and whether the library writes the file itself.
    void BeginLibraryEntry(int64_t Size, bool Skipped, bool LibraryWrites);
    // Sets the run's progress totals (on the first data of the run).
    virtual void SetRunTotals() {}
    // Counts the entries of volume Name from its own headers: files (not folders) that do
    // not continue from the previous volume go into the totals, with the newest date.
    // Raises what it cannot open or read.
    void CountVolume(const std::string& Name);
    // The format's part of CountVolume: In reads the volume, Size bytes long.
    virtual void CountEntries(THeaderReader& In, int64_t Size, const std::string& Name) = 0;
    // A new volume was opened by the library: its entries are counted (a fault is reported,
    // and left for the library, which finds it too).
    void VolumeOpened(const std::string& Name);
    // The engine's message for a result code of the library, 0 when it has none.
    virtual int ResultMessage(int) const { return 0; }
    // The start of a run: a missing library raises MissingMessage; the totals are counted
    // afresh from the first volume.
    void StartLibraryRun(bool Missing, int MissingMessage);
    // Reports a failed library result against Name: its message (Otherwise when it has
    // none) with Detail.
    void ReportResult(const std::string& Name, int Code, const std::string& Detail,
                      int Otherwise = kMsgReadError);
    // The same, raised: the run ends.
    void RaiseResult(const std::string& Name, int Code, const std::string& Detail,
                     int Otherwise = kMsgOpenError);

    // ---- one entry the library reads ----
    // How an entry was handed to the library to be extracted or tested.
    struct TLibraryOutcome {
        bool Decoded = false; // the library gave all its data back (the CRC-32 is checked here)
        bool GaveUp = false;  // no password opened it: nothing more is extracted
        bool Stop = false;    // the library ended the run
        // The stored CRC-32 and date as the header gives them once the data are through: a
        // file split over volumes has them in its last part's header.
        uint32_t Crc32 = 0;
        uint32_t DosDate = 0;
    };
    // An entry as the library's header gives it, and how the format hands it over.
    struct TLibraryEntry {
        std::string Name;     // as stored, with '/' separators
        uint32_t DosDate = 0; // for the overwrite question
        int64_t Size = 0;     // uncompressed, within what the counters take
        uint32_t Attr = 32;   // for the file
        // Has the library pass over the entry; false ends the run.
        std::function<bool()> Skip;
        // Has the library extract the entry into Dest (a temporary file) or, Dest empty,
        // test it -- passwords asked for as the format does -- and reports a failure other
        // than the data's check.
        std::function<TLibraryOutcome(const std::string& Dest)> Process;
    };
    // The password loop of an encrypted entry around a library that decides itself whether
    // a password opens it. Run hands the library Password and processes the entry once,
    // answering the library's result (Ok for success, BadPassword for a refused password).
    // Without OnGetPassword or with PasswordAttempts 0 the entry is run once as it is.
    // Otherwise up to PasswordAttempts tries: with Password empty OnGetPassword is asked
    // (declined: no more tries; an empty answer fails the try), a refused password is
    // cleared, and one typed in that opens the entry goes first in Passwords. AtHandFirst
    // runs the password at hand (even none) once before the tries and outside their count:
    // a library that cannot decrypt at all says so at once instead of after questions it
    // could never use. Restart, when set, gives the library the entry afresh before every
    // run but the first (false: no more tries). GaveUp: no password opened the entry.
    struct TPasswordRun {
        int Ok = 0, BadPassword = 0;
        bool AtHandFirst = false;
        std::function<int()> Run;
        std::function<bool()> Restart;
    };
    int RunWithPasswords(const std::string& Name, bool EntryEncrypted, const TPasswordRun& P, bool& GaveUp);

    // One entry chosen by FileSpec, from the overwrite question to OnEnd, the same for
    // every library: BeginFile, the output (a temporary file the library writes, or the
    // block writer's), Process, the CRC-32 check, the output put in place or removed, and
    // EndEntry. An entry that is not written is passed over with Skip. False ends the run.
    bool LibraryEntry(const TLibraryEntry& E);

    // The output of an entry the library writes itself (operation extract): a new named
    // temporary file in the target's folder (folders made as needed, none of them a link),
    // for the library to write. False, with the reason kept for OutputFailed, when it cannot
    // be made.
    bool CreateLibraryOutput(const std::string& Target, std::string& TempPath);
    // Puts the library's temporary file in place when Passed (mode, date, attributes as the
    // extractor base gives them), else removes it. True when the entry is in place.
    bool FinishLibraryOutput(const std::string& TempPath, const std::string& Target, uint32_t Attr,
                             uint32_t DosDate, bool Passed);
    // Removes a temporary file still waiting (the run ends early).
    void DropLibraryOutput();

    // Has the library process the current entry through Run (its result answered) with the
    // data handed back kept in Data instead of checked or written anywhere: more than Max
    // bytes stop the library. For entries whose data are not a file's contents (a symbolic
    // link's target).
    int CaptureLibraryData(std::string& Data, size_t Max, const std::function<int()>& Run);

    // The CRC-32 register of the entry, as kept over the data handed back.
    uint32_t EntryCrc();
    // CRC_PASS: the register equals Expected, or its complement does.
    bool CrcPasses(uint32_t Expected);

    // For the block writer when no file is written (stream, memory, test).
    int FOut = -1;
    std::unique_ptr<TStream> FOutStream;
    bool FFirstData = true;

private:
    static void KeepPending(std::exception_ptr E);

    int64_t FEntrySize = 0, FEntryDone = 0;
    bool FEntrySkipped = false;
    bool FLibraryWrites = false;
    std::string* FCapture = nullptr; // CaptureLibraryData's buffer while it runs
    size_t FCaptureMax = 0;
    std::string FLibTemp;
    int FLibTicket = -1;
};
