// TUnBH: extracts or tests BH archives and their self-extracting forms: entries stored
// (method 0), Fuse-coded (method 1, the static-Huffman decoder with the -lh5- settings)
// or deflated (methods 2 and 8), plain or with traditional zip encryption.
#pragma once
#include <cstdint>
#include <string>

#include "archive/format/aeBhHeaders.h"
#include "archive/aeUnBase.h"

class TUnBH : public TUnBase {
public:
    TUnBH() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    struct TBhChosen {
        int64_t Offset = 0; // of its header
        int64_t PackedSize = 0;
    };
    void Scan(int Handle);
    // False when the run must end.
    bool ExtractEntry(int Handle, const TBhChosen& Entry);
    bool DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::BhHeader& H,
                    const std::string& Name);
};
