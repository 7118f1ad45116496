// Adapters between the stream decoders (aeDecodeIo.h) and an extractor's block reader and
// writer: the entry's compressed bytes in, the decoded bytes out with the entry's check
// value kept -- or, in a test run, only the check value.
#pragma once
#include "archive/codec/aeDecodeIo.h"
#include "archive/codec/aeInflate.h"
#include "archive/aeUnBase.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <span>

namespace ae {

// What the entries of one run share so that each does not make it afresh: one inflater
// (its tables and window), and the room an entry of known size up to kMaxRoom is decoded
// into in place and written from in one piece. TUnBase keeps one for the length of a run.
class EntryWorkspace {
public:
    static constexpr std::size_t kMaxRoom = std::size_t{1} << 20;

    Inflater inflater;

    // `size` bytes of room, or none when size is 0 or more than kMaxRoom.
    std::span<std::uint8_t> Room(std::uint64_t size) {
        if (size == 0 || size > kMaxRoom) return {};
        if (roomSize_ < size) {
            // Grown in steps, so that a run of growing entries does not reallocate each time.
            const std::size_t grown = std::min(
                kMaxRoom, std::max({static_cast<std::size_t>(size), 2 * roomSize_, std::size_t{1} << 16}));
            room_.reset();
            room_ = std::make_unique_for_overwrite<std::uint8_t[]>(grown);
            roomSize_ = grown;
        }
        return {room_.get(), static_cast<std::size_t>(size)};
    }

private:
    std::unique_ptr<std::uint8_t[]> room_;
    std::size_t roomSize_ = 0;
};

// Reads at most `packed` bytes through ReadBlock (decrypting when asked), and nothing
// once the run is cancelled. When the input ends early, `nextDisk` (if set) may bring the
// next disk of a spanned set and reading goes on there.
class EntrySource final : public DecodeSource {
public:
    static constexpr std::size_t kBlock = 32768;

    EntrySource(TUnBase& ex, int& handle, TStream* stream, std::int64_t packed, bool decrypt)
        : ex_{ex}, handle_{handle}, stream_{stream}, remaining_{packed}, decrypt_{decrypt} {}

    std::function<bool(int& handle)> nextDisk;

    std::size_t Read(std::uint8_t* buf, std::size_t n) override {
        if (ex_.Cancel()) remaining_ = 0;
        if (remaining_ <= 0) return 0;
        const auto want =
            static_cast<std::int64_t>(std::min({n, kBlock, static_cast<std::size_t>(remaining_)}));
        std::int64_t got = ex_.ReadBlock(handle_, stream_, want, 0, decrypt_, buf);
        while (got <= 0 && nextDisk && !ex_.Cancel()) {
            if (!nextDisk(handle_)) return 0;
            got = ex_.ReadBlock(handle_, stream_, want, 0, decrypt_, buf);
            if (got <= 0) {
                ex_.SetCancel(true); // the new disk gives nothing: give up
                return 0;
            }
        }
        if (got <= 0) return 0;
        remaining_ -= got;
        ex_.BytesLeft -= got;
        return static_cast<std::size_t>(got);
    }

private:
    TUnBase& ex_;
    int& handle_;
    TStream* stream_;
    std::int64_t remaining_;
    bool decrypt_;
};

// Writes through WriteBlock keeping the CRC of `crcMode` (16 or 32); in a test run
// (WriteMode 4 and above) the data go to the test run's block writer (TestBlock), which
// only keeps the CRC. Reports progress. An entry of known size that fits the run's room is
// offered that room (Room/Advance), so that a decoder able to write in place does, and its
// data are checked and written in one piece.
class EntrySink final : public DecodeSink {
public:
    EntrySink(TUnBase& ex, int handle, TStream* stream, std::int64_t size, int crcMode)
        : ex_{ex}, handle_{handle}, stream_{stream}, size_{size}, crcMode_{crcMode} {}

    std::span<std::uint8_t> Room() override {
        // Lent once, before anything is written: what is taken from it goes out at once.
        if (done_ != 0 || size_ <= 0) return {};
        lent_ = ex_.Workspace().Room(static_cast<std::uint64_t>(size_));
        return lent_;
    }
    void Advance(std::size_t n) override {
        if (n > lent_.size()) throw std::length_error("decoded output larger than its room");
        const std::span<std::uint8_t> taken = lent_.first(n);
        lent_ = lent_.subspan(n);
        Write(taken.data(), n);
    }

    void Write(const std::uint8_t* p, std::size_t n) override {
        if (ex_.WriteMode >= 4)
            ex_.TestBlock(p, static_cast<std::int64_t>(n), crcMode_);
        else
            ex_.WriteBlock(handle_, p, 1, static_cast<std::int64_t>(n), crcMode_, stream_);
        done_ += static_cast<std::int64_t>(n);
        ex_.ReportProgress(done_, size_, ex_.TotalPackedSize);
    }
    std::uint64_t produced() const { return static_cast<std::uint64_t>(done_); }

private:
    TUnBase& ex_;
    int handle_;
    TStream* stream_;
    std::int64_t size_;
    int crcMode_;
    std::int64_t done_ = 0;
    std::span<std::uint8_t> lent_;
};

} // namespace ae
