// TUnACE: extracts or tests ACE archives (volume sets included) through "unace.dll". The
// entries are counted from the archive's own headers first; then the library reads each
// header, and each entry is skipped, tested or extracted by it -- extracted under a temporary
// name beside the target that takes the target's place only when the entry passed. The
// CRC-32 of the data the library hands back decides whether an entry passed. Entries the
// library cannot decode (ACE 2.0 methods, encryption) are reported with its reason, naming
// the entry, and the run goes on.
#pragma once
#include <cstdint>
#include <string>

#include "archive/aeOutsideLib.h"
#include "archive/format/aeAceDll.h"

// unace.dll, loaded at first use; when it is missing every entry point fails and Missing
// is set.
struct TAceLibrary {
    bool Missing = true;
    TACEOpenArchive ACEOpenArchive = nullptr;
    TACECloseArchive ACECloseArchive = nullptr;
    TACEReadHeader ACEReadHeader = nullptr;
    TACEProcessFile ACEProcessFile = nullptr;
    TACESetPassword ACESetPassword = nullptr;
};
const TAceLibrary& AceLibrary();
// Loads the library (again); false when it is missing. UnloadAceLibrary releases it.
bool LoadAceLibrary();
void UnloadAceLibrary();

// The engine's message for a result code of the library (0 for 0 and unknown codes).
int AceResultMessage(int Code);

class TUnACE : public TUnOutsideLib {
public:
    TUnACE();
    ~TUnACE() override;

    // The volume callback as the library reaches it: only with OnNextVolume assigned is the
    // next volume asked for (and, accepted, counted); false stops the library.
    bool AceVolume(std::string& Name);

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;
    void CountEntries(THeaderReader& In, int64_t Size, const std::string& Name) override;
    int ResultMessage(int Code) const override { return AceResultMessage(Code); }

private:
    // Opens the archive in the library (the first volume); raises the mapped error.
    void* OpenLibrary();
    // One entry whose header the library has just read; false ends the run.
    bool ProcessEntry(void*& Arc, const TAceHeaderData& H, int Index);
    // Has the library extract entry Index into Dest (test it when Dest is empty), asking for
    // passwords while it says the one given is wrong.
    TLibraryOutcome ExtractOrTest(void*& Arc, const TAceHeaderData& H, int Index, const std::string& Name,
                                  const std::string& Dest);
    int RunLibrary(void* Arc, int Operation, const std::string& Dest);
    // Closes and opens the archive again and reads up to the header of entry Index (a
    // password retry starts the entry afresh); false when it cannot.
    bool Reopen(void*& Arc, int Index);

    char FMessage[512] = {};
    std::string FFirstVolume;
};
