// TUnRAR through the unrar.dll stand-in: stored archives built here, checked first by 7zz and
// unar, extract byte-exact at sizes around the 64 KiB blocks; a set of volumes followed
// through OnNextVolume and stopping after the first volume without it; solid sets under both
// volume namings list, extract (symbolic links and empty folders too) and test as unar
// extracts them; links leading out of the folder are refused per entry; old-style archive and
// file comments do not stop the archive, a RAR 5 archive gets one clear message; a damaged byte
// fails exactly its entry and keeps the file already there; Unix entries end with plain
// attributes; the compressed entries of a solid archive extract alone or together; entries
// the library cannot decode (encrypted, an unknown method) are refused as not supported,
// naming them; a missing library reports 25260
// and touches nothing.
#include <gtest/gtest.h>

#include <map>

#include "archive/aeMsgs.h"
#include "archive/format/aeUnRAR.h"
#include "extract_outcome.h"
#include "lister_util.h"
#include "platform/fileio.h"
#include "rar29_encoder.h"
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
    static const bool sevenZipReadsRar =
        havePeer("7zz") && run("7zz i").out.find(" Rar") != std::string::npos;
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

// What unar extracts from the archive is exactly what we extracted (links compared as links).
void SameAsUnar(const fs::path& rar, const fs::path& ours) {
    if (!havePeer("unar")) {
        std::printf("unar missing (tools/deps.sh: unar): extraction not compared with a peer\n");
        return;
    }
    TempDir u;
    auto r = run("unar -q -D -o " + q(u.path().string()) + " " + q(rar.string()));
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("diff -r --no-dereference " + q(u.path().string()) + " " + q(ours.string()));
    EXPECT_EQ(r.status, 0) << r.out;
}

// Every next volume asked for is accepted; Asked gets their file names.
void AcceptVolumes(TZipCommon& u, std::vector<std::string>& Asked) {
    u.OnNextVolume = [&Asked](TZipCommon&, std::string& name, const std::string&, bool, bool& cancel) {
        Asked.push_back(fs::path(name).filename().string());
        cancel = false;
    };
}

// Every error of a run, with its entry's name and detail.
struct Told {
    std::string name, detail;
    int code;
};
void KeepErrors(TZipCommon& u, ExtractOutcome& o, std::vector<Told>& told) {
    u.OnError = [&o, &told](TZipCommon&, const std::string& fn, const std::string& ex, const std::string&,
                            int code) {
        o.errors.push_back(code);
        told.push_back({fn, ex, code});
    };
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
    std::vector<rarfix::Entry> entries = {
        {"a.txt", randomBytes(1000, 1)}, {"b.bin", randomBytes(300000, 2)}, {"c.txt", randomBytes(10, 3)}};
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
    auto vols = rarfix::volumes(
        entries,
        {{{0, 0, 5000}, {1, 0, 700000}}, {{1, 700000, 700000}}, {{1, 1400000, n - 1400000}, {2, 0, 777}}});
    writeBytes(t / "set.rar", vols[0]);
    writeBytes(t / "set.r00", vols[1]);
    writeBytes(t / "set.r01", vols[2]);
    PeersAccept(t / "set.rar");

    {
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        std::vector<std::string> asked;
        AcceptVolumes(u, asked);
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

// A solid set of three volumes, named either way (x.rar, x.r00, x.r01 or x.part1.rar,
// x.part2.rar, x.part3.rar), with a file over all three, an empty folder and a symbolic link:
// the lister follows the set, and extracting and testing it give what unar gives.
TEST_F(UnRar, SolidVolumeSetsOfBothNamingsListExtractAndTestAsUnar) {
    std::vector<rarfix::Entry> entries = {{"a.txt", randomBytes(70000, 21)},
                                          {"dir\\empty", {}, 2, 0x10, 0xE0},
                                          {"dir\\span.bin", randomBytes(300000, 22)},
                                          rarfix::symlink("dir\\link", "../a.txt"),
                                          {"b.txt", randomBytes(900, 23)}};
    for (size_t i = 1; i < entries.size(); ++i) entries[i].flags |= 0x10; // each continues the last
    const std::vector<std::vector<rarfix::Piece>> layout = {{{0, 0, 70000}, {1, 0, 0}, {2, 0, 100000}},
                                                            {{2, 100000, 150000}},
                                                            {{2, 250000, 50000}, {3, 0, 8}, {4, 0, 900}}};
    struct Naming {
        uint16_t flags;
        std::vector<std::string> names;
    };
    for (const Naming& n : {Naming{0x0008, {"set.rar", "set.r00", "set.r01"}},
                            Naming{0x0018, {"set.part1.rar", "set.part2.rar", "set.part3.rar"}}}) {
        SCOPED_TRACE(n.names[0]);
        TempDir t;
        const auto vols = rarfix::volumes(entries, layout, n.flags);
        for (size_t v = 0; v < vols.size(); ++v) writeBytes(t / n.names[v], vols[v]);
        const fs::path first = t / n.names[0];

        const auto listed = listertest::listArchive(first.string(), true);
        ASSERT_TRUE(listed.ok);
        std::vector<std::string> names;
        for (const auto& e : listed.entries) names.push_back(e.name);
        EXPECT_EQ(names,
                  (std::vector<std::string>{"a.txt", "dir/empty", "dir/span.bin", "dir/link", "b.txt"}));

        for (bool test : {false, true}) {
            TUnRAR u;
            ExtractOutcome o;
            o.listen(u);
            std::vector<std::string> asked;
            AcceptVolumes(u, asked);
            o.run(u, first, t / (test ? "none" : "out"), test);
            EXPECT_FALSE(o.failed()) << (test ? "test" : "extract");
            EXPECT_EQ(o.passed(), 4);
            EXPECT_EQ(asked, (std::vector<std::string>{n.names[1], n.names[2]}));
        }
        EXPECT_FALSE(fs::exists(t / "none"));
        EXPECT_EQ(readBytes(t / "out" / "dir" / "span.bin"), entries[2].data);
        EXPECT_TRUE(fs::is_directory(t / "out" / "dir" / "empty"));
        ASSERT_TRUE(fs::is_symlink(t / "out" / "dir" / "link"));
        EXPECT_EQ(fs::read_symlink(t / "out" / "dir" / "link"), "../a.txt");
        SameAsUnar(first, t / "out");
    }
}

// A link that would lead out of the folder is refused with a message naming it; the link that
// stays inside and the files around them are made, nothing appears outside.
TEST_F(UnRar, LinksLeadingOutOfTheFolderAreRefusedPerEntry) {
    TempDir t;
    const std::vector<rarfix::Entry> entries = {rarfix::symlink("d\\up", "../../outside"),
                                                rarfix::symlink("abs", "/etc/passwd"),
                                                {"d\\x.txt", randomBytes(40, 24)},
                                                rarfix::symlink("d\\in", "x.txt")};
    writeBytes(t / "l.rar", rarfix::archive(entries));
    TUnRAR u;
    ExtractOutcome o;
    std::vector<Told> told;
    o.listen(u);
    KeepErrors(u, o, told);
    o.run(u, t / "l.rar", t / "out", false);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].name, "d/up");
    EXPECT_EQ(told[1].name, "abs");
    for (const Told& e : told) {
        EXPECT_EQ(e.code, kMsgInvalidName);
        EXPECT_NE(e.detail.find("points outside the folder"), std::string::npos) << e.detail;
    }
    EXPECT_EQ(o.passed(), 2);
    EXPECT_FALSE(fs::is_symlink(t / "out" / "d" / "up"));
    EXPECT_FALSE(fs::is_symlink(t / "out" / "abs"));
    EXPECT_FALSE(fs::exists(t / "outside"));
    EXPECT_EQ(fs::read_symlink(t / "out" / "d" / "in"), "x.txt");
    EXPECT_EQ(readBytes(t / "out" / "d" / "x.txt"), entries[2].data);
}

// An archive header with an old-style comment embedded (its CRC covers the fixed part only)
// opens and extracts; a RAR 5 archive, which nothing here reads, is named so once, by the
// extractor and by the lister.
TEST_F(UnRar, OldCommentsInHeadersOpenAndRar5GetsOneClearMessage) {
    TempDir t;
    std::vector<rarfix::Entry> entries = {{"c.txt", randomBytes(300, 25)}, {"d.txt", randomBytes(30, 26)}};
    entries[1].comment = "a file's own comment";
    writeBytes(t / "c.rar", rarfix::archive(entries, 0, rarfix::startWithComment("made in 1999")));
    PeersAccept(t / "c.rar");
    {
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        o.run(u, t / "c.rar", t / "out", false);
        EXPECT_FALSE(o.failed());
        EXPECT_EQ(readBytes(t / "out" / "c.txt"), entries[0].data);
        EXPECT_EQ(readBytes(t / "out" / "d.txt"), entries[1].data);
    }

    auto five = rarfix::rar5Start();
    five.resize(200, 0);
    writeBytes(t / "five.rar", five);
    TUnRAR u;
    ExtractOutcome o;
    std::vector<Told> told;
    o.listen(u);
    KeepErrors(u, o, told);
    o.run(u, t / "five.rar", t / "five", false);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].code, kMsgBadArcType);
    EXPECT_EQ(told[0].detail, "RAR 5 archives are not supported");
    EXPECT_FALSE(fs::exists(t / "five"));

    TArcLister l;
    l.OnRead = [](TZipCommon&, int64_t, int) {};
    l.SetArchiveFile((t / "five.rar").string());
    EXPECT_EQ(l.ArcType(), atRar);
    EXPECT_FALSE(l.Activate());
    EXPECT_EQ(l.LastError(),
              std::string(AeMessageText(kMsgBadArcType)) + " (RAR 5 archives are not supported)");
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

// A solid archive of compressed entries: each continues the previous one's dictionary, so
// extracting only the last entry still decodes the ones before it, and so does a test.
TEST_F(UnRar, SolidCompressedEntriesExtractAloneOrTogether) {
    TempDir t;
    const std::string text = sampleText(30000, 21);
    const std::vector<uint8_t> first(text.begin(), text.end());
    const std::vector<uint8_t> second(first.begin() + 500, first.begin() + 9000);
    std::vector<uint8_t> third(first.begin() + 100, first.begin() + 4000);
    third.insert(third.end(), second.begin(), second.begin() + 3000);
    rar29enc::Encoder enc;
    std::vector<rarfix::Entry> entries;
    const std::vector<uint8_t>* parts[] = {&first, &second, &third};
    for (const std::vector<uint8_t>* d : parts) {
        rarfix::Entry e;
        e.name = "part" + std::to_string(entries.size() + 1) + ".txt";
        e.data = *d;
        e.version = 29;
        e.method = '3';
        e.flags = entries.empty() ? 0 : 0x10;
        e.packed = enc.entry(*d, !entries.empty());
        entries.push_back(e);
    }
    writeBytes(t / "s.rar", rarfix::archive(entries, 0x08));
    PeersAccept(t / "s.rar");
    struct Case {
        const char* out;
        std::vector<std::string> spec;
        bool test;
        int passed;
    };
    for (const Case& c :
         {Case{"all", {}, false, 3}, Case{"last", {"part3.txt"}, false, 1}, Case{"none", {}, true, 3}}) {
        SCOPED_TRACE(c.out);
        TUnRAR u;
        ExtractOutcome o;
        o.listen(u);
        if (c.spec.empty()) {
            o.run(u, t / "s.rar", t / c.out, c.test);
        } else {
            u.SetArchiveFile((t / "s.rar").string());
            u.SetExtractDir((t / c.out).string());
            u.SetFileSpec(c.spec);
            u.Extract();
        }
        EXPECT_FALSE(o.failed());
        EXPECT_EQ(o.passed(), c.passed);
        if (!c.test) {
            EXPECT_EQ(readBytes(t / c.out / "part3.txt"), third);
            EXPECT_EQ(fs::exists(t / c.out / "part2.txt"), c.spec.empty());
        }
    }
}

// Entries the library cannot decode fail as not supported, naming them and saying why, never
// as a wrong password -- whether a password event is there, answers or declines -- and the
// others still extract.
TEST_F(UnRar, UndecodableEntriesAreNamedAsNotSupported) {
    struct Case {
        rarfix::Entry entry;
        const char* why;
    };
    const std::vector<Case> cases = {
        {{"secret.txt", randomBytes(64, 9), 2, 0x20, 0x04}, "encrypted RAR entries are not supported"},
        {{"method.txt", randomBytes(64, 9), 2, 0x20, 0, '7'}, "method is not supported"},
        {{"version.txt", randomBytes(64, 9), 2, 0x20, 0, '3', 50}, "method is not supported"}};
    enum class Event { none, answers, declines };
    for (const Case& c : cases) {
        TempDir t;
        const std::vector<rarfix::Entry> entries = {c.entry, {"plain.txt", randomBytes(64, 10)}};
        writeBytes(t / "e.rar", rarfix::archive(entries));
        for (Event ev : {Event::none, Event::answers, Event::declines}) {
            SCOPED_TRACE(c.entry.name + " " + std::to_string(static_cast<int>(ev)));
            TUnRAR u;
            ExtractOutcome o;
            std::vector<Told> told;
            o.listen(u);
            KeepErrors(u, o, told);
            if (ev != Event::none)
                u.OnGetPassword = [ev](TZipCommon&, const std::string&, std::string& pw, bool& again) {
                    pw = ev == Event::answers ? "pw" : "";
                    again = ev == Event::answers;
                };
            const fs::path out = t / std::to_string(static_cast<int>(ev));
            o.run(u, t / "e.rar", out, false);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].code, kMsgUnsupportedMethod);
            EXPECT_EQ(told[0].name, c.entry.name);
            EXPECT_NE(told[0].detail.find(c.why), std::string::npos) << told[0].detail;
            EXPECT_FALSE(fs::exists(out / c.entry.name));
            EXPECT_EQ(readBytes(out / "plain.txt"), entries[1].data);
        }
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
