// Type tables, the attribute filter, the stopwatch, the entry list, octal fields, the ARJ
// password shift and the Unix time conversions.
#include <cstdlib>
#include <ctime>
#include <string>

#include "archive/aeBase.h"
#include "support/env.h"
#include "support/testutil.h"

namespace {

// ---- tables ----
TEST(AeMainTables, DisplayNamesKeepTheirPadding) {
    EXPECT_EQ(ArcTypeNames[atNA], "Not avail. ");
    EXPECT_EQ(ArcTypeNames[atNA].size(), 11u);
    EXPECT_EQ(ArcTypeNames[atBhExe], "BH  SFX   ");
    EXPECT_EQ(ArcTypeNames[atJarExe], "JJAR SFX  ");
    EXPECT_EQ(ArcTypeNames[atMsGZ], std::string_view("MsGZ     \t"));
    EXPECT_EQ(ArcTypeNames[atZoo], "ZOO       ");
    for (int t = 0; t < kArcTypeCount; ++t) {
        if (t == atNA || t == atMsGZ) continue;
        EXPECT_EQ(ArcTypeNames[size_t(t)].size(), 10u) << ArcTypeIdents[size_t(t)];
    }
    EXPECT_EQ(ArcTypeIdent(atZipMV), "atZipMV");
    EXPECT_EQ(ArcTypeIdent(static_cast<TArcType>(40)), "");
    EXPECT_EQ(int(atZoo), 31);
    EXPECT_EQ(int(atMsGZ), 21);
}

TEST(AeMainTables, DefaultExtensionsInOrder) {
    EXPECT_EQ(DefaultExts.front(), ".UUE");
    EXPECT_EQ(DefaultExts[4], ".Z");
    EXPECT_EQ(DefaultExts[16], ".EXE");
    EXPECT_EQ(DefaultExts.back(), ".TGZ");
}

TEST(AeMainTables, TypeSets) {
    for (TArcType t : {atNA, atUnsupported, atFileOpenErr, atUnknown}) {
        EXPECT_TRUE(InArcTypes(UnknownArcTypes, t));
        EXPECT_FALSE(InArcTypes(ExtractableArcTypes, t));
    }
    for (TArcType t : {atHa, atJarExe, atMsGZ}) EXPECT_FALSE(InArcTypes(ExtractableArcTypes, t));
    for (TArcType t : {atZip, atZoo, atUue, atCab, atACE, atTar, atPak, atPakExe})
        EXPECT_TRUE(InArcTypes(ExtractableArcTypes, t));
    EXPECT_TRUE(InArcTypes(WritableArcTypes, atUue));
    EXPECT_FALSE(InArcTypes(WritableArcTypes, atArj));
    EXPECT_TRUE(InArcTypes(TestableArcTypes, atZoo));
    EXPECT_FALSE(InArcTypes(TestableArcTypes, atCab));
    EXPECT_TRUE(InArcTypes(OutsideLibraryArcTypes, atRarExe));
    EXPECT_FALSE(InArcTypes(ExtractableArcTypes, static_cast<TArcType>(32)));
}

// ---- TaeFileAttr ----
TEST(AeMainFileAttr, Defaults) {
    TaeFileAttr a;
    EXPECT_EQ(a.ftFileAttr(), 63);
    EXPECT_TRUE(a.ftArchive() && a.ftHidden() && a.ftReadOnly() && a.ftSysFile() && a.ftVolumeID() &&
                a.ftDirectory() && a.ftAnyFile() && a.ftZeroAttr() && a.ftCompressed());
    EXPECT_FALSE(a.ftTemporary());
}

TEST(AeMainFileAttr, SettersSynchronise) {
    TaeFileAttr a;
    a.SetftFileAttr(0x21);
    EXPECT_TRUE(a.ftArchive() && a.ftReadOnly());
    EXPECT_FALSE(a.ftHidden() || a.ftSysFile() || a.ftDirectory() || a.ftVolumeID() || a.ftAnyFile());
    EXPECT_EQ(a.ftFileAttr(), 0x21);
    a.SetftFileAttr(0x80);
    EXPECT_TRUE(a.ftAnyFile());
    EXPECT_EQ(a.ftFileAttr(), 63);

    TaeFileAttr b;
    b.SetftHidden(false);
    EXPECT_FALSE(b.ftAnyFile());
    EXPECT_EQ(b.ftFileAttr(), 61);
    b.SetftTemporary(true);
    b.SetftCompressed(false);
    EXPECT_FALSE(b.ftTemporary());
    EXPECT_TRUE(b.ftCompressed());

    TaeFileAttr c;
    c.Assign(b);
    EXPECT_EQ(c.ftFileAttr(), 61);
    EXPECT_FALSE(c.ftHidden());
}

// ---- TaeTimer ----
TEST(AeMainTimer, PauseLeavesOutTheTimeInAnEvent) {
    int64_t now = 1000;
    TaeTimer t;
    t.Now = [&] { return now; };
    t.Start();
    now += 2000;
    t.Pause();
    now += 5000; // the user answers a question
    t.Resume();
    now += 1000;
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed, 3.0f);
    EXPECT_FALSE(t.Running());
    t.Pause(); // not started: nothing happens
    t.Resume();
    t.Stop();
    EXPECT_FLOAT_EQ(t.Elapsed, 3.0f);
}

// ---- TaeFileList ----
TEST(AeMainFileList, OwnsCopiesOfFixedSizeRecords) {
    struct Rec {
        int64_t offset;
        uint32_t crc;
    };
    TaeFileList l;
    Rec r{42, 7};
    l.AddRecord(r);
    r.offset = 99;
    l.AddRecord(r);
    ASSERT_EQ(l.Count(), 2u);
    EXPECT_EQ(l.Record<Rec>(0).offset, 42);
    EXPECT_EQ(l.Record<Rec>(1).offset, 99);
    l.Clear();
    EXPECT_EQ(l.Count(), 0u);
    l.Done();
}

// ---- octal fields and the ARJ shift ----
TEST(AeMainOctal, ParseSkipsNonDigits) {
    EXPECT_EQ(ParseOctal(std::string_view("0000644 \0", 9)), 420u);
    EXPECT_EQ(ParseOctal(""), 0u);
    EXPECT_EQ(ParseOctal("8 9 17"), 15u);
    EXPECT_EQ(ParseOctal(std::string(40, '7')), UINT64_MAX); // saturates, never wraps
}

TEST(AeMainOctal, FormatStaysInsideItsField) {
    struct Case {
        uint64_t value;
        size_t width;
        bool terminate;
        std::string_view want;
        bool fits;
    };
    const Case cases[] = {
        {420, 8, true, std::string_view("   644 \0", 8), true},
        {0, 4, false, "   0", true},
        {8, 12, false, "          10", true},
        {077777777, 8, true, std::string_view("        ", 8).substr(0, 6), false}, // 8 digits do not fit 6
        {7, 1, false, "7", true},
        {8, 1, false, " ", false},
        {1, 1, true, "", false},
    };
    for (const Case& c : cases) {
        // Guard bytes on both sides catch any write outside the field.
        std::string buf(c.width + 4, '#');
        const bool ok = FormatOctal(c.value, c.width, c.terminate, std::span<char>(buf.data() + 2, c.width));
        EXPECT_EQ(ok, c.fits) << c.value;
        EXPECT_EQ(buf.substr(0, 2), "##");
        EXPECT_EQ(buf.substr(c.width + 2), "##");
        if (ok) {
            EXPECT_EQ(buf.substr(2, c.width), c.want) << c.value;
        }
    }
    // A buffer smaller than the width is never overrun.
    char small[3];
    EXPECT_TRUE(FormatOctal(5, 12, false, std::span<char>(small, 3)));
    EXPECT_EQ(std::string(small, 3), "  5");
}

TEST(AeMainShift, RoundTripsModulo256) {
    const std::string pw("\x01z\xff", 3);
    const std::string enc = ShiftText(false, pw, 3);
    EXPECT_EQ(enc, std::string("\x04}\x02", 3));
    EXPECT_EQ(ShiftText(true, enc, 3), pw);
}

// ---- time ----
using pvtest::ScopedTz;

TEST(AeMainTime, UtcValues) {
    ScopedTz tz("UTC0");
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime(2000, 3, 1)), 951868800); // no fixed offset added
    EXPECT_DOUBLE_EQ(UnixToDateTime(951868800), EncodeDateTime(2000, 3, 1));
    EXPECT_DOUBLE_EQ(UnixToDateTime(0), EncodeDateTime(1980, 1, 1, 0, 1, 0));
}

TEST(AeMainTime, RoundTripAcrossDaylightSaving) {
    ScopedTz tz("Europe/Berlin");
    // Winter and summer: the local wall time of that date, in both directions.
    const int64_t jan = 1704110400; // 2024-01-01 12:00 UTC
    const int64_t jul = 1719835200; // 2024-07-01 12:00 UTC
    EXPECT_DOUBLE_EQ(UnixToDateTime(jan), EncodeDateTime(2024, 1, 1, 13, 0, 0));
    EXPECT_DOUBLE_EQ(UnixToDateTime(jul), EncodeDateTime(2024, 7, 1, 14, 0, 0));
    EXPECT_EQ(DateTimeToUnix(EncodeDateTime(2024, 7, 1, 14, 0, 0)), jul);
    // Every 10 minutes for a day on both sides of the spring change (2024-03-31 01:00 UTC).
    for (int64_t t = 1711846800 - 86400; t < 1711846800 + 86400; t += 600)
        ASSERT_EQ(DateTimeToUnix(UnixToDateTime(t)), t) << t;
    // Autumn (2024-10-27 01:00 UTC): outside the repeated hour.
    for (int64_t t :
         {int64_t(1729990800) - 7200 - 1, int64_t(1729990800) + 3600, int64_t(1729990800) + 86400})
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(t)), t) << t;
}

TEST(AeMainTime, DecodeRoundsToTheSecond) {
    int y, mo, d, h, mi, s;
    DecodeDateTime(EncodeDateTime(1999, 12, 31, 23, 59, 59), y, mo, d, h, mi, s);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 19991231);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 235959);
    DecodeDateTime(EncodeDateTime(2000, 2, 29) - 1e-9, y, mo, d, h, mi, s);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 20000229);
}

} // namespace
