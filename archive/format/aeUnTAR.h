// TUnTAR: extracts or tests tar archives (512-byte headers, data padded to whole blocks):
// v7, POSIX ustar (the name prefix) and GNU (long-name records), pax path records. Regular
// members become files; folders are created (empty ones kept), never written as files. A
// symbolic link is made only when it points inside the extraction folder, and a hard link
// only to a member already extracted there -- any other link is passed over with a
// message, never written as a file. A header whose checksum fails is reported and passed
// over; a member whose data run past the end of the archive fails.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/aeUnBase.h"

class TUnTAR : public TUnBase {
public:
    TUnTAR() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    struct TTarChosen {
        int64_t Offset = 0;     // of the member's first record (long-name records included)
        int64_t DataOffset = 0; // of its data
        int64_t Size = 0;
    };
    void Scan(int Handle);
    void ExtractEntry(int Handle, const TTarChosen& Entry);
    bool MakeLink(const std::string& Output, const std::string& Name, char Type, const std::string& Target);
};

// The archive name that a link stored in entry Name reaches: a symbolic link's ('2')
// Target is relative to Name's folder (absolute targets are refused), a hard link's ('1')
// is an archive name. Resolved by name; std::nullopt when it would lead out of the
// extraction folder.
std::optional<std::string> LinkDestination(const std::string& Name, char Type, const std::string& Target);

// Makes the link of one entry at Output (a symbolic link to Target as stored, or for Type
// '1' a hard link to the file Target), replacing what is there. Refused when a folder on
// the way below ExtractDir is a symlink. False (reported) when it cannot be made.
bool MakeEntryLink(TUnBase& Ex, const std::string& Output, char Type, const std::string& Target);

// A symbolic-link entry Name whose data are Target (as stored): made at Output when it cannot
// lead out of the extraction folder and the run writes files; otherwise nothing is made, and
// a link that would lead outside is reported (false).
bool MakeSymlinkEntry(TUnBase& Ex, const std::string& Name, const std::string& Target,
                      const std::string& Output);

// Creates the folder of a folder entry (Path from OutputPathFor) when writing files, so that
// empty folders are kept; nothing when a folder on the way below ExtractDir is a symlink.
void MakeEntryFolder(TUnBase& Ex, const std::string& Path);
