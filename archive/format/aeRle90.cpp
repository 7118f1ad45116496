#include "archive/format/aeRle90.h"

#include <algorithm>

namespace ae {

void Rle90Sink::Put(std::uint8_t b, std::size_t count) {
    while (count > 0) {
        const std::size_t k = std::min(count, kFlushAt + 256 - buf_.size());
        buf_.insert(buf_.end(), k, b);
        count -= k;
        if (buf_.size() >= kFlushAt) {
            out_.Write(buf_.data(), buf_.size());
            buf_.clear();
        }
    }
}

void Rle90Sink::Write(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (marker_) {
            marker_ = false;
            if (b == 0) {
                Put(kMarker, 1); // a literal marker is not what a later count repeats
            } else {
                Put(last_, b - 1u);
            }
        } else if (b == kMarker) {
            marker_ = true;
        } else {
            Put(b, 1);
            last_ = b;
        }
    }
}

void Rle90Sink::Finish() {
    if (!buf_.empty()) out_.Write(buf_.data(), buf_.size());
    buf_.clear();
}

std::vector<std::uint8_t> ExpandRle90(const std::uint8_t* p, std::size_t n) {
    VectorSink v;
    Rle90Sink r{v};
    r.Write(p, n);
    r.Finish();
    return std::move(v.data);
}

} // namespace ae
