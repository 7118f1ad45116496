// The fuzz input tested as an archive by one extractor: written to a file, opened by name
// and tested (nothing is written out); whatever the run raises ends it. SetUp readies the
// extractor first (the entries chosen, its events).
#pragma once
#include "archive/aeBase.h"
#include "fuzz_input_file.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

template <class TExtractor, class FSetUp>
void TestArchiveInput(const char* Tag, const char* Ext, const uint8_t* Data, size_t Size, FSetUp&& SetUp) {
    const FuzzInputFile file(Tag, Ext, Data, Size);
    if (!file.ok()) return;
    TExtractor u;
    SetUp(u);
    u.SetArchiveFile(file.path());
    try {
        u.Test();
    } catch (const std::exception&) {
    }
}

// Every entry is chosen.
inline void ChooseAll(TZipCommon& U) {
    U.SetFileSpec({"*.*"});
}

// Every entry is chosen, and a next volume the input asks for is never there: the set ends.
inline void ChooseAllOneVolume(TZipCommon& U) {
    ChooseAll(U);
    U.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
}
