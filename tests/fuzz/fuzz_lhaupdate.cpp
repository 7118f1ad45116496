// The LHA writer on an arbitrary old archive (the header walk of every level, kept entries
// copied whole).
#include "archive/format/aeLha.h"
#include "fuzz_writer_update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzWriterUpdate<TLha>("lhaupdate", ".lzh", data, size);
}
