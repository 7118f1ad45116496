#include "app/core/ListFormat.h"

#include <gtest/gtest.h>

#include <array>

TEST(ListFormat, ThousandsGroupingAndHex) {
    struct {
        int64_t n;
        const char* text;
    } cases[] = {{0, "0"},
                 {999, "999"},
                 {1000, "1.000"},
                 {123456, "123.456"},
                 {1234567, "1.234.567"},
                 {4294967296LL, "4.294.967.296"}};
    for (auto& c : cases) EXPECT_EQ(FormatThousands(c.n, 3, "."), c.text) << c.n;
    EXPECT_EQ(IntToHexPad(0xABC, 8), "00000abc");
    EXPECT_EQ(IntToHexPad(0xBEEF, 4), "beef");
    EXPECT_EQ(IntToHexPad(5, 0), "");
    EXPECT_EQ(StripChar("1.234.567", '.'), 1234567);
    EXPECT_EQ(StripChar("abc", '.'), 0);
    EXPECT_EQ(StripNumberText(" 1.000% "), "1000");
}

TEST(ListFormat, RatioAndAttributes) {
    struct {
        int64_t packed, size;
        const char* text;
    } cases[] = {{0, 0, "0% "},     {10, 0, "0% "},    {100, 100, "0% "},
                 {150, 100, "0% "}, {25, 100, "75% "}, {1, 8, "88% "}, // 87.5 rounds to even
                 {3, 8, "62% "}};                                      // 62.5 rounds to even
    for (auto& c : cases) EXPECT_EQ(FormatRatio(c.packed, c.size), c.text) << c.packed << "/" << c.size;
    EXPECT_EQ(FormatAttributes(0x23), "AHR");
    EXPECT_EQ(FormatAttributes(0x3F), "ASHR");
    EXPECT_EQ(FormatAttributes(0x10), "");
    EXPECT_EQ(RoundEven(2.5), 2);
    EXPECT_EQ(RoundEven(3.5), 4);
}

TEST(ListFormat, DatesRoundTripAndFormat) {
    double dt = EncodeListDate(2026, 12, 10, 14, 5, 30);
    int y, mo, d, h, mi, s;
    DecodeListDate(dt, y, mo, d, h, mi, s);
    EXPECT_EQ((std::array<int, 6>{y, mo, d, h, mi, s}), (std::array<int, 6>{2026, 12, 10, 14, 5, 30}));
    EXPECT_DOUBLE_EQ(EncodeListDate(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_EQ(FormatDateTime("dd mm yy  hh:mm", dt), "10 12 26  14:05");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy  hh:mm", dt), "10.12.2026  14:05");
    // DOS: 2026-12-10 14:05:30
    uint16_t dosDate = uint16_t(((2026 - 1980) << 9) | (12 << 5) | 10);
    uint16_t dosTime = uint16_t((14 << 11) | (5 << 5) | 15);
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(dosDate, dosTime), dt);
    // An invalid DOS value (month 0, or every bit set) is the first DOS date, 1980-01-01 00:00.
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(0, 0), EncodeListDate(1980, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(0xFFFF, 0xFFFF), EncodeListDate(1980, 1, 1, 0, 0, 0));
}
