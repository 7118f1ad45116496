// The cabinet reading road on arbitrary bytes: the input is written to a file and tested by
// the cabinet extractor through the library stand-in (header, folder and file records, data
// blocks and their checksums, MSZIP, LZX and Quantum data, sets that name further cabinets).
// Nothing may crash, hang or grow without bound.
#include "archive/format/aeUnCAB.h"
#include "fuzz_extract.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TestArchiveInput<TUnCAB>("uncab", ".cab", data, size, ChooseAllOneVolume);
    return 0;
}
