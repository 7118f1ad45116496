// The formats the engine knows, one registration row each. Detection reads the rows'
// signatures, scan marks, detection steps and name rules, and holds no format's bytes
// itself; its answer (a TArcType) leads back here: the lister takes the
// format's directory walk, the extraction and packing front-ends its factories,
// GetMethodName its method names, and the type tables (ExtractableArcTypes, ...) are drawn
// from the rows' capability cells. Adding a format means its module (walk, extractor,
// writer, names) and one row in aeFormats.cpp; detection, the lister, the factories and the
// method-name lookup stay as they are.
#pragma once
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/aeMain.h"

class TArcDetector;
class TFormatWalk;
class TUnBase;
class TCompBase;
class TZipCommon;

// The order in which detection tries signatures: a lower rank first. Signatures of one rank
// never overlap (a test holds the rows to that), so only the rank decides between formats
// whose marks can stand on the same bytes -- an LHA header's size and checksum bytes may
// look like any first word, so the strong first words come before "-l", and the ARC
// family's weak 0x1A first byte after it.
enum TSignatureRank : uint8_t {
    srWhole = 0,         // all four bytes
    srFirstWord = 1,     // the first two bytes
    srSecondWord = 2,    // bytes 2..3
    srWeakFirstWord = 3, // a first word that can also be header data of another format
};

// A signature at the place an archive begins: the four bytes there, little-endian, masked.
// Mode 1 (the file starts with it) answers AtStart, mode 0 (it stands inside a program)
// InProgram, other modes the type both agree on or atNA. Decide, when set, answers instead
// (for marks that need more than the four bytes).
// AtImageEnd false: detection does not take it at the end of a program's DOS image (a zip
// there is found from its central directory, which also knows where it truly begins).
struct TSignature {
    uint32_t Value = 0;
    uint32_t Mask = 0xFFFFFFFF;
    TArcType InProgram = atUnsupported;
    TArcType AtStart = atUnknown;
    TSignatureRank Rank = srWhole;
    TArcType (*Decide)(TArcDetector& D, int Mode) = nullptr;
    bool AtImageEnd = true;
};

// Where a format's own detection step runs among detection's own roads; steps of one order
// run in row order. Orders below doPlainFirst belong to the road for programs (files
// starting with the DOS program mark), the others to the road for every other file, which
// begins with the start signature's answer in D.ArcType.
enum TDetectOrder : uint8_t {
    doProgramFirst = 10,     // before detection's own roads (a stub's known end)
    doProgramResources = 20, // detection: the offsets in the program's string resources
    doProgramImageEnd = 30,  // detection: the archive at the end of the DOS image
    doProgramDirectory = 40, // a directory found from the file's end
    doProgramScan = 50,      // detection: the scan for the rows' scan marks
    doPlainFirst = 100,
    doPlainAnswer = 110,   // the signature's answer checked or completed by its own format
    doPlainOverride = 120, // a mark elsewhere in the head that beats the signature's answer
    doPlainAnswered = 130, // detection: a signature's answer stands
    doPlainDrive = 140,    // no signature answered: what the drive tells
    doPlainText = 150,     // no signature answered: text formats
    doPlainHeader = 160,   // no signature answered: headers known by their checksum
    doPlainLast = 170,     // no signature answered: the last resort
};

// A detection step of a format: true when it settled the type (D.ArcType, D.ArcStart), which
// ends detection's road.
struct TDetectStep {
    TDetectOrder Order = doPlainLast;
    bool (*Run)(TArcDetector& D) = nullptr;
};

// A type detection changes by the file's extension (upper case, with its dot).
struct TNameRule {
    TArcType From = atUnknown;
    const char* Extension = "";
    TArcType To = atUnknown;
};

// A mark the scan for an archive inside a program looks for: a position whose byte is First
// is given to Probe, with Have bytes readable from At (a few past the block) and Pos the
// position's file offset. Probe answers the archive's 1-based ArcStart, or 0.
struct TScanMark {
    uint8_t First = 0;
    TArcType Type = atUnknown;
    int64_t (*Probe)(TArcDetector& D, const uint8_t* At, int64_t Have, int64_t Pos) = nullptr;
};

// The cipher an entry's stored bytes are encrypted with, where a password applies.
enum TEntryCipher : uint8_t {
    ecNone = 0,
    ecZipKeys = 1,     // the traditional zip cipher's three keys
    ecXorPassword = 2, // each byte XORed with the password's bytes in turn
};

// How the later volumes of a multi-volume set are named: the first volume's extension with
// its first letter kept and the rest replaced by the volume's two-digit number
// (".arj", ".a01", ".a02", ...). Letter 0: the format names no volumes that way.
struct TVolumeNaming {
    TArcTypes Types = 0;         // the row's types whose volumes are named so
    char Letter = 0;             // the first letter when the extension has no letter
    const char* DefaultExt = ""; // the extension assumed when the name has none
    int Unnumbered = 0;          // the number of a volume whose extension holds no digits
    bool LetterRolls = false;    // after number 99 the letter goes on to the next (.r99, .s00)
};

// A capability cell: the row's types that have it (kAllTypes: every type of the row).
constexpr TArcTypes kAllTypes = ~TArcTypes{0};

struct TFormatRow {
    const char* Name = ""; // short name, for diagnostics
    TArcTypes Types = 0;   // the archive types this row serves
    // Of Types, those extracted, written and tested; OutsideLibrary: read through a library
    // loaded at run time rather than by the engine's own decoders.
    TArcTypes Extracts = 0, Writes = 0, Tests = 0;
    bool OutsideLibrary = false;
    std::vector<TSignature> Signatures = {};
    std::vector<TScanMark> ScanMarks = {};
    std::vector<TDetectStep> DetectSteps = {};
    std::vector<TNameRule> NameRules = {};
    // The ZipDirFlags of an archive of this row taken where a program's string resources
    // point: what its reader needs to know of the header standing there.
    uint32_t ResourceDirFlags = 0;
    // Bytes a self-extractor stub of the format may leave between the end of its DOS image and
    // the archive, judged from the four bytes there (0: none, or not this format).
    int (*ImageEndGap)(const uint8_t* Tail) = nullptr;
    // The size of the header the writers keep per entry (THeadObject::Header), 0: none.
    int HeaderSize = 0;
    // Entries are stored in whole blocks of this many bytes (0: packed end to end).
    int EntryBlock = 0;
    TEntryCipher Cipher = ecNone;
    TVolumeNaming Volumes = {};
    // The kind of packer the front-end offers for the row's written types (0: the default one).
    int PackerKind = 0;
    // Hex digits of the entries' check value in the list: 8 for a CRC-32, 4 for a CRC-16, 0
    // where the format keeps none per entry.
    int CrcDigits = 8;
    // A new directory walk for the lister (null: the format has no directory to list).
    std::unique_ptr<TFormatWalk> (*NewWalk)(TArcType Type) = nullptr;
    // The name of an entry's method; C is the component holding the entry's fields.
    std::string (*MethodName)(const TZipCommon& C, int Code, uint32_t Flags) = nullptr;
    // A new extractor / writer for Type (null: the engine has none for this format).
    std::unique_ptr<TUnBase> (*NewExtractor)(TArcType Type) = nullptr;
    std::unique_ptr<TCompBase> (*NewWriter)(TArcType Type) = nullptr;
};

// Every registered format.
const std::vector<TFormatRow>& Formats();
// Every row's signatures, in the order detection tries them (by rank, then row order).
const std::vector<const TSignature*>& SignaturesByRank();
// The first signature, by rank, that the four bytes S match, or nullptr.
const TSignature* MatchSignature(uint32_t S);
// Every row's scan marks, by their first byte.
const std::array<std::vector<const TScanMark*>, 256>& ScanMarksByFirstByte();
// The row serving Type, or nullptr.
const TFormatRow* FindFormat(TArcType Type);
// The cells of Type's row (a row with every cell empty when no row serves Type).
const TFormatRow& FormatOf(TArcType Type);
// A new writer for archives of type Type, or nullptr when the engine writes none.
std::unique_ptr<TCompBase> CreateWriter(TArcType Type);

// For the formats' method-name functions: the name paired with Code in Table, else Other.
std::string PickMethodName(int Code, std::initializer_list<std::pair<int, const char*>> Table,
                           const char* Other);
// The name of a method the engine does not know.
extern const char* const kUnsupportedMethod;
