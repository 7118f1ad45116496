// LHA extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation; the -lh1- decoder also takes the bytes as a raw stream.
#include "archive/aeLh1Decode.h"
#include "archive/aeUnLHA.h"

#include <unistd.h>

#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ae::SpanSource src({data, size});
        ae::InputBuffer in(src);
        ae::CountingSink sink;
        const uint64_t want = size == 0 ? 0 : (uint64_t{data[0]} << 10); // up to 255 KiB
        (void)ae::DecodeLh1(in, sink, want);
    }
    static const std::string path = "/tmp/fuzz_unlha_" + std::to_string(::getpid()) + ".lzh";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TUnLHA u;
    u.SetFileSpec({"*.*"});
    u.SetArchiveFile(path);
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    return 0;
}
