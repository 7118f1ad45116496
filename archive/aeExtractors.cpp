#include "archive/aeExtractors.h"

#include "archive/aeUnARJ.h"
#include "archive/aeUnLHA.h"

std::unique_ptr<TUnBase> CreateExtractor(TArcType Type) {
    switch (Type) {
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
        return std::make_unique<TUnLHA>();
    case atArj:
    case atArjExe:
        return std::make_unique<TUnARJ>();
    default:
        return nullptr;
    }
}

bool HasExtractor(TArcType Type) {
    return CreateExtractor(Type) != nullptr;
}
