// The ACE archives and their volumes: the directory walk the lister runs and the names of the format's
// methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewAceWalk(TArcType Type);
std::string AceMethods(const TZipCommon& C, int Code, uint32_t Flags);

// The scan's mark: "**ACE**" 7 bytes into a header.
int64_t AceScanProbe(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos);
// Detection of a file that does not start a program: "**ACE**" 7 bytes into it beats what
// the start signature answered.
bool AceMarkStep(TArcDetector& D);
