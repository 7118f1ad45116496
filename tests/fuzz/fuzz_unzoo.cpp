// ZOO extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation; the LZW decoder also takes the bytes as a raw stream.
#include "archive/codec/aeLimitSink.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/format/aeUnZOO.h"

#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        ae::SpanSource src({data, size});
        ae::InputBuffer in(src);
        ae::CountingSink count;
        ae::LimitSink sink(count, 16u << 20);
        try {
            (void)ae::DecodeZooLzw(in, sink);
        } catch (const ae::OutputTooLong&) {
        }
    }
    TestArchiveInput<TUnZOO>("unzoo", ".zoo", data, size, ChooseAll);
    return 0;
}
