// The zip writer on an arbitrary old archive (end-record search, central walk, kept entries
// copied).
#include "archive/format/aeZipIT.h"
#include "fuzz_writer_update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzWriterUpdate<TZip>("zipupdate", ".zip", data, size);
}
