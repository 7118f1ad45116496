// The formats the engine knows, one registration row each. Detection's answer (a TArcType)
// leads here: the lister takes the format's directory walk, the extraction and packing
// front-ends its factories, GetMethodName its method names. Adding a format means its
// module (walk, extractor, writer, names) and one row in aeFormats.cpp; the lister, the
// factories and the method-name lookup stay as they are.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/aeMain.h"

class TFormatWalk;
class TUnBase;
class TCompBase;
class TZipCommon;

struct TFormatRow {
    const char* Name = ""; // short name, for diagnostics
    TArcTypes Types = 0;   // the archive types this row serves
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
// The row serving Type, or nullptr.
const TFormatRow* FindFormat(TArcType Type);
// A new writer for archives of type Type, or nullptr when the engine writes none.
std::unique_ptr<TCompBase> CreateWriter(TArcType Type);

// For the formats' method-name functions: the name paired with Code in Table, else Other.
std::string PickMethodName(int Code, std::initializer_list<std::pair<int, const char*>> Table,
                           const char* Other);
// The name of a method the engine does not know.
extern const char* const kUnsupportedMethod;
