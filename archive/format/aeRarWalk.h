// The RAR archives (up to version 4) and their volumes: the directory walk the lister runs and the names of
// the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewRarWalk(TArcType Type);
std::string RarMethods(const TZipCommon& C, int Code, uint32_t Flags);

// The scan's mark: "Rar!".
int64_t RarScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
