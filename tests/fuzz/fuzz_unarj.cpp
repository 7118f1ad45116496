// ARJ extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation, with a password for garbled entries; the fast-method decoder also
// takes the bytes as a raw stream.
#include "archive/format/aeArjDecode.h"
#include "archive/format/aeUnARJ.h"

#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ae::SpanSource src({data, size});
        ae::InputBuffer in(src);
        ae::CountingSink sink;
        const uint64_t want = size == 0 ? 0 : (uint64_t{data[0]} << 10); // up to 255 KiB
        (void)ae::DecodeArjFast(in, sink, want);
    }
    TestArchiveInput<TUnARJ>("unarj", ".arj", data, size, [](TUnARJ& u) {
        ChooseAll(u);
        u.OnGetPassword = [](TZipCommon&, const std::string&, std::string& pw, bool& again) {
            pw = "secret";
            again = true;
        };
    });
    return 0;
}
