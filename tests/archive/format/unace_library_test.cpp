// The unace.dll stand-in through its own entry points: archives from the test writer
// (stored, LZ77 at megabyte sizes across block and dictionary boundaries, tables full of
// equal-width codes, solid, a volume set), each first passed by Debian's `unace t`, then
// tested and extracted byte-exact; refused entries, volumes not supplied, damaged copies.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "ace_fixtures.h"
#include "archive/format/aeAceDll.h"
#include "platform/dynlib.h"
#include "testutil.h"

using namespace pvtest;
using acetest::Bytes;
using acetest::File;
using namespace acetest;

namespace {

struct Lib {
    platform::DynLib dl;
    TACEOpenArchive open = nullptr;
    TACECloseArchive close = nullptr;
    TACEReadHeader read = nullptr;
    TACEProcessFile process = nullptr;
    TACESetPassword password = nullptr;
    bool load() {
        if (!dl.load("unace.dll", binDir().string())) return false;
        open = reinterpret_cast<TACEOpenArchive>(dl.symbol("ACEOpenArchive"));
        close = reinterpret_cast<TACECloseArchive>(dl.symbol("ACECloseArchive"));
        read = reinterpret_cast<TACEReadHeader>(dl.symbol("ACEReadHeader"));
        process = reinterpret_cast<TACEProcessFile>(dl.symbol("ACEProcessFile"));
        password = reinterpret_cast<TACESetPassword>(dl.symbol("ACESetPassword"));
        return open && close && read && process && password;
    }
};

Lib& lib() {
    static Lib l;
    static bool ok = l.load();
    EXPECT_TRUE(ok) << "unace.dll stand-in not loadable from " << binDir();
    return l;
}

// What one run over an archive gave: per entry its name, result, message and the data the
// library handed back.
struct Seen {
    std::string name;
    int result = -1;
    std::string message;
    Bytes data;
    uint32_t flags = 0;
};
struct RunOut {
    int openResult = 0, endResult = 0;
    std::string endMessage;
    std::vector<Seen> entries;
    std::vector<std::pair<std::string, int>> volumeCalls;
};

struct Ctx {
    RunOut* out;
    bool supplyVolumes;
    std::string renameTo; // a volume name handed back in place of the library's
};

RunOut runLib(const fs::path& arc, int op, const fs::path& destDir = {}, bool supplyVolumes = true,
              const std::string& renameTo = {}) {
    RunOut out;
    Ctx ctx{&out, supplyVolumes, renameTo};
    char msg[512] = {0};
    TAceOpenArchiveData od;
    const std::string name = arc.string();
    od.ArcName = name.c_str();
    od.OpenMode = kAceOpenExtract;
    od.User = &ctx;
    od.MessageBuffer = msg;
    od.MessageBufferSize = sizeof msg;
    od.DataProc = [](const uint8_t* d, uint32_t n, void* u) {
        auto* c = static_cast<Ctx*>(u);
        c->out->entries.back().data.insert(c->out->entries.back().data.end(), d, d + n);
        return 1;
    };
    od.VolumeProc = [](char* v, int mode, void* u) {
        auto* c = static_cast<Ctx*>(u);
        c->out->volumeCalls.push_back({fs::path(v).filename().string(), mode});
        if (!c->renameTo.empty()) std::snprintf(v, kAceNameSize, "%s", c->renameTo.c_str());
        c->renameTo.clear(); // once
        return c->supplyVolumes ? 1 : 0;
    };
    Lib& l = lib();
    TAceHandle h = l.open(&od);
    out.openResult = od.OpenResult;
    if (!h) {
        out.endMessage = msg;
        return out;
    }
    TAceHeaderData hd;
    int rc;
    while ((rc = l.read(h, &hd)) == kAceOk) {
        out.entries.push_back({hd.FileName, -1, {}, {}, hd.Flags});
        msg[0] = 0;
        const std::string dest = destDir.empty() ? std::string() : (destDir / hd.FileName).string();
        out.entries.back().result = l.process(h, op, dest.c_str());
        out.entries.back().message = msg;
    }
    out.endResult = rc;
    out.endMessage = msg;
    l.close(h);
    return out;
}

struct ArchiveCase {
    const char* label;
    std::vector<File> files;
    bool solid = false;
    size_t volumeSplit = 0;
    size_t blockSymbols = 32767;
};

std::vector<ArchiveCase> cases() {
    const Bytes rnd = randomBytes(1 << 20, 7);
    std::vector<ArchiveCase> c;
    c.push_back({"stored", {{"stored.bin", randomBytes(200000, 1), false}, {"dir\\empty.txt", {}, false}}});
    // Several MB through full 32767-symbol blocks, the 64 KiB hand-back chunks and lengths
    // around them.
    c.push_back({"lz77_large",
                 {{"big.bin", mixed(3 * 1024 * 1024 + 17, 2)},
                  {"chunk.bin", mixed(65536, 3)},
                  {"chunk1.bin", mixed(65537, 4)},
                  {"one.txt", Bytes{'x'}}}});
    // Matches at exactly the 1 MiB dictionary's distance and just inside it.
    c.push_back({"dictionary_edge",
                 {{"far.bin", concat({rnd, Bytes(rnd.begin(), rnd.begin() + 70000)})},
                  {"near.bin", concat({rnd, Bytes(rnd.begin() + 1, rnd.begin() + 5001)})}}});
    // Uniform bytes: every literal gets the same width, so the code order among equal widths
    // decides every symbol; small blocks renew the tables often.
    c.push_back({"equal_widths",
                 {{"uniform.bin", randomBytes(400000, 9)}, {"text.txt", mixed(300000, 10)}},
                 false,
                 0,
                 1000});
    c.push_back({"solid",
                 {{"a.txt", mixed(500000, 11)},
                  {"b.txt", mixed(300000, 11)},
                  {"c.bin", randomBytes(5000, 12), false},
                  {"d.txt", mixed(200000, 11)}},
                 true});
    c.push_back({"volumes",
                 {{"first.txt", mixed(100000, 13)},
                  {"spans.bin", concat({mixed(300000, 14), randomBytes(300000, 16), mixed(300000, 17)})},
                  {"stored.bin", randomBytes(150000, 15), false}},
                 false,
                 200000});
    return c;
}

} // namespace

TEST(UnAceLibrary, PeerCheckedArchivesTestAndExtractByteExact) {
    PV_REQUIRE_PEER("unace");
    for (const ArchiveCase& c : cases()) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const auto vols = acetest::build(c.files, c.solid, c.volumeSplit, c.blockSymbols);
        if (c.volumeSplit) {
            EXPECT_GE(vols.size(), 3u);
        }
        save(dir.path(), "x", vols);
        expectPeerPasses(dir / "x.ace", c.files.size());

        RunOut t = runLib(dir / "x.ace", kAceTest);
        ASSERT_EQ(t.openResult, kAceOk) << t.endMessage;
        EXPECT_EQ(t.endResult, kAceEndOfArchive) << t.endMessage;
        ASSERT_EQ(t.entries.size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(t.entries[i].name, c.files[i].name);
            EXPECT_EQ(t.entries[i].result, kAceOk) << t.entries[i].message;
            EXPECT_TRUE(t.entries[i].data == c.files[i].data) << c.files[i].name;
        }
        if (c.volumeSplit) {
            EXPECT_EQ(t.volumeCalls.size(), vols.size() - 1);
        }

        // Extraction writes the named files; data are handed back all the same.
        fs::create_directories(dir / "out");
        RunOut x = runLib(dir / "x.ace", kAceExtract, dir / "out");
        ASSERT_EQ(x.entries.size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(x.entries[i].result, kAceOk) << x.entries[i].message;
            EXPECT_TRUE(readBytes(dir / "out" / c.files[i].name) == c.files[i].data) << c.files[i].name;
            EXPECT_TRUE(x.entries[i].data == c.files[i].data);
        }
    }
}

TEST(UnAceLibrary, SkippedEntriesOfSolidAndSplitArchivesKeepTheRestReadable) {
    TempDir dir;
    std::vector<File> files{
        {"a.txt", mixed(200000, 21)}, {"b.txt", mixed(200000, 21)}, {"c.txt", mixed(100000, 21)}};
    save(dir.path(), "s", acetest::build(files, true));
    save(dir.path(), "v", acetest::build(files, false, 90000));
    for (const char* base : {"s.ace", "v.ace"}) {
        SCOPED_TRACE(base);
        // Only the last entry is tested: the ones before are skipped.
        RunOut out;
        char msg[256] = {0};
        TAceOpenArchiveData od;
        const std::string name = (dir / base).string();
        od.ArcName = name.c_str();
        od.MessageBuffer = msg;
        od.MessageBufferSize = sizeof msg;
        Bytes got;
        od.User = &got;
        od.DataProc = [](const uint8_t* d, uint32_t n, void* u) {
            static_cast<Bytes*>(u)->insert(static_cast<Bytes*>(u)->end(), d, d + n);
            return 1;
        };
        TAceHandle h = lib().open(&od);
        ASSERT_NE(h, nullptr) << msg;
        TAceHeaderData hd;
        ASSERT_EQ(lib().read(h, &hd), kAceOk);
        EXPECT_EQ(lib().process(h, kAceSkip, nullptr), kAceOk) << msg;
        ASSERT_EQ(lib().read(h, &hd), kAceOk) << msg; // b.txt read but not processed: passed over
        ASSERT_EQ(lib().read(h, &hd), kAceOk) << msg;
        EXPECT_STREQ(hd.FileName, "c.txt");
        EXPECT_EQ(lib().process(h, kAceTest, nullptr), kAceOk) << msg;
        EXPECT_TRUE(got == files[2].data);
        EXPECT_EQ(lib().read(h, &hd), kAceEndOfArchive);
        lib().close(h);
    }
}

TEST(UnAceLibrary, RefusedEntriesNameThemselves) {
    TempDir dir;
    const Bytes data = mixed(20000, 31);
    File enc{"secret.txt", data, false, 0x4000};
    File v2{"new.bin", data, false, 0, 2};
    File plain{"plain.txt", data};
    save(dir.path(), "x", acetest::build({enc, v2, plain}));
    RunOut t = runLib(dir / "x.ace", kAceTest);
    ASSERT_EQ(t.entries.size(), 3u);
    EXPECT_EQ(t.entries[0].result, kAceNotSupported);
    EXPECT_NE(t.entries[0].message.find("secret.txt"), std::string::npos) << t.entries[0].message;
    EXPECT_NE(t.entries[0].message.find("not supported"), std::string::npos) << t.entries[0].message;
    EXPECT_EQ(t.entries[1].result, kAceNotSupported);
    EXPECT_NE(t.entries[1].message.find("new.bin"), std::string::npos) << t.entries[1].message;
    EXPECT_TRUE(t.entries[0].data.empty() && t.entries[1].data.empty());
    // The refusals leave the archive readable.
    EXPECT_EQ(t.entries[2].result, kAceOk);
    EXPECT_TRUE(t.entries[2].data == data);
}

TEST(UnAceLibrary, VolumesFollowTheCallback) {
    TempDir dir;
    std::vector<File> files{{"spans.bin", randomBytes(300000, 41), false}};
    save(dir.path(), "x", acetest::build(files, false, 100000));
    ASSERT_TRUE(fs::exists(dir / "x.c00"));
    // Not supplied: the entry fails naming the volume, nothing more is read.
    RunOut no = runLib(dir / "x.ace", kAceTest, {}, false);
    ASSERT_EQ(no.entries.size(), 1u);
    EXPECT_EQ(no.entries[0].result, kAceReadError);
    EXPECT_NE(no.entries[0].message.find("x.c00"), std::string::npos) << no.entries[0].message;
    ASSERT_EQ(no.volumeCalls.size(), 1u);
    EXPECT_EQ(no.volumeCalls[0], (std::pair<std::string, int>{"x.c00", kAceVolumeNotify}));
    // A missing volume is asked for; a name handed back is used, and the names after it
    // follow from it.
    for (const char* v : {"x.c00", "x.c01", "x.c02"}) fs::rename(dir / v, dir / ("y" + std::string(v + 1)));
    RunOut moved = runLib(dir / "x.ace", kAceTest, {}, true, (dir / "y.c00").string());
    ASSERT_EQ(moved.entries.size(), 1u);
    ASSERT_EQ(moved.volumeCalls.size(), 3u);
    EXPECT_EQ(moved.volumeCalls[0], (std::pair<std::string, int>{"x.c00", kAceVolumeAsk}));
    EXPECT_EQ(moved.volumeCalls[1], (std::pair<std::string, int>{"y.c01", kAceVolumeNotify}));
    EXPECT_EQ(moved.entries[0].result, kAceOk) << moved.entries[0].message;
    EXPECT_TRUE(moved.entries[0].data == files[0].data);
    // A set that leads back to a volume already read stops instead of running for ever.
    fs::copy_file(dir / "y.c00", dir / "x.c00");
    fs::create_symlink(dir / "x.c00", dir / "x.c01");
    RunOut loop = runLib(dir / "x.ace", kAceTest);
    ASSERT_EQ(loop.entries.size(), 1u);
    EXPECT_EQ(loop.entries[0].result, kAceReadError);
    EXPECT_NE(loop.entries[0].message.find("read already"), std::string::npos) << loop.entries[0].message;
}

// Damaged copies: every header byte flipped in turn, data bytes flipped, the archive cut
// short at many points. Each run ends with a clear result -- never a crash, never a pass
// with wrong data.
TEST(UnAceLibrary, DamagedCopiesFailCleanly) {
    TempDir dir;
    std::vector<File> files{{"a.txt", mixed(40000, 51)}, {"b.bin", randomBytes(3000, 52), false}};
    const Bytes good = acetest::build(files)[0];
    auto verdict = [&](const Bytes& arc) {
        writeBytes(dir / "d.ace", arc);
        return runLib(dir / "d.ace", kAceTest);
    };
    auto passedWrong = [&](const RunOut& r) {
        for (size_t i = 0; i < r.entries.size() && i < files.size(); ++i)
            if (r.entries[i].result == kAceOk && r.entries[i].data != files[i].data) return true;
        return false;
    };
    // Headers: the main header and the first file header.
    for (size_t at = 0; at < 31 + 45; ++at) {
        Bytes b = good;
        b[at] ^= 0x5A;
        RunOut r = verdict(b);
        EXPECT_FALSE(passedWrong(r)) << "header byte " << at;
        if (at >= 4 && at < 31) {
            EXPECT_NE(r.openResult, kAceOk) << "main header byte " << at;
        }
    }
    std::mt19937 rng(5);
    for (int i = 0; i < 60; ++i) {
        Bytes b = good;
        b[100 + rng() % (b.size() - 100)] ^= static_cast<uint8_t>(1 + rng() % 255);
        RunOut r = verdict(b);
        EXPECT_FALSE(passedWrong(r));
        bool anyFail = r.endResult != kAceEndOfArchive;
        for (auto& e : r.entries) anyFail |= e.result != kAceOk;
        EXPECT_TRUE(anyFail) << "a flipped byte went unnoticed";
    }
    for (size_t cut = 1; cut < good.size(); cut += 997) {
        RunOut r = verdict(Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
        EXPECT_FALSE(passedWrong(r));
        EXPECT_LT(r.entries.size() - (r.entries.empty() ? 0 : 0), files.size() + 1);
    }
}
