// The RAR reading road on arbitrary bytes: the input is written to a file and tested by the
// RAR extractor through the library stand-in (the extractor's own header count, the
// stand-in's block headers, volume flags and its decoders). Nothing may
// crash, hang or grow without bound.
#include "archive/format/aeUnRAR.h"
#include "fuzz_extract.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TestArchiveInput<TUnRAR>("unrar", ".rar", data, size, ChooseAllOneVolume);
    return 0;
}
