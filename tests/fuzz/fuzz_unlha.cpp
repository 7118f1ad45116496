// LHA extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation; the -lh1- decoder also takes the bytes as a raw stream.
#include "archive/codec/aeLh1Decode.h"
#include "archive/format/aeUnLHA.h"

#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ae::SpanSource src({data, size});
        ae::InputBuffer in(src);
        ae::CountingSink sink;
        const uint64_t want = size == 0 ? 0 : (uint64_t{data[0]} << 10); // up to 255 KiB
        (void)ae::DecodeLh1(in, sink, want);
    }
    TestArchiveInput<TUnLHA>("unlha", ".lzh", data, size, ChooseAll);
    return 0;
}
