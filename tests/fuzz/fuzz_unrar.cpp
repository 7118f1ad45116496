// The RAR reading road on arbitrary bytes: the input is written to a file and tested by the
// RAR extractor through the library stand-in (the extractor's own header count, the
// stand-in's block headers, volume flags and the stream it hands to libarchive). Nothing may
// crash, hang or grow without bound.
#include "archive/format/aeUnRAR.h"
#include "fuzz_input_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInputFile file("unrar", ".rar", data, size);
    if (!file.ok()) return 0;
    TUnRAR u;
    // A next volume the input asks for is never there: the set ends.
    u.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
    u.SetArchiveFile(file.path());
    u.SetFileSpec({"*.*"});
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    return 0;
}
