// Deterministic test data of any size in the shapes that stress a decoder differently:
// repeated log-like text lines (many short and medium matches), long runs (maximal
// matches, distance one and far repeats), noise (literals, stored blocks) and a mix of the
// three. Header-only so that every test executable and helper can use it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pvtest {

enum class DataKind { Text, Runs, Random, Mixed };

inline const char* kindName(DataKind k) {
    switch (k) {
    case DataKind::Text:
        return "text";
    case DataKind::Runs:
        return "runs";
    case DataKind::Random:
        return "random";
    case DataKind::Mixed:
        return "mixed";
    }
    return "?";
}

inline constexpr DataKind kAllKinds[] = {DataKind::Text, DataKind::Runs, DataKind::Random, DataKind::Mixed};

namespace detail {

class GenRng {
public:
    explicit GenRng(std::uint64_t seed) : s_{seed * 0x9E3779B97F4A7C15ull + 0x1234567} {}
    std::uint64_t next() { // splitmix64
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }

private:
    std::uint64_t s_;
};

inline void appendText(std::vector<std::uint8_t>& out, std::size_t n, GenRng& r) {
    static const char* const levels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"};
    char line[128];
    const std::size_t end = out.size() + n;
    while (out.size() < end) {
        const int len = std::snprintf(line, sizeof line,
                                      "2026-12-10 %02u:%02u:%02u %s worker-%u processed item %u in %u ms\n",
                                      r.below(24), r.below(60), r.below(60), levels[r.below(6)], r.below(8),
                                      r.below(100000), r.below(1000));
        for (int i = 0; i < len && out.size() < end; ++i) out.push_back(static_cast<std::uint8_t>(line[i]));
    }
}

inline void appendRuns(std::vector<std::uint8_t>& out, std::size_t n, GenRng& r) {
    const std::size_t end = out.size() + n;
    while (out.size() < end) {
        const std::size_t left = end - out.size();
        if (out.size() > 64 && r.below(3) == 0) {
            // Repeat a stretch from earlier: long matches at a spread of distances.
            const std::size_t dist =
                1 + r.below(static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), 40000)));
            std::size_t len = std::min<std::size_t>(left, 3 + r.below(3000));
            const std::size_t from = out.size() - dist;
            for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
        } else {
            const std::size_t len = std::min<std::size_t>(left, 1 + r.below(r.below(4) ? 600 : 20000));
            out.insert(out.end(), len,
                       static_cast<std::uint8_t>(r.below(4) ? 'a' + r.below(4) : r.below(256)));
        }
    }
}

inline void appendRandom(std::vector<std::uint8_t>& out, std::size_t n, GenRng& r) {
    for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(r.next() >> 56));
}

} // namespace detail

// `n` bytes of the given kind; the same arguments always give the same bytes.
inline std::vector<std::uint8_t> genData(DataKind kind, std::size_t n, std::uint64_t seed = 1) {
    std::vector<std::uint8_t> out;
    out.reserve(n + 128);
    detail::GenRng r{seed ^ (static_cast<std::uint64_t>(kind) << 40)};
    switch (kind) {
    case DataKind::Text:
        detail::appendText(out, n, r);
        break;
    case DataKind::Runs:
        detail::appendRuns(out, n, r);
        break;
    case DataKind::Random:
        detail::appendRandom(out, n, r);
        break;
    case DataKind::Mixed:
        while (out.size() < n) {
            const std::size_t piece = std::min<std::size_t>(n - out.size(), 1 + r.below(90000));
            switch (r.below(3)) {
            case 0:
                detail::appendText(out, piece, r);
                break;
            case 1:
                detail::appendRuns(out, piece, r);
                break;
            default:
                detail::appendRandom(out, piece, r);
            }
        }
        break;
    }
    return out;
}

} // namespace pvtest
