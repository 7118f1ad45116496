// TUUEncode: turns one file (ArchiveFile) into UU- or XX-encoded text (OutFilename),
// optionally split into numbered part files of KBytesPerVolume kilobytes each. A writer
// component whose main operation (Compress) is its own.
//
// Safety: every part is written to a temporary file beside its target and renamed onto it
// only when the whole encoding succeeded; a failure or a cancel leaves every existing file
// as it was. More than 999 parts (their names would repeat) is refused before anything is
// written. The input file and its name are never changed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/aeCompBase.h"

class TUUEncode : public TCompBase {
public:
    TUUEncode();

    // Encodes ArchiveFile into OutFilename and its parts; the number of files written (0
    // when skipped or failed). Failures are reported through OnError and OnEnd(False); they
    // never reach the caller.
    int Compress();

    // The input file, kept as given (no extension is added); ArcType atUue while it is set.
    void SetArchiveFile(const std::string& Value) override;
    void SetArcType(TArcType Value) override;
    const std::string& OutFilename() const { return FOutFilename; }
    // A value without "." gets DefaultExt appended; one that is then just "." clears it.
    void SetOutFilename(const std::string& Value);
    int KBytesPerVolume = 0; // 0: one file
    bool WriteTableToFile = false;

    // The files the last run wrote, in order.
    const std::vector<std::string>& WrittenFiles() const { return FWritten; }

protected:
    void Run() override;

private:
    void Encode();
    std::string FOutFilename;
    std::vector<std::string> FWritten;
};
