// The static-Huffman LZ77 encoder: suffix-tree dictionary, lazy matching by one step,
// block-wise Huffman codes limited to 16 bits.
#include "archive/codec/aeLzhEncode.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace ae {
namespace {

constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kNC = 256 + kMaxMatch - kThreshold + 1; // 510 literal/length symbols
constexpr int kNT = 19;                               // code-length symbols
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr int kMaxNP = 16;
constexpr int kMaxCodeBits = 16;
constexpr uint32_t kNil = 0;
constexpr uint32_t kPercFlag = 0x80000000u; // a node's position not yet passed up to its parent
constexpr size_t kOutBufSize = 32768;

class Encoder {
public:
    Encoder(TLzhEncodeIo& io, const LzhEncodeParams& p, int64_t size)
        : io_{io}, dicBits_{TreeBits(p, size)}, ds_{1u << dicBits_}, np_{p.dicBits + 1}, pBit_{p.pBits},
          bufSize_{static_cast<size_t>(p.symbolBuffer)}, origSize_{size} {
        text_.assign(2 * ds_ + kMaxMatch, 0);
        level_.assign(ds_ + 256, 0);
        childCount_.assign(ds_ + 256, 0);
        position_.assign(ds_ + 256, 0);
        parent_.assign(2 * ds_, 0);
        prev_.assign(2 * ds_, 0);
        next_.assign(3 * ds_ + (ds_ / 512 + 1) * 255 + 1, 0);
        symBuf_.assign(bufSize_, 0);
        out_.reserve(kOutBufSize);
    }

    LzhEncodeResult Run();

    // The dictionary's own width. An input that fits a smaller window with room for a whole
    // look-ahead never slides, and then the tree, the node numbers it hands out and every
    // distance it finds are the same in the smaller window: only the set-up, which touches
    // every slot of the window, shrinks with the file.
    static int TreeBits(const LzhEncodeParams& p, int64_t size) {
        constexpr int kNarrowest = 10; // the hash shifts a byte by dicBits - 9
        int bits = p.dicBits;
        if (!p.fitWindowToInput) return bits;
        while (bits > kNarrowest && (int64_t{1} << (bits - 1)) >= size + kMaxMatch) --bits;
        return bits;
    }

private:
    // ---- dictionary ----
    uint32_t hash(uint32_t q, uint8_t c) const { return q + (uint32_t{c} << (dicBits_ - 9)) + 2 * ds_; }
    uint32_t child(uint32_t q, uint8_t c) {
        uint32_t r = next_[hash(q, c)];
        parent_[kNil] = q; // the chain's end stops the search
        while (parent_[r] != q) r = next_[r];
        return r;
    }
    void makeChild(uint32_t q, uint8_t c, uint32_t r) {
        const uint32_t h = hash(q, c);
        const uint32_t t = next_[h];
        next_[h] = r;
        next_[r] = t;
        prev_[t] = r;
        prev_[r] = h;
        parent_[r] = q;
        ++childCount_[q];
    }
    // Puts node n in old's place in its hash chain.
    void takePlace(uint32_t old, uint32_t n) {
        uint32_t t = prev_[old];
        prev_[n] = t;
        next_[t] = n;
        t = next_[old];
        next_[n] = t;
        prev_[t] = n;
    }
    void split(uint32_t old);
    void insertNode();
    void deleteNode();
    void initSlide();
    void getNextMatch();
    int64_t readInput(uint8_t* p, int64_t n);

    // ---- Huffman ----
    int makeTree(int n, uint16_t* freq, uint8_t* len, uint16_t* code);
    void countLen(int i, int depth, int n);
    void makeLen(int root, int n, uint8_t* len);
    void output(unsigned c, unsigned p);
    void sendBlock();
    template <class VisitFn> void walkCLen(int n, VisitFn Visit) const;
    int usedCLen() const;
    void countTFreq();
    void writePtLen(int n, int nbit, int special);
    void writeCLen();
    void encodeC(int c) { putBits(cLen_[c], cCode_[c]); }
    void encodeP(unsigned p) {
        int c = 0;
        for (unsigned q = p; q; q >>= 1) ++c;
        putBits(ptLen_[c], ptCode_[c]);
        if (c > 1) putBits(c - 1, p & (0xFFFFu >> (17 - c)));
    }
    void putBits(int n, unsigned x) {
        if (n == 0) return;
        bitBuf_ = (bitBuf_ << n) | (x & ((1u << n) - 1));
        bitCount_ += n;
        while (bitCount_ >= 8) {
            bitCount_ -= 8;
            putByte(static_cast<uint8_t>(bitBuf_ >> bitCount_));
        }
    }
    void putByte(uint8_t b) {
        if (compSize_ >= origSize_) {
            unpackable_ = true;
            return;
        }
        ++compSize_;
        out_.push_back(b);
        if (out_.size() >= kOutBufSize) flushOut();
    }
    void flushOut() {
        if (out_.empty()) return;
        io_.WriteOutput(out_.data(), static_cast<int64_t>(out_.size()));
        written_ += static_cast<int64_t>(out_.size());
        out_.clear();
    }

    TLzhEncodeIo& io_;
    const int dicBits_;
    const uint32_t ds_;
    const int np_;
    const int pBit_;
    const size_t bufSize_;
    const int64_t origSize_;

    std::vector<uint8_t> text_;
    std::vector<uint32_t> level_, childCount_, position_, parent_, prev_, next_;
    uint32_t pos_ = 0, matchPos_ = 0, avail_ = 1;
    int matchLen_ = 0;
    int64_t remainder_ = 0, toRead_ = 0;

    std::vector<uint8_t> symBuf_;
    size_t outputPos_ = 0, cpos_ = 0;
    unsigned outputMask_ = 0;
    uint16_t cFreq_[2 * kNC - 1] = {}, cCode_[kNC] = {};
    uint8_t cLen_[kNC] = {};
    uint16_t pFreq_[2 * kMaxNP - 1] = {}, tFreq_[2 * kNT - 1] = {}, ptCode_[kNT] = {};
    uint8_t ptLen_[kNT] = {};
    // tree building
    int heap_[kNC + 1] = {}, heapSize_ = 0;
    uint16_t left_[2 * kNC - 1] = {}, right_[2 * kNC - 1] = {};
    uint16_t lenCnt_[kMaxCodeBits + 1] = {};
    uint16_t* freq_ = nullptr;

    uint64_t bitBuf_ = 0;
    int bitCount_ = 0;
    std::vector<uint8_t> out_;
    int64_t compSize_ = 0, written_ = 0;
    bool unpackable_ = false;
};

int64_t Encoder::readInput(uint8_t* p, int64_t n) {
    n = std::min(n, toRead_);
    if (n <= 0) return 0;
    int64_t done = 0;
    while (done < n) {
        const int64_t got = io_.ReadInput(p + done, n - done);
        if (got <= 0) break;
        done += got;
    }
    toRead_ -= done;
    return done;
}

void Encoder::initSlide() {
    for (uint32_t i = ds_; i < ds_ + 256; ++i) {
        level_[i] = 1;
        position_[i] = kNil;
    }
    for (uint32_t i = ds_; i < 2 * ds_; ++i) parent_[i] = kNil;
    avail_ = 1;
    for (uint32_t i = 1; i < ds_ - 1; ++i) next_[i] = i + 1;
    next_[ds_ - 1] = kNil;
    for (size_t i = 2 * ds_; i < next_.size(); ++i) next_[i] = kNil;
}

void Encoder::split(uint32_t old) {
    const uint32_t n = avail_;
    avail_ = next_[n];
    childCount_[n] = 0;
    takePlace(old, n);
    parent_[n] = parent_[old];
    level_[n] = static_cast<uint32_t>(matchLen_);
    position_[n] = pos_;
    makeChild(n, text_[matchPos_ + static_cast<uint32_t>(matchLen_)], old);
    makeChild(n, text_[pos_ + static_cast<uint32_t>(matchLen_)], pos_);
}

void Encoder::insertNode() {
    uint32_t q, r;
    if (matchLen_ >= 4) {
        // The previous match continues one byte on: start the walk from its node.
        --matchLen_;
        r = (matchPos_ + 1) | ds_;
        while ((q = parent_[r]) == kNil) r = next_[r];
        while (level_[q] >= static_cast<uint32_t>(matchLen_)) {
            r = q;
            q = parent_[q];
        }
        uint32_t t = q;
        while (position_[t] & kPercFlag) {
            position_[t] = pos_;
            t = parent_[t];
        }
        if (t < ds_) position_[t] = pos_ | kPercFlag;
    } else {
        q = text_[pos_] + ds_;
        const uint8_t c = text_[pos_ + 1];
        if ((r = child(q, c)) == kNil) {
            makeChild(q, c, pos_);
            matchLen_ = 1;
            return;
        }
        matchLen_ = 2;
    }
    for (;;) {
        int j;
        if (r >= ds_) {
            j = kMaxMatch;
            matchPos_ = r;
        } else {
            j = static_cast<int>(level_[r]);
            matchPos_ = position_[r] & ~kPercFlag;
        }
        if (matchPos_ >= pos_) matchPos_ -= ds_;
        const uint8_t* t1 = &text_[pos_ + static_cast<uint32_t>(matchLen_)];
        const uint8_t* t2 = &text_[matchPos_ + static_cast<uint32_t>(matchLen_)];
        while (matchLen_ < j) {
            if (*t1 != *t2) {
                split(r);
                return;
            }
            ++matchLen_;
            ++t1;
            ++t2;
        }
        if (matchLen_ >= kMaxMatch) break;
        position_[r] = pos_;
        q = r;
        if ((r = child(q, *t1)) == kNil) {
            makeChild(q, *t1, pos_);
            return;
        }
        ++matchLen_;
    }
    // A full-length match: the current position takes the old leaf's place, which links to it.
    takePlace(r, pos_);
    parent_[pos_] = q;
    parent_[r] = kNil;
    next_[r] = pos_;
}

void Encoder::deleteNode() {
    if (parent_[pos_] == kNil) return;
    uint32_t r = prev_[pos_];
    uint32_t s = next_[pos_];
    next_[r] = s;
    prev_[s] = r;
    r = parent_[pos_];
    parent_[pos_] = kNil;
    if (r >= ds_ || --childCount_[r] > 1) return;
    // The parent keeps one child: it goes, and the child moves up in its place.
    uint32_t t = position_[r] & ~kPercFlag;
    if (t >= pos_) t -= ds_;
    s = t;
    uint32_t q = parent_[r];
    uint32_t u;
    while ((u = position_[q]) & kPercFlag) {
        u &= ~kPercFlag;
        if (u >= pos_) u -= ds_;
        if (u > s) s = u;
        position_[q] = s | ds_;
        q = parent_[q];
    }
    if (q < ds_) {
        if (u >= pos_) u -= ds_;
        if (u > s) s = u;
        position_[q] = s | ds_ | kPercFlag;
    }
    s = child(r, text_[t + level_[r]]);
    t = prev_[s];
    u = next_[s];
    next_[t] = u;
    prev_[u] = t;
    t = prev_[r];
    next_[t] = s;
    prev_[s] = t;
    t = next_[r];
    prev_[t] = s;
    next_[s] = t;
    parent_[s] = parent_[r];
    parent_[r] = kNil;
    next_[r] = avail_;
    avail_ = r;
}

void Encoder::getNextMatch() {
    --remainder_;
    if (++pos_ == 2 * ds_) {
        std::memmove(&text_[0], &text_[ds_], ds_ + kMaxMatch);
        remainder_ += readInput(&text_[ds_ + kMaxMatch], ds_);
        pos_ = ds_;
    }
    deleteNode();
    insertNode();
}

// ---- Huffman codes ----

void Encoder::countLen(int i, int depth, int n) {
    if (i < n) {
        ++lenCnt_[std::min(depth, kMaxCodeBits)];
    } else {
        countLen(left_[i], depth + 1, n);
        countLen(right_[i], depth + 1, n);
    }
}

void Encoder::makeLen(int root, int n, uint8_t* len) {
    std::fill(std::begin(lenCnt_), std::end(lenCnt_), 0);
    countLen(root, 0, n);
    uint32_t cum = 0;
    for (int i = kMaxCodeBits; i > 0; --i) cum += uint32_t{lenCnt_[i]} << (kMaxCodeBits - i);
    // Depths cut at 16 over-fill the code space: move codes down until it is exactly full.
    while (cum != (1u << kMaxCodeBits)) {
        --lenCnt_[kMaxCodeBits];
        for (int i = kMaxCodeBits - 1; i > 0; --i)
            if (lenCnt_[i] != 0) {
                --lenCnt_[i];
                lenCnt_[i + 1] += 2;
                break;
            }
        --cum;
    }
    (void)len;
}

int Encoder::makeTree(int n, uint16_t* freq, uint8_t* len, uint16_t* code) {
    freq_ = freq;
    auto downHeap = [&](int i) {
        const int k = heap_[i];
        int j;
        while ((j = 2 * i) <= heapSize_) {
            if (j < heapSize_ && freq_[heap_[j]] > freq_[heap_[j + 1]]) ++j;
            if (freq_[k] <= freq_[heap_[j]]) break;
            heap_[i] = heap_[j];
            i = j;
        }
        heap_[i] = k;
    };
    int avail = n;
    heapSize_ = 0;
    heap_[1] = 0;
    for (int i = 0; i < n; ++i) {
        len[i] = 0;
        if (freq[i]) heap_[++heapSize_] = i;
    }
    if (heapSize_ < 2) {
        code[heap_[1]] = 0;
        return heap_[1];
    }
    for (int i = heapSize_ / 2; i >= 1; --i) downHeap(i);
    // Leaves in the order they are taken (least frequent first) get the lengths below.
    uint16_t order[kNC];
    int taken = 0, k;
    do {
        const int i = heap_[1];
        if (i < n) order[taken++] = static_cast<uint16_t>(i);
        heap_[1] = heap_[heapSize_--];
        downHeap(1);
        const int j = heap_[1];
        if (j < n) order[taken++] = static_cast<uint16_t>(j);
        k = avail++;
        freq[k] = static_cast<uint16_t>(freq[i] + freq[j]);
        heap_[1] = k;
        downHeap(1);
        left_[k] = static_cast<uint16_t>(i);
        right_[k] = static_cast<uint16_t>(j);
    } while (heapSize_ > 1);
    makeLen(k, n, len);
    int at = 0;
    for (int i = kMaxCodeBits; i > 0; --i)
        for (int c = lenCnt_[i]; c > 0; --c) len[order[at++]] = static_cast<uint8_t>(i);
    // Canonical codes: shorter lengths first, in symbol order.
    uint16_t start[kMaxCodeBits + 2];
    start[1] = 0;
    for (int i = 1; i <= kMaxCodeBits; ++i)
        start[i + 1] = static_cast<uint16_t>((start[i] + lenCnt_[i]) << 1);
    for (int i = 0; i < n; ++i) code[i] = start[len[i]]++;
    return k;
}

// The character code lengths as the T table sends them, up to the last one in use: Visit gets
// each length K > 0 alone (Count 1) and each run of Count zero lengths (K 0).
template <class VisitFn> void Encoder::walkCLen(int n, VisitFn Visit) const {
    int i = 0;
    while (i < n) {
        const int k = cLen_[i++];
        int count = 1;
        if (k == 0) {
            while (i < n && cLen_[i] == 0) {
                ++i;
                ++count;
            }
        }
        Visit(k, count);
    }
}

int Encoder::usedCLen() const {
    int n = kNC;
    while (n > 0 && cLen_[n - 1] == 0) --n;
    return n;
}

void Encoder::countTFreq() {
    std::fill(tFreq_, tFreq_ + kNT, 0);
    walkCLen(usedCLen(), [this](int k, int count) {
        if (k != 0)
            ++tFreq_[k + 2];
        else if (count <= 2)
            tFreq_[0] = static_cast<uint16_t>(tFreq_[0] + count);
        else if (count <= 18)
            ++tFreq_[1];
        else if (count == 19) {
            ++tFreq_[0];
            ++tFreq_[1];
        } else
            ++tFreq_[2];
    });
}

void Encoder::writePtLen(int n, int nbit, int special) {
    while (n > 0 && ptLen_[n - 1] == 0) --n;
    putBits(nbit, static_cast<unsigned>(n));
    int i = 0;
    while (i < n) {
        const int k = ptLen_[i++];
        if (k <= 6)
            putBits(3, static_cast<unsigned>(k));
        else
            putBits(k - 3, (1u << (k - 3)) - 2);
        if (i == special) {
            while (i < 6 && ptLen_[i] == 0) ++i;
            putBits(2, static_cast<unsigned>((i - 3) & 3));
        }
    }
}

void Encoder::writeCLen() {
    const int n = usedCLen();
    putBits(kCBit, static_cast<unsigned>(n));
    walkCLen(n, [this](int k, int count) {
        if (k != 0) {
            putBits(ptLen_[k + 2], ptCode_[k + 2]);
        } else if (count <= 2) {
            for (int z = 0; z < count; ++z) putBits(ptLen_[0], ptCode_[0]);
        } else if (count <= 18) {
            putBits(ptLen_[1], ptCode_[1]);
            putBits(4, static_cast<unsigned>(count - 3));
        } else if (count == 19) {
            putBits(ptLen_[0], ptCode_[0]);
            putBits(ptLen_[1], ptCode_[1]);
            putBits(4, 15);
        } else {
            putBits(ptLen_[2], ptCode_[2]);
            putBits(kCBit, static_cast<unsigned>(count - 20));
        }
    });
}

void Encoder::sendBlock() {
    int root = makeTree(kNC, cFreq_, cLen_, cCode_);
    const unsigned size = cFreq_[root];
    putBits(16, size);
    if (root >= kNC) {
        countTFreq();
        root = makeTree(kNT, tFreq_, ptLen_, ptCode_);
        if (root >= kNT) {
            writePtLen(kNT, kTBit, 3);
        } else {
            putBits(kTBit, 0);
            putBits(kTBit, static_cast<unsigned>(root));
        }
        writeCLen();
    } else {
        // One literal/length symbol: no code-length code, the symbol itself.
        putBits(kTBit, 0);
        putBits(kTBit, 0);
        putBits(kCBit, 0);
        putBits(kCBit, static_cast<unsigned>(root));
    }
    root = makeTree(np_, pFreq_, ptLen_, ptCode_);
    if (root >= np_) {
        writePtLen(np_, pBit_, -1);
    } else {
        putBits(pBit_, 0);
        putBits(pBit_, static_cast<unsigned>(root));
    }
    size_t pos = 0;
    unsigned flags = 0;
    for (unsigned i = 0; i < size && !unpackable_; ++i) {
        if (i % 8 == 0)
            flags = symBuf_[pos++];
        else
            flags <<= 1;
        if (flags & 0x80) {
            encodeC(symBuf_[pos++] + 256);
            unsigned k = unsigned{symBuf_[pos]} << 8 | symBuf_[pos + 1];
            pos += 2;
            encodeP(k);
        } else {
            encodeC(symBuf_[pos++]);
        }
    }
    std::fill(cFreq_, cFreq_ + kNC, 0);
    std::fill(pFreq_, pFreq_ + np_, 0);
}

void Encoder::output(unsigned c, unsigned p) {
    if ((outputMask_ >>= 1) == 0) {
        outputMask_ = 0x80;
        if (outputPos_ >= bufSize_ - 24) {
            sendBlock();
            if (unpackable_) return;
            outputPos_ = 0;
        }
        cpos_ = outputPos_++;
        symBuf_[cpos_] = 0;
    }
    symBuf_[outputPos_++] = static_cast<uint8_t>(c);
    ++cFreq_[c];
    if (c >= 256) {
        symBuf_[cpos_] = static_cast<uint8_t>(symBuf_[cpos_] | outputMask_);
        symBuf_[outputPos_++] = static_cast<uint8_t>(p >> 8);
        symBuf_[outputPos_++] = static_cast<uint8_t>(p);
        int bits = 0;
        for (unsigned q = p; q; q >>= 1) ++bits;
        ++pFreq_[bits];
    }
}

LzhEncodeResult Encoder::Run() {
    initSlide();
    toRead_ = origSize_;
    remainder_ = readInput(&text_[ds_], ds_ + kMaxMatch);
    if (io_.Cancelled()) return {written_, false};
    matchLen_ = 0;
    pos_ = ds_;
    insertNode();
    if (matchLen_ > remainder_) matchLen_ = static_cast<int>(remainder_);
    uint64_t steps = 0;
    while (remainder_ > 0 && !unpackable_) {
        const int lastLen = matchLen_;
        const uint32_t lastPos = matchPos_;
        getNextMatch();
        if (matchLen_ > remainder_) matchLen_ = static_cast<int>(remainder_);
        if (matchLen_ > lastLen || lastLen < kThreshold) {
            output(text_[pos_ - 1], 0);
        } else {
            output(static_cast<unsigned>(lastLen + (256 - kThreshold)), (pos_ - lastPos - 2) & (ds_ - 1));
            for (int n = lastLen - 1; n > 0 && !unpackable_; --n) getNextMatch();
            if (matchLen_ > remainder_) matchLen_ = static_cast<int>(remainder_);
        }
        if ((++steps & 0xFFFF) == 0 && io_.Cancelled()) return {written_, false};
    }
    if (!unpackable_) {
        sendBlock();
        putBits(7, 0);
    }
    if (unpackable_) return {written_, true};
    flushOut();
    return {written_, false};
}

class BufferIo final : public TLzhEncodeIo {
public:
    explicit BufferIo(std::span<const uint8_t> in) : in_{in} {}
    int64_t ReadInput(uint8_t* b, int64_t n) override {
        const size_t k = std::min(static_cast<size_t>(n), in_.size() - at_);
        std::memcpy(b, in_.data() + at_, k);
        at_ += k;
        return static_cast<int64_t>(k);
    }
    void WriteOutput(const uint8_t* b, int64_t n) override { out.insert(out.end(), b, b + n); }
    std::vector<uint8_t> out;

private:
    std::span<const uint8_t> in_;
    size_t at_ = 0;
};

} // namespace

LzhEncodeResult LzhEncode(TLzhEncodeIo& Io, const LzhEncodeParams& Params, int64_t Size) {
    auto e = std::make_unique<Encoder>(Io, Params, Size);
    return e->Run();
}

std::vector<uint8_t> LzhEncodeBuffer(std::span<const uint8_t> In, const LzhEncodeParams& Params,
                                     bool* Incompressible) {
    BufferIo io{In};
    const LzhEncodeResult r = LzhEncode(io, Params, static_cast<int64_t>(In.size()));
    if (Incompressible) *Incompressible = r.Incompressible;
    return std::move(io.out);
}

} // namespace ae
