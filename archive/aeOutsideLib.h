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
#include <memory>
#include <string>

#include "archive/aeUnBase.h"

namespace platform {
class DynLib;
}

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
    // A new volume was opened by the library: its entries are counted.
    virtual void VolumeOpened(const std::string&) {}

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

    // The CRC-32 register of the entry, as kept over the data handed back.
    uint32_t EntryCrc();
    // CRC_PASS: the register equals Expected, or its complement does.
    bool CrcPasses(uint32_t Expected);

    // For the block writer when no file is written (stream, memory, test).
    int FOut = -1;
    std::unique_ptr<TStream> FOutStream;
    bool FFirstData = true;

private:
    int64_t FEntrySize = 0, FEntryDone = 0;
    bool FEntrySkipped = false;
    bool FLibraryWrites = false;
    std::string FLibTemp;
    int FLibTicket = -1;
};
