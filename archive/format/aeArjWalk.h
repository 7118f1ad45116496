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

// The scan's mark: the header id followed by a non-zero header size.
int64_t ArjScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
// ARJ stubs may leave two bytes between the end of their DOS image and the header.
int ArjImageEndGap(const uint8_t* Tail);
