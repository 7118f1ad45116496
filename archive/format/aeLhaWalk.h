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

// The scan's mark: "-lh?-" 2 bytes into a header.
int64_t LhaScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
