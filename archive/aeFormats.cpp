#include "archive/aeFormats.h"

#include <initializer_list>
#include <utility>

#include "archive/aeArcLister.h"
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
#include "archive/format/aeUnGZIP.h"
#include "archive/format/aeUnLHA.h"
#include "archive/format/aeUnTAR.h"
#include "archive/format/aeUnZIP.h"
#include "archive/format/aeUnZOO.h"
#include "archive/format/aeZipIT.h"

namespace {

const char* const kUnsupported = "Unsupported";

std::string Pick(int Code, std::initializer_list<std::pair<int, const char*>> Table, const char* Other) {
    for (const auto& [c, n] : Table)
        if (c == Code) return n;
    return Other;
}

template <class T> std::unique_ptr<TUnBase> NewUn(TArcType) {
    return std::make_unique<T>();
}
template <class T> std::unique_ptr<TCompBase> NewWr(TArcType) {
    return std::make_unique<T>();
}

// ---- method names, one function per format ----

std::string AceMethods(const TZipCommon&, int Code, uint32_t) {
    return Pick(Code, {{0, "Fastest"}, {1, "Fast"}, {2, "Normal"}, {3, "Good"}, {4, "Best"}, {5, "Lzw"}},
                kUnsupported);
}

std::string ArcMethods(const TZipCommon& C, int Code, uint32_t) {
    return Pick(Code,
                {{1, "Stored"},
                 {2, "Stored"},
                 {3, "Packed"},
                 {4, "Squeezed"},
                 {5, "crunched"},
                 {6, "crunched"},
                 {7, "crunched"},
                 {8, "Crunched"},
                 {9, "Squashed"},
                 {10, "Pack10"},
                 {11, "Pack11"},
                 {12, "Pack12"}},
                C.EntryTypeByte == 30 ? "Dir" : kUnsupported);
}

std::string PakMethods(const TZipCommon&, int Code, uint32_t) {
    return Pick(Code,
                {{1, "Stored"},
                 {2, "Stored"},
                 {3, "RLE"},
                 {4, "Squeezed"},
                 {5, "FIXEDLEN"},
                 {6, "FIXEDLEN"},
                 {7, "FIXEDLEN"},
                 {8, "VARIBLE"},
                 {9, "VARIBLE"},
                 {10, "Crushed"},
                 {11, "Distill"}},
                kUnsupported);
}

std::string ArjMethods(const TZipCommon& C, int Code, uint32_t) {
    return Pick(Code, {{0, "Stored"}, {1, "Most"}, {2, "2nd Most"}, {3, "2nd Fast"}, {4, "Fastest"}},
                C.EntryTypeByte == 3 ? "Dir" : kUnsupported);
}

std::string BhMethods(const TZipCommon&, int Code, uint32_t Flags) {
    if (Code == 8) return TZipCommon::GetDeflateName(Flags);
    return Pick(Code, {{0, "Stored"}, {1, "Fused"}, {2, "Deflate"}}, kUnsupported);
}

std::string CabMethods(const TZipCommon&, int Code, uint32_t) {
    static const char* const names[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
    return (Code & 0xF) <= 3 ? names[Code & 0xF] : kUnsupported;
}

std::string GzipMethods(const TZipCommon& C, int Code, uint32_t) {
    if (Code == 0) return "Stored";
    if (Code == 8) return "Deflate";
    if (Code == 144) return "LzwMAGIC";
    if (C.FirstWord == 0x1E1F) return "PackMAGIC";
    if (C.FirstWord == 0xA01F) return "LzhMAGIC";
    return kUnsupported;
}

std::string HaMethods(const TZipCommon&, int Code, uint32_t) {
    return Pick(Code, {{0, "Cpy"}, {1, "Asc"}, {2, "HSC"}, {14, "Dir"}, {15, "Special"}}, "");
}

std::string ZipMethods(const TZipCommon& C, int Code, uint32_t Flags) {
    if (Code == 8) return TZipCommon::GetDeflateName(Flags);
    // A folder by its DOS attribute: the central record's external attribute (Flags has
    // 0x40 when the entry was read from the central directory), else the local record's.
    return Pick(Code,
                {{0, "Stored"},
                 {1, "Shrunk"},
                 {2, "Reduce-1"},
                 {3, "Reduce-2"},
                 {4, "Reduce-3"},
                 {5, "Reduce-4"},
                 {6, "Imploded"},
                 {7, "Tokened"}},
                ((Flags & 0x40) ? C.ExternalAttr : C.FileAttr) & 0x10 ? "Dir" : kUnsupported);
}

std::string LhaMethods(const TZipCommon&, int Code, uint32_t) {
    // LHA keeps its method as a digit character.
    const int digit = Code >= '0' && Code <= '9' ? Code - '0' : Code;
    if (digit == 0) return "Stored";
    if (digit >= 1 && digit <= 6) return "Frozen-" + std::to_string(digit);
    return kUnsupported;
}

std::string RarMethods(const TZipCommon& C, int Code, uint32_t) {
    static const char* const names[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
    if (Code >= '0' && Code <= '5') return names[Code - '0'];
    return (C.FileAttr & 0x10) ? "Dir" : kUnsupported;
}

std::string TarMethods(const TZipCommon& C, int Code, uint32_t) {
    if (Code == 0) return "Tarred";
    return (!C.FileName.empty() && (C.FileName.back() == '/' || C.FileName.back() == '\\')) ? "Dir"
                                                                                            : kUnsupported;
}

std::string ZooMethods(const TZipCommon&, int Code, uint32_t) {
    return Pick(Code, {{0, "Stored"}, {1, "Fastest"}, {2, "Greatest"}}, kUnsupported);
}

// ---- extractors and writers that need more than a plain construction ----

std::unique_ptr<TUnBase> NewGzipExtractor(TArcType) {
    // A .tar.gz unpacks its tar in the same run.
    auto g = std::make_unique<TUnGZIP>();
    g->UseOwnTar();
    return g;
}

// ---- the walks ----
#define PV_WALK(fn) [](TArcLister& L, int64_t O) { return L.fn(O); }

std::vector<TFormatRow> MakeRows() {
    std::vector<TFormatRow> r;
    auto add = [&](TFormatRow row) { r.push_back(row); };
    // clang-format off
    //   name    types                                                walk: prepare, step                         method names  extractor           writer
    add({"zip",  ArcBit(atZip) | ArcBit(atZipExe) | ArcBit(atZipMV),   PV_WALK(PrepareZip),  PV_WALK(ListZip),     ZipMethods,   NewUn<TUnZIP>,      NewWr<TZip>});
    add({"jar",  ArcBit(atJar) | ArcBit(atJarExe),                     PV_WALK(PrepareZip),  PV_WALK(ListZip),     ZipMethods,   NewUn<TUnJar>,      NewWr<TJar>});
    add({"gzip", ArcBit(atGZip),                                       nullptr,              PV_WALK(ListGzip),    GzipMethods,  NewGzipExtractor,   NewWr<TGZip>});
    add({"tar",  ArcBit(atTar),                                        nullptr,              PV_WALK(ListTar),     TarMethods,   NewUn<TUnTAR>,      NewWr<TTar>});
    add({"lha",  ArcBit(atLha) | ArcBit(atLhaExe) | ArcBit(atLzh) | ArcBit(atLzhExe),
                                                                       PV_WALK(PrepareLha),  PV_WALK(ListLha),     LhaMethods,   NewUn<TUnLHA>,      NewWr<TLha>});
    add({"arj",  ArcBit(atArj) | ArcBit(atArjExe),                     PV_WALK(PrepareArj),  PV_WALK(ListArj),     ArjMethods,   NewUn<TUnARJ>,      nullptr});
    add({"rar",  ArcBit(atRar) | ArcBit(atRarExe),                     PV_WALK(PrepareRar),  PV_WALK(ListRar),     RarMethods,   nullptr,            nullptr});
    add({"ace",  ArcBit(atACE) | ArcBit(atAceExe),                     PV_WALK(PrepareAce),  PV_WALK(ListAce),     AceMethods,   nullptr,            nullptr});
    add({"cab",  ArcBit(atCab),                                        PV_WALK(PrepareCab),  PV_WALK(ListCab),     CabMethods,   nullptr,            nullptr});
    add({"zoo",  ArcBit(atZoo),                                        PV_WALK(PrepareZoo),  PV_WALK(ListZoo),     ZooMethods,   NewUn<TUnZOO>,      nullptr});
    add({"ha",   ArcBit(atHa),                                         PV_WALK(PrepareHa),   PV_WALK(ListHa),      HaMethods,    nullptr,            nullptr});
    add({"arc",  ArcBit(atArc) | ArcBit(atArcExe),                     nullptr,              PV_WALK(ListArc),     ArcMethods,   NewUn<TUnARC>,      nullptr});
    add({"pak",  ArcBit(atPak) | ArcBit(atPakExe),                     nullptr,              PV_WALK(ListArc),     PakMethods,   nullptr,            nullptr});
    add({"bh",   ArcBit(atBh) | ArcBit(atBhExe),                       nullptr,              PV_WALK(ListBh),      BhMethods,    NewUn<TUnBH>,       NewWr<TBlakHole>});
    add({"msgz", ArcBit(atMsGZ),                                       PV_WALK(PrepareMsgz), PV_WALK(ListMsgz),    nullptr,      nullptr,            nullptr});
    add({"uue",  ArcBit(atUue),                                        PV_WALK(PrepareUue),  nullptr,              nullptr,      NewUn<TUUDecode>,   NewWr<TUUEncode>});
    // clang-format on
    return r;
}
#undef PV_WALK

} // namespace

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
