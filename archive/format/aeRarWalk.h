// The RAR archives (up to version 4) and their volumes: the directory walk the lister runs and the names of
// the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeHeaders.h"
#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewRarWalk(TArcType Type);
std::string RarMethods(const TZipCommon& C, int Code, uint32_t Flags);

// The scan's mark: "Rar!".
int64_t RarScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);

// Where a RAR archive's marker block stands: at the start or after a self-extracting program
// (searched within its first 8 MiB); At is -1 when there is none. Rar5 is set when the first
// marker found is that of RAR 5, a format of its own that nothing here reads.
struct TRarMarker {
    int64_t At = -1;
    bool Rar5 = false;
};
TRarMarker FindRarMarker(const aehdr::Fetch& In, int64_t Size);
// What a user is told about a RAR 5 archive.
inline constexpr const char* kRar5NotSupported = "RAR 5 archives are not supported";

// The archive header's CRC holds: over the whole header, or, when an old-style archive
// comment is embedded in it, over its fixed part (and the encryption version byte) only.
bool RarMainHeaderCrcHolds(aehdr::Bytes Header, uint16_t Crc);
// Whether a file block's header CRC holds: over the whole header, or (RAR 1.5 and 2.x, with
// an old-style file comment inside the header) over the header up to the end of the name.
bool RarFileHeaderCrcHolds(aehdr::Bytes Header, uint16_t Crc);

// The name of the volume after Path: with the new numbering ("x.part1.rar", "x.part2.rar",
// ...) the number before the extension goes up, keeping its width; otherwise ".rar" is
// followed by ".r00", ".r01", ... ".r99", ".s00" (the case of the extension kept).
std::string RarNextVolumeName(const std::string& Path, bool NewNumbering);
