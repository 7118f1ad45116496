// The ARJ archives and their volumes: the directory walk the lister runs and the names of the format's
// methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewArjWalk(TArcType Type);
std::string ArjMethods(const TZipCommon& C, int Code, uint32_t Flags);
