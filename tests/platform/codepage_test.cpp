#include "platform/codepage.h"

#include "support/testutil.h"

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

    // Writing: each kind of format, by a table of names.
    enum Kind { Flagged, Cp437Only, Unflagged };
    struct Case {
        Kind kind;
        const char* name;
        const char* bytes;
        bool utf8, exact;
    };
    const Case cases[] = {
        // A format that can say UTF-8 stores every non-ASCII name so.
        {Flagged, "a/b.txt", "a/b.txt", false, true},
        {Flagged, "caf\xC3\xA9", "caf\xC3\xA9", true, true},
        {Flagged, "\xE6\x97\xA5.txt", "\xE6\x97\xA5.txt", true, true},
        // A file name that is no UTF-8 keeps its bytes and reads back as code page 437.
        {Flagged, "caf\xE9", "caf\xE9", false, false},
        {Cp437Only, "caf\xC3\xA9", "caf\x82", false, true},
        {Cp437Only, "\xE6\x97\xA5.txt", "_.txt", false, false},
        // Without a flag: code page 437 only where it reads back as the same name.
        {Unflagged, "caf\xC3\xA9", "caf\x82", false, true},
        {Unflagged, "c\xC3\xB8", "c\xC3\xB8", true, true},
        // U+251C U+2310 in code page 437 are C3 A9, which reads back as UTF-8 "\xC3\xA9".
        {Unflagged, "\xE2\x94\x9C\xE2\x8C\x90", "\xE2\x94\x9C\xE2\x8C\x90", true, true},
        {Unflagged, "caf\xE9", "caf\xE9", false, false},
    };
    for (const Case& c : cases) {
        const EncodedName e =
            c.kind == Unflagged ? encodeUnflaggedName(c.name) : encodeArchiveName(c.name, c.kind == Flagged);
        EXPECT_EQ(e.bytes, c.bytes) << c.name;
        EXPECT_EQ(e.utf8, c.utf8) << c.name;
        EXPECT_EQ(e.exact, c.exact) << c.name;
        EXPECT_EQ(e.readBack() == c.name, c.exact) << c.name;
    }
}
