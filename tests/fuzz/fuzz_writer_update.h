// One check for every writer that updates an old archive: the fuzz input is written to a
// file and a delete run rewrites it. Nothing may crash, hang or grow without bound, and a
// run that fails must leave the file exactly as it was.
#pragma once
#include "archive/aeCompBase.h"
#include "fuzz_input_file.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

template <class Writer>
int FuzzWriterUpdate(const char* tag, const char* ext, const std::uint8_t* data, std::size_t size) {
    const FuzzInputFile file(tag, ext, data, size);
    if (!file.ok()) return 0;
    Writer w;
    w.Switch = swDelete;
    w.DeleteOptions = doFinal;
    w.SetArchiveFile(file.path());
    w.SetFileSpecPaths({"a*"});
    try {
        w.Compress();
    } catch (const std::exception&) {
        const auto now = platform::readWholeFile(file.path());
        if (!now || *now != std::vector<std::uint8_t>(data, data + size)) __builtin_trap();
    }
    return 0;
}
