// The Microsoft cabinets and the sets their next-cabinet names chain: the directory walk the lister runs and
// the names of the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewCabWalk(TArcType Type);
std::string CabMethods(const TZipCommon& C, int Code, uint32_t Flags);
