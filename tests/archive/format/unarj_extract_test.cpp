// TUnARJ against archives written by arj: every method, garbled entries, volume sets with
// files split across them, self-extractor offsets, and damaged headers.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/aeCommon.h"
#include "archive/format/aeArjHeaders.h"
#include "archive/format/aeUnARJ.h"
#include "bytes.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

struct Options {
    bool test = false;
    bool overwrite = false;
    const char* password = nullptr; // answered by OnGetPassword
    bool volumes = true;            // answer next-volume requests with the standard names
};

struct Outcome : ExtractOutcome {
    int passwordAsks = 0;
    std::vector<std::string> volumesAsked;
    std::string passwordAfter;
    bool cancelled = false;
    bool clean() const { return !failed() && !cancelled; }
};

Outcome runArj(const fs::path& archive, const fs::path& out, const Options& opt = {}) {
    TUnARJ u;
    Outcome o;
    if (opt.overwrite) {
        u.ConfirmOverwrites = false;
        u.OverwriteMode = omOverwrite;
    }
    o.listen(u);
    if (opt.password) {
        u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
            ++o.passwordAsks;
            pw = opt.password;
            again = true;
        };
    }
    u.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
        o.volumesAsked.push_back(fs::path(name).filename().string());
        cancel = !(opt.volumes && exists);
    };
    o.run(u, archive, out, opt.test);
    o.passwordAfter = u.Password;
    o.cancelled = u.Cancel();
    return o;
}

// arj's own run in `dir`; the archive's name is relative to it.
void arj(const std::string& args, const fs::path& dir) {
    const RunResult r = run("arj " + args + " -y", dir);
    ASSERT_EQ(r.status, 0) << r.out;
}

// ---- every method ----

class UnArjMethod : public ::testing::TestWithParam<int> {};

TEST_P(UnArjMethod, ExtractsAndTestsByteExact) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const Files files = sampleFiles();
    writeFiles(t / "in", files);
    const int m = GetParam();
    arj("a -m" + std::to_string(m) + " ../x.arj" + fileList(files), t / "in");
    const Outcome x = runArj(t / "x.arj", t / "out");
    EXPECT_TRUE(x.clean());
    EXPECT_EQ(x.ends.size(), files.size());
    expectExtracted(t / "out", files, t / "in");

    Options test;
    test.test = true;
    const Outcome tested = runArj(t / "x.arj", t / "tested", test);
    EXPECT_TRUE(tested.clean());
    EXPECT_EQ(tested.ends.size(), files.size());
    EXPECT_FALSE(fs::exists(t / "tested"));
}

INSTANTIATE_TEST_SUITE_P(UnArjMethods, UnArjMethod, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& c) { return "m" + std::to_string(c.param); });

// A Unix mode with group write has bit 4 set, which in a DOS attribute would mean a folder.
TEST(UnArjEntries, UnixModeIsNotTakenForAFolderAttribute) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "shared.txt", "group writable");
    fs::permissions(t / "in" / "shared.txt", fs::perms(0664));
    arj("a ../x.arj shared.txt", t / "in");
    const Outcome o = runArj(t / "x.arj", t / "out");
    EXPECT_TRUE(o.clean());
    EXPECT_EQ(readFile(t / "out" / "shared.txt"), "group writable");
}

// ---- garbled entries ----

TEST(UnArjGarbled, RightPasswordExtractsEveryMethod) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const Files files = sampleFiles();
    writeFiles(t / "in", files);
    for (int m : {0, 1, 4}) {
        SCOPED_TRACE(m);
        const std::string name = "g" + std::to_string(m) + ".arj";
        arj("a -m" + std::to_string(m) + " -gsecret ../" + name + fileList(files), t / "in");
        Options opt;
        opt.password = "secret";
        const Outcome o = runArj(t / name, t / ("out" + std::to_string(m)), opt);
        EXPECT_TRUE(o.clean());
        EXPECT_EQ(o.passwordAsks, 1);   // asked once, kept for the later entries
        EXPECT_EQ(o.passwordAfter, ""); // as before the run: the key never stays in Password
        expectExtracted(t / ("out" + std::to_string(m)), files);
    }
}

TEST(UnArjGarbled, WrongPasswordFailsAndKeepsTheExistingFile) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "doc.txt", sampleText(20000, 11));
    arj("a -m1 -gsecret ../x.arj doc.txt", t / "in");
    writeFile(t / "out" / "doc.txt", "precious");
    Options opt;
    opt.password = "wrong";
    opt.overwrite = true;
    const Outcome o = runArj(t / "x.arj", t / "out", opt);
    ASSERT_EQ(o.ends.size(), 1u);
    EXPECT_FALSE(o.ends[0].second);
    EXPECT_EQ(o.raised, 26517); // "Invalid password"
    EXPECT_EQ(o.passwordAfter, "");
    EXPECT_EQ(readFile(t / "out" / "doc.txt"), "precious");
    EXPECT_EQ(countFiles(t / "out"), 1u); // no temporary file left behind
}

// The same policy as every other format: no password and no one to ask is a missing event
// (25270), the entry fails and nothing is written.
TEST(UnArjGarbled, NoPasswordHandlerReportsTheMissingEvent) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "doc.txt", "secret text");
    arj("a -gsecret ../x.arj doc.txt", t / "in");
    const Outcome o = runArj(t / "x.arj", t / "out");
    EXPECT_FALSE(o.cancelled);
    EXPECT_TRUE(o.hasError(25270));
    ASSERT_EQ(o.ends.size(), 1u);
    EXPECT_FALSE(o.ends[0].second);
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

// Passwords are tried before anyone is asked.
TEST(UnArjGarbled, PasswordsListServesWithoutAsking) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "doc.txt", "secret text");
    arj("a -gsecret ../x.arj doc.txt", t / "in");
    TUnARJ u;
    ExtractOutcome o;
    o.listen(u);
    u.Passwords = {"secret"};
    int asks = 0;
    u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string&, bool& again) {
        ++asks;
        again = false;
    };
    o.run(u, t / "x.arj", t / "out", false);
    EXPECT_EQ(asks, 0);
    EXPECT_FALSE(o.failed());
    EXPECT_EQ(readFile(t / "out" / "doc.txt"), "secret text");
}

// ---- volumes ----

struct VolumeSet {
    Files files;
    std::vector<std::string> volumes;
};

// Three files over volumes of 60 KB: the noise file (stored) and the long text (compressed)
// are both split.
VolumeSet makeVolumes(const fs::path& dir, const std::string& extra) {
    VolumeSet v;
    v.files["a.txt"] = bytesOf("first, small\n");
    v.files["noise.bin"] = randomBytes(150000, 21);
    v.files["text.txt"] = bytesOf(sampleText(300000, 22));
    writeFiles(dir / "in", v.files);
    arj("a -m1 -v60k " + extra + " ../v.arj a.txt noise.bin text.txt", dir / "in");
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("v.", 0) == 0)
            v.volumes.push_back(e.path().filename().string());
    std::sort(v.volumes.begin(), v.volumes.end());
    return v;
}

TEST(UnArjVolumes, SplitFilesAreJoinedAcrossVolumes) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const VolumeSet v = makeVolumes(t.path(), "");
    ASSERT_GE(v.volumes.size(), 4u);
    const Outcome o = runArj(t / "v.arj", t / "out");
    EXPECT_TRUE(o.clean());
    EXPECT_EQ(o.ends.size(), 3u);
    expectExtracted(t / "out", v.files);
    EXPECT_EQ(o.volumesAsked.front(), "v.a01");
    EXPECT_EQ(o.volumesAsked.size(), v.volumes.size() - 1); // never past the last volume

    Options test;
    test.test = true;
    EXPECT_TRUE(runArj(t / "v.arj", t / "tested", test).clean());
}

TEST(UnArjVolumes, GarbledSplitFiles) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const VolumeSet v = makeVolumes(t.path(), "-gsecret");
    Options opt;
    opt.password = "secret";
    const Outcome o = runArj(t / "v.arj", t / "out", opt);
    EXPECT_TRUE(o.clean());
    expectExtracted(t / "out", v.files);
}

// arj takes each header's password modifier from the clock, so the parts of one set may
// carry different ones. Re-stamps every entry of `volume` with `modifier` and garbles its
// data again with the key that follows from it, as arj would have written it.
void restampModifier(const fs::path& volume, const std::string& password, uint8_t modifier) {
    std::vector<uint8_t> v = readBytes(volume);
    auto main = aehdr::parseArjHeader(v);
    ASSERT_TRUE(main.has_value());
    size_t off = main->totalLength;
    for (;;) {
        ASSERT_LE(off + 4, v.size());
        const size_t size = le16(v.data() + off + 2);
        if (size == 0) break;
        auto h = aehdr::parseArjHeader({v.data() + off, v.size() - off});
        ASSERT_TRUE(h.has_value());
        const uint8_t old = v[off + 4 + 7];
        v[off + 4 + 7] = modifier;
        put32(v.data() + off + 4 + size, Crc32Of(v.data() + off + 4, size));
        uint8_t* data = v.data() + off + h->totalLength;
        for (size_t i = 0; i < h->packedSize; ++i) {
            const auto c = static_cast<uint8_t>(password[i % password.size()]);
            data[i] ^= static_cast<uint8_t>((c + old) ^ (c + modifier));
        }
        off += h->totalLength + h->packedSize;
    }
    writeBytes(volume, v);
}

TEST(UnArjVolumes, GarbledPartsWithTheirOwnModifiers) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    const VolumeSet v = makeVolumes(t.path(), "-gsecret");
    ASSERT_GE(v.volumes.size(), 3u);
    for (size_t i = 1; i < v.volumes.size(); ++i)
        restampModifier(t / v.volumes[i], "secret", static_cast<uint8_t>(0x11 * i + 3));
    Options opt;
    opt.password = "secret";
    const Outcome o = runArj(t / "v.arj", t / "out", opt);
    EXPECT_TRUE(o.clean());
    expectExtracted(t / "out", v.files);
}

TEST(UnArjVolumes, MissingVolumeLeavesNoPartialFile) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    makeVolumes(t.path(), "");
    fs::remove(t / "v.a01");
    const Outcome o = runArj(t / "v.arj", t / "out");
    ASSERT_FALSE(o.ends.empty());
    EXPECT_TRUE(o.ends[0].second); // a.txt lies wholly in the first volume
    EXPECT_FALSE(o.ends.back().second);
    EXPECT_FALSE(fs::exists(t / "out" / "noise.bin"));
}

TEST(UnArjVolumes, NextVolumeMustContinueTheSameFile) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    makeVolumes(t.path(), "");
    // A second volume of another set, whose first entry is another file.
    TempDir other;
    writeBytes(other / "in" / "zzz.bin", randomBytes(100000, 30));
    arj("a -m0 -v60k ../w.arj zzz.bin", other / "in");
    fs::copy_file(other / "w.a01", t / "v.a01", fs::copy_options::overwrite_existing);
    const Outcome o = runArj(t / "v.arj", t / "out");
    EXPECT_EQ(o.raised, 25135); // "Broken multi-volume chain"
    EXPECT_FALSE(fs::exists(t / "out" / "noise.bin"));
    EXPECT_FALSE(fs::exists(t / "out" / "zzz.bin"));
}

// ---- where the archive starts ----

TEST(UnArjStart, SelfExtractorWithTheArchive20000BytesIn) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "f.txt", "inside a program");
    arj("a ../x.arj f.txt", t / "in");
    std::vector<uint8_t> sfx{'M', 'Z'};
    sfx.resize(20000, 0x90);
    const auto arc = readBytes(t / "x.arj");
    sfx.insert(sfx.end(), arc.begin(), arc.end());
    writeBytes(t / "x.exe", sfx);
    const Outcome o = runArj(t / "x.exe", t / "out");
    EXPECT_TRUE(o.clean());
    EXPECT_EQ(readFile(t / "out" / "f.txt"), "inside a program");
}

// The main header is looked for up to 25000 bytes from where detection put the start: a
// prefix that begins with the ARJ id (and so is taken for an archive at offset 0) hides
// one that lies further in.
TEST(UnArjStart, MainHeaderSearchStopsAfter25000Bytes) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "f.txt", "found");
    arj("a ../x.arj f.txt", t / "in");
    const auto arc = readBytes(t / "x.arj");
    for (const size_t prefix : {20000u, 30000u}) {
        SCOPED_TRACE(prefix);
        std::vector<uint8_t> file{0x60, 0xEA};
        file.resize(prefix, 0);
        file.insert(file.end(), arc.begin(), arc.end());
        writeBytes(t / "p.arj", file);
        const Outcome o = runArj(t / "p.arj", t / "out", {});
        if (prefix < 25000) {
            EXPECT_TRUE(o.clean());
            EXPECT_EQ(readFile(t / "out" / "f.txt"), "found");
        } else {
            EXPECT_EQ(o.raised, 25242); // "Invalid or unsupported archive type for this operation"
        }
    }
}

// ---- damaged headers ----

struct Damage {
    const char* label;
    size_t at; // offset from the second header (the first file header)
    uint8_t value;
    bool truncate; // cut the file there instead
    int raised;
};

TEST(UnArjHostile, DamagedHeadersRaiseTheirErrors) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "f.txt", sampleText(3000, 12));
    arj("a ../x.arj f.txt", t / "in");
    const auto good = readBytes(t / "x.arj");
    // The first file header follows the main header: magic, size, basic header, CRC, 0 0.
    const size_t mainLen = 4u + (good[2] | (good[3] << 8)) + 4u + 2u;
    const std::vector<Damage> cases = {
        {"wrong header id", 0, 0x61, false, 25110},
        {"basic header size above 2600", 3, 0x20, false, 25110},
        {"name byte changed (header CRC)", 40, 'X', false, 25237},
        {"cut inside the header", 20, 0, true, 25236},
        {"cut inside the data", 100, 0, true, 0},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.label);
        auto bad = good;
        if (d.truncate)
            bad.resize(mainLen + d.at);
        else
            bad[mainLen + d.at] = d.value;
        writeBytes(t / "bad.arj", bad);
        const Outcome o = runArj(t / "bad.arj", t / "out");
        if (d.raised) {
            EXPECT_EQ(o.raised, d.raised);
        }
        EXPECT_FALSE(o.clean());
        EXPECT_EQ(countFiles(t / "out"), 0u);
    }
}

TEST(UnArjHostile, ClimbingNamesStayInside) {
    PV_REQUIRE_PEER("arj");
    TempDir t;
    writeFile(t / "in" / "aa" / "evil.txt", "x");
    arj("a ../x.arj aa/evil.txt", t / "in");
    // Rename the stored "aa/evil.txt" to "../evil.txt" and mend the header CRC.
    auto raw = readBytes(t / "x.arj");
    const std::string from = "aa/evil.txt";
    const size_t mainLen = 4u + (raw[2] | (raw[3] << 8)) + 4u + 2u;
    auto it =
        std::search(raw.begin() + static_cast<std::ptrdiff_t>(mainLen), raw.end(), from.begin(), from.end());
    ASSERT_NE(it, raw.end());
    it[0] = '.';
    it[1] = '.';
    const size_t basic = mainLen + 4, size = raw[mainLen + 2] | (raw[mainLen + 3] << 8);
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = basic; i < basic + size; ++i) {
        crc ^= raw[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    crc = ~crc;
    for (int k = 0; k < 4; ++k) raw[basic + size + k] = static_cast<uint8_t>(crc >> (8 * k));
    writeBytes(t / "x.arj", raw);
    const Outcome o = runArj(t / "x.arj", t / "out" / "dir");
    EXPECT_TRUE(o.hasError(25243)); // "Invalid file name"
    EXPECT_FALSE(fs::exists(t / "out" / "evil.txt"));
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

} // namespace
