// The one place that knows which extractor reads which archive type; the application and
// the harness both create their extractors here.
#pragma once
#include <memory>

#include "archive/aeMain.h"

class TUnBase;

// A new extractor for archives of type Type, or nullptr when the type has none (yet).
std::unique_ptr<TUnBase> CreateExtractor(TArcType Type);
// Whether CreateExtractor gives one for Type.
bool HasExtractor(TArcType Type);
