#include "archive/aeCommon.h"

#include "platform/fileio.h"

#include "support/env.h"
#include "support/testutil.h"

#include <cstdlib>
#include <ctime>

namespace {

using pvtest::ScopedTz;

constexpr uint32_t dos(int y, int mo, int d, int h, int mi, int s) {
    return static_cast<uint32_t>(((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) |
                                 (s / 2));
}

} // namespace

TEST(AeCommonDates, DosDateToDateTimeSafe) {
    EXPECT_EQ(DosDateToDateTimeSafe(0), 29221.0);
    EXPECT_EQ(DosDateToDateTimeSafe(dos(1980, 1, 1, 0, 0, 0)), 29221.0);
    EXPECT_DOUBLE_EQ(DosDateToDateTimeSafe(dos(2000, 1, 1, 12, 0, 0)), 36526.5);
    EXPECT_DOUBLE_EQ(DosDateToDateTimeSafe(dos(2024, 2, 29, 6, 30, 58)),
                     45351.0 + (6 * 3600 + 30 * 60 + 58) / 86400.0);
    const uint32_t impossible[] = {
        dos(2000, 13, 1, 0, 0, 0),     // month 13
        dos(2000, 0, 1, 0, 0, 0),      // month 0
        dos(2001, 2, 29, 0, 0, 0),     // not a leap year
        dos(2000, 1, 0, 0, 0, 0),      // day 0
        dos(2000, 1, 1, 24, 0, 0),     // hour 24
        dos(2000, 1, 1, 0, 60, 0),     // minute 60
        dos(2000, 1, 1, 0, 0, 0) | 30, // 60 seconds
    };
    for (uint32_t d : impossible) EXPECT_EQ(DosDateToDateTimeSafe(d), 29221.0) << std::hex << d;
}

TEST(AeCommonDates, DateTimeRoundTripsThroughDos) {
    for (uint32_t d : {dos(1980, 1, 1, 0, 0, 0), dos(1999, 12, 31, 23, 59, 58), dos(2024, 2, 29, 6, 30, 58),
                       dos(2107, 12, 31, 23, 59, 58)})
        EXPECT_EQ(DateTimeToDosDateTime(DosDateToDateTimeSafe(d)), d) << std::hex << d;
    EXPECT_EQ(DateTimeToDosDateTime(1000.0), dos(1980, 1, 1, 0, 0, 0)); // before 1980
}

TEST(AeCommonDates, LocalConversionFollowsTheZoneOfTheDate) {
    ScopedTz tz("Europe/Berlin");
    // 2023-07-01 12:00 UTC is 14:00 summer time; 2023-01-15 12:00 UTC is 13:00 winter time.
    EXPECT_EQ(FileTimeToDosLocal(1688212800), dos(2023, 7, 1, 14, 0, 0));
    EXPECT_EQ(FileTimeToDosLocal(1673784000), dos(2023, 1, 15, 13, 0, 0));
    EXPECT_EQ(DosLocalToUnixTime(dos(2023, 7, 1, 14, 0, 0)), 1688212800);
    EXPECT_EQ(DosLocalToUnixTime(dos(2023, 1, 15, 13, 0, 0)), 1673784000);
    // An invalid value (month 13, every bit set) is the first DOS date, never "now".
    EXPECT_EQ(DosLocalToUnixTime(dos(2023, 13, 1, 0, 0, 0)), DosLocalToUnixTime(dos(1980, 1, 1, 0, 0, 0)));
    EXPECT_EQ(DosLocalToUnixTime(0xFFFFFFFFu), 315529200); // 1980-01-01 00:00 in Berlin
    EXPECT_EQ(DosDateToDateTimeSafe(0xFFFFFFFFu), kDosEpochDateTime);
    EXPECT_EQ(FileTimeToDosLocal(0), dos(1980, 1, 1, 0, 0, 0)); // 1970 clamps to the DOS epoch
}

TEST(AeCommonDates, FileDosDateIsUtc) {
    ScopedTz tz("Europe/Berlin");
    pvtest::TempDir dir;
    pvtest::writeFile(dir / "t.txt", "x");
    platform::setFileTimes((dir / "t.txt").string(), 1688212800, 1673784000);
    const int h = OpenForQuery(nullptr, (dir / "t.txt").string());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileDosDate(h, 1), dos(2023, 7, 1, 12, 0, 0));
    EXPECT_EQ(FileDosDate(h, 2), dos(2023, 1, 15, 12, 0, 0));
    EXPECT_NE(FileDosDate(h, 0), 0u);
    CloseFileHandle(h);
    EXPECT_EQ(FileDosDate(INVALID_HANDLE_VALUE, 1), 0u);
}
