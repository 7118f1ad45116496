// TUnRAR through the unrar.dll stand-in (libarchive decodes the data): stored archives built
// here, checked first by 7zz and unar, extract byte-exact at sizes around the 64 KiB blocks;
// a set of volumes followed through OnNextVolume and stopping after the first volume without
// it; a damaged byte fails exactly its entry and keeps the file already there; Unix entries
// end with plain attributes; encrypted entries are refused as not supported; a missing
// library reports 25260 and touches nothing.
#include <gtest/gtest.h>

#include <map>

#include "archive/aeMsgs.h"
#include "archive/format/aeUnRAR.h"
#include "extract_outcome.h"
#include "platform/fileio.h"
#include "rar_builder.h"
#include "testutil.h"

using namespace pvtest;

namespace {

std::vector<rarfix::Entry> SampleEntries() {
    std::vector<rarfix::Entry> e;
    e.push_back({"big.bin", randomBytes(3 * 1024 * 1024 + 7, 11)});
    e.push_back({"empty.txt", {}});
    e.push_back({"sub\\block.bin", randomBytes(65536, 12)});
    e.push_back({"sub\\block1.bin", randomBytes(65537, 13)});
    const std::string text = sampleText(1000, 14);
    e.push_back({"sub\\deeper\\note.txt", std::vector<uint8_t>(text.begin(), text.end())});
    e.push_back({"sub\\deeper", {}, 2, 0x10, 0xE0});
    return e;
}

std::string OutName(const std::string& stored) {
    std::string s = stored;
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

// The peers accept the fixture before we read it: lsar tests every entry's CRC, unar
// extracts it; 7zz only where it was built with its RAR handler (Debian's is not).
void PeersAccept(const fs::path& rar) {
    static const bool sevenZipReadsRar = havePeer("7zz") && run("7zz i").out.find(" Rar") != std::string::npos;
    if (sevenZipReadsRar) {
        auto r = run("7zz t " + q(rar.string()));
        ASSERT_EQ(r.status, 0) << r.out;
    }
    if (havePeer("lsar") && havePeer("unar")) {
        auto r = run("lsar -t " + q(rar.string()));
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(" 0 failed"), std::string::npos) << r.out;
        TempDir t;
        r = run("unar -q -o " + q(t.path().string()) + " " + q(rar.string()));
        ASSERT_EQ(r.status, 0) << r.out;
    } else {
        std::printf("lsar/unar missing (tools/deps.sh: unar): fixture not checked by a peer\n");
    }
}

struct LibraryPresent : ::testing::Test {
    void SetUp() override {
        if (RarLibrary().Missing) LoadRarLibrary();
        ASSERT_FALSE(RarLibrary().Missing) << "unrar.dll is built with the tests";
    }
};

using UnRar = LibraryPresent;

TEST_F(UnRar, StoredEntriesExtractByteExactAndTestPasses) {
    TempDir t;
    const auto entries = SampleEntries();
    const fs::path rar = t / "x.rar";
    writeBytes(rar, rarfix::archive(entries));
    PeersAccept(rar);

    TUnRAR u;
    ExtractOutcome o;
    o.listen(u);
    o.run(u, rar, t / "out", false);
    EXPECT_FALSE(o.failed()) << o.errors.size();
    EXPECT_EQ(o.passed(), 5);
    for (const auto& e : entries) {
        if (e.flags & 0xE0) continue;
        EXPECT_EQ(readBytes(t / "out" / OutName(e.name)), e.data) << e.name;
    }
    // Nothing but the entries: no temporary file left beside them.
    size_t files = 0;
    for (auto& p : fs::recursive_directory_iterator(t / "out"))
        if (p.is_regular_file()) ++files;
    EXPECT_EQ(files, 5u);

    TUnRAR tester;
    ExtractOutcome to;
    to.listen(tester);
    to.run(tester, rar, t / "nothing", true);
    EXPECT_FALSE(to.failed());
    EXPECT_EQ(to.passed(), 5);
    EXPECT_FALSE(fs::exists(t / "nothing"));
}

// One damaged data byte: only that entry fails, the file already at its place stays, no
// temporary file is left; the header CRC of the damaged entry is untouched.
TEST_F(UnRar, DamagedByteFailsExactlyItsEntryAndKeepsTheOldFile) {
    TempDir t;
    std::vector<rarfix::Entry> entries = {{"a.txt", randomBytes(1000, 1)},
                                          {"b.bin", randomBytes(300000, 2)},
                                          {"c.txt", randomBytes(10, 3)}};
    auto bytes = rarfix::archive(entries);
    // b.bin's data begin after the marker, archive header, a.txt's block and b.bin's header.
    const size_t bData = 7 + 13 + (32 + 5 + 1000) + (32 + 5);
    bytes[bData + 123456] ^= 0x40;
    writeBytes(t / "x.rar", bytes);
    writeFile(t / "out" / "b.bin", "old");

    for (bool test : {true, false}) {
        TUnRAR u;
        u.ConfirmOverwrites = false;
        u.OverwriteMode = omOverwrite;
        ExtractOutcome o;
        o.listen(u);
        o.run(u, t / "x.rar", t / "out", test);
        std::map<std::string, bool> byName;
        for (auto& [fn, pass] : o.ends) byName[fs::path(fn).filename().string()] = pass;
        EXPECT_EQ(byName, (std::map<std::string, bool>{{"a.txt", true}, {"b.bin", false}, {"c.txt", true}}))
            << (test ? "test" : "extract");
    }
    EXPECT_EQ(readFile(t / "out" / "b.bin"), "old");
    EXPECT_EQ(readBytes(t / "out" / "c.txt"), entries[2].data);
    size_t files = 0;
    for (auto& p : fs::directory_iterator(t / "out")) files += p.is_regular_file();
    EXPECT_EQ(files, 3u);
}

// A file over three volumes and files before and after it. With OnNextVolume the whole set
// extracts; without it the run stops after the first volume: what it holds whole is
// extracted, the split file fails with a broken chain and leaves nothing.
TEST_F(UnRar, VolumeSetThroughOnNextVolumeAndStopAfterTheFirstWithoutIt) {
    TempDir t;
    std::vector<rarfix::Entry> entries = {{"first.txt", randomBytes(5000, 4)},
                                          {"span.bin", randomBytes(2 * 1024 * 1024 + 99, 5)},
                                          {"last.txt", randomBytes(777, 6)}};
    const size_t n = entries[1].data.size();
    auto vols = rarfix::volumes(entries, {{{0, 0, 5000}, {1, 0, 700000}},
                                          {{1, 700000, 700000}},
                                          {{1, 1400000, n - 1400000}, {2, 0, 777}}});
    writeBytes(t / "set.rar", vols[0]);
    writeBytes(t / "set.r00", vols[1]);
    writeBytes(t / "set.r01", vols[2]);
    PeersAccept(t / "set.rar");

    {
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        std::vector<std::string> asked;
        u.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string&, bool, bool& cancel) {
            asked.push_back(fs::path(name).filename().string());
            cancel = false;
        };
        o.run(u, t / "set.rar", t / "all", false);
        EXPECT_FALSE(o.failed());
        EXPECT_EQ(asked, (std::vector<std::string>{"set.r00", "set.r01"}));
        for (const auto& e : entries) EXPECT_EQ(readBytes(t / "all" / e.name), e.data) << e.name;
        EXPECT_EQ(u.ArchiveFile(), (t / "set.rar").string());
    }
    {
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        o.run(u, t / "set.rar", t / "one", false);
        EXPECT_EQ(readBytes(t / "one" / "first.txt"), entries[0].data);
        EXPECT_TRUE(o.hasError(kMsgBrokenChain));
        EXPECT_FALSE(fs::exists(t / "one" / "last.txt"));
        size_t files = 0;
        for (auto& p : fs::directory_iterator(t / "one")) files += p.is_regular_file();
        EXPECT_EQ(files, 1u) << "the split file leaves nothing";
    }
}

// Entries made on Unix carry mode bits: a read-only file and a folder end as attributes 32
// and 16; the file is writable afterwards and the folder entry makes no file.
TEST_F(UnRar, UnixModesEndAsPlainAttributes) {
    TempDir t;
    std::vector<rarfix::Entry> entries = {{"ro.txt", randomBytes(100, 7), 3, 0100444},
                                          {"dir", {}, 3, 040755, 0xE0},
                                          {"dir/x.sh", randomBytes(50, 8), 3, 0100755}};
    writeBytes(t / "u.rar", rarfix::archive(entries));
    TUnRAR u;
    ExtractOutcome o;
    o.listen(u);
    o.run(u, t / "u.rar", t / "out", false);
    EXPECT_FALSE(o.failed());
    EXPECT_EQ(o.passed(), 2);
    EXPECT_EQ(platform::fileAttributes((t / "out" / "ro.txt").string()) & 0x11u, 0u);
    EXPECT_EQ(readBytes(t / "out" / "dir" / "x.sh"), entries[2].data);
}

// libarchive cannot decrypt RAR: an encrypted entry fails as not supported, naming it,
// never as a wrong password, and the others still extract.
TEST_F(UnRar, EncryptedEntryIsReportedAsNotSupported) {
    TempDir t;
    std::vector<rarfix::Entry> entries = {{"secret.txt", randomBytes(64, 9), 2, 0x20, 0x04},
                                          {"plain.txt", randomBytes(64, 10)}};
    writeBytes(t / "e.rar", rarfix::archive(entries));
    for (bool withPasswordEvent : {false, true}) {
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        std::vector<std::string> named, details;
        u.OnError = [&](TZipCommon&, const std::string& fn, const std::string& ex, const std::string&, int code) {
            o.errors.push_back(code);
            named.push_back(fn);
            details.push_back(ex);
        };
        if (withPasswordEvent)
            u.OnGetPassword = [](TZipCommon&, const std::string&, std::string& pw, bool&) { pw = "pw"; };
        const fs::path out = t / (withPasswordEvent ? "b" : "a");
        o.run(u, t / "e.rar", out, false);
        EXPECT_TRUE(o.hasError(kMsgUnsupportedMethod));
        EXPECT_FALSE(o.hasError(kMsgInvalidPassword));
        ASSERT_FALSE(named.empty());
        EXPECT_EQ(named[0], "secret.txt");
        EXPECT_NE(details[0].find("not supported"), std::string::npos);
        EXPECT_FALSE(fs::exists(out / "secret.txt"));
        EXPECT_EQ(readBytes(out / "plain.txt"), entries[1].data);
    }
}

TEST(UnRarLibrary, MissingLibraryReports25260AndTouchesNothing) {
    TempDir t;
    writeBytes(t / "x.rar", rarfix::archive({{"a.txt", randomBytes(10, 1)}}));
    UnloadRarLibrary();
    EXPECT_TRUE(RarLibrary().Missing);
    TUnRAR u;
    ExtractOutcome o;
    o.listen(u);
    o.run(u, t / "x.rar", t / "out", false);
    EXPECT_TRUE(o.hasError(25260));
    EXPECT_FALSE(fs::exists(t / "out" / "a.txt"));
    size_t n = 0;
    for (auto& p : fs::recursive_directory_iterator(t.path())) n += p.is_regular_file();
    EXPECT_EQ(n, 1u);
    ASSERT_TRUE(LoadRarLibrary());
}

} // namespace
