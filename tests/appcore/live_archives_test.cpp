// The main window's core over the real lister and zip front-end, on archives the peer
// tools make at test time.
#include <algorithm>
#include <ctime>

#include "app/core/ListFormat.h"
#include "app/core/MainCore.h"
#include "coretest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

uint32_t crc32Of(const std::string& s) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : s) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

uint16_t crc16Of(const std::string& s) {
    uint16_t c = 0;
    for (unsigned char b : s) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = uint16_t((c >> 1) ^ (0xA001u & (0u - (c & 1u))));
    }
    return c;
}

struct LiveFixture : ::testing::Test {
    CoreHome home;
    ScriptedBoxes boxes;
    std::unique_ptr<TMainCore> core;
    fs::path src;
    std::string small = "hello\n";
    std::string big;

    void SetUp() override {
        core = std::make_unique<TMainCore>(CreateLiveZip(), CreateLiveLister());
        core->FormCreate((pvtest::binDir() / "parvex").string());
        // With both stand-ins beside the program they are loaded from there, quietly.
        auto bin = pvtest::binDir();
        if (fs::exists(bin / "ZIPDLL.DLL") && fs::exists(bin / "UNZDLL.DLL")) {
            EXPECT_EQ(core->FDllFolder, bin.string() + "/");
            EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
        }
        boxes.shown.clear();
        src = home.dir / "src";
        big = pvtest::sampleText(5000, 7);
        pvtest::writeFile(src / "a.txt", small);
        pvtest::writeFile(src / "sub" / "B.TXT", big);
        // A fixed local time, so the date columns are known.
        run("touch -d '2024-03-05 06:07:08' " + q((src / "a.txt").string()) + " " +
            q((src / "sub" / "B.TXT").string()));
    }
    std::string make(const std::string& name, const std::string& cmdline, const char* peer) {
        auto out = home.dir / "arc" / name;
        fs::create_directories(out.parent_path());
        auto r = run(cmdline + " " + q(out.string()) + " a.txt sub/B.TXT", src);
        EXPECT_EQ(r.status, 0) << peer << ": " << r.out;
        return out.string();
    }
    const TListRow* row(const std::string& caption) const {
        for (auto& r : core->Rows)
            if (r.Caption == caption) return &r;
        return nullptr;
    }
    std::string listing() const {
        std::string s;
        for (auto& r : core->Rows) {
            s += r.Caption + " [" + r.StoredName + "]";
            for (auto& c : r.SubItems) s += " | " + c;
            s += "\n";
        }
        return s;
    }
};

} // namespace

TEST_F(LiveFixture, ZipFromThePeerListsThroughTheZipFrontEnd) {
    PV_REQUIRE_PEER("zip");
    std::string path = make("Two Files.zip", "zip -q -X", "zip");
    core->OpenArchive(path);
    EXPECT_EQ(core->FHandlerKind, 1);
    EXPECT_EQ(core->Caption, "Parvex 2000 - Two Files.zip");
    ASSERT_EQ(core->Rows.size(), 2u) << listing();
    const TListRow* a = row("a.txt");
    const TListRow* b = row("B.txt"); // first character as stored, the rest lower-cased
    ASSERT_TRUE(a && b) << listing();
    EXPECT_EQ(b->StoredName, "sub/B.TXT");
    EXPECT_EQ(a->SubItems[0], "6");
    EXPECT_EQ(b->SubItems[0], "5.000");
    EXPECT_EQ(b->SubItems[2], FormatRatio(b->Packed, 5000));
    EXPECT_LT(b->Packed, 5000);
    EXPECT_EQ(b->SubItems[3], "05.03.2024  06:07");
    EXPECT_EQ(b->SubItems[4], "sub/");
    EXPECT_EQ(b->SubItems[5], IntToHexPad(crc32Of(big), 8));
    EXPECT_EQ(a->SubItems[5], IntToHexPad(crc32Of(small), 8));
    EXPECT_EQ(core->StatusPanels[2], core->TotalsText(2, 5006, a->Packed + b->Packed));
    EXPECT_EQ(core->FOpenHistory[1], path);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
}

TEST_F(LiveFixture, TarGzLzhAndArjListThroughTheLister) {
    struct Case {
        const char* peer;
        const char* name;
        const char* cmd;
    } cases[] = {
        {"tar", "t.tar.gz", "tar czf"}, {"jlha", "t.lzh", "jlha a"}, {"arj", "t.arj", "arj a -y -e1"}};
    for (auto& c : cases) {
        if (!pvtest::havePeer(c.peer)) {
            ADD_FAILURE() << c.peer << " missing";
            continue;
        }
        SCOPED_TRACE(c.name);
        std::string path = make(c.name, c.cmd, c.peer);
        if (std::string(c.peer) == "arj") run("arj a -y " + q(path) + " a.txt sub/B.TXT >/dev/null", src);
        core->OpenArchive(path);
        EXPECT_EQ(core->FHandlerKind, 2);
        EXPECT_EQ(core->Caption, std::string("Parvex 2000 - ") + c.name);
        EXPECT_EQ(core->FOpenHistory[1], path);
        EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
        boxes.shown.clear();
        if (std::string(c.peer) == "tar") {
            // A gzip file is one entry: the tar inside it.
            ASSERT_EQ(core->Rows.size(), 1u) << listing();
            EXPECT_EQ(core->Rows[0].Size % 512, 0) << listing();
            EXPECT_EQ(core->StatusPanels[2], core->TotalsText(1, core->Rows[0].Size, core->Rows[0].Packed));
            continue;
        }
        ASSERT_EQ(core->Rows.size(), 2u) << listing();
        const TListRow* a = row("a.txt");
        const TListRow* b = row("B.TXT"); // other formats keep the stored case
        ASSERT_TRUE(a && b) << listing();
        EXPECT_EQ(b->SubItems[0], "5.000");
        EXPECT_EQ(b->SubItems[3], "05.03.2024  06:07"); // the zip rows' format
        EXPECT_EQ(b->SubItems[2], FormatRatio(b->Packed, 5000));
        if (std::string(c.peer) == "jlha") {
            EXPECT_EQ(b->SubItems[5], IntToHexPad(crc16Of(big), 4)); // 16-bit CRC, 4 digits
            EXPECT_EQ(b->SubItems[4], "sub/");
        } else {
            EXPECT_EQ(b->SubItems[5], IntToHexPad(crc32Of(big), 8));
        }
        EXPECT_EQ(core->StatusPanels[2], core->TotalsText(2, 5006, a->Packed + b->Packed));
    }
}

TEST_F(LiveFixture, DamagedArchivesReportAndLeaveTheWindowUsable) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("arj");
    std::string good = make("good.zip", "zip -q -X", "zip");
    std::string arj = make("ok.arj", "arj a -y", "arj");
    std::string tgz = make("ok.tar.gz", "tar czf", "tar");
    auto bytes = [](const std::string& p) { return pvtest::readFile(p); };
    auto put = [&](const std::string& name, const std::string& data) {
        auto p = (home.dir / "bad" / name).string();
        pvtest::writeFile(p, data);
        return p;
    };
    std::string noise(3000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919) >> 3);

    struct Case {
        std::string path;
        std::string expectText; // "" = no message required (the listing may just stop early)
        std::vector<platform::ModalResult> answers;
    } cases[] = {
        {put("noise.zip", noise),
         "This archive is invalid. Do you want Parvex trying to fix it ?",
         {platform::ModalResult::Yes}},
        {put("half.zip", bytes(good).substr(0, bytes(good).size() / 2)),
         "This archive is invalid. Do you want Parvex trying to fix it ?",
         {platform::ModalResult::No}},
        {put("noise.arj", noise), "Unknown file type", {}},
        {put("half.arj", bytes(arj).substr(0, bytes(arj).size() / 2)), "", {}},
        {put("half.tar.gz", bytes(tgz).substr(0, 40)), "", {}},
        {put("empty.lzh", ""), "", {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        boxes.shown.clear();
        boxes.answers = c.answers;
        core->OpenArchive(c.path);
        if (!c.expectText.empty()) {
            ASSERT_FALSE(boxes.shown.empty());
            EXPECT_NE(boxes.shown.back().text.find(c.expectText), std::string::npos)
                << boxes.shown.back().text;
        }
        EXPECT_LE(core->Rows.size(), 2u);
        // The window goes on working: the next archive opens normally.
        boxes.answers.clear();
        core->OpenArchive(good);
        EXPECT_EQ(core->Rows.size(), 2u);
        EXPECT_EQ(core->Caption, "Parvex 2000 - good.zip");
    }
}

// A row is asked for by its stored name, never as a wildcard: the entry named "*.txt"
// is extracted and deleted alone, the other ".txt" entries stay out of it.
TEST_F(LiveFixture, AnEntryNamedLikeAWildcardSelectsOnlyItself) {
    PV_REQUIRE_PEER("python3");
    fs::create_directories(home.dir / "arc");
    ASSERT_EQ(run("python3 -c " + q("import zipfile\n"
                                    "with zipfile.ZipFile('star.zip', 'w') as z:\n"
                                    "    z.writestr('*.txt', 'star')\n"
                                    "    z.writestr('a.txt', 'a')\n"
                                    "    z.writestr('sub/b.txt', 'b')\n"),
                  home.dir / "arc")
                  .status,
              0);
    core->OpenArchive((home.dir / "arc" / "star.zip").string());
    ASSERT_EQ(core->Rows.size(), 3u) << listing();
    auto select = [&] {
        for (size_t i = 0; i < core->Rows.size(); ++i)
            core->ZipListSelectItem(int(i), core->Rows[i].StoredName == "*.txt");
        ASSERT_EQ(core->SelectedCount(), 1);
    };
    select();
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(true, true, out.string(), false, true));
    std::vector<std::string> files;
    for (auto& e : fs::recursive_directory_iterator(out))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), out).string());
    EXPECT_EQ(files, std::vector<std::string>{"*.txt"});
    EXPECT_EQ(pvtest::readFile(out / "*.txt"), "star");

    select();
    core->FDeleteMode = 1;
    EXPECT_TRUE(core->DeleteCore(true));
    std::vector<std::string> left;
    for (auto& r : core->Rows) left.push_back(r.StoredName);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
}

// A set split by zip -s opens by its x.zip and extracts byte-exact; a zip of 70,000
// entries (its count in the zip64 end record) shows every one of them.
TEST_F(LiveFixture, SplitSetsAndZip64CountsOpenInTheWindow) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("python3");
    const fs::path arc = home.dir / "arc";
    fs::create_directories(arc);
    pvtest::writeBytes(src / "big.bin", pvtest::randomBytes(300 * 1000, 9));
    ASSERT_EQ(run("zip -q -X -s 64k " + q((arc / "x.zip").string()) + " big.bin", src).status, 0);
    core->OpenArchive((arc / "x.zip").string());
    ASSERT_EQ(core->Rows.size(), 1u) << listing();
    const fs::path out = home.dir / "out";
    EXPECT_TRUE(core->ExtractCore(false, true, out.string(), false, true));
    EXPECT_TRUE(pvtest::readFile(out / "big.bin") == pvtest::readFile(src / "big.bin"));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;

    ASSERT_EQ(run("python3 -c " + q("import zipfile\n"
                                    "with zipfile.ZipFile('many.zip', 'w') as z:\n"
                                    "    for i in range(70000): z.writestr('f%05d' % i, 'x')\n"),
                  arc)
                  .status,
              0);
    core->OpenArchive((arc / "many.zip").string());
    EXPECT_EQ(core->Rows.size(), 70000u);
    EXPECT_TRUE(row("f69999"));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
}
