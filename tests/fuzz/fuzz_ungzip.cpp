// The gzip and .Z reader on arbitrary bytes: the input is written to a file and tested by
// the gzip extractor (member headers, every member, trailers), and decoded by the .Z
// decoder directly. Nothing may crash, hang or grow without bound, and nothing that is
// not a complete, valid stream may pass.
#include "archive/codec/aeDecodeIo.h"
#include "archive/format/aeUnGZIP.h"
#include "fuzz_extract.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        ae::SpanSource src{{data, size}};
        ae::InputBuffer in{src};
        ae::CountingSink sink;
        (void)ae::DecodeLzw(in, sink);
    }
    bool passed = false;
    TestArchiveInput<TUnGZIP>("ungzip", ".gz", data, size, [&](TUnGZIP& u) {
        u.OnEnd = [&](TZipCommon&, const std::string&, bool pass) { passed = pass; };
    });
    // A pass needs at least a header, some deflate data and a trailer.
    if (passed && size < 18 && data[0] == 0x1F && data[1] == 0x8B) __builtin_trap();
    return 0;
}
