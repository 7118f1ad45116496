// TGZip: compresses files into gzip files (RFC 1952), one output per input file. Its run is
// its own: every input becomes a separate output in the folder of ArchiveFile, named after the
// input with DefaultExt appended (readme.txt -> readme.txt.gz).
//
// Each output is written to a temporary file in the output folder and renamed over its name
// only when complete: a failed or cancelled file leaves any existing output as it was, and a
// move deletes an input only after its output is in place.
//
// The member: header with method 8 always (an input the encoder would only store goes out as
// deflate stored blocks), FNAME with the input's base name (RFC 1952 allows no folders), MTIME
// the Unix seconds of the date (0 when they do not fit 32 bits), then the deflate data, the
// CRC-32 and the size modulo 2^32. An empty input still gives a complete member.
#pragma once
#include "archive/aeCompBase.h"

#include <cstdint>
#include <set>
#include <string>

class TGZip : public TCompBase {
public:
    TGZip();

    // Pins atGZip; an ArchiveFile whose extension differs from DefaultExt gets it appended.
    void SetArcType(TArcType Value) override;
    void Run() override;

    // What one member held, for the entry report.
    struct TMemberInfo {
        uint32_t Crc = 0;
        int64_t Size = 0;       // input bytes
        int64_t Compressed = 0; // deflate bytes (between the header and the trailer)
    };
    // Writes one complete member of the next Size bytes of Source at Dest's position (Dest
    // open for reading and writing). Raises 25136 on a short write, 25236 when the source
    // ends early or cannot be read, 25449 when cancelled.
    TMemberInfo WriteMember(int Source, int64_t Size, int Dest, const std::string& StoredName, int64_t MTime);
    // Writes a member into a new temporary file beside Output and renames it over Output once
    // complete (Output's date := MTime; an existing Output's permissions are kept). Raises as
    // WriteMember, and 25235 when the temporary file cannot be made; Output stays as it was.
    TMemberInfo WriteGzipFile(int Source, int64_t Size, const std::string& Output,
                              const std::string& StoredName, int64_t MTime);

private:
    struct TInput {
        std::string Path;
        uint32_t DosDate = 0;
    };
    void compressAll();
    void collect(std::vector<TInput>& Inputs);
    // The files of Folder that Mask matches, and with RecurseDirs those of its sub-folders.
    void collectIn(const std::string& Folder, const std::string& Mask, std::vector<TInput>& Inputs,
                   std::set<std::string>& Seen);
    // Whether the existing output may be replaced (OnFileExists, OnNonWriteableArchive);
    // raises 25136 when an output the user unlocked cannot be made writeable. An output this
    // run wrote from another input is asked about too, and without OnFileExists kept.
    bool mayReplace(const std::string& Output, const std::string& Input);
    std::set<std::string> FWritten; // the outputs this run has written
    void reportEntry(const std::string& StoredName, int64_t MTime, const TMemberInfo& Info);
};
