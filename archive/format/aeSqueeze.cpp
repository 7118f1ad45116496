#include "archive/format/aeSqueeze.h"

#include <array>
#include <vector>

namespace ae {

DecodeResult DecodeSqueeze(InputBuffer& in, DecodeSink& sink) {
    DecodeResult r;
    auto word = [&in]() -> int {
        const int lo = in.getByte();
        const int hi = in.getByte();
        return lo < 0 || hi < 0 ? -1 : lo | hi << 8;
    };
    const int count = word();
    if (count < 0) {
        r.status = in.exhausted() ? DecodeStatus::Ok : DecodeStatus::Truncated;
        return r; // an entry without data at all
    }
    if (static_cast<unsigned>(count) > kSqueezeMaxNodes) {
        r.status = DecodeStatus::Corrupt;
        r.msg = kMsgInvalidTree;
        return r;
    }
    std::array<std::array<std::int16_t, 2>, kSqueezeMaxNodes> node{};
    for (int i = 0; i < count; ++i) {
        for (int side = 0; side < 2; ++side) {
            const int v = word();
            if (v < 0) {
                r.status = DecodeStatus::Truncated;
                return r;
            }
            const auto child = static_cast<std::int16_t>(v);
            // A node index must name a node; a symbol must be a byte or the end.
            if ((child >= 0 && child >= count) || child < -257) {
                r.status = DecodeStatus::Corrupt;
                r.msg = kMsgInvalidTree;
                return r;
            }
            node[static_cast<std::size_t>(i)][static_cast<std::size_t>(side)] = child;
        }
    }
    if (count == 0) return r; // no tree: no data

    std::vector<std::uint8_t> out;
    out.reserve(1 << 15);
    auto flush = [&] {
        if (!out.empty()) sink.Write(out.data(), out.size());
        r.produced += out.size();
        out.clear();
    };
    int at = 0;
    for (;;) {
        const int b = in.getByte();
        if (b < 0) break; // the compressed bytes are used up
        for (int bit = 0; bit < 8; ++bit) {
            const int child = node[static_cast<std::size_t>(at)][static_cast<std::size_t>((b >> bit) & 1)];
            if (child >= 0) {
                at = child;
                continue;
            }
            const int symbol = -(child + 1);
            if (symbol == 256) {
                flush();
                return r;
            }
            out.push_back(static_cast<std::uint8_t>(symbol));
            if (out.size() >= (1u << 15)) flush();
            at = 0;
        }
    }
    flush();
    return r;
}

} // namespace ae
