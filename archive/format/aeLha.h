// TLha: writes LHA archives with level-0 headers on the writer base's temporary-archive
// road: per file the header (size byte, checksum, method id, sizes, DOS time, attribute,
// level, name, CRC-16), then the data stored (-lh0-) or coded by the LZH encoder (-lh5-,
// -lh6-). Data that the encoder cannot make smaller are stored from the entry's data start.
//
// Names are written with '\' between folders, which the LHA tools all turn into folders, and
// a non-ASCII name as UTF-8: lhasa, 7zz, bsdtar and unar extract it under its own name (and
// jlha with its lha.encoding set to UTF-8; by default it reads ISO-8859-1), whereas all of
// them read a name in code page 437 as something else. A name longer than 233 bytes (the header size
// is one byte) or a file of 4 GiB or more fails that file with a message naming it.
//
// Existing entries of any header level (0, 1, 2) are walked with the shared header reader and
// copied whole, extended headers included. A header that runs past the archive's end or
// whose checksum is wrong leaves the archive as it was (25110): what follows it would be lost.
#pragma once
#include "archive/aeCompBase.h"

#include <cstdint>
#include <string>

class TLha : public TCompBase {
public:
    TLha();

    void SetArcType(TArcType Value) override;
    platform::EncodedName EncodeName(const std::string& Stored) const override;
    int LocalHeaderLength() override { return 24; }
    bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) override;
    bool ReadHeader(std::string& Name, int Handle, bool Flag) override;
    void ScanExisting(int ArchiveHandle) override;
    void WriteDirectory() override;

    // The longest stored name a level-0 header holds.
    static constexpr size_t kMaxNameLength = 233;
    // The header of a new entry: 22 bytes, the name and the CRC, with the checksum filled in.
    static std::vector<uint8_t> FormatHeader(char Method, uint32_t Packed, uint32_t Size, uint32_t DosDate,
                                             uint8_t Attr, const std::string& RawName, uint16_t Crc);
};
