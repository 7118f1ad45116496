// A small -lh1- encoder for test fixtures (no tool here writes that method): greedy LZSS
// over a 4096-byte window whose first 4036 bytes are spaces, with the adaptive Huffman
// code of literals and lengths and the fixed code of the upper 6 position bits. Written
// from the format's description, independently of the engine's decoder, and checked
// against the peer tools by the tests that use it.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lh1test {

class BitWriter {
public:
    void put(unsigned value, unsigned n) { // n bits, most significant first
        for (unsigned i = n; i-- > 0;) bit((value >> i) & 1u);
    }
    void bit(unsigned b) {
        acc_ = static_cast<uint8_t>((acc_ << 1) | b);
        if (++n_ == 8) {
            out.push_back(acc_);
            acc_ = 0;
            n_ = 0;
        }
    }
    void finish() {
        while (n_ != 0) bit(0);
    }
    std::vector<uint8_t> out;

private:
    uint8_t acc_ = 0;
    unsigned n_ = 0;
};

class Lh1Encoder {
public:
    static constexpr unsigned N = 4096, F = 60, Threshold = 3;
    static constexpr unsigned Chars = 256 - Threshold + 1 + F; // 314
    static constexpr unsigned T = 2 * Chars - 1, R = T - 1;

    Lh1Encoder() {
        for (unsigned i = 0; i < Chars; ++i) {
            freq[i] = 1;
            son[i] = i + T;
            prnt[i + T] = i;
        }
        for (unsigned i = 0, j = Chars; j <= R; i += 2, ++j) {
            freq[j] = freq[i] + freq[i + 1];
            son[j] = i;
            prnt[i] = prnt[i + 1] = j;
        }
        freq[T] = 0xFFFF;
        prnt[R] = 0;
    }

    // Compresses `data`; `maxDistance` limits how far back matches reach.
    std::vector<uint8_t> encode(const std::vector<uint8_t>& data, unsigned maxDistance = N - F) {
        std::vector<uint8_t> hist(N - F, ' ');
        const size_t base = hist.size();
        hist.insert(hist.end(), data.begin(), data.end());
        size_t p = base;
        while (p < hist.size()) {
            unsigned bestLen = 0, bestDist = 0;
            const size_t maxLen = std::min<size_t>(F, hist.size() - p);
            for (unsigned d = 1; d <= maxDistance && d <= p; ++d) {
                unsigned l = 0;
                while (l < maxLen && hist[p - d + l] == hist[p + l]) ++l;
                if (l > bestLen) {
                    bestLen = l;
                    bestDist = d;
                    if (l == maxLen) break;
                }
            }
            if (bestLen >= Threshold) {
                encodeChar(256 + bestLen - Threshold);
                encodePosition(bestDist - 1);
                p += bestLen;
            } else {
                encodeChar(hist[p]);
                ++p;
            }
        }
        bits_.finish();
        return bits_.out;
    }

private:
    void encodeChar(unsigned c) {
        std::vector<unsigned> path;
        unsigned k = prnt[c + T];
        do {
            path.push_back(k & 1u);
            k = prnt[k];
        } while (k != R);
        for (size_t i = path.size(); i-- > 0;) bits_.bit(path[i]);
        update(c);
    }

    void encodePosition(unsigned pos) {
        // Values of the upper 6 bits per code length 3..8, assigned in increasing order.
        static constexpr unsigned counts[6] = {1, 3, 8, 12, 24, 16};
        const unsigned upper = pos >> 6;
        unsigned code = 0, v = 0;
        for (unsigned k = 0; k < 6; ++k) {
            const unsigned len = 3 + k;
            if (upper < v + counts[k]) {
                bits_.put(code + (upper - v), len);
                break;
            }
            code = (code + counts[k]) << 1;
            v += counts[k];
        }
        bits_.put(pos & 0x3F, 6);
    }

    void reconst() {
        unsigned j = 0;
        for (unsigned i = 0; i < T; ++i)
            if (son[i] >= T) {
                freq[j] = (freq[i] + 1) / 2;
                son[j] = son[i];
                ++j;
            }
        for (unsigned i = 0, jj = Chars; jj < T; i += 2, ++jj) {
            const unsigned f = freq[jj] = freq[i] + freq[i + 1];
            unsigned k = jj - 1;
            while (f < freq[k]) --k;
            ++k;
            const size_t l = (jj - k) * sizeof(unsigned);
            std::memmove(&freq[k + 1], &freq[k], l);
            freq[k] = f;
            std::memmove(&son[k + 1], &son[k], l);
            son[k] = i;
        }
        for (unsigned i = 0; i < T; ++i) {
            const unsigned k = son[i];
            if (k >= T)
                prnt[k] = i;
            else
                prnt[k] = prnt[k + 1] = i;
        }
    }

    void update(unsigned c) {
        if (freq[R] == 0x8000) reconst();
        c = prnt[c + T];
        do {
            const unsigned k = ++freq[c];
            unsigned l = c + 1;
            if (k > freq[l]) {
                while (k > freq[++l]) {
                }
                --l;
                freq[c] = freq[l];
                freq[l] = k;
                const unsigned i = son[c];
                prnt[i] = l;
                if (i < T) prnt[i + 1] = l;
                const unsigned j = son[l];
                son[l] = i;
                prnt[j] = c;
                if (j < T) prnt[j + 1] = c;
                son[c] = j;
                c = l;
            }
        } while ((c = prnt[c]) != 0);
    }

    std::array<unsigned, T + 1> freq{};
    std::array<unsigned, T + Chars> prnt{};
    std::array<unsigned, T> son{};
    BitWriter bits_;
};

inline uint16_t crc16(const std::vector<uint8_t>& d) {
    uint16_t crc = 0;
    for (uint8_t b : d) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

// One level-0 entry: header size, checksum, method, sizes, DOS date, attribute, level,
// name, CRC-16, then the packed data.
inline std::vector<uint8_t> level0Entry(const std::string& method, const std::string& name,
                                        const std::vector<uint8_t>& data, const std::vector<uint8_t>& packed,
                                        uint32_t dosDate = 0x5A8A6000) {
    std::vector<uint8_t> h;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    h.push_back(0); // header size, below
    h.push_back(0); // checksum, below
    h.insert(h.end(), method.begin(), method.end());
    u32(static_cast<uint32_t>(packed.size()));
    u32(static_cast<uint32_t>(data.size()));
    u32(dosDate);
    h.push_back(0x20); // attribute
    h.push_back(0);    // level
    h.push_back(static_cast<uint8_t>(name.size()));
    h.insert(h.end(), name.begin(), name.end());
    const uint16_t crc = crc16(data);
    h.push_back(static_cast<uint8_t>(crc));
    h.push_back(static_cast<uint8_t>(crc >> 8));
    h[0] = static_cast<uint8_t>(h.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
    h[1] = sum;
    h.insert(h.end(), packed.begin(), packed.end());
    return h;
}

} // namespace lh1test
