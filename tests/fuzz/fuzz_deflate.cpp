// Deflate encoder: any input at any effort must come back byte-exact through our inflate,
// or be the input itself when the encoder stored the whole file.
#include "archive/codec/aeDeflate.h"
#include "archive/codec/aeInflate.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static constexpr int kLevels[] = {1, 2, 7, 9};
    const int level = kLevels[data[0] & 3];
    // Bit 2 of the first byte repeats the rest a few times, so that long matches and the
    // window slide are reached from small inputs.
    std::vector<uint8_t> in(data + 1, data + size);
    if ((data[0] & 4) != 0 && !in.empty())
        for (int i = 0; i < 6 && in.size() < (1u << 18); ++i) {
            const std::vector<uint8_t> copy = in;
            in.insert(in.end(), copy.begin(), copy.end());
        }
    bool stored = false;
    const std::vector<uint8_t> packed = DeflateBuffer(in, level, &stored);
    if (in.empty()) {
        if (!packed.empty()) std::abort();
        return 0;
    }
    if (stored) {
        if (packed != in) std::abort();
        return 0;
    }
    ae::VectorSink sink;
    const ae::DecodeResult r = ae::Inflate(packed, sink, in.size());
    if (!r.ok() || sink.data != in) std::abort();
    return 0;
}
