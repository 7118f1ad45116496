#include "platform/codepage.h"

#include "common/testutil.h"

using namespace platform;

TEST(CodePage, HighHalfAgreesWithPythonCodec) {
    PV_REQUIRE_PEER("python3");
    // python3's cp437 codec is an independent rendering of the same character set.
    auto r =
        pvtest::run("python3 -c \"import sys; sys.stdout.buffer.write(bytes(range(128,256)).decode('cp437')"
                    ".encode('utf-8'))\"");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string high;
    for (int b = 128; b < 256; ++b) high += static_cast<char>(b);
    EXPECT_EQ(cp437ToUtf8(high), r.out);
}

TEST(CodePage, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    bool lossless = false;
    EXPECT_EQ(utf8ToCp437(cp437ToUtf8(all), '_', &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(CodePage, UnmappableBecomesUnderscore) {
    bool lossless = true;
    EXPECT_EQ(utf8ToCp437("a\xE6\x97\xA5z", '_', &lossless), "a_z"); // U+65E5
    EXPECT_FALSE(lossless);
    EXPECT_EQ(utf8ToCp437("a\xFFz"), "a_z"); // invalid byte: one character
    EXPECT_EQ(utf8ToCp437("M\xC3\xBCller"), "M\x81ller");
}

struct Utf8Case {
    const char* label;
    std::string bytes;
    bool valid;
};

TEST(CodePage, Utf8Validation) {
    const Utf8Case cases[] = {
        {"ascii", "plain.txt", true},
        {"two_byte", "\xC3\xA9", true},
        {"four_byte", "\xF0\x9F\x98\x80", true},
        {"overlong_slash", "\xC0\xAF", false},
        {"overlong_three", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above_max", "\xF4\x90\x80\x80", false},
        {"truncated", "\xE2\x82", false},
        {"lone_continuation", "\x80", false},
        {"cp437_name", "R\x82sum\x82.txt", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.label;
}

TEST(CodePage, ArchiveNamesFollowTheEncodingRule) {
    // Reading: valid UTF-8 stays, anything else is code page 437.
    EXPECT_EQ(decodeArchiveName("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(decodeArchiveName("caf\x82"), "caf\xC3\xA9");
    EXPECT_EQ(decodeArchiveName("caf\x82", true), "caf\xC3\xA9"); // a false flag loses nothing

    // Writing: cp437 where it fits; UTF-8 only where the format can say so.
    auto fits = encodeArchiveName("caf\xC3\xA9", true);
    EXPECT_EQ(fits.bytes, "caf\x82");
    EXPECT_FALSE(fits.utf8);
    auto wide = encodeArchiveName("\xE6\x97\xA5.txt", true);
    EXPECT_EQ(wide.bytes, "\xE6\x97\xA5.txt");
    EXPECT_TRUE(wide.utf8);
    auto narrow = encodeArchiveName("\xE6\x97\xA5.txt", false);
    EXPECT_EQ(narrow.bytes, "_.txt");
    EXPECT_FALSE(narrow.utf8);
}
