// The UU- and XX-encoded files: one entry, its size counted from the line lengths: the directory walk the
// lister runs and the names of the format's methods.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeMain.h"

class TFormatWalk;
class TZipCommon;

std::unique_ptr<TFormatWalk> NewUueWalk(TArcType Type);

// Detection: a line starting "begin " in the first 5000 bytes (ArcStart 1).
bool FindUueBegin(TArcDetector& D);
bool UueBeginStep(TArcDetector& D);
