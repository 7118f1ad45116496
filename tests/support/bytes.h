// Byte-level helpers for building and checking archive fields by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvtest {

inline std::vector<uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

// Little-endian fields at `p` (the caller keeps them inside the buffer).
inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace pvtest
