#include "archive/aeCommon.h"

#include "common/testutil.h"

#include <zlib.h>

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
