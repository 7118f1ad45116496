// The LHA writer on an arbitrary old archive: the input is written to a file and a delete
// run rewrites it (the header walk of every level, kept entries copied whole). Nothing may
// crash, hang or grow without bound, and a run that fails must leave the file as it was.
#include "archive/aeLha.h"
#include "fuzz_input_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInputFile file("lhaupdate", ".lzh", data, size);
    if (!file.ok()) return 0;
    TLha w;
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
