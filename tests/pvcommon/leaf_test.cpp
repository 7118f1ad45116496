// The shared leaf: little-endian fields, safe entry paths and parent folders, the wildcard
// matcher, DOS date-times and the event-pump throttle.
#include "common/DosTime.h"
#include "common/Pump.h"
#include "common/SafePath.h"
#include "common/Wildcard.h"
#include "common/ZipLayout.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace {

using namespace pvcommon;

TEST(LeafLittleEndian, FieldsRoundTripAndReadTheZipSignatures) {
    uint8_t b[8] = {};
    PutLE16(b, 0xBEEF);
    EXPECT_EQ(b[0], 0xEF);
    EXPECT_EQ(GetLE16(b), 0xBEEF);
    PutLE32(b, 0xDEADBEEF);
    EXPECT_EQ(GetLE32(b), 0xDEADBEEFu);
    PutLE64(b, 0x0123456789ABCDEFull);
    EXPECT_EQ(GetLE64(b), 0x0123456789ABCDEFull);
    EXPECT_EQ(b[7], 0x01);
    const uint8_t local[] = {'P', 'K', 3, 4}, central[] = {'P', 'K', 1, 2}, end[] = {'P', 'K', 5, 6};
    EXPECT_EQ(GetLE32(local), zip::kLocalSig);
    EXPECT_EQ(GetLE32(central), zip::kCentralSig);
    EXPECT_EQ(GetLE32(end), zip::kEndSig);
}

TEST(LeafSafePath, OneRuleForEveryLayer) {
    struct Case {
        const char* stored;
        const char* rel; // nullptr: refused
    } cases[] = {
        {"a/b.txt", "a/b.txt"},
        {"a\\b.txt", "a/b.txt"},
        {"/etc/passwd", "etc/passwd"},
        {"C:\\x\\y", "x/y"},
        {"C:y", "y"},
        {"./a/./b", "a/b"},
        {"a//b", "a/b"},
        {"../x", nullptr},
        {"a/../../x", nullptr},
        {"a\\..\\x", nullptr},
        {"//", ""},
        {"a..b/c..", "a..b/c.."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const auto r = SafeRelativePath(c.stored);
        if (!c.rel) {
            EXPECT_FALSE(r.has_value());
        } else {
            ASSERT_TRUE(r.has_value());
            EXPECT_EQ(*r, c.rel);
        }
    }
}

TEST(LeafSafePath, ParentsAreMadeButNeverThroughALinkOrAFile) {
    pvtest::TempDir dir;
    std::string why;
    EXPECT_TRUE(MakeSafeParents(dir.str(), "a/b/c.txt", why)) << why;
    struct stat st {};
    EXPECT_EQ(stat((dir / "a/b").c_str(), &st), 0);
    EXPECT_FALSE(S_ISREG(st.st_mode));
    ASSERT_EQ(symlink("/tmp", (dir / "link").c_str()), 0);
    EXPECT_FALSE(MakeSafeParents(dir.str(), "link/x.txt", why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos);
    pvtest::writeFile(dir / "file", "x");
    EXPECT_FALSE(MakeSafeParents(dir.str(), "file/x.txt", why));
    EXPECT_NE(why.find("not a folder"), std::string::npos);
}

TEST(LeafWildcard, TheEngineRules) {
    EXPECT_TRUE(WildcardMatch("*.TXT", "docs/a.txt", false));
    EXPECT_TRUE(WildcardMatch("*.*", "README", false));
    EXPECT_TRUE(WildcardMatch("a?c", "ABC", false));
    EXPECT_FALSE(WildcardMatch("*.txt", "a.doc", false));
    EXPECT_TRUE(WildcardMatch("x/*.c", "y/m.c", true)); // names only: the folders do not count
    EXPECT_FALSE(WildcardMatch("x/*.c", "y/m.c", false));
    EXPECT_TRUE(HasWildcards("a*"));
    EXPECT_FALSE(HasWildcards("a.b"));
}

TEST(LeafDosTime, PackingClampsAndTheInvalidRule) {
    EXPECT_EQ(packDos(1979, 6, 1, 12, 0, 0), (1u << 5 | 1u) << 16);
    const uint32_t last = packDos(2200, 1, 1, 0, 0, 0);
    const DosFields f = dosFields(last);
    EXPECT_EQ(f.year, 2107);
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.second, 58);
    const DosFields bad = dosFields(0xFFFF0000u);
    EXPECT_EQ(bad.year, 1980);
    EXPECT_EQ(bad.month, 1);
    EXPECT_EQ(bad.day, 1);
    // A local time goes to DOS and back unchanged (even seconds).
    const int64_t t = dosToUnixLocal(packDos(2021, 3, 14, 15, 9, 26));
    EXPECT_EQ(unixToDosLocal(t), packDos(2021, 3, 14, 15, 9, 26));
}

TEST(LeafPump, AtMostAboutThirtyTimesASecond) {
    PumpThrottle p;
    EXPECT_TRUE(p.Due());
    EXPECT_FALSE(p.Due());
    p.Reset();
    EXPECT_TRUE(p.Due());
    std::this_thread::sleep_for(PumpThrottle::kInterval + std::chrono::milliseconds(5));
    EXPECT_TRUE(p.Due());
}

} // namespace
