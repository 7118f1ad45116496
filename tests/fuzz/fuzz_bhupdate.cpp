// The BH writer on an arbitrary old archive (the header walk, kept entries copied whole).
#include "archive/format/aeBlakHole.h"
#include "fuzz_writer_update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzWriterUpdate<TBlakHole>("bhupdate", ".bh", data, size);
}
