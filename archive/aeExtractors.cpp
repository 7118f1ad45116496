#include "archive/aeExtractors.h"

#include "archive/aeFormats.h"
#include "archive/aeUnBase.h"

std::unique_ptr<TUnBase> CreateExtractor(TArcType Type) {
    const TFormatRow* f = FindFormat(Type);
    return f && f->NewExtractor ? f->NewExtractor(Type) : nullptr;
}

bool HasExtractor(TArcType Type) {
    const TFormatRow* f = FindFormat(Type);
    return f && f->NewExtractor;
}
