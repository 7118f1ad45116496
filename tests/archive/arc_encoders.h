// Small encoders for the ARC methods that the arc program no longer writes (old stored,
// packed, squeezed, the three crunch variants) and the PAK folder records, written for
// the tests only. Every stream they make is first checked by an independent reader.
#pragma once
#include <cstdint>
#include <map>
#include <queue>
#include <string>
#include <vector>

namespace arcenc {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t crc16(const Bytes& d) {
    std::uint16_t c = 0;
    for (std::uint8_t b : d) {
        c ^= b;
        for (int i = 0; i < 8; ++i) c = static_cast<std::uint16_t>(c & 1 ? (c >> 1) ^ 0xA001 : c >> 1);
    }
    return c;
}

// Runs of three or more bytes become byte 0x90 count; the marker itself 0x90 0.
inline Bytes rlePack(const Bytes& in) {
    Bytes out;
    for (std::size_t i = 0; i < in.size();) {
        const std::uint8_t b = in[i];
        if (b == 0x90) {
            out.push_back(0x90);
            out.push_back(0);
            ++i;
            continue;
        }
        std::size_t n = 1;
        while (i + n < in.size() && in[i + n] == b && n < 255) ++n;
        out.push_back(b);
        if (n >= 3) {
            out.push_back(0x90);
            out.push_back(static_cast<std::uint8_t>(n));
        } else if (n == 2) {
            out.push_back(b);
        }
        i += n;
    }
    return out;
}

// Squeeze: node count, nodes (children: node index, or -(symbol + 1)), codes LSB first,
// ended by symbol 256.
inline Bytes squeeze(const Bytes& in) {
    std::vector<std::uint64_t> freq(257, 0);
    for (std::uint8_t b : in) ++freq[b];
    freq[256] = 1;
    // Huffman tree over the symbols that occur; tree nodes are numbered later, root first.
    struct T {
        int sym = -1;
        int left = -1, right = -1;
    };
    std::vector<T> t;
    using Q = std::pair<std::uint64_t, int>;
    std::priority_queue<Q, std::vector<Q>, std::greater<>> q;
    for (int s = 0; s < 257; ++s)
        if (freq[static_cast<std::size_t>(s)]) {
            t.push_back({s, -1, -1});
            q.push({freq[static_cast<std::size_t>(s)], static_cast<int>(t.size()) - 1});
        }
    if (q.size() == 1) { // a lone symbol still needs one node
        t.push_back({-1, q.top().second, q.top().second});
        q.pop();
        q.push({1, static_cast<int>(t.size()) - 1});
    }
    while (q.size() > 1) {
        auto a = q.top();
        q.pop();
        auto b = q.top();
        q.pop();
        t.push_back({-1, a.second, b.second});
        q.push({a.first + b.first, static_cast<int>(t.size()) - 1});
    }
    // Number the inner nodes breadth first from the root (node 0).
    std::vector<int> order{q.top().second};
    std::map<int, int> index{{q.top().second, 0}};
    for (std::size_t i = 0; i < order.size(); ++i)
        for (int c :
             {t[static_cast<std::size_t>(order[i])].left, t[static_cast<std::size_t>(order[i])].right})
            if (t[static_cast<std::size_t>(c)].sym < 0 && !index.count(c)) {
                index[c] = static_cast<int>(order.size());
                order.push_back(c);
            }
    auto value = [&](int c) {
        const T& n = t[static_cast<std::size_t>(c)];
        return n.sym >= 0 ? -(n.sym + 1) : index[c];
    };
    Bytes out;
    auto put16 = [&](int v) {
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    };
    put16(static_cast<int>(order.size()));
    for (int n : order) {
        put16(value(t[static_cast<std::size_t>(n)].left));
        put16(value(t[static_cast<std::size_t>(n)].right));
    }
    // Codes of each symbol, by walking down.
    std::vector<std::vector<int>> code(257);
    std::vector<std::pair<int, std::vector<int>>> stack{{q.top().second, {}}};
    while (!stack.empty()) {
        auto [n, path] = stack.back();
        stack.pop_back();
        const T& node = t[static_cast<std::size_t>(n)];
        if (node.sym >= 0) {
            if (code[static_cast<std::size_t>(node.sym)].empty())
                code[static_cast<std::size_t>(node.sym)] = path;
            continue;
        }
        auto l = path, r = path;
        l.push_back(0);
        r.push_back(1);
        stack.push_back({node.right, r});
        stack.push_back({node.left, l});
    }
    unsigned cur = 0, nbits = 0;
    auto emit = [&](int s) {
        for (int bit : code[static_cast<std::size_t>(s)]) {
            cur |= static_cast<unsigned>(bit) << nbits;
            if (++nbits == 8) {
                out.push_back(static_cast<std::uint8_t>(cur));
                cur = nbits = 0;
            }
        }
    };
    for (std::uint8_t b : in) emit(b);
    emit(256);
    if (nbits) out.push_back(static_cast<std::uint8_t>(cur));
    return out;
}

// Crunch with the hashed 4096-slot table (old hash: middle bits of a square; new hash:
// a product), 12-bit codes two to three bytes.
inline std::uint16_t crunchHash(unsigned pred, unsigned foll, bool newHash) {
    const std::uint32_t key = (pred + foll) & 0xFFFF;
    if (newHash) return static_cast<std::uint16_t>((key * 15073u) & 0xFFF);
    const std::uint32_t k = (key | 0x800) & 0xFFFF;
    return static_cast<std::uint16_t>(((k * k) >> 6) & 0xFFF);
}

inline Bytes crunch(const Bytes& in, bool newHash) {
    struct Slot {
        bool used = false;
        unsigned next = 0;
    };
    std::vector<Slot> slot(4096);
    std::map<std::pair<unsigned, unsigned>, unsigned> known;
    unsigned added = 0;
    auto add = [&](unsigned pred, unsigned foll) {
        unsigned at = crunchHash(pred, foll, newHash);
        if (slot[at].used) {
            while (slot[at].next) at = slot[at].next;
            unsigned p = (at + 101) & 0xFFF;
            while (slot[p].used) p = (p + 1) & 0xFFF;
            slot[at].next = p;
            at = p;
        }
        slot[at].used = true;
        known[{pred, foll}] = at;
    };
    for (unsigned c = 0; c < 256; ++c) add(0xFFFF, c);
    std::vector<unsigned> codes;
    if (!in.empty()) {
        unsigned w = known[{0xFFFF, in[0]}];
        for (std::size_t i = 1; i < in.size(); ++i) {
            auto it = known.find({w, in[i]});
            if (it != known.end()) {
                w = it->second;
                continue;
            }
            codes.push_back(w);
            if (added < 3840) {
                add(w, in[i]);
                ++added;
            }
            w = known[{0xFFFF, in[i]}];
        }
        codes.push_back(w);
    }
    Bytes out;
    for (std::size_t i = 0; i < codes.size(); i += 2) {
        const unsigned a = codes[i];
        out.push_back(static_cast<std::uint8_t>(a >> 4));
        if (i + 1 < codes.size()) {
            const unsigned b = codes[i + 1];
            out.push_back(static_cast<std::uint8_t>((a & 0xF) << 4 | b >> 8));
            out.push_back(static_cast<std::uint8_t>(b & 0xFF));
        } else {
            out.push_back(static_cast<std::uint8_t>((a & 0xF) << 4));
        }
    }
    return out;
}

// Dynamic crunch and squash streams of literal codes only: every byte is one 9-bit code, least
// significant bit first. Valid while the codes stay 9 bits wide (fewer than 250 bytes).
inline Bytes literalLzw(const Bytes& in) {
    Bytes out;
    unsigned long bits = 0;
    int have = 0;
    for (std::uint8_t b : in) {
        bits |= static_cast<unsigned long>(b) << have;
        for (have += 9; have >= 8; have -= 8, bits >>= 8) out.push_back(static_cast<std::uint8_t>(bits));
    }
    if (have > 0) out.push_back(static_cast<std::uint8_t>(bits));
    return out;
}

// The packed form of `data` for an ARC method (1 to 7; 8 and 9 for short data only).
inline Bytes pack(int method, const Bytes& data) {
    switch (method) {
    case 8: {
        Bytes out = literalLzw(rlePack(data));
        out.insert(out.begin(), 12); // the code width
        return out;
    }
    case 9:
        return literalLzw(data);
    case 3:
        return rlePack(data);
    case 4:
        return squeeze(rlePack(data));
    case 5:
        return crunch(data, false);
    case 6:
        return crunch(rlePack(data), false);
    case 7:
        return crunch(rlePack(data), true);
    default:
        return data;
    }
}

// An archive built record by record.
class Archive {
public:
    static constexpr std::uint32_t kDosDate =
        (46u << 25) | (6u << 21) | (15u << 16) | (12u << 11) | (30u << 5);

    // An entry with `packed` as its data (the header's size and CRC from `data`).
    void entry(int method, const std::string& name, const Bytes& data, const Bytes& packed) {
        header(method, name, static_cast<std::uint32_t>(packed.size()), crc16(data),
               static_cast<std::uint32_t>(data.size()));
        out_.insert(out_.end(), packed.begin(), packed.end());
    }
    void entry(int method, const std::string& name, const Bytes& data) {
        entry(method, name, data, pack(method, data));
    }
    void folder(const std::string& name) { header(30, name, 0, 0, 0); }
    void folderEnd() { out_.insert(out_.end(), {0x1A, 0x1F}); }
    Bytes finish() {
        out_.insert(out_.end(), {0x1A, 0x00});
        return std::move(out_);
    }
    // The raw header, for damaged archives.
    void header(int method, const std::string& name, std::uint32_t packed, std::uint16_t crc,
                std::uint32_t size) {
        out_.push_back(0x1A);
        out_.push_back(static_cast<std::uint8_t>(method));
        std::string n = name.substr(0, 12);
        n.resize(13, '\0');
        out_.insert(out_.end(), n.begin(), n.end());
        put32(packed);
        put32(kDosDate >> 16 | kDosDate << 16); // date first, then time
        out_.push_back(static_cast<std::uint8_t>(crc));
        out_.push_back(static_cast<std::uint8_t>(crc >> 8));
        if (method != 1) put32(size);
    }
    Bytes& bytes() { return out_; }

private:
    void put32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    Bytes out_;
};

} // namespace arcenc
