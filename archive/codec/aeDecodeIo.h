// The small input and output interface that every stream decoder of the engine is driven
// through: a byte source that is pulled in blocks, a sink that takes decoded bytes, and
// the result a decoder hands back. The decoders know nothing of archives, components or
// encryption; the extractors adapt their block reader and writer to these two classes.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace ae {

// Message numbers a decoder can answer with (texts live with the engine's messages).
enum DecodeMsg : int {
    kMsgNone = 0,
    kMsgBadBlock = 25111,
    kMsgBadHuffman = 25120,
    kMsgIncompleteCodes = 25138,
    kMsgCorruptInput = 25139,
    kMsgInvalidTree = 25152,
    kMsgBadLengths = 25247,
    kMsgAmbiguousTree = 25293,
    kMsgStackOverflow = 25298,
    kMsgUnsupportedMethod = 25326,
};

enum class DecodeStatus : std::uint8_t {
    Ok,        // the stream ended where it should and produced exactly the bytes expected
    Truncated, // the input ended before the stream (or the declared size) was complete
    Corrupt,   // the data cannot be what an encoder wrote (msg says which check failed)
    TooLong,   // the stream would produce more than the declared size
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Ok;
    int msg = kMsgNone;         // message number for Corrupt
    std::uint64_t produced = 0; // bytes handed to the sink
    bool ok() const noexcept { return status == DecodeStatus::Ok; }
};

// Declared size unknown: the stream's own end marker decides (deflate, gzip members).
inline constexpr std::uint64_t kSizeUnknown = ~std::uint64_t{0};

class DecodeSource {
public:
    virtual ~DecodeSource() = default;
    // Up to n bytes into buf; 0 means the input is exhausted (or the run was cancelled).
    virtual std::size_t Read(std::uint8_t* buf, std::size_t n) = 0;
};

class DecodeSink {
public:
    virtual ~DecodeSink() = default;
    // Takes all n bytes or throws; a sink never accepts part of a block.
    virtual void Write(const std::uint8_t* p, std::size_t n) = 0;
    // A sink whose output goes into memory it already holds may lend that memory: Room()
    // is where its next bytes would go (empty: nothing lent), and Advance(n) takes the
    // first n bytes of it as written in place. A decoder that can produce a whole stream
    // in the room does so and saves handing blocks over; otherwise it uses Write.
    virtual std::span<std::uint8_t> Room() { return {}; }
    virtual void Advance(std::size_t) {}
};

// A source over a block of memory (tests, fuzzing, whole-file decoding).
class SpanSource final : public DecodeSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> data) noexcept : data_{data} {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        const std::size_t k = n < data_.size() - pos_ ? n : data_.size() - pos_;
        if (k) std::memcpy(buf, data_.data() + pos_, k);
        pos_ += k;
        return k;
    }
    std::size_t pos() const noexcept { return pos_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// A sink that collects everything in memory.
class VectorSink final : public DecodeSink {
public:
    void Write(const std::uint8_t* p, std::size_t n) override { data.insert(data.end(), p, p + n); }
    std::vector<std::uint8_t> data;
};

// A sink into a block of memory the caller holds (whole-file decoding, tests). It lends
// its free room, so that a decoder able to write in place does; more than the block holds
// is refused with std::length_error.
class SpanSink final : public DecodeSink {
public:
    explicit SpanSink(std::span<std::uint8_t> room) noexcept : room_{room} {}
    void Write(const std::uint8_t* p, std::size_t n) override {
        if (n > room_.size() - pos_) throw std::length_error("decoded output larger than its room");
        if (n) std::memcpy(room_.data() + pos_, p, n);
        pos_ += n;
    }
    std::span<std::uint8_t> Room() override { return room_.subspan(pos_); }
    void Advance(std::size_t n) override { pos_ += n; }
    // Bytes written so far.
    std::size_t size() const noexcept { return pos_; }

private:
    std::span<std::uint8_t> room_;
    std::size_t pos_ = 0;
};

// A sink that only counts (fuzzing, benchmarks).
class CountingSink final : public DecodeSink {
public:
    void Write(const std::uint8_t*, std::size_t n) override { count += n; }
    std::uint64_t count = 0;
};

// Buffered input shared by the decoders of one entry. Decoders may read the buffer in
// place (data()/avail()) and give whole bytes back (unread) so that what follows a
// stream -- a gzip trailer, the next member -- is read from the right place.
class InputBuffer {
public:
    static constexpr std::size_t kDefaultCapacity = 1 << 16;
    static constexpr std::size_t kKeepBehind = 16; // a 64-bit bit buffer holds at most 8

    // A buffer must hold more than what it keeps behind, or a full one could hold nothing
    // unread and a refill would bring nothing in; smaller capacities are raised to this.
    static constexpr std::size_t kMinCapacity = 4 * kKeepBehind;

    explicit InputBuffer(DecodeSource& src, std::size_t capacity = kDefaultCapacity)
        : src_{&src}, own_{std::make_unique_for_overwrite<std::uint8_t[]>(usable(capacity))},
          buf_{own_.get()}, cap_{usable(capacity)} {}
    // The whole input, already in memory: read in place, never copied or written to.
    explicit InputBuffer(std::span<const std::uint8_t> whole) noexcept
        : buf_{whole.data()}, cap_{whole.size()}, len_{whole.size()}, eof_{true} {}

    const std::uint8_t* data() const noexcept { return buf_ + pos_; }
    std::size_t avail() const noexcept { return len_ - pos_; }
    void consume(std::size_t n) noexcept { pos_ += n; }
    // Gives back n bytes taken from this buffer (at most kKeepBehind after a refill;
    // the decoders only return bytes still held in their bit buffers).
    void unread(std::size_t n) noexcept { pos_ = n <= pos_ ? pos_ - n : 0; }
    bool exhausted() const noexcept { return eof_ && pos_ == len_; }

    // Reads more from the source, keeping what is unread and the last kKeepBehind bytes
    // taken (so that a decoder can still give back what its bit buffer holds). False
    // when nothing came.
    bool refill() {
        if (eof_) return false; // always so for memory read in place
        if (pos_ > kKeepBehind) {
            const std::size_t drop = pos_ - kKeepBehind;
            std::memmove(own_.get(), own_.get() + drop, len_ - drop);
            len_ -= drop;
            pos_ -= drop;
        }
        if (len_ == cap_) return true;
        const std::size_t got = src_->Read(own_.get() + len_, cap_ - len_);
        if (got == 0) eof_ = true;
        len_ += got;
        return got != 0;
    }
    // Makes at least n bytes available when the input has them; returns avail().
    std::size_t ensure(std::size_t n) {
        while (avail() < n && refill()) {
        }
        return avail();
    }
    // One byte, or -1 at the end of the input.
    int getByte() {
        if (pos_ == len_ && !refill()) return -1;
        return buf_[pos_++];
    }

private:
    static constexpr std::size_t usable(std::size_t capacity) noexcept {
        return capacity < kMinCapacity ? kMinCapacity : capacity;
    }

    DecodeSource* src_ = nullptr;
    std::unique_ptr<std::uint8_t[]> own_;
    const std::uint8_t* buf_; // own_, or the memory read in place
    std::size_t cap_;
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false;
};

// Bits least significant first, a few at a time, for the legacy zip methods (shrink,
// reduce, implode); at most 24 bits per request.
class LsbBitSource {
public:
    explicit LsbBitSource(InputBuffer& in) noexcept : in_{in} {}
    // The next n bits (the first one taken is bit 0), or -1 when the input ends first.
    int get(unsigned n) {
        while (count_ < n) {
            const int b = in_.getByte();
            if (b < 0) return -1;
            buf_ |= static_cast<std::uint32_t>(b) << count_;
            count_ += 8;
        }
        const auto v = static_cast<int>(buf_ & ((1u << n) - 1));
        buf_ >>= n;
        count_ -= n;
        return v;
    }

private:
    InputBuffer& in_;
    std::uint32_t buf_ = 0;
    unsigned count_ = 0;
};

// Output ring of a fixed size for the decoders whose matches reach back at most one
// dictionary (explode, unreduce, LZH). Bytes go out to the sink each time the ring
// fills and at finish(); a reference before the first byte produced reads zeros.
class RingOutput {
public:
    RingOutput(DecodeSink& sink, std::size_t size) : sink_{sink}, ring_(size, 0), size_{size} {}

    void put(std::uint8_t b) {
        ring_[pos_++] = b;
        ++produced_;
        if (pos_ == size_) flush();
    }
    // Copies len bytes starting dist bytes back (dist >= 1, dist <= size).
    void copy(std::size_t dist, std::size_t len) {
        std::size_t src = pos_ >= dist ? pos_ - dist : pos_ + size_ - dist;
        while (len > 0) {
            // Neither side wraps within one run; disjoint runs copy at once, overlapping
            // ones byte by byte (a short distance repeats what was just written).
            const std::size_t run = std::min({len, size_ - src, size_ - pos_});
            if (src + run <= pos_ || pos_ + run <= src) {
                std::memcpy(&ring_[pos_], &ring_[src], run);
            } else {
                for (std::size_t i = 0; i < run; ++i) ring_[pos_ + i] = ring_[src + i];
            }
            pos_ += run;
            src += run;
            produced_ += run;
            len -= run;
            if (src == size_) src = 0;
            if (pos_ == size_) flush();
        }
    }
    void finish() { flush(); }
    std::uint64_t produced() const noexcept { return produced_; }
    std::size_t size() const noexcept { return size_; }

private:
    void flush() {
        if (pos_ > flushed_) sink_.Write(&ring_[flushed_], pos_ - flushed_);
        if (pos_ == size_) pos_ = 0;
        flushed_ = pos_;
    }
    DecodeSink& sink_;
    std::vector<std::uint8_t> ring_;
    std::size_t size_;
    std::size_t pos_ = 0, flushed_ = 0;
    std::uint64_t produced_ = 0;
};

} // namespace ae
