// TUnZOO: extracts or tests ZOO archives: stored entries (method 0), LZW (method 1, see
// aeLzwDecode.h) and LZH (method 2, the static-Huffman decoder with -lh5- settings).
// Entries are named as the lister shows them (folder + long name, else short name);
// deleted entries are passed over. An entry passes only when its size and CRC-16 both
// match; one entry's failure does not end the run.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/format/aeZooHeaders.h"
#include "archive/aeUnBase.h"

class TUnZOO : public TUnBase {
public:
    TUnZOO() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    struct TZooChosen {
        int64_t Offset = 0; // of its directory entry
    };

    void Scan(int Handle);
    void ExtractEntry(int Handle, const TZooChosen& Entry);
    bool DecodeData(int& Handle, int Out, TStream* OutStream, const aehdr::ZooEntry& E);
};

// The name of an entry as listed: folder (with '/' separators and a trailing '/') and the
// long name, or the short name when there is none.
std::string ZooEntryName(const aehdr::ZooEntry& E);
