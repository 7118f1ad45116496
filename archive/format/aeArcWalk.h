// The ARC and PAK archives (ARC folders included): the directory walk the lister runs and the names of the
// format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewArcWalk(TArcType Type);
std::string ArcMethods(const TZipCommon& C, int Code, uint32_t Flags);
std::string PakMethods(const TZipCommon& C, int Code, uint32_t Flags);

// The methods that begin an archive of the family: ARC's (1..9, and its information and
// folder records 20..31) for atArc, PAK's own (10, 11) for atPak.
std::vector<int> ArcFamilyMethods(TArcType Type);
// Detection: an answer of the family stands only when the first header is plausible (a
// zero-ended name within its 13 bytes, data within the file); otherwise it is unknown.
bool ArcHeaderStep(TArcDetector& D);
// Detection: an ARC self-extractor whose archive stands at a fixed place in the program.
TArcType ArcFixedSfxSignature(TArcDetector& D, int Mode);
