// Rename: whole names and leading folders renamed exactly, dates set, every other entry's
// records kept byte for byte; refused renames leave the archive byte-identical.
#include "name_peers.h"
#include "ziptest.h"

using namespace pvtest;
using namespace ziptest;

namespace {

struct Front {
    TZipFront z;
    Events ev;
    Front() {
        attach(z, ev);
        z.HowToDelete = htdFinal;
    }
};

fs::path fixture(const TempDir& t) {
    writeFile(t / "in/docs/a.txt", sampleText(4000, 1));
    writeFile(t / "in/docs/sub/b.txt", sampleText(3000, 2));
    writeFile(t / "in/data.txt", sampleText(2000, 3));
    writeFile(t / "in/a.txt", "a\n");
    writeBytes(t / "in/r.bin", randomBytes(5000, 4));
    const fs::path zip = t / "x.zip";
    auto r = run("zip -qr -X " + q(zip.string()) + " docs data.txt a.txt r.bin", t / "in");
    EXPECT_EQ(r.status, 0) << r.out;
    return zip;
}

std::vector<std::string> names(const TZipFront& z) {
    std::vector<std::string> v;
    for (auto& e : z.ZipContents) v.push_back(e->FileName);
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST(Rename, FolderAndEntryKeepTheOtherRecords) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    const fs::path zip = fixture(t);
    const auto before = rawEntries(zip);
    Front f;
    f.z.UseDirOnlyEntries = true;
    f.z.SetZipFileName(zip.string());
    ZipRenameRec folder{"docs/", "papers/", 0}, one{"a.txt", "first.txt", 0};
    ASSERT_EQ(f.z.Rename({&folder, &one}, 0), 0) << f.ev.all();
    EXPECT_EQ(names(f.z), (std::vector<std::string>{"data.txt", "first.txt", "papers/", "papers/a.txt",
                                                    "papers/sub/", "papers/sub/b.txt", "r.bin"}));
    EXPECT_TRUE(f.ev.saw("Processing: docs/sub/b.txt renamed to: papers/sub/b.txt")) << f.ev.all();
    EXPECT_TRUE(f.ev.saw("Processing: data.txt")) << "a.txt does not match inside data.txt";
    const auto after = rawEntries(zip);
    for (const char* same : {"data.txt", "r.bin"}) {
        EXPECT_EQ(after.at(same).local, before.at(same).local) << same;
        EXPECT_EQ(after.at(same).central, before.at(same).central) << same;
    }
    // A renamed entry differs only in its name.
    auto renamed = after.at("papers/sub/b.txt").local, original = before.at("docs/sub/b.txt").local;
    EXPECT_EQ(renamed.substr(30 + 16), original.substr(30 + 14));
    auto r = run("unzip -tq " + q(zip.string()));
    EXPECT_EQ(r.status, 0) << r.out;
    fs::create_directories(t / "out");
    r = run("unzip -q " + q(zip.string()) + " -d " + q((t / "out").string()));
    EXPECT_EQ(readFile(t / "out/papers/sub/b.txt"), readFile(t / "in/docs/sub/b.txt"));
    EXPECT_EQ(readFile(t / "out/first.txt"), "a\n");
}

TEST(Rename, DatesFromTheCallAndFromARecord) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = fixture(t);
    const int32_t date1 = ((2001 - 1980) << 9 | 2 << 5 | 3) << 16 | (4 << 11 | 5 << 5 | 3);
    const int32_t date2 = ((2010 - 1980) << 9 | 12 << 5 | 31) << 16;
    Front f;
    f.z.SetZipFileName(zip.string());
    std::map<std::string, std::pair<int, int>> dates;
    for (auto& e : f.z.ZipContents) dates[e->FileName] = {e->FileDate, e->FileTime};
    // No dates anywhere: every date stays.
    ZipRenameRec keep{"r.bin", "s.bin", 0};
    ASSERT_EQ(f.z.Rename({&keep}, 0), 0) << f.ev.all();
    for (auto& e : f.z.ZipContents) {
        const std::string was = e->FileName == "s.bin" ? "r.bin" : e->FileName;
        EXPECT_EQ(e->FileDate, dates[was].first) << e->FileName;
        EXPECT_EQ(e->FileTime, dates[was].second) << e->FileName;
    }
    ZipRenameRec dated{"s.bin", "r.bin", date2};
    ASSERT_EQ(f.z.Rename({&dated}, date1), 0) << f.ev.all();
    for (auto& e : f.z.ZipContents) {
        const int32_t want = e->FileName == "r.bin" ? date2 : date1;
        EXPECT_EQ(e->FileDate, static_cast<uint32_t>(want) >> 16) << e->FileName;
        EXPECT_EQ(e->FileTime, want & 0xFFFF) << e->FileName;
    }
    // The local headers carry the same dates (unzip checks nothing here; compare bytes).
    const auto raw = rawEntries(zip);
    EXPECT_EQ(le32(raw.at("r.bin").local, 10), static_cast<uint32_t>(date2));
    EXPECT_EQ(le32(raw.at("data.txt").local, 10), static_cast<uint32_t>(date1));
}

TEST(Rename, RefusedRenamesLeaveTheArchiveAlone) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = fixture(t);
    const std::string bytes = readFile(zip);
    struct Case {
        std::string from, to;
        int result;
    };
    const Case cases[] = {
        {"a.txt", "data.txt", -9},   // an existing name
        {"a.txt", "docs/a.txt", -9}, // an existing name in a folder
        {"docs/sub/", "docs/", -9},  // a folder onto names that exist
        {"a.txt", "", -9},           // empty
        {"a.txt", "../a.txt", -9},   // leaving the archive's folders
        {"docs/", "x/../../", -9},   // the same through a folder
        {"a.txt", "dir/", -10},      // a file onto a folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from + " -> " + c.to);
        Front f;
        f.z.SetZipFileName(zip.string());
        ZipRenameRec rec{c.from, c.to, 0};
        EXPECT_EQ(f.z.Rename({&rec}, 0), c.result) << f.ev.all();
        EXPECT_FALSE(f.z.ZipBusy());
        EXPECT_TRUE(readFile(zip) == bytes);
        for (auto& e : fs::directory_iterator(t.path()))
            EXPECT_NE(e.path().filename().string()[0], '.') << "left behind: " << e.path();
        // The component is usable afterwards.
        ZipRenameRec back{"r.bin", "r2.bin", 0};
        ASSERT_EQ(f.z.Rename({&back}, 0), 0) << f.ev.all();
        writeFile(zip, bytes);
    }
}

TEST(Rename, SpannedAndSelfExtractingArchives) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    const fs::path zip = fixture(t);
    {
        fs::create_directories(t / "set");
        Front f;
        f.z.MaxVolumeSize = 4096;
        f.z.MinFreeVolumeSize = 0;
        ASSERT_EQ(f.z.WriteSpan(zip.string(), (t / "set/s.zip").string()), 0) << f.ev.all();
        std::string last;
        for (auto& e : fs::directory_iterator(t / "set")) last = std::max(last, e.path().string());
        const std::string bytes = readFile(last);
        Front g;
        g.z.SetZipFileName(last);
        ZipRenameRec rec{"a.txt", "b.txt", 0};
        EXPECT_EQ(g.z.Rename({&rec}, 0), -7);
        EXPECT_TRUE(g.ev.saw("Rename is not implemented for a spanned zip file")) << g.ev.all();
        EXPECT_TRUE(readFile(last) == bytes);
    }
    {
        Front f;
        f.z.SetZipFileName(zip.string());
        ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
        const int64_t stub = f.z.SFXOffset;
        const std::string head = readFile(t / "x.exe").substr(0, static_cast<size_t>(stub));
        ZipRenameRec rec{"docs/", "d/", 0};
        ASSERT_EQ(f.z.Rename({&rec}, 0), 0) << f.ev.all();
        EXPECT_EQ(readFile(t / "x.exe").substr(0, static_cast<size_t>(stub)), head);
        EXPECT_EQ(f.z.SFXOffset, stub);
        auto r = run("unzip -tq " + q((t / "x.exe").string()));
        EXPECT_EQ(r.status, 0) << r.out;
    }
}

// A new name outside ASCII, in an entry made by MS-DOS: every peer extracts it under that name.
TEST(Rename, NonAsciiNewNamesExtractUnderTheirOwnNameWithEveryPeer) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "a\n");
    const fs::path zip = t / "x.zip";
    auto r = run("zip -qk -X " + q(zip.string()) + " a.txt", t / "in"); // made by MS-DOS: "A.TXT"
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string name = nonAsciiNames()[1];
    Front f;
    f.z.SetZipFileName(zip.string());
    ZipRenameRec one{"A.TXT", name, 0};
    ASSERT_EQ(f.z.Rename({&one}, 0), 0) << f.ev.all();
    EXPECT_EQ(names(f.z), (std::vector<std::string>{name}));
    for (const std::string& peer : installedPeers({"unzip", "7zz", "bsdtar", "python3"})) {
        SCOPED_TRACE(peer);
        const fs::path out = t / ("out-" + peer);
        r = extractWithPeer(peer, zip, out);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(readFile(out / name), "a\n");
    }
}
