// TUnRAR: extracts or tests RAR archives (up to version 4, volume sets included) through
// "unrar.dll". The entries are counted from the archive's own headers first; then the
// library reads each header, and each entry is skipped, tested or extracted by it under a
// temporary name beside the target. The CRC-32 of the data the library hands back decides
// whether the entry passed. Entries made on Unix carry mode bits in their attributes: files
// end with attribute 32, folders with 16. Encrypted entries ask for a password (the
// extractor's password loop); one the library cannot decode is reported as not supported.
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
    void VolumeOpened(const std::string& Name) override;

private:
    // Counts the entries of one volume from its own headers: files (not folders) that do
    // not continue from the previous volume, their sizes and newest date.
    void CountVolume(const std::string& Name);
    // One entry the library has just read the header of; false ends the run.
    bool ProcessEntry(void* Arc, const TRarHeaderData& H);
    // Hands the entry to the library once (operation and names by the write mode); the
    // library's result.
    int RunLibrary(void* Arc, int Operation, const std::string& Dest);

    int FCounted = 0;
};
