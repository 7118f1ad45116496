// Adapters between the stream decoders (aeDecodeIo.h) and an extractor's block reader and
// writer: the entry's compressed bytes in, the decoded bytes out with the entry's check
// value kept -- or, in a test run, only the check value.
#pragma once
#include "archive/codec/aeDecodeIo.h"
#include "archive/aeUnBase.h"

#include <algorithm>
#include <functional>

namespace ae {

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
// only keeps the CRC. Reports progress.
class EntrySink final : public DecodeSink {
public:
    EntrySink(TUnBase& ex, int handle, TStream* stream, std::int64_t size, int crcMode)
        : ex_{ex}, handle_{handle}, stream_{stream}, size_{size}, crcMode_{crcMode} {}

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
};

} // namespace ae
