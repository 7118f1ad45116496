// The ARC and PAK archives (ARC folders included): the directory walk the lister runs and the names of the
// format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewArcWalk(TArcType Type);
std::string ArcMethods(const TZipCommon& C, int Code, uint32_t Flags);
std::string PakMethods(const TZipCommon& C, int Code, uint32_t Flags);

// Detection: an ARC self-extractor whose archive stands at a fixed place in the program.
TArcType ArcFixedSfxSignature(TArcDetector& D, int Mode);
