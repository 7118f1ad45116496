#include "archive/aeExtractors.h"

#include "archive/aeUnARC.h"
#include "archive/aeUnARJ.h"
#include "archive/aeUnBH.h"
#include "archive/aeUnGZIP.h"
#include "archive/aeUnLHA.h"
#include "archive/aeUnTAR.h"
#include "archive/aeUnZIP.h"
#include "archive/aeUnZOO.h"
#include "archive/aeUUDecode.h"

std::unique_ptr<TUnBase> CreateExtractor(TArcType Type) {
    switch (Type) {
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe:
        return std::make_unique<TUnLHA>();
    case atArc:
    case atArcExe:
        return std::make_unique<TUnARC>();
    case atArj:
    case atArjExe:
        return std::make_unique<TUnARJ>();
    case atZip:
    case atZipExe:
    case atZipMV:
        return std::make_unique<TUnZIP>();
    case atJar:
    case atJarExe:
        return std::make_unique<TUnJar>();
    case atGZip: {
        // A .tar.gz unpacks its tar in the same run.
        auto g = std::make_unique<TUnGZIP>();
        g->UseOwnTar();
        return g;
    }
    case atTar:
        return std::make_unique<TUnTAR>();
    case atZoo:
        return std::make_unique<TUnZOO>();
    case atUue:
        return std::make_unique<TUUDecode>();
    case atBh:
    case atBhExe:
        return std::make_unique<TUnBH>();
    default:
        return nullptr;
    }
}

bool HasExtractor(TArcType Type) {
    return CreateExtractor(Type) != nullptr;
}
