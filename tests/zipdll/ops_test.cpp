// Adding, deleting, extracting and testing through the ZIPDLL.DLL and UNZDLL.DLL
// stand-ins, checked against the zip, unzip and 7zz peers.
#include "platform/ui_hooks.h"
#include "name_peers.h"
#include "ziptest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include <zlib.h>

using namespace pvtest;
using namespace ziptest;

namespace {

// The libraries change the current folder when extracting; every test gets it back.
class ZipOps : public ::testing::Test {
protected:
    void SetUp() override { cwd_ = fs::current_path(); }
    void TearDown() override { fs::current_path(cwd_); }

    // Input files: text, random (incompressible), empty, a stored-by-suffix one, a subfolder.
    void makeInput(const fs::path& dir) {
        writeFile(dir / "a.txt", sampleText(20000));
        writeBytes(dir / "r.bin", randomBytes(30000));
        writeFile(dir / "empty.txt", "");
        writeFile(dir / "pic.gif", sampleText(5000, 7));
        writeFile(dir / "sub/b.txt", sampleText(7000, 3));
        writeFile(dir / "sub/deeper/c.txt", "c\n");
    }

    // Adds `specs` (relative to `root`) to `zip` through the stand-in.
    int add(TZipFront& z, const fs::path& zip, const fs::path& root, std::vector<std::string> specs) {
        z.SetZipFileName(zip.string());
        z.SetRootDir(root.string());
        z.FSpecArgs = std::move(specs);
        z.Add();
        return z.SuccessCnt;
    }

    int extract(TZipFront& z, const fs::path& zip, const fs::path& dir) {
        fs::create_directories(dir);
        z.SetZipFileName(zip.string());
        z.ExtrBaseDir = dir.string();
        z.ExtrOptions.include(ExtrDirNames);
        z.Extract();
        fs::current_path(cwd_);
        return z.SuccessCnt;
    }

    fs::path cwd_;
};

// "unzip -Zl" lines: permissions, version, host, size, type, packed size, method, date,
// time, name.
std::map<std::string, std::pair<uint64_t, uint64_t>> peerDirectory(const fs::path& zip) {
    std::map<std::string, std::pair<uint64_t, uint64_t>> m;
    auto r = run("unzip -Zl " + q(zip.string()));
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string perm, ver, host, type, method, date, time, name;
        uint64_t size = 0, packed = 0;
        if (!(f >> perm >> ver >> host >> size >> type >> packed >> method >> date >> time)) continue;
        std::getline(f >> std::ws, name);
        m[name] = {size, packed};
    }
    return m;
}

// Every library run starts with the total size and ends with the end of the batch.
bool progressFirstLast(const Events& ev) {
    return !ev.progress.empty() && ev.progress.front() == ptTotalSize && ev.progress.back() == ptEndOfBatch;
}

} // namespace

TEST_F(ZipOps, LibrariesLoadBesideTheProgramAndReportTheirVersion) {
    TZipFront z;
    Events ev;
    attach(z, ev);
    EXPECT_EQ(z.ZipDllVersion(), 160) << ev.all();
    EXPECT_EQ(z.UnzDllVersion(), 160) << ev.all();
    z.Trace = true;
    ASSERT_TRUE(z.LoadZipDll());
    EXPECT_TRUE(ev.saw("ZIP DLL Loaded"));
    z.UnloadZipDll();
}

TEST_F(ZipOps, MissingEntryPointIsReported) {
    TempDir t;
    // A library of the right name without ZipDllExec: the unzip stand-in under the zip name.
    fs::copy_file(binDir() / "UNZDLL.DLL", t / "zipdll.dll");
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetDLLDirectory(t.str());
    EXPECT_FALSE(z.LoadZipDll());
    EXPECT_TRUE(ev.saw("ZipDllExec function not found in ZIPDLL.DLL!")) << ev.all();
    EXPECT_EQ(z.ZipDllVersion(), 0);
}

// Levels and encryption: what the stand-in writes passes both peers, and our directory
// agrees with unzip's.
TEST_F(ZipOps, AddedArchivesPassPeersAndListLikeUnzip) {
    PV_REQUIRE_PEER("unzip");
    PV_REQUIRE_PEER("7zz");
    TempDir t;
    makeInput(t / "in");
    struct Case {
        int level;
        std::string password;
    };
    for (auto c : {Case{0, ""}, Case{1, ""}, Case{6, ""}, Case{9, ""}, Case{9, "s3cret"}, Case{0, "pw"}}) {
        SCOPED_TRACE("level " + std::to_string(c.level) + " password '" + c.password + "'");
        const fs::path zip = t / ("l" + std::to_string(c.level) + c.password + ".zip");
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddCompLevel = c.level;
        z.AddOptions = {AddDirNames, AddRecurseDirs};
        if (!c.password.empty()) {
            z.Password = c.password;
            z.AddOptions.include(AddEncrypt);
        }
        EXPECT_EQ(add(z, zip, t / "in", {"*.*"}), 6) << ev.all();
        ASSERT_EQ(progressFirstLast(ev), true) << ev.all();
        const std::string pw = c.password.empty() ? "" : " -P " + q(c.password);
        auto u = run("unzip -t" + pw + " " + q(zip.string()));
        EXPECT_EQ(u.status, 0) << u.out;
        auto s = run("7zz t -p" + q(c.password) + " " + q(zip.string()));
        EXPECT_EQ(s.status, 0) << s.out;

        auto peer = peerDirectory(zip);
        ASSERT_EQ(peer.size(), static_cast<size_t>(z.Count()));
        for (auto& e : z.ZipContents) {
            ASSERT_TRUE(peer.count(e->FileName)) << e->FileName;
            EXPECT_EQ(peer[e->FileName].first, e->UncompressedSize) << e->FileName;
            EXPECT_EQ(peer[e->FileName].second, e->CompressedSize) << e->FileName;
            EXPECT_EQ(e->Encrypted, !c.password.empty());
            // Stored: level 0, suffixes of packed data, and whatever deflate would only enlarge.
            const bool stored = c.level == 0 || e->FileName == "pic.gif" || e->FileName == "empty.txt" ||
                                e->FileName == "r.bin" || e->FileName == "sub/deeper/c.txt";
            EXPECT_EQ(e->CompressionMethod, stored ? 0 : 8) << e->FileName;
        }
        // And back, byte-exact.
        TZipFront x;
        Events xev;
        attach(x, xev);
        x.Password = c.password;
        EXPECT_EQ(extract(x, zip, t / ("out" + zip.stem().string())), 6) << xev.all();
        EXPECT_EQ(tree(t / ("out" + zip.stem().string())), tree(t / "in"));
    }
}

TEST_F(ZipOps, AddOptionsPathsExclusionsHiddenAndMove) {
    TempDir t;
    makeInput(t / "in");
    writeFile(t / "in/.hidden", "h");
    writeFile(t / "in/sub/skip.log", "log");
    {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddOptions = {AddRecurseDirs}; // folder names dropped
        z.FSpecArgsExcl = {"*.log"};
        EXPECT_EQ(add(z, t / "flat.zip", t / "in", {"*.txt", "*.log"}), 4) << ev.all();
        std::set<std::string> names;
        for (auto& e : z.ZipContents) names.insert(e->FileName);
        EXPECT_EQ(names, (std::set<std::string>{"a.txt", "empty.txt", "b.txt", "c.txt"}));
    }
    {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddOptions = {AddDirNames, AddRecurseDirs, AddHiddenFiles, AddSeparateDirs};
        add(z, t / "full.zip", t / "in", {"sub"});
        z.UseDirOnlyEntries = true;
        z.List();
        std::set<std::string> names;
        for (auto& e : z.ZipContents) names.insert(e->FileName);
        EXPECT_EQ(names, (std::set<std::string>{"sub/", "sub/b.txt", "sub/skip.log", "sub/deeper/",
                                                "sub/deeper/c.txt"}));
        add(z, t / "full.zip", t / "in", {".hidden"});
        EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    }
    {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddOptions = {AddDirNames, AddMove};
        EXPECT_EQ(add(z, t / "move.zip", t / "in", {"sub/b.txt"}), 1) << ev.all();
        EXPECT_FALSE(fs::exists(t / "in/sub/b.txt"));
        EXPECT_EQ(z[0].FileName, "sub/b.txt");
    }
    {
        // Dropping folder names makes two files one name: the second is reported, not lost quietly.
        writeFile(t / "two/x/same.txt", "1");
        writeFile(t / "two/y/same.txt", "2");
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddOptions = {AddRecurseDirs};
        EXPECT_EQ(add(z, t / "same.zip", t / "two", {"*.txt"}), 1);
        EXPECT_TRUE(ev.saw("Name already taken, not added: ")) << ev.all();
        EXPECT_TRUE(progressFirstLast(ev));
    }
}

// Archives written by the zip peer, in its several forms, come out byte-exact.
TEST_F(ZipOps, PeerArchivesExtractByteExact) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    makeInput(t / "in");
    struct Case {
        const char* label;
        std::string zipArgs, password;
        bool mzPrefix = false;
    };
    for (const Case& c :
         {Case{"stored", "-0", ""}, Case{"deflated", "-9", ""}, Case{"encrypted", "-P secret", "secret"},
          Case{"comment", "-z", ""}, Case{"prefix", "", "", true}}) {
        SCOPED_TRACE(c.label);
        const fs::path zip = t / (std::string(c.label) + ".zip");
        std::string cmd = "zip -q -r " + c.zipArgs + " " + q(zip.string()) + " .";
        if (c.zipArgs == "-z") cmd = "echo a comment | " + cmd;
        ASSERT_EQ(run(cmd, t / "in").status, 0);
        if (c.mzPrefix) {
            writeFile(zip, "MZ" + std::string(4094, '\x90') + readFile(zip));
            ASSERT_EQ(run("zip -q -A " + q(zip.string())).status, 0);
        }
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.Password = c.password;
        EXPECT_EQ(extract(z, zip, t / (std::string("o_") + c.label)), 6) << ev.all();
        EXPECT_EQ(tree(t / (std::string("o_") + c.label)), tree(t / "in"));
        if (c.mzPrefix) {
            EXPECT_EQ(z.SFXOffset, 4096);
        }
        if (c.zipArgs == "-z") {
            EXPECT_EQ(z.Comment(), "a comment");
        }
    }
}

TEST_F(ZipOps, DataDescriptorsAndUnsupportedMethods) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/plain.txt", sampleText(4000));
    writeFile(t / "in/bz.txt", sampleText(4000, 9));
    // Written to a pipe: the sizes follow the data in a descriptor.
    ASSERT_EQ(run("zip -q - plain.txt | cat > " + q((t / "s.zip").string()), t / "in").status, 0);
    ASSERT_NE(le16(readFile(t / "s.zip"), 6) & 8, 0u) << "the entry must use a data descriptor";
    TZipFront z;
    Events ev;
    attach(z, ev);
    EXPECT_EQ(extract(z, t / "s.zip", t / "out"), 1) << ev.all();
    EXPECT_EQ(readFile(t / "out/plain.txt"), readFile(t / "in/plain.txt"));

    // A method the library cannot decode is skipped and reported; the rest comes out.
    if (run("zip -q -Z bzip2 " + q((t / "bz.zip").string()) + " bz.txt", t / "in").status != 0)
        GTEST_SKIP() << "this zip has no bzip2";
    ASSERT_EQ(run("zip -q " + q((t / "bz.zip").string()) + " plain.txt", t / "in").status, 0);
    Events ev2;
    attach(z, ev2);
    EXPECT_EQ(extract(z, t / "bz.zip", t / "out2"), 1) << ev2.all();
    ASSERT_EQ(ev2.skipped.size(), 1u) << ev2.all();
    EXPECT_EQ(ev2.skipped[0], (std::pair<std::string, UnZipSkipTypes>{"bz.txt", stCompressionUnknown}));
    EXPECT_FALSE(fs::exists(t / "out2/bz.txt"));
    EXPECT_TRUE(fs::exists(t / "out2/plain.txt"));
}

namespace {

// A wrong password that passes the one-byte check of the first entry's encryption header
// (about one in 256 does): only decoding the entry can tell it from the right one.
std::string luckyWrongPassword(const fs::path& zip) {
    const std::string z = readFile(zip);
    auto u16 = [&](size_t at) { return uint32_t(uint8_t(z[at])) | uint32_t(uint8_t(z[at + 1])) << 8; };
    const uint32_t flags = u16(6), time = u16(10), crc = u16(14) | u16(16) << 16;
    const size_t header = 30 + u16(26) + u16(28);
    const uint8_t check = uint8_t(flags & 8 ? time >> 8 : crc >> 24);
    const z_crc_t* table = get_crc_table();
    for (int i = 0; i < 100000; ++i) {
        const std::string pw = "wrong" + std::to_string(i);
        uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
        auto update = [&](uint8_t c) {
            k0 = uint32_t(table[(k0 ^ c) & 0xFF]) ^ (k0 >> 8);
            k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
            k2 = uint32_t(table[(k2 ^ (k1 >> 24)) & 0xFF]) ^ (k2 >> 8);
        };
        for (char c : pw) update(uint8_t(c));
        uint8_t last = 0;
        for (size_t j = 0; j < 12; ++j) {
            const uint32_t t = (k2 & 0xFFFF) | 2;
            last = uint8_t(uint8_t(z[header + j]) ^ uint8_t((t * (t ^ 1)) >> 8));
            update(last);
        }
        if (last == check) return pw;
    }
    return {};
}

} // namespace

TEST_F(ZipOps, WrongPasswordFailsAndLeavesNoFile) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/secret.txt", sampleText(3000));
    ASSERT_EQ(run("zip -q -P right " + q((t / "e.zip").string()) + " secret.txt", t / "in").status, 0);
    {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.Password = "wrong";
        EXPECT_EQ(extract(z, t / "e.zip", t / "out"), 0);
        EXPECT_TRUE(ev.saw("Error - no extract password given")) << ev.all();
        ASSERT_EQ(ev.skipped.size(), 1u);
        EXPECT_EQ(ev.skipped[0].second, stBadPassword);
        EXPECT_TRUE(fs::is_empty(t / "out")); // neither the file nor a partial one
    }
    {
        // Asked through the handler: a wrong answer first, then the right one.
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.Password = "wrong";
        z.SetPasswordReqCount(3);
        std::vector<std::string> answers = {"bad", "right"};
        z.OnPasswordError = [&](TZipFront&, std::string& pw, const std::string& file, uint32_t& repeat) {
            EXPECT_EQ(file, "secret.txt");
            pw = answers.front();
            answers.erase(answers.begin());
        };
        EXPECT_EQ(extract(z, t / "e.zip", t / "out2"), 1) << ev.all();
        EXPECT_EQ(readFile(t / "out2/secret.txt"), readFile(t / "in/secret.txt"));
        EXPECT_TRUE(answers.empty());
    }
    // A wrong password that the header's check lets through is still wrong: refused
    // without a file, and the handler is asked for a better one.
    const std::string lucky = luckyWrongPassword(t / "e.zip");
    ASSERT_FALSE(lucky.empty());
    for (bool handler : {false, true}) {
        SCOPED_TRACE(handler ? "with handler" : "without handler");
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.Password = lucky;
        int asked = 0;
        if (handler) {
            z.SetPasswordReqCount(1);
            z.OnPasswordError = [&](TZipFront&, std::string& pw, const std::string&, uint32_t&) {
                ++asked;
                pw = "right";
            };
        }
        const fs::path out = t / (handler ? "lucky2" : "lucky");
        EXPECT_EQ(extract(z, t / "e.zip", out), handler ? 1 : 0) << ev.all();
        if (handler) {
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(readFile(out / "secret.txt"), readFile(t / "in/secret.txt"));
        } else {
            ASSERT_EQ(ev.skipped.size(), 1u) << ev.all();
            EXPECT_EQ(ev.skipped[0].second, stBadPassword);
            EXPECT_TRUE(fs::is_empty(out));
        }
    }
}

TEST_F(ZipOps, TestRunReportsDamage) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", sampleText(20000));
    writeFile(t / "in/b.txt", sampleText(20000, 5));
    ASSERT_EQ(run("zip -q -0 " + q((t / "d.zip").string()) + " a.txt b.txt", t / "in").status, 0);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "d.zip").string());
    z.ExtrOptions = {ExtrTest};
    z.Extract();
    EXPECT_EQ(z.SuccessCnt, 2) << ev.all();

    std::string d = readFile(t / "d.zip");
    d[200] ^= 0x55; // inside a.txt's stored data
    writeFile(t / "d.zip", d);
    Events ev2;
    attach(z, ev2);
    z.ExtrOptions = {ExtrTest};
    z.Extract();
    EXPECT_EQ(z.SuccessCnt, 1);
    EXPECT_TRUE(ev2.saw("CRC error in: a.txt")) << ev2.all();
}

// Delete, freshen and update rewrite the archive but copy every other entry as it was.
TEST_F(ZipOps, DeleteFreshenUpdateKeepOtherEntriesByteIdentical) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    for (auto n : {"a.txt", "b.txt", "c.txt"}) writeFile(t / "in" / n, sampleText(5000, n[0]));
    ASSERT_EQ(run("zip -q " + q((t / "k.zip").string()) + " a.txt b.txt c.txt", t / "in").status, 0);
    auto before = rawEntries(t / "k.zip");
    ASSERT_EQ(before.size(), 3u);

    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "k.zip").string());
    z.FSpecArgs = {"b.txt"};
    z.Delete();
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    auto after = rawEntries(t / "k.zip");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after["a.txt"].local, before["a.txt"].local);
    EXPECT_EQ(after["a.txt"].central, before["a.txt"].central);
    EXPECT_EQ(after["c.txt"].local, before["c.txt"].local);
    EXPECT_EQ(after["c.txt"].central, before["c.txt"].central);
    EXPECT_EQ(run("unzip -tq " + q((t / "k.zip").string())).status, 0);

    // a.txt changes and gets newer; b.txt is new on disk but freshen adds nothing.
    writeFile(t / "in/a.txt", "changed\n");
    const auto later = fs::last_write_time(t / "in/c.txt") + std::chrono::seconds(10);
    fs::last_write_time(t / "in/a.txt", later);
    z.AddOptions = {AddDirNames, AddFreshen};
    add(z, t / "k.zip", t / "in", {"*.txt"});
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    auto fresh = rawEntries(t / "k.zip");
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_NE(fresh["a.txt"].local, before["a.txt"].local);
    EXPECT_EQ(fresh["c.txt"].local, before["c.txt"].local);
    EXPECT_EQ(fresh["c.txt"].central, before["c.txt"].central);

    // Update adds the new b.txt and leaves the unchanged a.txt and c.txt alone.
    z.AddOptions = {AddDirNames, AddUpdate};
    add(z, t / "k.zip", t / "in", {"*.txt"});
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    auto upd = rawEntries(t / "k.zip");
    ASSERT_EQ(upd.size(), 3u);
    EXPECT_EQ(upd["a.txt"].local, fresh["a.txt"].local);
    EXPECT_EQ(upd["c.txt"].local, before["c.txt"].local);
    EXPECT_EQ(run("unzip -tq " + q((t / "k.zip").string())).status, 0);
}

TEST_F(ZipOps, CancelOrFailurePartWayLeavesTheArchiveUntouched) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    makeInput(t / "in");
    ASSERT_EQ(run("zip -q -r " + q((t / "c.zip").string()) + " .", t / "in").status, 0);
    const std::string original = readFile(t / "c.zip");
    auto folderFiles = [&] {
        std::set<std::string> s;
        for (auto& e : fs::directory_iterator(t.path())) s.insert(e.path().filename().string());
        return s;
    };
    const auto filesBefore = folderFiles();

    for (int stopAt : {1, 3}) {
        TZipFront z;
        Events ev;
        attach(z, ev);
        int newFiles = 0;
        z.OnProgress = [&](TZipFront& s, ProgressType p, const std::string&, int64_t) {
            ev.progress.push_back(p);
            if (p == ptNewFile && ++newFiles == stopAt) s.Cancel = true;
        };
        z.AddOptions = {AddDirNames, AddRecurseDirs};
        z.AddCompLevel = 1;
        writeFile(t / "in/new.txt", "new");
        EXPECT_EQ(add(z, t / "c.zip", t / "in", {"*.*"}), 0);
        EXPECT_TRUE(progressFirstLast(ev)) << ev.all();
        EXPECT_EQ(readFile(t / "c.zip"), original);
        EXPECT_EQ(folderFiles(), filesBefore); // no temporary file left behind
        EXPECT_FALSE(z.ZipBusy());
    }

    // A damaged local header of the second entry: the copy fails half-way.
    auto raw = rawEntries(t / "c.zip");
    std::string broken = original;
    const size_t second = broken.find("PK\x03\x04", 4);
    broken[second + 3] = 9;
    writeFile(t / "c.zip", broken);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.AddOptions = {AddDirNames};
    EXPECT_EQ(add(z, t / "c.zip", t / "in", {"new.txt"}), 0);
    EXPECT_TRUE(progressFirstLast(ev)) << ev.all();
    EXPECT_EQ(readFile(t / "c.zip"), broken);
    EXPECT_EQ(folderFiles(), filesBefore);
}

TEST_F(ZipOps, SelfExtractorPrefixIsKeptWithOffsetsMoved) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    makeInput(t / "in");
    ASSERT_EQ(run("zip -q " + q((t / "base.zip").string()) + " a.txt", t / "in").status, 0);
    const std::string stub = "MZ" + std::string(2046, '\x11');
    writeFile(t / "s.exe", stub + readFile(t / "base.zip"));
    ASSERT_EQ(run("zip -q -A " + q((t / "s.exe").string())).status, 0);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.AddOptions = {AddDirNames};
    EXPECT_EQ(add(z, t / "s.exe", t / "in", {"sub/b.txt"}), 1) << ev.all();
    EXPECT_EQ(readFile(t / "s.exe").substr(0, stub.size()), stub);
    EXPECT_EQ(z.SFXOffset, 2048);
    EXPECT_FALSE(z.WrongZipStruct());
    auto r = run("unzip -t " + q((t / "s.exe").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
}

TEST_F(ZipOps, HostileNamesStayInsideTheTarget) {
    TempDir t;
    fs::create_directories(t / "out");
    writeFile(t / "victim.txt", "keep");
    fs::create_symlink(t / "victim.txt", t / "out/link.txt");
    auto r =
        python("import zipfile\n"
               "z=zipfile.ZipFile('h.zip','w')\n"
               "for n in ['../evil.txt','/abs.txt','a/../../x.txt','C:\\\\win.txt','link.txt','ok.txt']:\n"
               "  z.writestr(n, 'payload '+n)\n"
               "z.close()\n",
               t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.ExtrOptions = {ExtrOverWrite};
    EXPECT_EQ(extract(z, t / "h.zip", t / "out"), 4) << ev.all();
    EXPECT_FALSE(fs::exists(t / "evil.txt"));
    EXPECT_FALSE(fs::exists(t / "x.txt"));
    EXPECT_EQ(readFile(t / "out/abs.txt"), "payload /abs.txt");
    EXPECT_EQ(readFile(t / "out/win.txt"), "payload C:\\win.txt");
    EXPECT_EQ(readFile(t / "victim.txt"), "keep"); // the link was replaced, not followed
    EXPECT_FALSE(fs::is_symlink(t / "out/link.txt"));
    int unsafe = 0;
    for (auto& s : ev.skipped) unsafe += s.second == stUnsafeName;
    EXPECT_EQ(unsafe, 2);
}

TEST_F(ZipOps, OverwriteFreshenAndUpdateOnExtract) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "archived a");
    writeFile(t / "in/b.txt", "archived b");
    ASSERT_EQ(run("zip -q " + q((t / "o.zip").string()) + " a.txt b.txt", t / "in").status, 0);
    writeFile(t / "out/a.txt", "old a");
    fs::last_write_time(t / "out/a.txt", fs::last_write_time(t / "in/a.txt") - std::chrono::hours(1));
    {
        // Without overwrite and a handler saying no: the file stays.
        TZipFront z;
        Events ev;
        attach(z, ev);
        std::vector<std::pair<std::string, bool>> asked;
        z.OnExtractOverwrite = [&](TZipFront&, const std::string& f, bool older, bool& doIt) {
            asked.emplace_back(f, older);
            doIt = false;
        };
        EXPECT_EQ(extract(z, t / "o.zip", t / "out"), 1) << ev.all();
        EXPECT_EQ(asked, (std::vector<std::pair<std::string, bool>>{{"a.txt", true}}));
        EXPECT_EQ(readFile(t / "out/a.txt"), "old a");
    }
    fs::remove(t / "out/b.txt");
    {
        // Freshen: only files already there, and only when older.
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.ExtrOptions = {ExtrFreshen};
        EXPECT_EQ(extract(z, t / "o.zip", t / "out"), 1) << ev.all();
        EXPECT_EQ(readFile(t / "out/a.txt"), "archived a");
        EXPECT_FALSE(fs::exists(t / "out/b.txt"));
    }
    {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.ExtrOptions = {ExtrUpdate};
        EXPECT_EQ(extract(z, t / "o.zip", t / "out"), 1) << ev.all(); // b.txt only: a.txt is current
        EXPECT_EQ(readFile(t / "out/b.txt"), "archived b");
    }
}

TEST_F(ZipOps, InputChecksAndReentry) {
    TempDir t;
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.Add();
    EXPECT_TRUE(ev.saw("Error - no files to zip!"));
    z.FSpecArgs = {"x"};
    z.Add();
    EXPECT_TRUE(ev.saw("Error - no zip file specified!"));
    z.SetZipFileName((t / "none.zip").string());
    z.FSpecArgs = {"x"};
    z.Delete();
    EXPECT_TRUE(ev.saw("Error - no zip file specified!"));
    z.FSpecArgs.clear();
    z.Delete();
    EXPECT_TRUE(ev.saw("Error - no files selected for deletion"));
    z.AddOptions = {AddEncrypt};
    z.FSpecArgs = {"x"};
    z.Add();
    EXPECT_TRUE(ev.saw("Unattended action not possible without a password"));
    z.AddOptions = {AddDiskSpan, AddUpdate};
    z.Add();
    EXPECT_TRUE(ev.saw("AddFreshen or AddUpdate not possible on a spanned archive"));
    z.AddOptions = {AddDiskSpan};
    z.SetZipFileName((t / "x.EXE").string());
    z.Add();
    EXPECT_TRUE(ev.saw("Error - Self extracting archives(.exe) can not be spanned"));
    // Spanning writes a temporary archive first and spans it; on a fixed drive the parts
    // are numbered files, and the temporary archive is gone afterwards.
    fs::create_directories(t / "tmp");
    z.TempDir = (t / "tmp").string();
    z.SetZipFileName((t / "span.zip").string());
    z.FSpecArgs = {(t / "none.zip").string()};
    writeFile(t / "none.zip", "file to add");
    z.Add();
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    EXPECT_TRUE(fs::is_empty(t / "tmp"));
    EXPECT_TRUE(fs::exists(t / "span001.zip"));
    // A new .exe starts as an empty self-extractor, which the library then adds to.
    z.AddOptions = {};
    writeFile(t / "f.txt", "f");
    EXPECT_EQ(add(z, t / "new.exe", t.path(), {"f.txt"}), 1) << ev.all();
    EXPECT_EQ(z.Count(), 1);
    // The stub, then the settings block with the default caption (23 + 12 bytes, to 36).
    EXPECT_EQ(z.SFXOffset, static_cast<int64_t>(fs::file_size(binDir() / "ZIPSFX.BIN")) + 36);
    if (havePeer("unzip")) {
        EXPECT_EQ(run("unzip -tq " + q((t / "new.exe").string())).status, 0);
    }

    // A second add started from an event while one runs returns at once.
    int nested = 0;
    z.OnProgress = [&](TZipFront& s, ProgressType p, const std::string&, int64_t) {
        if (p == ptNewFile) {
            s.FSpecArgs = {"f.txt"};
            s.Add();
            nested += s.SuccessCnt;
        }
    };
    EXPECT_EQ(add(z, t / "r.zip", t.path(), {"f.txt"}), 1) << ev.all();
    EXPECT_EQ(nested, 0);
    EXPECT_TRUE(z.FSpecArgs.empty());
}

TEST_F(ZipOps, MissingTargetFolderIsMadeNotReplacedByTheCurrentOne) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "a");
    ASSERT_EQ(run("zip -q " + q((t / "m.zip").string()) + " a.txt", t / "in").status, 0);
    fs::current_path(t / "in");
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "m.zip").string());
    z.ExtrBaseDir = (t / "new/deep").string();
    z.Extract();
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    EXPECT_EQ(readFile(t / "new/deep/a.txt"), "a");
}

// An entry named "*.txt" asked for by its stored name is that entry alone, for extracting
// and deleting; as a wildcard it still selects every ".txt". Every file written is reported
// with its path below the target, and whether it replaced a file; the current folder stays.
TEST_F(ZipOps, StoredNamesAreLiteralAndWrittenPathsAreReported) {
    PV_REQUIRE_PEER("python3");
    TempDir t;
    const fs::path zip = t / "star.zip";
    ASSERT_EQ(python("import zipfile\n"
                     "with zipfile.ZipFile('star.zip', 'w') as z:\n"
                     "    z.writestr('*.txt', 'star')\n"
                     "    z.writestr('a.txt', 'a')\n"
                     "    z.writestr('sub/b.txt', 'b')\n",
                     t.path())
                  .status,
              0);
    const std::string before = fs::current_path().string();
    struct Written {
        std::string path;
        bool replaced;
        bool operator==(const Written&) const = default;
    };
    auto run = [&](bool literal, const fs::path& out, std::vector<Written>& written) {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.OnFileWritten = [&](TZipFront&, const std::string& p, bool replaced) {
            written.push_back({p, replaced});
        };
        z.SetZipFileName(zip.string());
        z.ExtrBaseDir = out.string();
        z.ExtrOptions.include(ExtrDirNames);
        z.ExtrOptions.include(ExtrOverWrite);
        z.FSpecArgs = {"*.txt"};
        z.FSpecArgsLiteral = literal;
        z.Extract();
        EXPECT_EQ(fs::current_path().string(), before);
        return z.SuccessCnt;
    };
    std::vector<Written> written;
    writeFile(t / "lit" / "*.txt", "mine");
    EXPECT_EQ(run(true, t / "lit", written), 1);
    EXPECT_EQ(tree(t / "lit"), (std::map<std::string, std::string>{{"*.txt", "star"}}));
    EXPECT_EQ(written, (std::vector<Written>{{(t / "lit" / "*.txt").string(), true}}));

    written.clear();
    EXPECT_EQ(run(false, t / "wild", written), 3);
    EXPECT_EQ(tree(t / "wild").size(), 3u);
    ASSERT_EQ(written.size(), 3u);
    for (auto& w : written) {
        EXPECT_FALSE(w.replaced);
        EXPECT_EQ(w.path.rfind((t / "wild").string() + "/", 0), 0u) << w.path;
        EXPECT_TRUE(fs::exists(w.path)) << w.path;
    }

    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName(zip.string());
    z.FSpecArgs = {"*.txt"};
    z.FSpecArgsLiteral = true;
    z.Delete();
    EXPECT_EQ(z.SuccessCnt, 1) << ev.all();
    ASSERT_EQ(z.Count(), 2);
    EXPECT_EQ(z[0].FileName, "a.txt");
    EXPECT_EQ(z[1].FileName, "sub/b.txt");
}

TEST_F(ZipOps, AddAsksForThePasswordAndLetsTheCallerRename) {
    PV_REQUIRE_PEER("unzip");
    TempDir t;
    writeFile(t / "in/a.txt", sampleText(2000));
    writeFile(t / "in/b.txt", sampleText(2000, 4));
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.Unattended = false; // the component's own question, through the UI hooks
    int asked = 0;
    platform::UiHooks hooks;
    hooks.askText = [&](const std::string&, const std::string&, std::string& v, bool) {
        ++asked;
        v = "hooked";
        return true;
    };
    platform::ScopedUiHooks scoped(hooks);
    z.OnSetNewName = [](TZipFront&, std::string& n, bool& changed) {
        if (n == "b.txt") {
            n = "renamed/b.txt";
            changed = true;
        }
    };
    z.AddOptions = {AddDirNames, AddEncrypt, AddZipTime};
    EXPECT_EQ(add(z, t / "p.zip", t / "in", {"*.txt"}), 2) << ev.all();
    EXPECT_EQ(asked, 2); // entered and confirmed once, then used for both files
    auto r = run("unzip -P hooked -t " + q((t / "p.zip").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("renamed/b.txt"), std::string::npos) << r.out;
    // The archive carries the time of its newest entry (DOS times have two-second steps).
    const auto newest = std::max(fs::last_write_time(t / "in/a.txt"), fs::last_write_time(t / "in/b.txt"));
    const auto diff = fs::last_write_time(t / "p.zip") - newest;
    EXPECT_LE(std::abs(std::chrono::duration_cast<std::chrono::seconds>(diff).count()), 2);
}

// Non-ASCII names through the stand-in, plain and forced to "made by MS-DOS": every peer
// extracts them under their own names, and our own directory lists them so.
TEST_F(ZipOps, NonAsciiNamesExtractUnderTheirOwnNameWithEveryPeer) {
    TempDir t;
    writeNonAsciiNames(t / "in");
    const std::vector<std::string> peers = installedPeers({"unzip", "7zz", "bsdtar", "python3"});
    for (const bool forceDos : {false, true}) {
        SCOPED_TRACE(forceDos ? "forced to MS-DOS" : "plain");
        const fs::path zip = t / (forceDos ? "dos.zip" : "plain.zip");
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.AddOptions = {AddDirNames, AddRecurseDirs};
        if (forceDos) z.AddOptions.include(AddForceDOS);
        ASSERT_EQ(add(z, zip, t / "in", {"*.*"}), 2) << ev.all();
        std::vector<std::string> names;
        for (auto& e : z.ZipContents) names.push_back(e->FileName);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, nonAsciiNames());
        for (const std::string& peer : peers) {
            SCOPED_TRACE(peer);
            const fs::path out = t / (zip.stem().string() + "-" + peer);
            const RunResult r = extractWithPeer(peer, zip, out);
            EXPECT_EQ(r.status, 0) << r.out;
            for (const std::string& n : nonAsciiNames()) EXPECT_EQ(readFile(out / n), n) << n;
        }
    }
}
