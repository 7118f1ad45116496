// ARC extractor: any file is tested (nothing is written) without a crash, a hang or an
// unbounded allocation; the squeeze, crunch and LZW decoders also take the bytes as raw
// streams, their output capped.
#include "archive/codec/aeLimitSink.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/format/aeRle90.h"
#include "archive/format/aeSqueeze.h"
#include "archive/format/aeUnARC.h"

#include "fuzz_extract.h"

namespace {

template <class Decode> void Raw(const uint8_t* data, size_t size, Decode decode) {
    ae::SpanSource src({data, size});
    ae::InputBuffer in(src);
    ae::CountingSink count;
    ae::LimitSink sink(count, 16u << 20);
    ae::Rle90Sink rle(sink);
    try {
        (void)decode(in, rle);
        rle.Finish();
    } catch (const ae::OutputTooLong&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Raw(data, size, [](ae::InputBuffer& in, ae::DecodeSink& s) { return ae::DecodeSqueeze(in, s); });
    Raw(data, size, [](ae::InputBuffer& in, ae::DecodeSink& s) { return ae::DecodeCrunch(in, s, false); });
    Raw(data, size, [](ae::InputBuffer& in, ae::DecodeSink& s) { return ae::DecodeCrunch(in, s, true); });
    Raw(data, size, [](ae::InputBuffer& in, ae::DecodeSink& s) { return ae::DecodeLzwGroups(in, s, 12); });
    Raw(data, size, [](ae::InputBuffer& in, ae::DecodeSink& s) { return ae::DecodeLzwGroups(in, s, 13); });
    TestArchiveInput<TUnARC>("unarc", ".arc", data, size, ChooseAll);
    return 0;
}
