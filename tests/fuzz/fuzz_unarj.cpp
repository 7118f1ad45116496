// ARJ extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation, with a password for garbled entries; the fast-method decoder also
// takes the bytes as a raw stream.
#include "archive/aeArjDecode.h"
#include "archive/aeUnARJ.h"

#include <unistd.h>

#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ae::SpanSource src({data, size});
        ae::InputBuffer in(src);
        ae::CountingSink sink;
        const uint64_t want = size == 0 ? 0 : (uint64_t{data[0]} << 10); // up to 255 KiB
        (void)ae::DecodeArjFast(in, sink, want);
    }
    static const std::string path = "/tmp/fuzz_unarj_" + std::to_string(::getpid()) + ".arj";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TUnARJ u;
    u.SetFileSpec({"*.*"});
    u.OnGetPassword = [](TZipCommon&, const std::string&, std::string& pw, bool& again) {
        pw = "secret";
        again = true;
    };
    u.SetArchiveFile(path);
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    return 0;
}
