// The tar archives (ustar, GNU and pax extensions): the directory walk the lister runs and the names of the
// format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewTarWalk(TArcType Type);
std::string TarMethods(const TZipCommon& C, int Code, uint32_t Flags);

// Detection: a first header whose checksum holds (after a volume header: the second one,
// ArcStart 513).
bool IsTarHeader(TArcDetector& D);
bool TarHeaderStep(TArcDetector& D);
