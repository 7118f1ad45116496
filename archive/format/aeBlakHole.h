// TBlakHole: writes BH archives on the writer base's temporary-archive road: per file a
// 37-byte header, the name ('/' between folders), an optional 12-byte encryption header and
// the data -- stored (method 0), "Fuse" coded by the LZH encoder (method 1) or deflated
// (method 8). Data the encoder cannot make smaller are stored, behind a fresh encryption
// header when the entry is encrypted. Empty files are never encrypted.
//
// An encrypted entry reads its source twice (the encryption header carries the CRC): a read
// failure, or a second pass whose CRC differs from the first, fails that entry. A file of
// 4 GiB or more fails with a message naming it.
//
// A name is written in code page 437 where it reads back exactly, else as UTF-8 (the format
// has no flag for it; the readers here take valid UTF-8 as UTF-8, and no other Linux tool
// reads BH archives).
//
// Existing entries are walked header by header; a missing signature or a length that runs
// past the archive leaves the archive as it was (25110).
#pragma once
#include "archive/aeCompBase.h"
#include "archive/format/aeBhHeaders.h"
#include "archive/aeUnHelpers.h"

#include <cstdint>
#include <optional>
#include <string>

class TBlakHole : public TCompBase {
public:
    TBlakHole();

    void SetArcType(TArcType Value) override;
    platform::EncodedName EncodeName(const std::string& Stored) const override;
    int LocalHeaderLength() override { return 37; }
    bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) override;
    bool ReadHeader(std::string& Name, int Handle, bool Flag) override;
    void ScanExisting(int ArchiveHandle) override;
    void WriteDirectory() override;

private:
    struct TEntryAt {
        aehdr::BhHeader Parsed;
        std::vector<uint8_t> Raw; // the fixed header as stored
        uint64_t Length = 0;      // header, name, data and comment
        std::string Name;
    };
    // The entry at Offset; nothing when its header is damaged or it runs past Size.
    static std::optional<TEntryAt> readEntry(THeaderReader& Reader, uint64_t Offset, uint64_t Size);
    // The properties OnRead reports, from an entry's header.
    void setEntryProperties(const aehdr::BhHeader& H);
};
