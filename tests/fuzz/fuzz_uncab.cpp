// The cabinet reading road on arbitrary bytes: the input is written to a file and tested by
// the cabinet extractor through the library stand-in (header, folder and file records, data
// blocks and their checksums, MSZIP, LZX and Quantum data, sets that name further cabinets).
// Nothing may crash, hang or grow without bound.
#include "archive/format/aeUnCAB.h"
#include "fuzz_input_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInputFile file("uncab", ".cab", data, size);
    if (!file.ok()) return 0;
    TUnCAB u;
    // A next cabinet named by the input is never there: the set ends.
    u.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
    u.SetArchiveFile(file.path());
    u.SetFileSpec({"*.*"});
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    return 0;
}
