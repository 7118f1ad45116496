// TUnRAR: extracts or tests RAR archives (up to version 4, volume sets included) through
// "unrar.dll". The entries are counted from the archive's own headers first; then the
// library reads each header, and each entry is skipped, tested or extracted by it under a
// temporary name beside the target. The CRC-32 of the data the library hands back decides
// whether the entry passed. Entries made on Unix carry mode bits in their attributes: files
// end with attribute 32, folders with 16. Folders are made even when empty; a symbolic link
// is made from the target the library hands back, only where it stays inside the folder.
// Encrypted entries ask for a password (the extractor's password loop) once the library has
// not refused them outright; an entry the library cannot decode is reported as not
// supported, saying why. A RAR 5 archive is refused with one message.
#pragma once
#include <cstdint>
#include <string>

#include "archive/aeOutsideLib.h"
#include "archive/format/aeUnRarDll.h"

// unrar.dll, loaded at first use; when it is missing every entry point fails and Missing
// is set.
struct TRarLibrary {
    bool Missing = true;
    TRAROpenArchive RAROpenArchive = nullptr;
    TRARCloseArchive RARCloseArchive = nullptr;
    TRARReadHeader RARReadHeader = nullptr;
    TRARProcessFile RARProcessFile = nullptr;
    TRARSetChangeVolProc RARSetChangeVolProc = nullptr;
    TRARSetProcessDataProc RARSetProcessDataProc = nullptr;
    TRARSetPassword RARSetPassword = nullptr;
};
const TRarLibrary& RarLibrary();
// Loads the library (again); false when it is missing. UnloadRarLibrary releases it.
bool LoadRarLibrary();
void UnloadRarLibrary();

// The engine's message for a result code of the library (0 for 0 and unknown codes).
int RarResultMessage(int Code);

class TUnRAR : public TUnOutsideLib {
public:
    TUnRAR();
    ~TUnRAR() override;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;
    void CountEntries(THeaderReader& In, int64_t Size, const std::string& Name) override;
    int ResultMessage(int Code) const override { return RarResultMessage(Code); }

private:
    // One entry the library has just read the header of; false ends the run.
    bool ProcessEntry(void* Arc, const TRarHeaderData& H);
    // A symbolic-link entry: the library hands its target back, and the link is made where it
    // stays inside the extraction folder (nothing is made in a test); false ends the run.
    bool ProcessLink(void* Arc, const TRarHeaderData& H, const std::string& Name, const TLibraryEntry& E);
    // Has the library extract the entry into Dest (test it when Dest is empty), asking for
    // passwords while it says the one given is wrong.
    TLibraryOutcome ExtractOrTest(void* Arc, const TRarHeaderData& H, const std::string& Name, int64_t Size,
                                  const std::string& Dest);
    // Hands the entry to the library once (operation and names by the write mode); the
    // library's result.
    int RunLibrary(void* Arc, int Operation, const std::string& Dest);
    // The system's error number the library's last call left (a failed write's reason).
    int FLibraryErrno = 0;
};
