#include "archive/aeFormats.h"

#include <initializer_list>
#include <utility>

#include "archive/aeBase.h"
#include "archive/format/aeBlakHole.h"
#include "archive/aeCompBase.h"
#include "archive/format/aeGZip.h"
#include "archive/format/aeLha.h"
#include "archive/format/aeTar.h"
#include "archive/format/aeUUDecode.h"
#include "archive/format/aeUUEncode.h"
#include "archive/format/aeUnARC.h"
#include "archive/format/aeUnARJ.h"
#include "archive/format/aeUnBH.h"
#include "archive/format/aeMakeCab.h"
#include "archive/format/aeUnACE.h"
#include "archive/format/aeUnCAB.h"
#include "archive/format/aeUnGZIP.h"
#include "archive/format/aeUnLHA.h"
#include "archive/format/aeUnRAR.h"
#include "archive/format/aeUnTAR.h"
#include "archive/format/aeUnZIP.h"
#include "archive/format/aeUnZOO.h"
#include "archive/format/aeZipIT.h"
#include "archive/format/aeAceWalk.h"
#include "archive/format/aeArcWalk.h"
#include "archive/format/aeArjWalk.h"
#include "archive/format/aeBhWalk.h"
#include "archive/format/aeCabWalk.h"
#include "archive/format/aeGzipWalk.h"
#include "archive/format/aeHaWalk.h"
#include "archive/format/aeLhaWalk.h"
#include "archive/format/aeMsgzWalk.h"
#include "archive/format/aeRarWalk.h"
#include "archive/format/aeTarWalk.h"
#include "archive/format/aeUueWalk.h"
#include "archive/format/aeZipWalk.h"
#include "archive/format/aeZooWalk.h"

namespace {

template <class T> std::unique_ptr<TUnBase> NewUn(TArcType) {
    return std::make_unique<T>();
}
template <class T> std::unique_ptr<TCompBase> NewWr(TArcType) {
    return std::make_unique<T>();
}

// ---- extractors and writers that need more than a plain construction ----

std::unique_ptr<TUnBase> NewGzipExtractor(TArcType) {
    // A .tar.gz unpacks its tar in the same run.
    auto g = std::make_unique<TUnGZIP>();
    g->UseOwnTar();
    return g;
}

std::vector<TFormatRow> MakeRows() {
    std::vector<TFormatRow> r;
    auto add = [&](TFormatRow row) { r.push_back(row); };
    // clang-format off
    //   name    types                                                walk            method names  extractor           writer
    add({"zip",  ArcBit(atZip) | ArcBit(atZipExe) | ArcBit(atZipMV),   NewZipWalk,     ZipMethods,   NewUn<TUnZIP>,      NewWr<TZip>});
    add({"jar",  ArcBit(atJar) | ArcBit(atJarExe),                     NewZipWalk,     ZipMethods,   NewUn<TUnJar>,      NewWr<TJar>});
    add({"gzip", ArcBit(atGZip),                                       NewGzipWalk,    GzipMethods,  NewGzipExtractor,   NewWr<TGZip>});
    add({"tar",  ArcBit(atTar),                                        NewTarWalk,     TarMethods,   NewUn<TUnTAR>,      NewWr<TTar>});
    add({"lha",  ArcBit(atLha) | ArcBit(atLhaExe) | ArcBit(atLzh) | ArcBit(atLzhExe),
                                                                       NewLhaWalk,     LhaMethods,   NewUn<TUnLHA>,      NewWr<TLha>});
    add({"arj",  ArcBit(atArj) | ArcBit(atArjExe),                     NewArjWalk,     ArjMethods,   NewUn<TUnARJ>,      nullptr});
    add({"rar",  ArcBit(atRar) | ArcBit(atRarExe),                     NewRarWalk,     RarMethods,   NewUn<TUnRAR>,      nullptr});
    add({"ace",  ArcBit(atACE) | ArcBit(atAceExe),                     NewAceWalk,     AceMethods,   NewUn<TUnACE>,      nullptr});
    add({"cab",  ArcBit(atCab),                                        NewCabWalk,     CabMethods,   NewUn<TUnCAB>,      NewWr<TMakeCAB>});
    add({"zoo",  ArcBit(atZoo),                                        NewZooWalk,     ZooMethods,   NewUn<TUnZOO>,      nullptr});
    add({"ha",   ArcBit(atHa),                                         NewHaWalk,      HaMethods,    nullptr,            nullptr});
    add({"arc",  ArcBit(atArc) | ArcBit(atArcExe),                     NewArcWalk,     ArcMethods,   NewUn<TUnARC>,      nullptr});
    add({"pak",  ArcBit(atPak) | ArcBit(atPakExe),                     NewArcWalk,     PakMethods,   nullptr,            nullptr});
    add({"bh",   ArcBit(atBh) | ArcBit(atBhExe),                       NewBhWalk,      BhMethods,    NewUn<TUnBH>,       NewWr<TBlakHole>});
    add({"msgz", ArcBit(atMsGZ),                                       NewMsgzWalk,    nullptr,      nullptr,            nullptr});
    add({"uue",  ArcBit(atUue),                                        NewUueWalk,     nullptr,      NewUn<TUUDecode>,   NewWr<TUUEncode>});
    // clang-format on
    return r;
}

} // namespace

const char* const kUnsupportedMethod = "Unsupported";

std::string PickMethodName(int Code, std::initializer_list<std::pair<int, const char*>> Table,
                           const char* Other) {
    for (const auto& [c, n] : Table)
        if (c == Code) return n;
    return Other;
}

const std::vector<TFormatRow>& Formats() {
    static const std::vector<TFormatRow> rows = MakeRows();
    return rows;
}

const TFormatRow* FindFormat(TArcType Type) {
    for (const TFormatRow& f : Formats())
        if (InArcTypes(f.Types, Type)) return &f;
    return nullptr;
}

std::unique_ptr<TCompBase> CreateWriter(TArcType Type) {
    const TFormatRow* f = FindFormat(Type);
    return f && f->NewWriter ? f->NewWriter(Type) : nullptr;
}
