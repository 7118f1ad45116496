// The tar reader on arbitrary bytes: the input is written to a file and tested by the tar
// extractor (headers, long-name and pax records, checksums, member sizes). Nothing may
// crash, hang or grow without bound; a member can only pass when its data are all there.
#include "archive/format/aeUnTAR.h"
#include "fuzz_extract.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int passed = 0;
    TestArchiveInput<TUnTAR>("untar", ".tar", data, size, [&](TUnTAR& u) {
        u.OnEnd = [&](TZipCommon&, const std::string&, bool pass) { passed += pass ? 1 : 0; };
    });
    // Every passing member has its own 512-byte header.
    if (static_cast<std::size_t>(passed) * 512 > size) __builtin_trap();
    return 0;
}
