// Small pieces the LHA and ARJ extractors share: header bytes read at any offset of the
// open archive, and one entry run through a stream decoder of their own (-lh1-, ARJ
// method 4) with the same reporting as the shared LZH decoder's entries.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/codec/aeDecodeIo.h"
#include "archive/aeEntryIo.h"
#include "archive/aeHeaders.h"
#include "archive/aeUnBase.h"
#include "platform/fileio.h"

// Header bytes at any offset of the open archive (fewer at its end). The span stays valid
// until the next call; the handle's position is left where the read ended.
class THeaderReader {
public:
    explicit THeaderReader(int Handle) : handle_{Handle} {}
    aehdr::Bytes Fetch(uint64_t Offset, std::size_t Count) {
        buf_.resize(Count);
        int64_t got = 0;
        if (platform::seekFile(handle_, static_cast<int64_t>(Offset)) == static_cast<int64_t>(Offset))
            got = platform::readFile(handle_, buf_.data(), static_cast<int64_t>(Count));
        buf_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return buf_;
    }
    aehdr::Fetch Fetcher() {
        return [this](uint64_t o, std::size_t n) { return Fetch(o, n); };
    }

private:
    int handle_;
    std::vector<uint8_t> buf_;
};

// The same for runs of small records read in order (a zip's central directory, a local
// header and its name): whole windows are read ahead with positional reads, so a record
// costs no system call of its own. The handle's position is not moved.
class TReadAheadReader {
public:
    explicit TReadAheadReader(int Handle, std::size_t Window = 65536) : handle_{Handle}, window_{Window} {}
    aehdr::Bytes Fetch(uint64_t Offset, std::size_t Count) {
        if (Offset < start_ || Offset - start_ > buf_.size() || buf_.size() - (Offset - start_) < Count) {
            // Not all in the window (or at the end of the file): read from Offset on.
            buf_.resize(std::max(Count, window_));
            const int64_t got = platform::readUpToAt(handle_, static_cast<int64_t>(Offset), buf_.data(),
                                                     static_cast<int64_t>(buf_.size()));
            buf_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            start_ = Offset;
        }
        const std::size_t at = static_cast<std::size_t>(Offset - start_);
        return aehdr::Bytes(buf_).subspan(at, std::min(Count, buf_.size() - at));
    }
    aehdr::Fetch Fetcher() {
        return [this](uint64_t o, std::size_t n) { return Fetch(o, n); };
    }

private:
    int handle_;
    std::size_t window_;
    uint64_t start_ = 0;
    std::vector<uint8_t> buf_;
};

// Runs Decode(InputBuffer&, DecodeSink&, size) over the entry's Packed bytes from the
// handle's position. A damaged or short stream and a failed write are reported and give
// False (the run goes on); the caller checks the CRC register itself.
template <class Decoder>
bool DecodeOwnEntry(TUnBase& Ex, int& InHandle, int OutHandle, TStream* OutStream, bool Decrypt, int CrcMode,
                    int64_t Packed, int64_t Unpacked, const std::string& Name, Decoder Decode) {
    ae::EntrySource src{Ex, InHandle, nullptr, Packed, Decrypt};
    ae::InputBuffer in{src, 32768};
    ae::EntrySink sink{Ex, OutHandle, OutStream, Unpacked, CrcMode};
    try {
        const ae::DecodeResult r = Decode(in, sink, static_cast<uint64_t>(std::max<int64_t>(0, Unpacked)));
        if (r.ok() && sink.produced() == static_cast<uint64_t>(Unpacked)) return true;
        if (!Ex.Cancel())
            Ex.ReportError(Name, "", "0", r.status == ae::DecodeStatus::Corrupt ? r.msg : 25236);
    } catch (const E_RAISE& e) {
        Ex.ReportError(Name, "", "0", e.ECode);
    }
    return false;
}
