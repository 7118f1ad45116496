// Deflate encoder. The matcher keeps a 64 KiB window that slides by 32 KiB (copy down and
// rebase both hash arrays), chains positions by a rolling hash of 3 bytes and compares
// candidates eight bytes at a time. Blocks hold up to 32,767 symbols; each is sent stored,
// with the fixed codes or with its own codes, whichever is smallest.
#include "archive/codec/aeDeflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned kWSize = 32768; // window half, and the largest distance RFC 1951 allows
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowSize = 2 * kWSize;
constexpr unsigned kHashSize = 32768;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = 5; // 3 bytes of 5 bits each cover the 15-bit hash
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1; // a whole match plus the next hash
constexpr unsigned kMaxDist = kWSize - kMinLookahead;         // 32,506: keeps matches inside the window
constexpr unsigned kTooFar = 4096; // a length-3 match farther costs more than literals
constexpr unsigned kLitBufSize = 32768;
constexpr unsigned kDistBufSize = 32768;
// Candidates are compared 8 bytes at a time up to 258 bytes past the current position,
// which may lie anywhere up to the window's end; the padding keeps those reads inside.
constexpr unsigned kWindowPad = kMaxMatch + 16;

constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLengthCodes = 29;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes; // 286
constexpr int kDCodes = 30;
constexpr int kBLCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1; // leaves and inner nodes of the largest tree
constexpr int kMaxBits = 15;
constexpr int kMaxBLBits = 7;
constexpr int kRep3To6 = 16, kRepZero3To10 = 17, kRepZero11To138 = 18;

constexpr uint8_t kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                          6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kExtraBLBits[kBLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// RFC 1951 3.2.7: the order in which code-length code lengths are sent.
constexpr uint8_t kBLOrder[kBLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct Config {
    uint16_t good;  // previous match this long: search a quarter of the chain
    uint16_t lazy;  // lazy loop: no search after a match this long; fast loop: insertion limit
    uint16_t nice;  // stop searching at a match this long
    uint16_t chain; // candidates tried per search
};
constexpr Config kConfig[10] = {
    {0, 0, 0, 0},    {4, 4, 8, 4},      {4, 5, 16, 8},     {4, 6, 32, 32},       {4, 4, 16, 16},
    {8, 16, 32, 32}, {8, 16, 128, 128}, {8, 32, 128, 256}, {32, 128, 258, 1024}, {32, 258, 258, 4096}};

constexpr unsigned reverseBits(unsigned code, int len) {
    unsigned r = 0;
    for (int i = 0; i < len; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Tables derived from the RFC 1951 alphabets, computed at compile time.
struct StaticTables {
    uint8_t lengthCode[256]; // (match length - 3) -> length code 0..28
    uint16_t baseLength[kLengthCodes];
    uint8_t distCode[512]; // (distance - 1) below 256 directly, above by (distance - 1) / 128
    uint16_t baseDist[kDCodes];
    uint16_t lcode[288]; // fixed literal/length code, bit-reversed
    uint8_t llen[288];
    uint16_t dcode[kDCodes]; // fixed distance code: 5 bits, bit-reversed
    uint8_t dlen[kDCodes];
};

constexpr StaticTables buildStaticTables() {
    StaticTables t{};
    unsigned length = 0;
    for (int code = 0; code < kLengthCodes - 1; ++code) {
        t.baseLength[code] = static_cast<uint16_t>(length);
        for (unsigned n = 0; n < (1u << kExtraLBits[code]); ++n)
            t.lengthCode[length++] = static_cast<uint8_t>(code);
    }
    // Length 258 has a code of its own (285) although 284 with all extra bits set could say it.
    t.lengthCode[255] = kLengthCodes - 1;
    t.baseLength[kLengthCodes - 1] = 255;
    unsigned dist = 0;
    for (int code = 0; code < 16; ++code) {
        t.baseDist[code] = static_cast<uint16_t>(dist);
        for (unsigned n = 0; n < (1u << kExtraDBits[code]); ++n)
            t.distCode[dist++] = static_cast<uint8_t>(code);
    }
    dist >>= 7;
    for (int code = 16; code < kDCodes; ++code) {
        t.baseDist[code] = static_cast<uint16_t>(dist << 7);
        for (unsigned n = 0; n < (1u << (kExtraDBits[code] - 7)); ++n)
            t.distCode[256 + dist++] = static_cast<uint8_t>(code);
    }
    // RFC 1951 3.2.6: 0-143 8 bits, 144-255 9, 256-279 7, 280-287 8; canonical codes.
    unsigned count[kMaxBits + 2] = {};
    for (int n = 0; n < 288; ++n) {
        t.llen[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        ++count[t.llen[n]];
    }
    unsigned next[kMaxBits + 2] = {};
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int n = 0; n < 288; ++n)
        t.lcode[n] = static_cast<uint16_t>(reverseBits(next[t.llen[n]]++, t.llen[n]));
    for (int n = 0; n < kDCodes; ++n) {
        t.dlen[n] = 5;
        t.dcode[n] = static_cast<uint16_t>(reverseBits(static_cast<unsigned>(n), 5));
    }
    return t;
}
constexpr StaticTables kT = buildStaticTables();
static_assert(kT.lengthCode[255] == 28 && kT.distCode[256 + (32767 >> 7)] == 29);

inline unsigned distCode(unsigned distMinus1) {
    return distMinus1 < 256 ? kT.distCode[distMinus1] : kT.distCode[256 + (distMinus1 >> 7)];
}

inline uint32_t loadLE32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
// Bits go out lowest first: a little-endian store of the bit buffer puts them in order.
inline void storeLE64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}
// Number of equal leading bytes, given the XOR of two 8-byte loads (non-zero).
inline unsigned equalBytes(uint64_t x) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<unsigned>(std::countr_zero(x)) >> 3;
    else
        return static_cast<unsigned>(std::countl_zero(x)) >> 3;
}

// One Huffman tree under construction: leaves 0..elems-1, inner nodes after them.
struct TreeDesc {
    uint32_t* freq;
    uint16_t* code;
    uint16_t* len;
    uint16_t* dad;
    const uint8_t* staticLen; // lengths of the fixed code, or null (code-length tree)
    const uint8_t* extraBits;
    int extraBase;
    int elems;
    int maxLength;
    int maxCode = 0;
};

class Encoder {
public:
    Encoder(TDeflateIo& io, int level) : io_{&io}, level_{level}, cfg_{kConfig[level]} {}
    TDeflateResult run();

private:
    static constexpr unsigned kOutSize = 64 * 1024;
    static constexpr unsigned kOutSlack = 64; // one symbol (at most 48 bits) is stored as 8 bytes

    // ---- matching ----
    unsigned insert(unsigned s) {
        insH_ = ((insH_ << kHashShift) ^ window_[s + 2]) & kHashMask;
        const unsigned candidate = head_[insH_];
        prev_[s & kWMask] = static_cast<uint16_t>(candidate);
        head_[insH_] = static_cast<uint16_t>(s);
        return candidate;
    }
    void primeHash(unsigned s) { insH_ = ((window_[s] << kHashShift) ^ window_[s + 1]) & kHashMask; }
    unsigned longestMatch(unsigned candidate);
    void fillWindow();
    void slideWindow();
    void deflateFast();
    void deflateLazy();

    // ---- symbols of the current block ----
    bool tallyLiteral(unsigned c) {
        dBuf_[lastLit_] = 0;
        lBuf_[lastLit_++] = static_cast<uint8_t>(c);
        ++ltFreq_[c];
        return blockFull();
    }
    bool tallyMatch(unsigned dist, unsigned lenMinus3) {
        dBuf_[lastLit_] = static_cast<uint16_t>(dist);
        lBuf_[lastLit_++] = static_cast<uint8_t>(lenMinus3);
        ++lastDist_;
        ++ltFreq_[kT.lengthCode[lenMinus3] + kLiterals + 1];
        ++dtFreq_[distCode(dist - 1)];
        return blockFull();
    }
    bool blockFull() {
        if (level_ > 2 && (lastLit_ & 0xfff) == 0 && worthCutting()) return true;
        return lastLit_ == kLitBufSize - 1 || lastDist_ == kDistBufSize;
    }
    bool worthCutting() const;
    void initBlock();

    // ---- block coding ----
    void flushBlock(bool last);
    void buildTree(TreeDesc& desc);
    void genBitLengths(TreeDesc& desc);
    void genCodes(const TreeDesc& desc);
    void pqDownHeap(const uint32_t* freq, int k);
    template <class RunFn> void walkTree(const uint16_t* len, int maxCode, RunFn Run);
    void scanTree(const uint16_t* len, int maxCode);
    void sendTree(const uint16_t* len, int maxCode);
    int buildBLTree();
    void sendAllTrees(int lcodes, int dcodes, int blcodes);
    void compressBlock(const uint16_t* lcode, const uint8_t* llen, const uint16_t* dcode,
                       const uint8_t* dlen);
    void compressBlockDynamic();

    // ---- bit output ----
    void sendBits(uint64_t value, unsigned n) {
        bitBuf_ |= value << bitCount_;
        bitCount_ += n;
        if (bitCount_ >= 32) {
            storeLE64(out_ + outPos_, bitBuf_);
            outPos_ += 4;
            bitBuf_ >>= 32;
            bitCount_ -= 32;
        }
    }
    void alignToByte();
    void ensureRoom(unsigned bytes) {
        if (outPos_ + bytes + kOutSlack > kOutSize) flushOutput();
    }
    void flushOutput();
    void emit(const uint8_t* p, int64_t n) {
        if (n <= 0) return;
        io_->WriteOutput(p, n);
        written_ += n;
    }

    TDeflateIo* io_;
    int level_;
    Config cfg_;

    // Matcher state
    unsigned strstart_ = 0;   // current position in the window
    unsigned lookahead_ = 0;  // valid bytes from strstart_ on
    unsigned matchStart_ = 0; // start of the last match found
    unsigned prevLength_ = kMinMatch - 1;
    unsigned insH_ = 0;
    int64_t blockStart_ = 0; // negative once the block's start has slid out of the window
    bool eof_ = false;
    bool stop_ = false;

    // Block state
    unsigned lastLit_ = 0;   // symbols stored
    unsigned lastDist_ = 0;  // matches stored
    uint64_t optLen_ = 0;    // bits of the block with its own codes
    uint64_t staticLen_ = 0; // bits of the block with the fixed codes
    bool emitted_ = false;   // a block went out already
    bool storedWhole_ = false;

    // Output
    uint64_t bitBuf_ = 0;
    unsigned bitCount_ = 0;
    unsigned outPos_ = 0;
    int64_t written_ = 0;

    // Trees
    int heapLen_ = 0, heapMax_ = 0;
    int heap_[kHeapSize];
    uint8_t depth_[kHeapSize];
    uint16_t blCount_[kMaxBits + 1];
    uint32_t ltFreq_[kHeapSize];
    uint16_t ltCode_[kHeapSize], ltLen_[kHeapSize], ltDad_[kHeapSize];
    uint32_t dtFreq_[2 * kDCodes + 1];
    uint16_t dtCode_[2 * kDCodes + 1], dtLen_[2 * kDCodes + 1], dtDad_[2 * kDCodes + 1];
    uint32_t blFreq_[2 * kBLCodes + 1];
    uint16_t blCode_[2 * kBLCodes + 1], blLen_[2 * kBLCodes + 1], blDad_[2 * kBLCodes + 1];
    TreeDesc lDesc_{ltFreq_, ltCode_, ltLen_, ltDad_, kT.llen, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits};
    TreeDesc dDesc_{dtFreq_, dtCode_, dtLen_, dtDad_, kT.dlen, kExtraDBits, 0, kDCodes, kMaxBits};
    TreeDesc blDesc_{blFreq_, blCode_, blLen_, blDad_, nullptr, kExtraBLBits, 0, kBLCodes, kMaxBLBits};

    // Large buffers last, so that the fields above share cache lines.
    uint16_t head_[kHashSize];
    uint16_t prev_[kWSize];
    uint16_t dBuf_[kLitBufSize]; // distance per symbol, 0 for a literal
    uint8_t lBuf_[kLitBufSize];  // literal byte or match length - 3
    uint8_t window_[kWindowSize + kWindowPad];
    uint8_t out_[kOutSize + kOutSlack];
};

// ---- matching ----

// Only a candidate that beats `best` matters: it must agree with the current position on
// its first best + 1 bytes. Two 4-byte probes (the start, and the 4 bytes ending at offset
// best) reject almost every other candidate before the full comparison; with best = 2 the
// probes look at the 3 bytes any match needs.
unsigned Encoder::longestMatch(unsigned candidate) {
    unsigned chain = cfg_.chain;
    if (prevLength_ >= cfg_.good) chain >>= 2;
    const unsigned nice = cfg_.nice;
    const unsigned limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : 0;
    const uint8_t* const scan = window_ + strstart_;
    unsigned best = prevLength_;
    uint32_t mask = best >= 3 ? 0xFFFFFFFFu : 0x00FFFFFFu;
    const uint32_t scanStart = loadLE32(scan);
    unsigned endAt = best >= 3 ? best - 3 : 0;
    uint32_t scanEnd = loadLE32(scan + endAt);
    do {
        const uint8_t* const match = window_ + candidate;
        if (((loadLE32(match + endAt) ^ scanEnd) & mask) != 0 || ((loadLE32(match) ^ scanStart) & mask) != 0)
            continue;
        unsigned len = 3;
        for (;;) {
            const uint64_t x = load64(scan + len) ^ load64(match + len);
            if (x != 0) {
                len += equalBytes(x);
                break;
            }
            len += 8;
            if (len >= kMaxMatch) break;
        }
        if (len > kMaxMatch) len = kMaxMatch;
        if (len > best) {
            matchStart_ = candidate;
            best = len;
            if (len >= nice) break;
            mask = 0xFFFFFFFFu;
            endAt = best - 3;
            scanEnd = loadLE32(scan + endAt);
        }
    } while ((candidate = prev_[candidate & kWMask]) > limit && --chain != 0);
    return best;
}

void Encoder::slideWindow() {
    std::memcpy(window_, window_ + kWSize, kWSize);
    matchStart_ -= kWSize;
    strstart_ -= kWSize;
    blockStart_ -= kWSize;
    // Positions that left the window become "none" (0).
    for (auto& h : head_) h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : 0);
    for (auto& p : prev_) p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : 0);
}

void Encoder::fillWindow() {
    do {
        unsigned more = kWindowSize - lookahead_ - strstart_;
        if (strstart_ >= kWSize + kMaxDist) {
            slideWindow();
            more += kWSize;
        }
        if (eof_) return;
        const int64_t n = io_->ReadInput(window_ + strstart_ + lookahead_, more);
        if (io_->Cancelled()) stop_ = true;
        if (n <= 0)
            eof_ = true;
        else
            lookahead_ += static_cast<unsigned>(std::min<int64_t>(n, more));
    } while (lookahead_ < kMinLookahead && !eof_);
}

// Levels 1-3: take the first match found; insert its positions only when it is short.
void Encoder::deflateFast() {
    prevLength_ = kMinMatch - 1;
    while (lookahead_ != 0 && !stop_) {
        const unsigned candidate = insert(strstart_);
        unsigned matchLength = 0;
        if (candidate != 0 && strstart_ - candidate <= kMaxDist) {
            matchLength = longestMatch(candidate);
            if (matchLength > lookahead_) matchLength = lookahead_;
        }
        bool flush;
        if (matchLength >= kMinMatch) {
            flush = tallyMatch(strstart_ - matchStart_, matchLength - kMinMatch);
            lookahead_ -= matchLength;
            if (matchLength <= cfg_.lazy) {
                for (unsigned i = 1; i < matchLength; ++i) insert(strstart_ + i);
                strstart_ += matchLength;
            } else {
                strstart_ += matchLength;
                primeHash(strstart_);
            }
        } else {
            flush = tallyLiteral(window_[strstart_]);
            --lookahead_;
            ++strstart_;
        }
        if (flush) {
            flushBlock(false);
            blockStart_ = strstart_;
        }
        if (lookahead_ < kMinLookahead && !eof_) fillWindow();
    }
    flushBlock(true);
}

// Levels 4-9: a match is kept only when the next position has no longer one.
void Encoder::deflateLazy() {
    unsigned matchLength = kMinMatch - 1;
    bool matchAvailable = false; // the byte before strstart_ waits to be sent
    while (lookahead_ != 0 && !stop_) {
        const unsigned candidate = insert(strstart_);
        prevLength_ = matchLength;
        const unsigned prevMatch = matchStart_;
        matchLength = kMinMatch - 1;
        if (candidate != 0 && prevLength_ < cfg_.lazy && strstart_ - candidate <= kMaxDist) {
            matchLength = longestMatch(candidate);
            if (matchLength > lookahead_) matchLength = lookahead_;
            if (matchLength == kMinMatch && strstart_ - matchStart_ > kTooFar) matchLength = kMinMatch - 1;
        }
        if (prevLength_ >= kMinMatch && matchLength <= prevLength_) {
            const bool flush = tallyMatch(strstart_ - 1 - prevMatch, prevLength_ - kMinMatch);
            lookahead_ -= prevLength_ - 1;
            // strstart_ - 1 and strstart_ are in the chains already.
            const unsigned end = strstart_ + prevLength_ - 1;
            for (unsigned s = strstart_ + 1; s < end; ++s) insert(s);
            strstart_ = end;
            matchAvailable = false;
            matchLength = kMinMatch - 1;
            if (flush) {
                flushBlock(false);
                blockStart_ = strstart_;
            }
        } else if (matchAvailable) {
            if (tallyLiteral(window_[strstart_ - 1])) {
                flushBlock(false);
                blockStart_ = strstart_;
            }
            ++strstart_;
            --lookahead_;
        } else {
            matchAvailable = true;
            ++strstart_;
            --lookahead_;
        }
        if (lookahead_ < kMinLookahead && !eof_) fillWindow();
    }
    if (matchAvailable) tallyLiteral(window_[strstart_ - 1]);
    flushBlock(true);
}

// ---- symbols of the current block ----

void Encoder::initBlock() {
    std::fill_n(ltFreq_, kLCodes, 0u);
    std::fill_n(dtFreq_, kDCodes, 0u);
    std::fill_n(blFreq_, kBLCodes, 0u);
    ltFreq_[kEndBlock] = 1;
    optLen_ = staticLen_ = 0;
    lastLit_ = lastDist_ = 0;
}

// From level 3 on, every 4,096 symbols: cut the block early when its matches are few and
// coding already halves it, so that new codes for what follows can pay.
bool Encoder::worthCutting() const {
    uint64_t outLength = uint64_t{lastLit_} * 8;
    const uint64_t inLength = static_cast<uint64_t>(static_cast<int64_t>(strstart_) - blockStart_);
    for (int d = 0; d < kDCodes; ++d) outLength += uint64_t{dtFreq_[d]} * (5u + kExtraDBits[d]);
    outLength >>= 3;
    return lastDist_ < lastLit_ / 2 && outLength < inLength / 2;
}

// ---- Huffman trees ----

void Encoder::pqDownHeap(const uint32_t* freq, int k) {
    const auto smaller = [&](int n, int m) {
        return freq[n] < freq[m] || (freq[n] == freq[m] && depth_[n] <= depth_[m]);
    };
    const int v = heap_[k];
    int j = k << 1;
    while (j <= heapLen_) {
        if (j < heapLen_ && smaller(heap_[j + 1], heap_[j])) ++j;
        if (smaller(v, heap_[j])) break;
        heap_[k] = heap_[j];
        k = j;
        j <<= 1;
    }
    heap_[k] = v;
}

// Lengths from the finished tree (parents before children in heap_[heapMax_..]); lengths
// over maxLength are cut and the code space they overdraw is repaid from shorter codes.
void Encoder::genBitLengths(TreeDesc& desc) {
    std::fill(std::begin(blCount_), std::end(blCount_), uint16_t{0});
    desc.len[heap_[heapMax_]] = 0; // root
    int overflow = 0;
    int h;
    for (h = heapMax_ + 1; h < kHeapSize; ++h) {
        const int n = heap_[h];
        int bits = desc.len[desc.dad[n]] + 1;
        if (bits > desc.maxLength) {
            bits = desc.maxLength;
            ++overflow;
        }
        desc.len[n] = static_cast<uint16_t>(bits);
        if (n > desc.maxCode) continue; // inner node
        ++blCount_[bits];
        const int xbits = n >= desc.extraBase ? desc.extraBits[n - desc.extraBase] : 0;
        const uint64_t f = desc.freq[n];
        optLen_ += f * static_cast<unsigned>(bits + xbits);
        if (desc.staticLen) staticLen_ += f * static_cast<unsigned>(desc.staticLen[n] + xbits);
    }
    if (overflow == 0) return;
    do {
        int bits = desc.maxLength - 1;
        while (blCount_[bits] == 0) --bits;
        --blCount_[bits];        // one leaf moves down the tree,
        blCount_[bits + 1] += 2; // its sibling and the overflowed one hang below it
        --blCount_[desc.maxLength];
        overflow -= 2;
    } while (overflow > 0);
    for (int bits = desc.maxLength; bits != 0; --bits) {
        int n = blCount_[bits];
        while (n != 0) {
            const int m = heap_[--h];
            if (m > desc.maxCode) continue;
            if (desc.len[m] != bits) {
                optLen_ += (static_cast<int64_t>(bits) - desc.len[m]) * static_cast<int64_t>(desc.freq[m]);
                desc.len[m] = static_cast<uint16_t>(bits);
            }
            --n;
        }
    }
}

void Encoder::genCodes(const TreeDesc& desc) {
    uint16_t next[kMaxBits + 1];
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + blCount_[bits - 1]) << 1;
        next[bits] = static_cast<uint16_t>(code);
    }
    for (int n = 0; n <= desc.maxCode; ++n) {
        const int len = desc.len[n];
        if (len == 0) continue;
        desc.code[n] = static_cast<uint16_t>(reverseBits(next[len]++, len));
    }
}

void Encoder::buildTree(TreeDesc& desc) {
    uint32_t* const freq = desc.freq;
    int maxCode = -1;
    heapLen_ = 0;
    heapMax_ = kHeapSize;
    for (int n = 0; n < desc.elems; ++n) {
        if (freq[n] != 0) {
            heap_[++heapLen_] = maxCode = n;
            depth_[n] = 0;
        } else {
            desc.len[n] = 0;
        }
    }
    // RFC 1951 needs at least one distance code, and a code of one symbol would be empty:
    // make sure there are two symbols, each sent with one bit.
    while (heapLen_ < 2) {
        const int node = heap_[++heapLen_] = maxCode < 2 ? ++maxCode : 0;
        freq[node] = 1;
        depth_[node] = 0;
        --optLen_;
        if (desc.staticLen) staticLen_ -= desc.staticLen[node];
    }
    desc.maxCode = maxCode;
    for (int n = heapLen_ / 2; n >= 1; --n) pqDownHeap(freq, n);
    int node = desc.elems;
    do {
        const int n = heap_[1];
        heap_[1] = heap_[heapLen_--];
        pqDownHeap(freq, 1);
        const int m = heap_[1];
        heap_[--heapMax_] = n;
        heap_[--heapMax_] = m;
        freq[node] = freq[n] + freq[m];
        depth_[node] = static_cast<uint8_t>(std::max(depth_[n], depth_[m]) + 1);
        desc.dad[n] = desc.dad[m] = static_cast<uint16_t>(node);
        heap_[1] = node++;
        pqDownHeap(freq, 1);
    } while (heapLen_ >= 2);
    heap_[--heapMax_] = heap_[1];
    genBitLengths(desc);
    genCodes(desc);
}

// Walks one tree's code lengths as the code-length alphabet sends them: Run gets each run of
// Count equal lengths Curlen (Prevlen: the length before it) and decides how it is sent.
template <class RunFn> void Encoder::walkTree(const uint16_t* len, int maxCode, RunFn Run) {
    int prevlen = -1;
    int nextlen = len[0];
    int count = 0;
    int maxCount = nextlen == 0 ? 138 : 7;
    int minCount = nextlen == 0 ? 3 : 4;
    for (int n = 0; n <= maxCode; ++n) {
        const int curlen = nextlen;
        nextlen = n < maxCode ? len[n + 1] : 0xffff;
        if (++count < maxCount && curlen == nextlen) continue;
        Run(curlen, count, prevlen, minCount);
        count = 0;
        prevlen = curlen;
        if (nextlen == 0)
            maxCount = 138, minCount = 3;
        else if (curlen == nextlen)
            maxCount = 6, minCount = 3;
        else
            maxCount = 7, minCount = 4;
    }
}

// Counts the code-length symbols (with their run-length codes 16, 17, 18) of one tree.
void Encoder::scanTree(const uint16_t* len, int maxCode) {
    walkTree(len, maxCode, [this](int curlen, int count, int prevlen, int minCount) {
        if (count < minCount) {
            blFreq_[curlen] += static_cast<uint32_t>(count);
        } else if (curlen != 0) {
            if (curlen != prevlen) ++blFreq_[curlen];
            ++blFreq_[kRep3To6];
        } else if (count <= 10) {
            ++blFreq_[kRepZero3To10];
        } else {
            ++blFreq_[kRepZero11To138];
        }
    });
}

void Encoder::sendTree(const uint16_t* len, int maxCode) {
    const auto sendCode = [&](int c) { sendBits(blCode_[c], blLen_[c]); };
    walkTree(len, maxCode, [&](int curlen, int count, int prevlen, int minCount) {
        if (count < minCount) {
            do sendCode(curlen);
            while (--count != 0);
        } else if (curlen != 0) {
            if (curlen != prevlen) {
                sendCode(curlen);
                --count;
            }
            sendCode(kRep3To6);
            sendBits(static_cast<unsigned>(count - 3), 2);
        } else if (count <= 10) {
            sendCode(kRepZero3To10);
            sendBits(static_cast<unsigned>(count - 3), 3);
        } else {
            sendCode(kRepZero11To138);
            sendBits(static_cast<unsigned>(count - 11), 7);
        }
    });
}

// Builds the code-length tree over both trees; returns the index in kBLOrder of the last
// code-length code sent (at least 3, as RFC 1951 sends at least 4).
int Encoder::buildBLTree() {
    scanTree(ltLen_, lDesc_.maxCode);
    scanTree(dtLen_, dDesc_.maxCode);
    buildTree(blDesc_);
    int maxBlIndex;
    for (maxBlIndex = kBLCodes - 1; maxBlIndex >= 3; --maxBlIndex)
        if (blLen_[kBLOrder[maxBlIndex]] != 0) break;
    optLen_ += 3u * static_cast<unsigned>(maxBlIndex + 1) + 5 + 5 + 4;
    return maxBlIndex;
}

void Encoder::sendAllTrees(int lcodes, int dcodes, int blcodes) {
    ensureRoom(1024);
    sendBits(static_cast<unsigned>(lcodes - 257), 5);
    sendBits(static_cast<unsigned>(dcodes - 1), 5);
    sendBits(static_cast<unsigned>(blcodes - 4), 4);
    for (int rank = 0; rank < blcodes; ++rank) sendBits(blLen_[kBLOrder[rank]], 3);
    sendTree(ltLen_, lcodes - 1);
    sendTree(dtLen_, dcodes - 1);
}

// Sends the block's symbols and the end-of-block code. The hot loop keeps the bit buffer
// in registers and stores 8 bytes per symbol (at most 7 + 48 bits are pending).
void Encoder::compressBlock(const uint16_t* lcode, const uint8_t* llen, const uint16_t* dcode,
                            const uint8_t* dlen) {
    uint64_t bb = bitBuf_;
    unsigned bc = bitCount_;
    uint8_t* out = out_ + outPos_;
    uint8_t* const outEnd = out_ + kOutSize;
    for (unsigned i = 0; i < lastLit_; ++i) {
        if (out >= outEnd) {
            outPos_ = static_cast<unsigned>(out - out_);
            flushOutput();
            out = out_ + outPos_;
        }
        const unsigned lc = lBuf_[i];
        unsigned dist = dBuf_[i];
        if (dist == 0) {
            bb |= uint64_t{lcode[lc]} << bc;
            bc += llen[lc];
        } else {
            unsigned code = kT.lengthCode[lc];
            bb |= uint64_t{lcode[code + kLiterals + 1]} << bc;
            bc += llen[code + kLiterals + 1];
            bb |= uint64_t{lc - kT.baseLength[code]} << bc;
            bc += kExtraLBits[code];
            --dist;
            code = distCode(dist);
            bb |= uint64_t{dcode[code]} << bc;
            bc += dlen[code];
            bb |= uint64_t{dist - kT.baseDist[code]} << bc;
            bc += kExtraDBits[code];
        }
        storeLE64(out, bb);
        out += bc >> 3;
        bb >>= bc & ~7u;
        bc &= 7;
    }
    outPos_ = static_cast<unsigned>(out - out_);
    bitBuf_ = bb;
    bitCount_ = bc;
    ensureRoom(8);
    sendBits(lcode[kEndBlock], llen[kEndBlock]);
}

void Encoder::compressBlockDynamic() {
    // The dynamic code arrays are 16-bit wide; the hot loop wants bytes for the lengths.
    uint8_t llen[kLCodes], dlen[kDCodes];
    for (int n = 0; n < kLCodes; ++n) llen[n] = static_cast<uint8_t>(ltLen_[n]);
    for (int n = 0; n < kDCodes; ++n) dlen[n] = static_cast<uint8_t>(dtLen_[n]);
    compressBlock(ltCode_, llen, dtCode_, dlen);
}

void Encoder::alignToByte() {
    while (bitCount_ > 0) {
        out_[outPos_++] = static_cast<uint8_t>(bitBuf_);
        bitBuf_ >>= 8;
        bitCount_ = bitCount_ > 8 ? bitCount_ - 8 : 0;
    }
    bitBuf_ = 0;
}

void Encoder::flushOutput() {
    // Whole bytes of the bit buffer stay in it; only completed bytes in out_ go.
    emit(out_, outPos_);
    outPos_ = 0;
}

void Encoder::flushBlock(bool last) {
    const int64_t storedLen = static_cast<int64_t>(strstart_) - blockStart_;
    // The block's bytes can be copied only while they are still in the window.
    const uint8_t* const buf = blockStart_ >= 0 ? window_ + blockStart_ : nullptr;

    buildTree(lDesc_);
    buildTree(dDesc_);
    const int maxBlIndex = buildBLTree();
    const uint64_t dynamicBytes = (optLen_ + 3 + 7) >> 3;
    const uint64_t staticBytes = (staticLen_ + 3 + 7) >> 3;
    const uint64_t bestBytes = std::min(dynamicBytes, staticBytes); // ties go to the fixed codes
    const uint64_t stored = static_cast<uint64_t>(storedLen);

    if (dynamicBytes < staticBytes && stored <= bestBytes && last && !emitted_ && buf) {
        // Nothing would be gained: the whole input goes out as it is, and the caller
        // records it as stored.
        flushOutput();
        emit(buf, storedLen);
        storedWhole_ = true;
    } else if (stored + 4 <= bestBytes && buf && storedLen <= 0xFFFF) {
        ensureRoom(16);
        sendBits(last ? 1 : 0, 3); // type 0
        alignToByte();
        const auto n = static_cast<uint16_t>(storedLen);
        const uint8_t lenBytes[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                     static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)};
        std::memcpy(out_ + outPos_, lenBytes, 4);
        outPos_ += 4;
        flushOutput();
        emit(buf, storedLen);
    } else if (staticBytes == bestBytes) {
        ensureRoom(8);
        sendBits(2u | (last ? 1u : 0u), 3); // type 1
        compressBlock(kT.lcode, kT.llen, kT.dcode, kT.dlen);
    } else {
        ensureRoom(8);
        sendBits(4u | (last ? 1u : 0u), 3); // type 2
        sendAllTrees(lDesc_.maxCode + 1, dDesc_.maxCode + 1, maxBlIndex + 1);
        compressBlockDynamic();
    }
    emitted_ = true;
    initBlock();
    if (!last && io_->Cancelled()) stop_ = true;
    if (last) {
        ensureRoom(16);
        alignToByte();
        flushOutput();
    }
}

TDeflateResult Encoder::run() {
    std::memset(head_, 0, sizeof head_);
    std::memset(prev_, 0, sizeof prev_);
    std::memset(window_, 0, sizeof window_);
    initBlock();
    const int64_t n = io_->ReadInput(window_, kWindowSize);
    if (io_->Cancelled()) stop_ = true;
    if (n <= 0) return {};
    lookahead_ = static_cast<unsigned>(std::min<int64_t>(n, kWindowSize));
    if (lookahead_ < kMinLookahead) fillWindow();
    primeHash(0);
    if (level_ <= 3)
        deflateFast();
    else
        deflateLazy();
    return {written_, storedWhole_};
}

class BufferIo final : public TDeflateIo {
public:
    explicit BufferIo(std::span<const uint8_t> in) : in_{in} {}
    int64_t ReadInput(uint8_t* buffer, int64_t count) override {
        const size_t n = std::min(static_cast<size_t>(count), in_.size() - pos_);
        if (n) std::memcpy(buffer, in_.data() + pos_, n);
        pos_ += n;
        return static_cast<int64_t>(n);
    }
    void WriteOutput(const uint8_t* buffer, int64_t count) override {
        out.insert(out.end(), buffer, buffer + count);
    }
    std::vector<uint8_t> out;

private:
    std::span<const uint8_t> in_;
    size_t pos_ = 0;
};

} // namespace

TDeflateResult Deflate(TDeflateIo& Io, int Level) {
    Level = std::clamp(Level, 1, 9);
    // About 330 KiB of working state: one allocation per call, never on the stack.
    // The constructor leaves the large arrays uninitialised; run() clears what it reads.
    auto encoder = std::make_unique<Encoder>(Io, Level);
    return encoder->run();
}

std::vector<uint8_t> DeflateBuffer(std::span<const uint8_t> In, int Level, bool* Stored) {
    BufferIo io{In};
    io.out.reserve(In.size() / 2 + 64);
    const TDeflateResult r = Deflate(io, Level);
    if (Stored) *Stored = r.Stored;
    return std::move(io.out);
}
