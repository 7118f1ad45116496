// TUnACE through the unace.dll stand-in: archives from the test writer (stored, LZ77 of
// several MB, solid, a volume set), each first passed by Debian's `unace t`, extracted and
// tested byte-exact; a set without OnNextVolume, entries the library refuses, a damaged
// entry, a missing library, and the aetool verbs.
#include <gtest/gtest.h>

#include "ace_fixtures.h"
#include "archive/format/aeUnACE.h"
#include "bytes.h"
#include "extract_outcome.h"

using namespace pvtest;
using namespace acetest;

namespace {

struct AceRun {
    ExtractOutcome o;
    std::vector<std::pair<std::string, std::string>> errors; // (FN, MsgEx)
    int volumesAsked = 0;
};

void Extract(AceRun& r, const fs::path& arc, const fs::path& out, bool test = false, bool volumes = true,
             std::function<void(TUnACE&)> setup = {}) {
    TUnACE u;
    r.o.listen(u);
    u.OnError = [&r](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                     int code) {
        r.o.errors.push_back(code);
        r.errors.emplace_back(fn, msgEx);
    };
    if (volumes)
        u.OnNextVolume = [&r](TZipCommon&, std::string&, const std::string&, bool exists, bool& cancel) {
            ++r.volumesAsked;
            cancel = !exists;
        };
    if (setup) setup(u);
    r.o.run(u, arc, out, test);
}

// Files below `dir`, relative, sorted; temporary files would show here too.
std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> v;
    if (!fs::exists(dir)) return v;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) v.push_back(fs::relative(e.path(), dir).string());
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST(UnAce, PeerCheckedArchivesExtractAndTestByteExact) {
    PV_REQUIRE_PEER("unace");
    struct Case {
        const char* label;
        std::vector<File> files;
        bool solid;
        size_t split;
    };
    const std::vector<Case> cases{
        {"stored",
         {{"a.bin", randomBytes(150000, 1), false}, {"sub\\b.txt", bytesOf("bee"), false}},
         false,
         0},
        {"lz77",
         {{"big.bin", mixed(2 * 1024 * 1024 + 3, 2)}, {"dir\\small.txt", mixed(1000, 3)}, {"empty", {}}},
         false,
         0},
        {"solid",
         {{"one.txt", mixed(400000, 4)},
          {"two.bin", randomBytes(3000, 5), false},
          {"three.txt", mixed(300000, 4)}},
         true,
         0},
        {"volumes",
         {{"lead.txt", mixed(50000, 6)}, {"spans.bin", concat({randomBytes(250000, 7), mixed(300000, 8)})}},
         false,
         100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir t;
        save(t.path(), "x", build(c.files, c.solid, c.split));
        expectPeerPasses(t / "x.ace", c.files.size());

        AceRun r;
        Extract(r, t / "x.ace", t / "out");
        EXPECT_FALSE(r.o.failed()) << (r.errors.empty() ? "" : r.errors[0].second);
        EXPECT_EQ(r.o.passed(), static_cast<int>(c.files.size()));
        std::vector<std::string> expected;
        for (const File& f : c.files) {
            std::string name = f.name;
            std::replace(name.begin(), name.end(), '\\', '/');
            expected.push_back(name);
            EXPECT_TRUE(readBytes(t / "out" / name) == f.data) << name;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesIn(t / "out"), expected); // no temporary file is left beside them
        if (c.split) {
            EXPECT_GE(r.volumesAsked, 2);
        }

        AceRun test;
        Extract(test, t / "x.ace", t / "none", true);
        EXPECT_FALSE(test.o.failed());
        EXPECT_EQ(test.o.passed(), static_cast<int>(c.files.size()));
        EXPECT_FALSE(fs::exists(t / "none"));
    }
}

TEST(UnAce, AVolumeSetWithoutOnNextVolumeStopsAtTheFirstVolume) {
    TempDir t;
    const Bytes lead = mixed(20000, 11), spans = randomBytes(300000, 12);
    save(t.path(), "x", build({{"lead.txt", lead}, {"spans.bin", spans, false}}, false, 100000));
    ASSERT_TRUE(fs::exists(t / "x.c01"));
    AceRun r;
    Extract(r, t / "x.ace", t / "out", false, false);
    EXPECT_EQ(readBytes(t / "out" / "lead.txt"), lead);
    // The entry that goes on in the next volume fails and leaves nothing behind.
    EXPECT_EQ(filesIn(t / "out"), std::vector<std::string>{"lead.txt"});
    EXPECT_TRUE(r.o.failed());
    EXPECT_TRUE(r.o.hasError(25236));
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors.back().first, "spans.bin");
}

TEST(UnAce, RefusedEntriesAreNamedAndNeverCalledAWrongPassword) {
    TempDir t;
    const Bytes data = mixed(30000, 21);
    save(t.path(), "x",
         build({{"secret.txt", data, true, 0x4000}, {"new.bin", data, false, 0, 2}, {"plain.txt", data}}));
    for (bool asks : {false, true}) {
        SCOPED_TRACE(asks ? "with OnGetPassword" : "without OnGetPassword");
        AceRun r;
        int asked = 0;
        Extract(r, t / "x.ace", t / (asks ? "a" : "b"), false, true, [&](TUnACE& u) {
            if (asks)
                u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
                    ++asked;
                    pw = "pw";
                    again = true;
                };
        });
        EXPECT_FALSE(r.o.hasError(26517));
        ASSERT_EQ(r.errors.size(), 2u);
        EXPECT_EQ(r.o.errors, (std::vector<int>{25242, 25242}));
        EXPECT_EQ(r.errors[0].first, "secret.txt");
        EXPECT_NE(r.errors[0].second.find("encrypted entries are not supported"), std::string::npos);
        EXPECT_EQ(r.errors[1].first, "new.bin");
        EXPECT_NE(r.errors[1].second.find("not supported"), std::string::npos);
        EXPECT_EQ(asked, 0); // no password is asked for that could never be used
        // The run goes on: the plain entry is extracted, the refused ones leave nothing.
        EXPECT_EQ(filesIn(t / (asks ? "a" : "b")), std::vector<std::string>{"plain.txt"});
    }
}

TEST(UnAce, ADamagedEntryFailsItsCheckAndKeepsTheOldFile) {
    TempDir t;
    const Bytes data = randomBytes(50000, 31);
    Bytes arc = build({{"f.bin", data, false}})[0];
    arc[arc.size() - 100] ^= 0x01; // stored data: decodes, but the CRC differs
    writeBytes(t / "x.ace", arc);
    writeBytes(t / "out" / "f.bin", bytesOf("old"));
    AceRun r;
    Extract(r, t / "x.ace", t / "out", false, true, [](TUnACE& u) {
        u.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
            m = omOverwrite;
        };
    });
    ASSERT_EQ(r.o.ends.size(), 1u);
    EXPECT_FALSE(r.o.ends[0].second);
    EXPECT_EQ(readBytes(t / "out" / "f.bin"), bytesOf("old"));
    EXPECT_EQ(filesIn(t / "out"), std::vector<std::string>{"f.bin"});
}

TEST(UnAce, NamesNeverLeaveTheTargetFolder) {
    TempDir t;
    save(t.path(), "x",
         build({{"..\\evil.txt", bytesOf("no"), false}, {"ok\\in.txt", bytesOf("yes"), false}}));
    AceRun r;
    Extract(r, t / "x.ace", t / "out");
    EXPECT_FALSE(fs::exists(t / "evil.txt"));
    EXPECT_EQ(readBytes(t / "out" / "ok" / "in.txt"), bytesOf("yes"));
}

TEST(UnAce, MissingLibraryIsReportedAndNothingIsWritten) {
    TempDir t;
    save(t.path(), "x", build({{"one.bin", bytesOf("abc"), false}}));
    UnloadAceLibrary();
    EXPECT_TRUE(AceLibrary().Missing);
    AceRun r;
    Extract(r, t / "x.ace", t / "out");
    ASSERT_TRUE(LoadAceLibrary());
    EXPECT_TRUE(r.o.hasError(25262));
    EXPECT_FALSE(fs::exists(t / "out"));

    AceRun again;
    Extract(again, t / "x.ace", t / "out");
    EXPECT_FALSE(again.o.failed());
    EXPECT_EQ(readBytes(t / "out" / "one.bin"), bytesOf("abc"));
}
