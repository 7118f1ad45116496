// The BH (BlakHole) archives: the directory walk the lister runs and the names of the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewBhWalk(TArcType Type);
std::string BhMethods(const TZipCommon& C, int Code, uint32_t Flags);

// The scan's mark: a header signature not followed by the self-extractor's own copy of it.
int64_t BhScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
