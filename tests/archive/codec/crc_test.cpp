#include "archive/aeCommon.h"
#include "archive/codec/aeCrcPaths.h"

#include "support/testutil.h"

#include <zlib.h>

#include <cstdio>

TEST(Crc32, ReferenceValues) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32Of(check.data(), check.size()), 0xCBF43926u);
    uint32_t reg = 0xFFFFFFFFu;
    Crc32Update(check.data(), check.size(), reg);
    EXPECT_EQ(reg, ~0xCBF43926u); // the register is not inverted
    uint32_t byByte = 0xFFFFFFFFu;
    for (char c : check) byByte = Crc32Byte(static_cast<uint8_t>(c), byByte);
    EXPECT_EQ(byByte, reg);
    EXPECT_EQ(Crc32Of("", 0), 0u);
}

TEST(Crc16, ArcReferenceValue) {
    const std::string check = "123456789";
    uint16_t crc = 0;
    Crc16Update(check.data(), check.size(), crc);
    EXPECT_EQ(crc, 0xBB3D);
    uint16_t byByte = 0;
    for (char c : check) byByte = Crc16Byte(static_cast<uint8_t>(c), byByte);
    EXPECT_EQ(byByte, 0xBB3D);
}

// The fast paths (carry-less multiply, slicing) must agree with the one-table loop and with
// zlib at every length and alignment, including lengths around their block sizes.
TEST(Crc32, FastPathsAgreeWithReferenceAndZlib) {
    const auto data = pvtest::randomBytes(70000, 7);
    for (size_t offset = 0; offset < 17; ++offset) {
        for (size_t len = 0; len < 400; ++len) {
            uint32_t fast = 0xFFFFFFFFu, ref = 0xFFFFFFFFu;
            Crc32Update(data.data() + offset, len, fast);
            Crc32UpdateReference(data.data() + offset, len, ref);
            ASSERT_EQ(fast, ref) << "offset " << offset << " length " << len;
            ASSERT_EQ(~fast, crc32(0, data.data() + offset, static_cast<uInt>(len)));
        }
    }
    uint32_t fast = 0x12345678u, ref = 0x12345678u; // any start value, a long run
    Crc32Update(data.data() + 3, data.size() - 3, fast);
    Crc32UpdateReference(data.data() + 3, data.size() - 3, ref);
    EXPECT_EQ(fast, ref);
    // Chunked updates give the same value as one update.
    uint32_t chunked = 0xFFFFFFFFu;
    for (size_t at = 0; at < data.size(); at += 1000)
        Crc32Update(data.data() + at, std::min<size_t>(1000, data.size() - at), chunked);
    EXPECT_EQ(~chunked, crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// Every implementation this machine has, checked one by one against the one-table loop:
// every length up to 4096 at every alignment of a 64-byte line (the widest lanes), with
// a start value that is not the usual one, and multi-megabyte runs.
TEST(Crc32, EveryPathAgreesWithTheOneTableLoop) {
    using aecrc::Crc32Path;
    const auto data = pvtest::randomBytes((size_t{8} << 20) + 64, 11);
    constexpr size_t kMaxLen = 4096;
    for (auto path : {Crc32Path::Slice16, Crc32Path::Clmul128, Crc32Path::Clmul256, Crc32Path::Clmul512}) {
        if (!aecrc::Crc32PathAvailable(path)) {
            std::printf("CRC-32 path %d: not on this CPU, not checked\n", static_cast<int>(path));
            continue;
        }
        for (size_t offset = 0; offset < 64; ++offset) {
            const uint8_t* p = data.data() + offset;
            uint32_t ref = 0x9E3779B9u; // the reference of p[0..len), grown a byte at a time
            for (size_t len = 0; len <= kMaxLen; ++len) {
                uint32_t got = 0x9E3779B9u;
                aecrc::Crc32UpdateWith(path, p, len, got);
                ASSERT_EQ(got, ref) << "path " << static_cast<int>(path) << " offset " << offset << " length "
                                    << len;
                if (len < kMaxLen) ref = Crc32Byte(p[len], ref);
            }
        }
        for (size_t offset : {size_t{0}, size_t{1}, size_t{63}}) {
            const size_t len = data.size() - 64 - offset % 7;
            uint32_t got = 0xFFFFFFFFu, ref = 0xFFFFFFFFu;
            aecrc::Crc32UpdateWith(path, data.data() + offset, len, got);
            Crc32UpdateReference(data.data() + offset, len, ref);
            ASSERT_EQ(got, ref) << "path " << static_cast<int>(path) << " multi-megabyte at offset "
                                << offset;
        }
    }
    // The chosen path on the whole buffer, against zlib.
    EXPECT_EQ(Crc32Of(data.data(), data.size()), crc32(0, data.data(), static_cast<uInt>(data.size())));
}
