#include "archive/aeFormats.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "archive/aeBase.h"
#include "archive/format/aeBlakHole.h"
#include "archive/aeCompBase.h"
#include "archive/format/aeArcHeaders.h"
#include "archive/format/aeArjHeaders.h"
#include "common/ZipLayout.h"
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

// Signature shorthands: the whole four bytes, the first word, the second word.
TSignature Whole(uint32_t V, TArcType InProgram, TArcType AtStart) {
    return {V, 0xFFFFFFFF, InProgram, AtStart, srWhole};
}
TSignature FirstWord(uint16_t V, TArcType InProgram, TArcType AtStart, TSignatureRank R = srFirstWord) {
    return {V, 0xFFFF, InProgram, AtStart, R};
}
TSignature NotAtImageEnd(TSignature S) {
    S.AtImageEnd = false;
    return S;
}
TSignature Special(uint32_t V, uint32_t Mask, TSignatureRank R, TArcType (*Decide)(TArcDetector&, int)) {
    return {V, Mask, atUnknown, atUnknown, R, Decide};
}

// The ARC family's start marks: 0x1A and a method. Inside a program only the methods the
// self-extractors of the family begin with are taken (stored and folder records say nothing
// there); at the start of a file every method of the row is, its header checked afterwards.
std::vector<TSignature> ArcFamilySignatures(TArcType AtStart) {
    std::vector<TSignature> v;
    for (int m : ArcFamilyMethods(AtStart)) {
        TArcType inProgram = atUnknown;
        if (m == 2 || m == aehdr::kArcFolder) inProgram = atUnsupported;
        if (m == 8 || m == 9) inProgram = atArcExe;
        if (m == 10 || m == 11) inProgram = atPakExe;
        v.push_back(
            FirstWord(static_cast<uint16_t>(aehdr::kArcMark | m << 8), inProgram, AtStart, srWeakFirstWord));
    }
    if (AtStart == atArc) {
        v.push_back(Special(0x92B7, 0xFFFF, srWeakFirstWord, ArcFixedSfxSignature));
        v.push_back(Special(0xDFB7, 0xFFFF, srWeakFirstWord, ArcFixedSfxSignature));
    }
    return v;
}

std::vector<TFormatRow> MakeRows() {
    std::vector<TFormatRow> r;
    auto add = [&](TFormatRow row) { r.push_back(std::move(row)); };
    // A program's own header never tells a gzip, HA, ZOO, cabinet or ARC 1.x archive inside
    // it apart from data, so those answer atUnsupported there.
    add({.Name = "zip",
         .Types = ArcBit(atZip) | ArcBit(atZipExe) | ArcBit(atZipMV),
         .Extracts = kAllTypes,
         .Writes = ArcBit(atZip),
         .Tests = ArcBit(atZip) | ArcBit(atZipExe),
         // A local header at the end of a DOS image is left to the central directory.
         .Signatures = {Special(0x08074B50, 0xFFFFFFFF, srWhole, ZipSpanMarkerSignature),
                        Special(0x02014B50, 0xFFFFFFFF, srWhole, ZipLaterDiskSignature),
                        Whole(0x34474B50, atNA, atNA),
                        NotAtImageEnd(Whole(pvcommon::zip::kLocalSig, atZipExe, atZip)),
                        FirstWord(0x4B50, atZipExe, atZip)},
         .ScanMarks = {{'P', atZipExe, ZipScanProbe}},
         .DetectSteps = {{doProgramFirst, FindZipAtFixedOffsets},
                         {doProgramDirectory, ZipProgramDirectoryStep},
                         {doPlainAnswer, ZipAnswerStep},
                         {doPlainDrive, ZipSpannedDiskStep},
                         {doPlainLast, ZipEndRecordStep}},
         .ResourceDirFlags = zdLocalHeader, // the entries are read from the local header there
         .HeaderSize = 46,
         .Cipher = ecZipKeys,
         .NewWalk = NewZipWalk,
         .MethodName = ZipMethods,
         .NewExtractor = NewUn<TUnZIP>,
         .NewWriter = NewWr<TZip>});
    add({.Name = "jar",
         .Types = ArcBit(atJar) | ArcBit(atJarExe),
         .Extracts = ArcBit(atJar),
         .Writes = ArcBit(atJar),
         .Tests = kAllTypes,
         .NameRules = {{atZip, ".JAR", atJar}},
         .HeaderSize = 46,
         .Cipher = ecZipKeys,
         .PackerKind = 4,
         .NewWalk = NewZipWalk,
         .MethodName = ZipMethods,
         .NewExtractor = NewUn<TUnJar>,
         .NewWriter = NewWr<TJar>});
    add({.Name = "gzip",
         .Types = ArcBit(atGZip),
         .Extracts = kAllTypes,
         .Writes = kAllTypes,
         .Tests = kAllTypes,
         .Signatures = {FirstWord(0x1E1F, atUnsupported, atGZip), FirstWord(0x2125, atUnsupported, atGZip),
                        FirstWord(0x8B1F, atUnsupported, atGZip), FirstWord(0x9D1F, atUnsupported, atGZip),
                        FirstWord(0x9E1F, atUnsupported, atGZip), FirstWord(0xA01F, atUnsupported, atGZip)},
         .PackerKind = 3,
         .NewWalk = NewGzipWalk,
         .MethodName = GzipMethods,
         .NewExtractor = NewGzipExtractor,
         .NewWriter = NewWr<TGZip>});
    add({.Name = "tar",
         .Types = ArcBit(atTar),
         .Extracts = kAllTypes,
         .Writes = kAllTypes,
         .Tests = kAllTypes,
         .DetectSteps = {{doPlainHeader, TarHeaderStep}},
         .HeaderSize = 512,
         .EntryBlock = 512,
         .PackerKind = 6,
         .NewWalk = NewTarWalk,
         .MethodName = TarMethods,
         .NewExtractor = NewUn<TUnTAR>,
         .NewWriter = NewWr<TTar>});
    add({.Name = "lha",
         .Types = ArcBit(atLha) | ArcBit(atLhaExe) | ArcBit(atLzh) | ArcBit(atLzhExe),
         .Extracts = kAllTypes,
         .Writes = ArcBit(atLha) | ArcBit(atLzh),
         .Tests = kAllTypes,
         // "-l" at bytes 2..3, after the header's size and checksum bytes
         .Signatures = {{0x6C2D0000, 0xFFFF0000, atLhaExe, atLha, srSecondWord}},
         .ScanMarks = {{'-', atLhaExe, LhaScanProbe}},
         .DetectSteps = {{doPlainOverride, LhaHeaderStep}},
         .HeaderSize = 37,
         .PackerKind = 5,
         .CrcDigits = 4,
         .NewWalk = NewLhaWalk,
         .MethodName = LhaMethods,
         .NewExtractor = NewUn<TUnLHA>,
         .NewWriter = NewWr<TLha>});
    add({.Name = "arj",
         .Types = ArcBit(atArj) | ArcBit(atArjExe),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .Signatures = {FirstWord(aehdr::kArjMagic, atArjExe, atArj)},
         .ScanMarks = {{uint8_t(aehdr::kArjMagic), atArjExe, ArjScanProbe}},
         .ImageEndGap = ArjImageEndGap,
         .Cipher = ecXorPassword,
         .Volumes = {.Types = ArcBit(atArj), .Letter = 'a', .DefaultExt = "Arj", .Unnumbered = 1},
         .NewWalk = NewArjWalk,
         .MethodName = ArjMethods,
         .NewExtractor = NewUn<TUnARJ>});
    add({.Name = "rar",
         .Types = ArcBit(atRar) | ArcBit(atRarExe),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .OutsideLibrary = true,
         .Signatures = {Whole(0x21726152, atRarExe, atRar)}, // "Rar!"
         .ScanMarks = {{'R', atRarExe, RarScanProbe}},
         .HeaderSize = 32,
         .Volumes = {.Types = kAllTypes, .Letter = 'q', .DefaultExt = "Rar", .LetterRolls = true},
         .NewWalk = NewRarWalk,
         .MethodName = RarMethods,
         .NewExtractor = NewUn<TUnRAR>});
    // Known by "**ACE**" 7 bytes in, which beats any signature but a zip's.
    add({.Name = "ace",
         .Types = ArcBit(atACE) | ArcBit(atAceExe),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .OutsideLibrary = true,
         .ScanMarks = {{'*', atAceExe, AceScanProbe}},
         .DetectSteps = {{doPlainOverride, AceMarkStep}},
         .Volumes = {.Types = ArcBit(atACE), .Letter = 'C', .DefaultExt = "Ace"},
         .NewWalk = NewAceWalk,
         .MethodName = AceMethods,
         .NewExtractor = NewUn<TUnACE>});
    add({.Name = "cab",
         .Types = ArcBit(atCab),
         .Extracts = kAllTypes,
         .Writes = kAllTypes,
         .OutsideLibrary = true,
         .Signatures = {Whole(0x4643534D, atUnsupported, atCab)}, // "MSCF"
         .HeaderSize = 36,
         .PackerKind = 2,
         .CrcDigits = 0,
         .NewWalk = NewCabWalk,
         .MethodName = CabMethods,
         .NewExtractor = NewUn<TUnCAB>,
         .NewWriter = NewWr<TMakeCAB>});
    add({.Name = "zoo",
         .Types = ArcBit(atZoo),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .Signatures = {FirstWord(0x4F5A, atUnsupported, atZoo)}, // "ZO"
         .NewWalk = NewZooWalk,
         .MethodName = ZooMethods,
         .NewExtractor = NewUn<TUnZOO>});
    add({.Name = "ha",
         .Types = ArcBit(atHa),
         .Signatures = {FirstWord(0x4148, atUnsupported, atHa)}, // "HA"
         .NewWalk = NewHaWalk,
         .MethodName = HaMethods});
    // The ARC family's first byte 0x1A could be an LHA header's size, so "-l" goes first. Any
    // method of the family is taken at the start of a file, and its header is checked there.
    add({.Name = "arc",
         .Types = ArcBit(atArc) | ArcBit(atArcExe),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .Signatures = ArcFamilySignatures(atArc),
         .DetectSteps = {{doPlainAnswer, ArcHeaderStep}},
         .CrcDigits = 4,
         .NewWalk = NewArcWalk,
         .MethodName = ArcMethods,
         .NewExtractor = NewUn<TUnARC>});
    add({.Name = "pak",
         .Types = ArcBit(atPak) | ArcBit(atPakExe),
         .Extracts = kAllTypes,
         .Tests = kAllTypes,
         .Signatures = ArcFamilySignatures(atPak),
         .NewWalk = NewArcWalk,
         .MethodName = PakMethods,
         .NewExtractor = NewUn<TUnARC>});
    add({.Name = "bh",
         .Types = ArcBit(atBh) | ArcBit(atBhExe),
         .Extracts = kAllTypes,
         .Writes = ArcBit(atBh),
         .Tests = kAllTypes,
         .Signatures = {Whole(0x07054842, atBhExe, atBh)}, // "BH" 05 07
         .ScanMarks = {{'B', atBhExe, BhScanProbe}},
         .HeaderSize = 37,
         .Cipher = ecZipKeys,
         .PackerKind = 1,
         .NewWalk = NewBhWalk,
         .MethodName = BhMethods,
         .NewExtractor = NewUn<TUnBH>,
         .NewWriter = NewWr<TBlakHole>});
    add({.Name = "msgz",
         .Types = ArcBit(atMsGZ),
         .Signatures = {Whole(0x8C655D13, atUnsupported, atMsGZ)},
         .NewWalk = NewMsgzWalk});
    // Found by its "begin " line, not by a signature.
    add({.Name = "uue",
         .Types = ArcBit(atUue),
         .Extracts = kAllTypes,
         .Writes = kAllTypes,
         .DetectSteps = {{doPlainText, UueBeginStep}},
         .NewWalk = NewUueWalk,
         .NewExtractor = NewUn<TUUDecode>,
         .NewWriter = NewWr<TUUEncode>});
    return r;
}

// The union over the rows of a capability cell (each limited to its row's types).
TArcTypes RowTypes(TArcTypes TFormatRow::*Cell) {
    TArcTypes t = 0;
    for (const TFormatRow& f : Formats()) t |= f.*Cell & f.Types;
    return t;
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

const TFormatRow& FormatOf(TArcType Type) {
    static const TFormatRow none;
    const TFormatRow* f = FindFormat(Type);
    return f ? *f : none;
}

const std::vector<const TSignature*>& SignaturesByRank() {
    static const std::vector<const TSignature*> sigs = [] {
        std::vector<const TSignature*> v;
        for (const TFormatRow& f : Formats())
            for (const TSignature& g : f.Signatures) v.push_back(&g);
        std::stable_sort(v.begin(), v.end(),
                         [](const TSignature* a, const TSignature* b) { return a->Rank < b->Rank; });
        return v;
    }();
    return sigs;
}

const TSignature* MatchSignature(uint32_t S) {
    for (const TSignature* g : SignaturesByRank())
        if ((S & g->Mask) == g->Value) return g;
    return nullptr;
}

const std::array<std::vector<const TScanMark*>, 256>& ScanMarksByFirstByte() {
    static const std::array<std::vector<const TScanMark*>, 256> marks = [] {
        std::array<std::vector<const TScanMark*>, 256> a;
        for (const TFormatRow& f : Formats())
            for (const TScanMark& m : f.ScanMarks) a[m.First].push_back(&m);
        return a;
    }();
    return marks;
}

TArcTypes RowsOutsideLibraryTypes() {
    static const TArcTypes t = [] {
        TArcTypes v = 0;
        for (const TFormatRow& f : Formats())
            if (f.OutsideLibrary) v |= f.Types;
        return v;
    }();
    return t;
}
TArcTypes RowsExtractableTypes() {
    static const TArcTypes t = RowTypes(&TFormatRow::Extracts);
    return t;
}
TArcTypes RowsWritableTypes() {
    static const TArcTypes t = RowTypes(&TFormatRow::Writes);
    return t;
}
TArcTypes RowsTestableTypes() {
    static const TArcTypes t = RowTypes(&TFormatRow::Tests);
    return t;
}

std::unique_ptr<TCompBase> CreateWriter(TArcType Type) {
    const TFormatRow* f = FindFormat(Type);
    return f && f->NewWriter ? f->NewWriter(Type) : nullptr;
}
