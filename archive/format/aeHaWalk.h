// The HA archives: the directory walk the lister runs and the names of the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewHaWalk(TArcType Type);
std::string HaMethods(const TZipCommon& C, int Code, uint32_t Flags);
