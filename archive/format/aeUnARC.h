// TUnARC: extracts or tests ARC archives (and their self-extracting forms) with the PAK
// folder records: stored (methods 1 and 2), packed (3), squeezed (4), crunched with the
// old and new hash (5, 6, 7), dynamic crunch (8) and squash (9). The header layout lives
// in aeHeaders.h, the decoders in aeRle90, aeSqueeze and aeLzwDecode.
//
// An entry passes only when its size and CRC-16 both match; an entry that fails (damaged
// data, an unknown method, a name that would leave the target folder) is reported and the
// run goes on with the next one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/format/aeArcHeaders.h"
#include "archive/aeUnBase.h"

class TUnARC : public TUnBase {
public:
    TUnARC() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    // A chosen entry as the scan records it.
    struct TArcChosen {
        int64_t Offset = 0; // of its header
        size_t Name = 0;    // in FNames
    };
    // The chosen entries' names (folder path + name, as listed): the folder records that
    // make them are behind the entry's own header.
    std::vector<std::string> FNames;

    void Scan(int Handle);
    void ExtractEntry(int Handle, const TArcChosen& Entry);
    // Decodes the entry's data from the handle's position; false when it could not deliver
    // exactly the header's size (already reported).
    bool DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::ArcHeader& H);
};
