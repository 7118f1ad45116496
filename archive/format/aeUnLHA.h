// TUnLHA: extracts or tests LHA/LZH archives and their self-extracting forms. Header
// levels 0, 1 and 2 with their extended headers (the layouts live in aeHeaders.h);
// methods -lh0- (stored), -lh1- (adaptive Huffman), -lh4-, -lh5- and -lh6- (static
// Huffman). Folder entries (-lhd-) produce no file; any other method is reported as
// unsupported and its entry fails.
#pragma once
#include <cstdint>
#include <string>

#include "archive/format/aeLhaHeaders.h"
#include "archive/aeUnBase.h"

class TUnLHA : public TUnBase {
public:
    TUnLHA() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    // A chosen entry as the scan records it.
    struct TLhaChosen {
        int64_t Offset;     // of its header
        int64_t PackedSize; // of its data
        int64_t Size;       // uncompressed
    };
    void Scan(int Handle);
    void ExtractEntry(int Handle, const TLhaChosen& Entry);
    // Decodes the entry's data from the handle's position to the output; false when the
    // decoder could not deliver every byte (already reported).
    bool DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::LhaHeader& H);
};

// The entry's name as shown and matched: folder + name, 0xFF separators and zero bytes
// mended, decoded from the archive's character set (UTF-8 kept as it is).
std::string LhaEntryName(const aehdr::LhaHeader& H);
