// TUnZIP and TUnJar against archives written at test time by zip (stored, deflated, with a
// password, streamed with data descriptors), 7zz and fastjar; the password order and its
// events; folders, missing directories and single-name specs; methods and Zip64 entries
// the engine does not decode; damaged and hostile archives.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/codec/aeCrypt.h"
#include "archive/format/aeUnZIP.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

// Options are spelled with designated initializers naming only what a test changes.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

// Unlike writeFiles, leaves each file the time it was written at.
void writeFilesNow(const fs::path& dir, const Files& files) {
    for (const auto& [name, data] : files) writeBytes(dir / name, data);
}

struct Outcome {
    std::vector<std::pair<std::string, bool>> ends;
    std::vector<std::pair<int, std::string>> errors; // code, MsgEx
    int raised = 0;
    int asked = 0; // OnGetPassword
    bool failed() const {
        return raised != 0 || !errors.empty() ||
               std::any_of(ends.begin(), ends.end(), [](const auto& e) { return !e.second; });
    }
    int passed() const {
        return static_cast<int>(
            std::count_if(ends.begin(), ends.end(), [](const auto& e) { return e.second; }));
    }
    bool hasError(int code) const {
        return std::any_of(errors.begin(), errors.end(), [&](const auto& e) { return e.first == code; });
    }
};

struct Options {
    bool test = false;
    std::vector<std::string> passwords;
    std::vector<std::string> answers; // OnGetPassword hands these out, then declines
    bool passwordEvent = true;
    std::vector<std::string> spec{"*.*"};
    std::function<void(TUnZIP&)> setup;
};

Outcome runZip(TUnZIP& u, const fs::path& archive, const fs::path& out, const Options& opt = {}) {
    Outcome o;
    u.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { o.ends.emplace_back(fn, pass); };
    u.OnError = [&](TZipCommon&, const std::string&, const std::string& ex, const std::string&, int code) {
        o.errors.emplace_back(code, ex);
    };
    if (opt.passwordEvent) {
        u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
            if (o.asked < static_cast<int>(opt.answers.size())) {
                pw = opt.answers[static_cast<size_t>(o.asked)];
                again = true;
            } else {
                again = false;
            }
            ++o.asked;
        };
    }
    u.Passwords = opt.passwords;
    u.SetArchiveFile(archive.string());
    u.SetExtractDir(out.string());
    u.SetFileSpec(opt.spec);
    if (opt.setup) opt.setup(u);
    try {
        opt.test ? u.Test() : u.Extract();
    } catch (const E_RAISE& e) {
        o.raised = e.ECode;
    }
    return o;
}

Outcome runZip(const fs::path& archive, const fs::path& out, const Options& opt = {}) {
    TUnZIP u;
    return runZip(u, archive, out, opt);
}

// ---- archives from the peers ----

struct PeerCase {
    const char* label;
    const char* peer;
    const char* command; // run in the input folder; %A is the archive, %F the files
    const char* password;
};

class UnZipPeer : public ::testing::TestWithParam<PeerCase> {};

TEST_P(UnZipPeer, ExtractsAndTestsByteExact) {
    const PeerCase c = GetParam();
    PV_REQUIRE_PEER(c.peer);
    TempDir t;
    const Files files = sampleFiles(70000);
    writeFilesNow(t / "in", files);
    const fs::path arc = t / "x.zip";
    std::string cmd = c.command;
    cmd.replace(cmd.find("%A"), 2, q(arc.string()));
    cmd.replace(cmd.find("%F"), 2, fileList(files));
    ASSERT_EQ(run(cmd, t / "in").status, 0) << cmd;
    if (havePeer("unzip")) {
        const std::string pw = c.password ? std::string(" -P ") + c.password : "";
        ASSERT_EQ(run("unzip -tq" + pw + " " + q(arc.string())).status, 0);
    }
    Options opt;
    if (c.password) opt.answers = {c.password};
    const Outcome x = runZip(arc, t / "out", opt);
    EXPECT_FALSE(x.failed()) << (x.errors.empty() ? 0 : x.errors[0].first);
    EXPECT_EQ(x.passed(), static_cast<int>(files.size()));
    expectExtracted(t / "out", files);

    const Outcome tested = runZip(arc, t / "tested", [&] {
        Options o2;
        o2.test = true;
        o2.answers = opt.answers;
        return o2;
    }());
    EXPECT_FALSE(tested.failed());
    EXPECT_EQ(tested.passed(), static_cast<int>(files.size()));
    EXPECT_FALSE(fs::exists(t / "tested"));
}

INSTANTIATE_TEST_SUITE_P(
    UnZipPeers, UnZipPeer,
    ::testing::Values(PeerCase{"Stored", "zip", "zip -q0 %A %F", nullptr},
                      PeerCase{"Deflated", "zip", "zip -q9 %A %F", nullptr},
                      PeerCase{"Password", "zip", "zip -q -P s3cret %A %F", "s3cret"},
                      PeerCase{"StoredPassword", "zip", "zip -q0 -P s3cret %A %F", "s3cret"},
                      PeerCase{"Streamed", "zip", "zip -q - %F | cat > %A", nullptr},
                      PeerCase{"StreamedPassword", "zip", "zip -q -P pw - %F | cat > %A", "pw"},
                      PeerCase{"SevenZip", "7zz", "7zz a -tzip -bd -bso0 %A %F", nullptr},
                      PeerCase{"SevenZipCrypt", "7zz", "7zz a -tzip -bd -bso0 -pk3y %A %F", "k3y"}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(UnZipJar, FastjarJarWithMetaInfFolder) {
    PV_REQUIRE_PEER("fastjar");
    TempDir t;
    const Files files = sampleFiles(70000);
    writeFilesNow(t / "in", files);
    const fs::path arc = t / "x.jar";
    ASSERT_EQ(run("fastjar cf " + q(arc.string()) + fileList(files), t / "in").status, 0);
    const std::string raw = readFile(arc);
    ASSERT_NE(raw.find("META-INF/"), std::string::npos);
    TUnJar u;
    const Outcome x = runZip(u, arc, t / "out");
    EXPECT_FALSE(x.failed());
    expectExtracted(t / "out", files);
    EXPECT_TRUE(fs::exists(t / "out" / "META-INF" / "MANIFEST.MF"));
    EXPECT_FALSE(fs::is_regular_file(t / "out" / "META-INF")); // the folder entry is no file
    EXPECT_EQ(x.passed(), static_cast<int>(files.size()) + 1); // the files and the manifest
}

// ---- passwords ----

class UnZipPasswords : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePeer("zip")) GTEST_SKIP() << "peer tool 'zip' is not installed";
        writeFilesNow(t / "in",
                      {{"a.txt", bytesOf(sampleText(3000, 7))}, {"b.txt", bytesOf(sampleText(100, 8))}});
        // zip draws each encryption header at random, and one wrong password in 256 passes its
        // check byte; the wrong passwords these tests use must meet a header they fail.
        for (int attempt = 0; attempt < 50; ++attempt) {
            fs::remove(arc);
            ASSERT_EQ(run("zip -q -P right " + q(arc.string()) + " a.txt b.txt", t / "in").status, 0);
            if (!aWrongPasswordPassesACheck()) return;
        }
        FAIL() << "every archive zip made let a wrong password pass a check byte";
    }
    bool aWrongPasswordPassesACheck() const {
        const auto raw = readBytes(arc);
        size_t at = 0;
        while (at + 30 <= raw.size() && raw[at] == 'P' && raw[at + 1] == 'K' && raw[at + 2] == 3 &&
               raw[at + 3] == 4) {
            const uint16_t flags = static_cast<uint16_t>(raw[at + 6] | raw[at + 7] << 8);
            const uint32_t time = raw[at + 10] | raw[at + 11] << 8;
            const uint32_t crc = raw[at + 14] | raw[at + 15] << 8 | raw[at + 16] << 16 |
                                 static_cast<uint32_t>(raw[at + 17]) << 24;
            const size_t packed = raw[at + 18] | raw[at + 19] << 8 | raw[at + 20] << 16 |
                                  static_cast<size_t>(raw[at + 21]) << 24;
            const size_t dataAt =
                at + 30 + (raw[at + 26] | raw[at + 27] << 8) + (raw[at + 28] | raw[at + 29] << 8);
            if (dataAt + 12 > raw.size()) return true;
            for (const char* pw : {"wrong", "old", "bad"}) {
                TZipKeys k;
                uint8_t plain[12];
                if (ZipCheckHeader(k, raw.data() + dataAt, plain, 12, flags, pw, time, crc)) return true;
            }
            at = dataAt + packed;
        }
        return false;
    }
    TempDir t;
    fs::path arc = t / "p.zip";
};

TEST_F(UnZipPasswords, SecondStringOfPasswordsWithoutAnyEvent) {
    TUnZIP u;
    const Outcome x = runZip(u, arc, t / "out", Options{.passwords = {"wrong", "right"}});
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(x.asked, 0);
    EXPECT_EQ(u.Password, "right");
    EXPECT_EQ(readFile(t / "out" / "a.txt"), readFile(t / "in" / "a.txt"));
}

TEST_F(UnZipPasswords, AcceptedAnswerGoesToTheTopOfPasswords) {
    TUnZIP u;
    const Outcome x = runZip(u, arc, t / "out", Options{.passwords = {"old"}, .answers = {"bad", "right"}});
    EXPECT_EQ(x.asked, 2); // once wrong, once right; the second entry needs no question
    EXPECT_TRUE(x.hasError(26517));
    ASSERT_FALSE(u.Passwords.empty());
    EXPECT_EQ(u.Passwords.front(), "right");
    EXPECT_EQ(x.passed(), 2);
}

TEST_F(UnZipPasswords, DecliningEndsTheRunWithPasswordFailed) {
    const Outcome x = runZip(arc, t / "out", Options{.answers = {}});
    EXPECT_TRUE(x.hasError(26522));
    ASSERT_EQ(x.ends.size(), 1u); // the run ends at the first entry
    EXPECT_FALSE(x.ends[0].second);
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

TEST_F(UnZipPasswords, WithoutTheEventEveryEntryFailsAndTheRunGoesOn) {
    const Outcome x = runZip(arc, t / "out", Options{.passwordEvent = false});
    EXPECT_TRUE(x.hasError(25270));
    ASSERT_EQ(x.ends.size(), 2u);
    EXPECT_EQ(x.passed(), 0);
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

TEST_F(UnZipPasswords, WrongPasswordThatPassesTheCheckByteStillFails) {
    // One wrong password in 256 passes the header's check byte; its data then fail.
    std::string lucky;
    const auto raw = readBytes(arc);
    ASSERT_GT(raw.size(), 30u + 5 + 12);
    const uint16_t flags = static_cast<uint16_t>(raw[6] | raw[7] << 8);
    const uint32_t time = raw[10] | raw[11] << 8;
    const uint32_t crc = raw[14] | raw[15] << 8 | raw[16] << 16 | static_cast<uint32_t>(raw[17]) << 24;
    const size_t dataAt = 30 + (raw[26] | raw[27] << 8) + (raw[28] | raw[29] << 8);
    for (int i = 0; i < 5000 && lucky.empty(); ++i) {
        const std::string pw = "guess" + std::to_string(i);
        TZipKeys k;
        uint8_t plain[12];
        if (ZipCheckHeader(k, raw.data() + dataAt, plain, 12, flags, pw, time, crc)) lucky = pw;
    }
    ASSERT_FALSE(lucky.empty());
    const Outcome x = runZip(arc, t / "out", Options{.passwords = {lucky}, .spec = {"a.txt"}});
    ASSERT_EQ(x.ends.size(), 1u);
    EXPECT_FALSE(x.ends[0].second);
    EXPECT_FALSE(fs::exists(t / "out" / "a.txt"));
}

// ---- directory, folders and specs ----

TEST(UnZipDirectory, FoldersModesAndASingleNameTakingTheFirstMatch) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFilesNow(t / "in", {{"d/x.txt", bytesOf("x")}, {"y.txt", bytesOf("y")}});
    fs::create_directories(t / "in" / "emptyd");
    fs::permissions(t / "in" / "y.txt",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    const fs::path arc = t / "x.zip";
    ASSERT_EQ(run("zip -qr " + q(arc.string()) + " d emptyd y.txt", t / "in").status, 0);
    // And the same name twice, second copy different.
    writeFilesNow(t / "in2", {{"y.txt", bytesOf("second")}});
    ASSERT_EQ(run("zip -q " + q((t / "dup.zip").string()) + " y.txt", t / "in2").status, 0);

    const Outcome all = runZip(arc, t / "out");
    EXPECT_FALSE(all.failed());
    EXPECT_EQ(all.ends.size(), 2u);
    EXPECT_TRUE(fs::is_directory(t / "out" / "emptyd")); // kept, as a folder
    // The permission bits zip stored (an executable stays one).
    EXPECT_NE(fs::status(t / "out" / "y.txt").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_FALSE(fs::is_regular_file(t / "out" / "d"));

    const Outcome one = runZip(arc, t / "one", Options{.spec = {"y.txt"}});
    EXPECT_EQ(one.ends.size(), 1u);
    EXPECT_EQ(countFiles(t / "one"), 1u);
}

// A zip whose central directory is cut away: read from the local headers once
// OnCorruptZipHeader allows it, also for streamed entries (sizes from the descriptors).
TEST(UnZipDirectory, LocalHeadersWhenTheDirectoryIsMissing) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const Files files = sampleFiles(70000);
    writeFilesNow(t / "in", files);
    for (const char* mode : {"plain", "streamed"}) {
        SCOPED_TRACE(mode);
        const fs::path arc = t / (std::string(mode) + ".zip");
        const std::string cmd = std::string(mode) == "plain"
                                    ? "zip -q " + q(arc.string()) + fileList(files)
                                    : "zip -q -" + fileList(files) + " | cat > " + q(arc.string());
        ASSERT_EQ(run(cmd, t / "in").status, 0);
        std::string raw = readFile(arc);
        const size_t central = raw.find("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        raw.resize(central);
        writeFile(arc, raw);

        int asked = 0;
        Options refuse;
        refuse.setup = [&](TUnZIP& u) {
            u.OnCorruptZipHeader = [&](TZipCommon&, uint8_t flags, bool& cancel) {
                ++asked;
                EXPECT_EQ(flags & 0x08, 0);
                (void)cancel; // left True: the run ends
            };
        };
        const fs::path out1 = t / (std::string(mode) + "-no");
        const Outcome no = runZip(arc, out1, refuse);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(countFiles(out1), 0u);

        Options allow;
        allow.setup = [](TUnZIP& u) {
            u.OnCorruptZipHeader = [](TZipCommon&, uint8_t, bool& cancel) { cancel = false; };
        };
        const fs::path out2 = t / (std::string(mode) + "-yes");
        const Outcome yes = runZip(arc, out2, allow);
        EXPECT_FALSE(yes.failed());
        expectExtracted(out2, files);
    }
}

// ---- what the engine does not decode ----

TEST(UnZipUnsupported, Deflate64Bzip2AndZip64AreNamed) {
    PV_REQUIRE_PEER("7zz");
    TempDir t;
    writeFilesNow(t / "in", {{"a.txt", bytesOf(sampleText(20000, 5))}});
    struct Case {
        const char* name;
        const char* option;
        const char* word;
    };
    for (const Case c : {Case{"d64", "-mm=Deflate64", "Deflate64"}, Case{"bz", "-mm=BZip2", "bzip2"}}) {
        SCOPED_TRACE(c.name);
        const fs::path arc = t / (std::string(c.name) + ".zip");
        ASSERT_EQ(
            run("7zz a -tzip -bd -bso0 " + std::string(c.option) + " " + q(arc.string()) + " a.txt", t / "in")
                .status,
            0);
        const Outcome x = runZip(arc, t / c.name);
        ASSERT_EQ(x.errors.size(), 1u);
        EXPECT_EQ(x.errors[0].first, 25326);
        EXPECT_NE(x.errors[0].second.find(c.word), std::string::npos) << x.errors[0].second;
        ASSERT_EQ(x.ends.size(), 1u);
        EXPECT_FALSE(x.ends[0].second);
        EXPECT_EQ(countFiles(t / c.name), 0u);
    }
    if (havePeer("zip")) {
        const fs::path arc = t / "z64.zip";
        ASSERT_EQ(run("zip -q -fz " + q(arc.string()) + " a.txt", t / "in").status, 0);
        const Outcome x = runZip(arc, t / "z64");
        // Info-ZIP writes the Zip64 extra only where it is needed; an archive this small may
        // carry ordinary sizes and then extracts as usual.
        if (!x.errors.empty()) {
            EXPECT_EQ(x.errors[0].first, 25326);
            EXPECT_NE(x.errors[0].second.find("Zip64"), std::string::npos);
        } else {
            EXPECT_EQ(readFile(t / "z64" / "a.txt"), readFile(t / "in" / "a.txt"));
        }
    }
}

// A hand-made Zip64 entry: sizes 0xFFFFFFFF in both headers, the real ones in the Zip64
// extra field.
TEST(UnZipUnsupported, Zip64EntryIsRefusedByName) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const fs::path arc = t / "z.zip";
    const std::string py = R"(
import struct, sys, zlib
data = b'x' * 1000
name = b'big.txt'
crc = zlib.crc32(data) & 0xffffffff
extra = struct.pack('<HHQQ', 1, 16, len(data), len(data))
local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 45, 0, 0, 0, 0x21, crc, 0xffffffff, 0xffffffff,
                    len(name), len(extra)) + name + extra + data
central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 45, 45, 0, 0, 0, 0x21, crc, 0xffffffff,
                      0xffffffff, len(name), len(extra), 0, 0, 0, 0, 0) + name + extra
plain = b'plain'
plocal = struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 0, 0, 0x21, zlib.crc32(plain), len(plain),
                     len(plain), 9, 0) + b'plain.txt' + plain
pcentral = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 0, 0, 0x21, zlib.crc32(plain),
                       len(plain), len(plain), 9, 0, 0, 0, 0, 0, len(local)) + b'plain.txt'
cd = central + pcentral
end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 2, 2, len(cd), len(local) + len(plocal), 0)
open(sys.argv[1], 'wb').write(local + plocal + cd + end)
)";
    writeFile(t / "mk.py", py);
    ASSERT_EQ(run("python3 " + q((t / "mk.py").string()) + " " + q(arc.string())).status, 0);
    if (havePeer("unzip")) {
        ASSERT_EQ(run("unzip -tq " + q(arc.string())).status, 0);
    }
    const Outcome x = runZip(arc, t / "out");
    ASSERT_EQ(x.errors.size(), 1u);
    EXPECT_EQ(x.errors[0].first, 25326);
    EXPECT_NE(x.errors[0].second.find("Zip64"), std::string::npos);
    EXPECT_FALSE(fs::exists(t / "out" / "big.txt"));
    EXPECT_EQ(readFile(t / "out" / "plain.txt"), "plain"); // the run goes on
}

// ---- damaged and hostile archives ----

TEST(UnZipDamaged, TruncationAtEveryByteNeverPassesAShortEntry) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFilesNow(t / "in", {{"a.txt", bytesOf(sampleText(700, 9))}, {"b.bin", randomBytes(300, 3)}});
    const fs::path full = t / "full.zip";
    ASSERT_EQ(run("zip -q " + q(full.string()) + " a.txt b.bin", t / "in").status, 0);
    const auto raw = readBytes(full);
    const auto a = readBytes(t / "in" / "a.txt");
    const auto b = readBytes(t / "in" / "b.bin");
    for (size_t n = 0; n < raw.size(); ++n) {
        const fs::path arc = t / "cut.zip";
        writeBytes(arc, std::vector<uint8_t>(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(n)));
        const fs::path out = t / "out";
        fs::remove_all(out);
        Options opt;
        opt.setup = [](TUnZIP& u) {
            u.OnCorruptZipHeader = [](TZipCommon&, uint8_t, bool& cancel) { cancel = false; };
        };
        const Outcome x = runZip(arc, out, opt);
        for (const auto& [fn, pass] : x.ends) {
            if (!pass) continue;
            const fs::path p = fn;
            const auto got = readBytes(p);
            EXPECT_TRUE(got == a || got == b) << "cut at " << n << ": " << fn;
        }
        if (!fs::exists(out)) continue;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            if (!e.is_regular_file()) continue;
            const auto got = readBytes(e.path());
            EXPECT_TRUE(got == a || got == b) << "cut at " << n << ": " << e.path();
        }
    }
}

TEST(UnZipDamaged, WrongCrcFailsAndLeavesNoFile) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFilesNow(t / "in", {{"a.txt", bytesOf(sampleText(2000, 1))}});
    for (const char* level : {"-0", "-9"}) {
        SCOPED_TRACE(level);
        const fs::path arc = t / (std::string("c") + level + ".zip");
        ASSERT_EQ(run(std::string("zip -q ") + level + " " + q(arc.string()) + " a.txt", t / "in").status, 0);
        auto raw = readBytes(arc);
        // The CRC in the local and the central header.
        raw[14] ^= 0x55;
        const size_t central = readFile(arc).find("PK\x01\x02");
        raw[central + 16] ^= 0x55;
        writeBytes(arc, raw);
        const fs::path out = t / (std::string("o") + level);
        const Outcome x = runZip(arc, out);
        ASSERT_EQ(x.ends.size(), 1u);
        EXPECT_FALSE(x.ends[0].second);
        EXPECT_EQ(countFiles(out), 0u);
    }
}

// Many small entries are read ahead together and decoded from memory; larger ones from the
// file. Whatever order the directory lists them in, with stored entries around the size
// where one way gives way to the other and one damaged entry among them, every good entry
// comes back byte-exact and the damaged one alone fails, leaving no file.
TEST(UnZipDamaged, ManyEntriesInAnyOrderWithOneDamaged) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const std::string py = R"(
import os, random, sys, zipfile
out = sys.argv[1]
rnd = random.Random(34)
entries = []
for i in range(300):
    n = rnd.choice([0, 1, 50, 700, 3000, 40000])
    entries.append((f'd{i % 7}/t{i:03d}.txt', (b'entry %d alpha beta gamma ' % i * (n // 20 + 1))[:n],
                    zipfile.ZIP_DEFLATED))
for n in (131071, 131072, 131073, 262144, 300000):
    entries.insert(rnd.randrange(len(entries)), (f'r{n}.bin', rnd.randbytes(n), zipfile.ZIP_STORED))
entries.insert(150, ('bad.txt', b'damaged further on ' * 500, zipfile.ZIP_DEFLATED))
for name, data, method in entries:
    if name != 'bad.txt':
        os.makedirs(os.path.dirname(os.path.join(out, 'in', name)), exist_ok=True)
        open(os.path.join(out, 'in', name), 'wb').write(data)
for order in ('in-file-order', 'reversed', 'shuffled'):
    arc = os.path.join(out, order + '.zip')
    with zipfile.ZipFile(arc, 'w') as z:
        for name, data, method in entries:
            z.writestr(zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6)), data, method)
        if order == 'reversed':
            z.filelist.reverse()
        elif order == 'shuffled':
            rnd.shuffle(z.filelist)
        bad = z.getinfo('bad.txt')
        at = bad.header_offset + 30 + len(bad.filename.encode()) + len(bad.extra) + bad.compress_size // 2
    with open(arc, 'r+b') as f:
        f.seek(at)
        b = f.read(1)
        f.seek(at)
        f.write(bytes([b[0] ^ 0x5A]))
)";
    writeFile(t / "mk.py", py);
    ASSERT_EQ(run("python3 " + q((t / "mk.py").string()) + " " + q(t.path().string())).status, 0);
    const fs::path in = t / "in";
    for (const char* order : {"in-file-order", "reversed", "shuffled"}) {
        SCOPED_TRACE(order);
        const fs::path arc = t / (std::string(order) + ".zip");
        for (const bool test : {false, true}) {
            SCOPED_TRACE(test ? "test" : "extract");
            const fs::path out = t / (std::string("out-") + order + (test ? "-t" : "-x"));
            Options opt;
            opt.test = test;
            const Outcome x = runZip(arc, out, opt);
            EXPECT_EQ(x.raised, 0);
            ASSERT_EQ(x.ends.size(), 306u);
            for (const auto& [fn, pass] : x.ends)
                EXPECT_EQ(pass, fn.find("bad.txt") == std::string::npos) << fn;
            if (test) {
                EXPECT_FALSE(fs::exists(out));
                continue;
            }
            EXPECT_FALSE(fs::exists(out / "bad.txt"));
            size_t compared = 0;
            for (const auto& e : fs::recursive_directory_iterator(in)) {
                if (!e.is_regular_file()) continue;
                const fs::path rel = fs::relative(e.path(), in);
                EXPECT_TRUE(readBytes(out / rel) == readBytes(e.path())) << rel;
                ++compared;
            }
            EXPECT_EQ(compared, 305u);
            EXPECT_EQ(countFiles(out), 305u);
        }
    }
}

// Names built in the archive by hand: climbing, absolute, drive letters, backslashes.
TEST(UnZipHostile, NamesStayInsideTheFolder) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const fs::path arc = t / "evil.zip";
    const std::string py = R"(
import zipfile, sys
zf = zipfile.ZipFile(sys.argv[1], 'w')
def add(name, data):
    zi = zipfile.ZipInfo('placeholder')
    zi.filename = name
    zf.writestr(zi, data)
add('../up.txt', b'up')
add('a/../../up2.txt', b'up2')
add('/abs.txt', b'abs')
add('C:\\drive.txt', b'drive')
add('..\\win.txt', b'win')
add('ok.txt', b'ok')
zf.close()
)";
    writeFile(t / "mk.py", py);
    ASSERT_EQ(run("python3 " + q((t / "mk.py").string()) + " " + q(arc.string())).status, 0);
    const fs::path out = t / "x" / "out";
    const Outcome x = runZip(arc, out);
    EXPECT_TRUE(x.failed());
    EXPECT_FALSE(fs::exists(t / "x" / "up.txt"));
    EXPECT_FALSE(fs::exists(t / "up.txt"));
    EXPECT_FALSE(fs::exists(t / "x" / "up2.txt"));
    EXPECT_FALSE(fs::exists(t / "x" / "win.txt"));
    EXPECT_FALSE(fs::exists("/abs.txt"));
    EXPECT_EQ(readFile(out / "ok.txt"), "ok");
    EXPECT_EQ(readFile(out / "abs.txt"), "abs");
    EXPECT_EQ(readFile(out / "drive.txt"), "drive");
    for (const auto& e : fs::recursive_directory_iterator(t / "x"))
        EXPECT_EQ(e.path().string().rfind(out.string(), 0), 0u) << e.path();
}

TEST(UnZipHostile, SymlinkEntriesStayInsideAndAreNeverFollowed) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::create_directories(t / "in");
    fs::create_symlink("../../outside", t / "in" / "l");
    fs::create_symlink("a.txt", t / "in" / "inl");
    writeFile(t / "in" / "a.txt", "a");
    writeFilesNow(t / "in2", {{"l/x.txt", bytesOf("through")}});
    const fs::path arc = t / "s.zip";
    ASSERT_EQ(run("zip -qy " + q(arc.string()) + " l inl a.txt", t / "in").status, 0);
    ASSERT_EQ(run("zip -q " + q(arc.string()) + " l/x.txt", t / "in2").status, 0);
    const fs::path out = t / "a" / "out";
    const Outcome x = runZip(arc, out);
    EXPECT_TRUE(x.hasError(25243)); // the link out of the folder, by name
    EXPECT_FALSE(fs::exists(t / "outside"));
    EXPECT_FALSE(fs::is_symlink(out / "l"));
    EXPECT_EQ(readFile(out / "l" / "x.txt"), "through"); // a real folder, not the link
    ASSERT_TRUE(fs::is_symlink(out / "inl"));
    EXPECT_EQ(fs::read_symlink(out / "inl").string(), "a.txt");
    EXPECT_EQ(readFile(out / "a.txt"), "a");
}

// ---- the harness ----

TEST(UnZipTool, AetoolExtractAndTest) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const Files files = sampleFiles(70000);
    writeFilesNow(t / "in", files);
    const fs::path arc = t / "x.zip";
    ASSERT_EQ(run("zip -q -P pw " + q(arc.string()) + fileList(files), t / "in").status, 0);
    const RunResult ok = run(q(aetool().string()) + " extract " + q(arc.string()) + " " +
                             q((t / "out").string()) + " -password pw");
    EXPECT_EQ(ok.status, 0) << ok.out;
    expectExtracted(t / "out", files);
    EXPECT_EQ(run(q(aetool().string()) + " test " + q(arc.string()) + " -password pw").status, 0);
    const RunResult bad = run(q(aetool().string()) + " test " + q(arc.string()) + " -password nope");
    EXPECT_EQ(bad.status, 1) << bad.out;
}

} // namespace
