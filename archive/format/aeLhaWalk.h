// The LHA/LZH archives of every header level: the directory walk the lister runs and the names of the
// format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewLhaWalk(TArcType Type);
std::string LhaMethods(const TZipCommon& C, int Code, uint32_t Flags);

// An LHA header's size and checksum bytes may read as another format's first word (a gzip
// or compress magic, "HA", "ZO"), which detection tries before "-l": a level 0 or 1 header
// at the start whose checksum holds is LHA all the same (about one archive in a hundred
// whose first name makes the size byte 0x1F would otherwise open as gzip).
bool LhaHeaderStep(TArcDetector& D);
// The scan's mark: "-lh?-" 2 bytes into a header.
int64_t LhaScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
