// DOS date-times live in the shared leaf (common/DosTime.h); the platform layer keeps its
// names for them.
#pragma once
#include "common/DosTime.h"

namespace platform {
using pvcommon::dosDateTimeValid;
using pvcommon::DosFields;
using pvcommon::dosFields;
using pvcommon::dosToUnixLocal;
} // namespace platform
