#include "archive/format/aeGzHeader.h"

#include "archive/aeCommon.h"
#include "platform/fileio.h"

namespace ae {

std::size_t HandleSource::Read(std::uint8_t* buf, std::size_t n) {
    const int64_t got = platform::readFile(handle_, buf, static_cast<int64_t>(n));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

namespace {

// Reads bytes while keeping the CRC-32 that FHCRC checks.
class HeaderReader {
public:
    explicit HeaderReader(InputBuffer& in) : in_{in} {}
    bool byte(std::uint8_t& b) {
        const int v = in_.getByte();
        if (v < 0) return false;
        b = static_cast<std::uint8_t>(v);
        crc_ = Crc32Byte(b, crc_);
        ++count_;
        return true;
    }
    bool u16(std::uint16_t& v) {
        std::uint8_t a, b;
        if (!byte(a) || !byte(b)) return false;
        v = static_cast<std::uint16_t>(a | b << 8);
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint16_t a, b;
        if (!u16(a) || !u16(b)) return false;
        v = a | static_cast<std::uint32_t>(b) << 16;
        return true;
    }
    bool zstring(std::string& s) {
        for (std::uint8_t b; byte(b);) {
            if (b == 0) return true;
            if (s.size() < kGzMaxNameLength) s.push_back(static_cast<char>(b));
        }
        return false;
    }
    std::uint32_t crc() const { return ~crc_; }
    std::size_t count() const { return count_; }

private:
    InputBuffer& in_;
    std::uint32_t crc_ = 0xFFFFFFFF;
    std::size_t count_ = 0;
};

} // namespace

int GzMemberHeader::msg() const {
    switch (status) {
    case GzHeaderStatus::Ok:
        return 0;
    case GzHeaderStatus::NoData:
    case GzHeaderStatus::Truncated:
        return 25236; // Error reading file or unexpected end of file
    case GzHeaderStatus::BadMagic:
        return 25238; // Header ID error
    case GzHeaderStatus::BadMethod:
        return kMsgUnsupportedMethod;
    case GzHeaderStatus::Encrypted:
        return 25290; // Password protected
    case GzHeaderStatus::Reserved:
        return 25110; // Bad file header
    case GzHeaderStatus::BadHeaderCrc:
        return 25237; // Header CRC error
    }
    return 25110;
}

GzMemberHeader ReadGzipMemberHeader(InputBuffer& in) {
    GzMemberHeader m;
    auto& f = m.fields;
    HeaderReader r{in};
    auto end = [&](GzHeaderStatus st) {
        m.status = st;
        f.headerLength = r.count();
        return m;
    };
    std::uint8_t b;
    if (!r.byte(b)) return end(GzHeaderStatus::NoData);
    std::uint8_t b2;
    if (!r.byte(b2)) return end(GzHeaderStatus::Truncated);
    f.magic = static_cast<std::uint16_t>(b | b2 << 8);
    if (f.magic != aehdr::kGzipMagic && f.magic != aehdr::kGzipOldMagic) return end(GzHeaderStatus::BadMagic);
    if (!r.byte(f.method) || !r.byte(f.flags) || !r.u32(f.mtime) || !r.byte(f.extraFlags) || !r.byte(f.os))
        return end(GzHeaderStatus::Truncated);
    if (f.method != 8) return end(GzHeaderStatus::BadMethod);
    if (f.flags & aehdr::kGzipFlagEncrypted) return end(GzHeaderStatus::Encrypted);
    if (f.flags & 0xC0) return end(GzHeaderStatus::Reserved);
    if (f.flags & aehdr::kGzipFlagExtra) {
        std::uint16_t len;
        if (!r.u16(len)) return end(GzHeaderStatus::Truncated);
        m.extra.resize(len);
        for (auto& x : m.extra)
            if (!r.byte(x)) return end(GzHeaderStatus::Truncated);
    }
    if ((f.flags & aehdr::kGzipFlagName) && !r.zstring(f.name)) return end(GzHeaderStatus::Truncated);
    if ((f.flags & aehdr::kGzipFlagComment) && !r.zstring(f.comment)) return end(GzHeaderStatus::Truncated);
    if (f.flags & aehdr::kGzipFlagHeaderCrc) {
        const auto want = static_cast<std::uint16_t>(r.crc() & 0xFFFF);
        std::uint16_t got;
        if (!r.u16(got)) return end(GzHeaderStatus::Truncated);
        if (got != want) return end(GzHeaderStatus::BadHeaderCrc);
    }
    return end(GzHeaderStatus::Ok);
}

GzMemberHeader ParseGzipMemberHeader(std::span<const std::uint8_t> data) {
    SpanSource src{data};
    InputBuffer in{src, 4096};
    return ReadGzipMemberHeader(in);
}

bool ReadGzipTrailer(InputBuffer& in, GzTrailer& t) {
    std::uint8_t b[8];
    for (auto& x : b) {
        const int v = in.getByte();
        if (v < 0) return false;
        x = static_cast<std::uint8_t>(v);
    }
    t.crc32 = aehdr::le32(b);
    t.size = aehdr::le32(b + 4);
    return true;
}

} // namespace ae
