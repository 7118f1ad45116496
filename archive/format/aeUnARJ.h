// TUnARJ: extracts or tests ARJ archives, their self-extracting forms and multi-volume
// sets: the main header search, header CRCs, methods 0 (stored), 1-3 (static Huffman) and
// 4 (fast), garbled entries, and files split across volumes (each part checked on its own,
// each next volume required to continue the same file). The header layout lives in
// aeHeaders.h.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "archive/format/aeArjHeaders.h"
#include "archive/aeUnBase.h"

class TUnARJ : public TUnBase {
public:
    TUnARJ() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    // A chosen entry as the scan records it.
    struct TArjChosen {
        int64_t Offset; // of its header in the volume being scanned
        uint8_t Flags;
        int64_t PackedSize;
        int64_t Size;
    };
    // A header as read, checked and parsed.
    struct TArjEntry {
        aehdr::ArjHeader H;
        uint8_t PasswordModifier = 0;
        int64_t Offset = 0;     // of the header
        int64_t DataOffset = 0; // of its data
        int64_t End() const { return DataOffset + H.packedSize; }
    };

    // The main header of the first volume, then every volume's chosen entries in turn.
    void ExtractVolumes();
    int64_t FindMainHeader();
    // The header at Offset of the current volume; nothing for the end-of-archive header.
    // A wrong id or size raises 25110, a short read 25236, a CRC mismatch 25237.
    std::optional<TArjEntry> ReadHeader(int64_t Offset);
    // Records the chosen entries of the current volume from Offset on.
    void Scan(int64_t Offset);
    // Opens the next volume and reads its main header: the offset of its first file header,
    // or -1 when no volume follows.
    int64_t NextVolume();
    // Extracts (or tests) one entry: when it was continued into later volumes, the offset in
    // the current volume where its last part ends; otherwise -1.
    int64_t ExtractEntry(const TArjChosen& Chosen);
    // Decodes one part of an entry from its data to the output; false when the decoder
    // could not deliver every byte (already reported).
    bool DecodePart(const TArjEntry& E, int Out, TStream* OutStream);
    std::string VolumeId() const { return std::to_string(FVolumeNumberInUse); }

    int FHandle = -1;    // the volume being read
    int FRunHandle = -1; // the first volume's handle, which the run closes itself
    std::string FVolumeName;
    int FVolumeNumberInUse = 0; // 0 for the first volume
    bool FVolumeFollows = false;
    bool FSpecSatisfied = false; // a FileSpec that names single entries has found them
};

// ARJ for Unix and NeXT store Unix times and Unix modes; the others DOS ones.
bool ArjHostIsUnix(uint8_t HostOs);
