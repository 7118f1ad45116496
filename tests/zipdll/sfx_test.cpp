// Self-extractors: ConvertSFX against `zip -A`, ConvertZIP against the original, the
// settings block both ways, the icon slot of a Windows stub, and the ZIPSFX.BIN program
// itself extracting what it carries.
#include "ziptest.h"

#include <sys/stat.h>

#include <cstring>

using namespace pvtest;
using namespace ziptest;

namespace {

// The settings block as the self-extractor reads it, built here independently.
std::string settingsBlock(uint8_t flags, const std::vector<std::string>& texts) {
    std::string b = "MPV";
    b += static_cast<char>(flags);
    b += '\0';
    b += '\1';
    size_t n = 12;
    for (auto& t : texts) n += t.size();
    n = (n + 3) & ~size_t{3};
    b += static_cast<char>(n & 0xFF);
    b += static_cast<char>(n >> 8);
    for (auto& t : texts) b += static_cast<char>(t.size()) + t;
    b.resize(n, '\0');
    return b;
}

// A small zip made by the zip peer, with a subfolder and an incompressible file.
fs::path peerZip(const TempDir& t, const std::string& name = "x.zip") {
    writeFile(t / "in/a.txt", sampleText(30000));
    writeBytes(t / "in/r.bin", randomBytes(70000));
    writeFile(t / "in/sub/b.txt", sampleText(5000, 4));
    writeFile(t / "in/empty.txt", "");
    const fs::path zip = t / name;
    auto r = run("zip -qr -X " + q(zip.string()) + " a.txt r.bin sub empty.txt", t / "in");
    EXPECT_EQ(r.status, 0) << r.out;
    return zip;
}

struct Front {
    TZipFront z;
    Events ev;
    Front() {
        attach(z, ev);
        z.HowToDelete = htdFinal;
    }
};

// A minimal Windows program: DOS header, PE header, one ".rsrc" section whose resource
// tree holds type 3 / id 1 / language 0x409 with a 744-byte image at file offset 0x400.
std::vector<uint8_t> handMadePe(uint32_t imageSize = 744, bool withRsrc = true) {
    std::vector<uint8_t> pe(0x400 + 744 + 64, 0);
    auto p16 = [&](size_t at, uint32_t v) {
        pe[at] = static_cast<uint8_t>(v);
        pe[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto p32 = [&](size_t at, uint32_t v) {
        p16(at, v & 0xFFFF);
        p16(at + 2, v >> 16);
    };
    pe[0] = 'M';
    pe[1] = 'Z';
    const size_t peAt = 0x80;
    p32(60, peAt);
    std::memcpy(&pe[peAt], "PE\0\0", 4);
    p16(peAt + 6, 1);                 // one section
    p32(peAt + 24 + 96 + 16, 0x2000); // resource directory RVA
    const size_t sh = peAt + 248;
    std::memcpy(&pe[sh], withRsrc ? ".rsrc\0\0\0" : ".data\0\0\0", 8);
    p32(sh + 8, 0x1000);  // virtual size
    p32(sh + 12, 0x2000); // virtual address
    p32(sh + 16, 0x800);  // raw size
    p32(sh + 20, 0x200);  // raw pointer
    const size_t root = 0x200;
    // Root: one named entry (skipped) and one id entry, type 3.
    p16(root + 12, 1);
    p16(root + 14, 1);
    p32(root + 16, 0x80000000u | 0x100); // a name: skipped
    p32(root + 20, 0x80000000u | 0x80);
    p32(root + 24, 3);
    p32(root + 28, 0x80000000u | 0x30);
    p16(root + 0x30 + 14, 1); // level 2: id 1
    p32(root + 0x30 + 16, 1);
    p32(root + 0x30 + 20, 0x80000000u | 0x50);
    p16(root + 0x50 + 14, 1); // level 3: language 0x409 -> data entry
    p32(root + 0x50 + 16, 0x409);
    p32(root + 0x50 + 20, 0x70);
    p32(root + 0x70, 0x2000 + 0x200); // data RVA: file offset 0x400
    p32(root + 0x74, imageSize);
    return pe;
}

// Runs `exe` on a pseudo-terminal that types each answer once its prompt shows; `answers`
// is a python list of (prompt, answer) byte pairs. Succeeds when the program exits 0, every
// answer was used and `check` (a python expression over `full`, all the program wrote)
// holds; the program's output comes back.
RunResult onTerminal(const TempDir& t, const fs::path& exe, const std::string& answers,
                     const std::string& check = "True") {
    return python("import os, pty, signal, sys\n"
                  "signal.alarm(60)\n"
                  "answers = " +
                      answers +
                      "\n"
                      "pid, fd = pty.fork()\n"
                      "if pid == 0:\n"
                      "    os.execv(" +
                      q(exe.string()) +
                      ", ['sfx'])\n"
                      "seen = full = b''\n"
                      "while True:\n"
                      "    try: chunk = os.read(fd, 4096)\n"
                      "    except OSError: break\n"
                      "    if not chunk: break\n"
                      "    seen += chunk\n"
                      "    full += chunk\n"
                      "    while answers and answers[0][0] in seen:\n"
                      "        seen = seen[seen.index(answers[0][0]) + len(answers[0][0]):]\n"
                      "        os.write(fd, answers.pop(0)[1] + b'\\n')\n"
                      "_, status = os.waitpid(pid, 0)\n"
                      "sys.stdout.write(full.decode('utf-8', 'replace'))\n"
                      "ok = os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0 and not answers\n"
                      "sys.exit(0 if ok and (" +
                      check + ") else 1)\n",
                  t.path());
}

} // namespace

TEST(Sfx, ConvertSfxEqualsZipAdjustAndPassesPeers) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    PV_REQUIRE_PEER("7zz");
    TempDir t;
    const fs::path zip = peerZip(t);
    const std::string zipBytes = readFile(zip);
    const std::string stub = readFile(binDir() / "ZIPSFX.BIN");
    Front f;
    f.z.SFXCaption = "Setup";
    f.z.SFXDefaultDir = "C:\\Temp";
    f.z.SFXCommandLine = "readme.txt";
    f.z.SFXMessage = "Extract the files?";
    f.z.SFXOptions = {SFXAskFiles, SFXCheckSize};
    f.z.SFXOverWriteMode = OvrAlways;
    f.z.SetZipFileName(zip.string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    const fs::path exe = t / "x.exe";
    EXPECT_EQ(f.z.ZipFileName(), exe.string());
    EXPECT_FALSE(fs::exists(zip));
    const std::string block = settingsBlock(2 | 8, {"Setup", "C:\\Temp", "readme.txt", "Extract the files?"});
    writeFile(t / "ref.exe", stub + block + zipBytes);
    auto a = run("zip -A " + q((t / "ref.exe").string()));
    ASSERT_EQ(a.status, 0) << a.out;
    EXPECT_TRUE(readFile(exe) == readFile(t / "ref.exe"));
    for (const std::string cmd : {"unzip -tq ", "7zz t "}) {
        auto r = run(cmd + q(exe.string()));
        EXPECT_EQ(r.status, 0) << cmd << r.out;
    }
    struct stat st {};
    ASSERT_EQ(stat(exe.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask);
    // Listed again as the self-extractor it now is.
    EXPECT_EQ(f.z.SFXOffset, static_cast<int64_t>(stub.size() + block.size()));
    EXPECT_EQ(f.z.Count(), 4);
}

// Back to a zip: the original bytes (as `zip -J` gives them) and the settings restored.
TEST(Sfx, ConvertZipRestoresTheArchiveAndTheSettings) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = peerZip(t);
    const std::string original = readFile(zip);
    struct Case {
        SFXOpts opts;
        OvrOpts mode;
        uint8_t flags;
    };
    const Case cases[] = {
        {{}, OvrConfirm, 0x20},
        {{SFXCheckSize}, OvrConfirm, 0},
        {{SFXAskCmdLine, SFXAskFiles, SFXHideOverWriteBox, SFXCheckSize}, OvrNever, 0x17},
        {{SFXAutoRun, SFXNoSuccessMsg}, OvrAlways, 0x20 | 0x40 | 0x80 | 0x08},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.flags));
        fs::remove(t / "x.exe");
        writeFile(zip, original);
        Front f;
        f.z.SFXOptions = c.opts;
        f.z.SFXOverWriteMode = c.mode;
        f.z.SFXCaption = std::string(255, 'c');
        f.z.SFXDefaultDir = "~/dir";
        f.z.SFXCommandLine = "cmd";
        f.z.SFXMessage = "msg";
        f.z.SetZipFileName(zip.string());
        ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
        const std::string exeBytes = readFile(t / "x.exe");
        const size_t stubSize = fs::file_size(binDir() / "ZIPSFX.BIN");
        EXPECT_EQ(static_cast<uint8_t>(exeBytes.at(stubSize + 3)), c.flags);
        writeFile(t / "j.exe", exeBytes);

        Front g;
        g.z.SFXOptions = {SFXAskFiles};
        g.z.SFXCaption = g.z.SFXDefaultDir = g.z.SFXCommandLine = g.z.SFXMessage = "stale";
        g.z.SetZipFileName((t / "x.exe").string());
        ASSERT_EQ(g.z.ConvertZIP(), 0) << g.ev.all();
        EXPECT_TRUE(readFile(zip) == original);
        EXPECT_FALSE(fs::exists(t / "x.exe"));
        EXPECT_EQ(g.z.ZipFileName(), zip.string());
        EXPECT_EQ(g.z.SFXOptions, c.opts);
        EXPECT_EQ(g.z.SFXOverWriteMode, c.mode);
        EXPECT_EQ(g.z.SFXCaption, std::string(255, 'c'));
        EXPECT_EQ(g.z.SFXDefaultDir, "~/dir");
        EXPECT_EQ(g.z.SFXCommandLine, "cmd");
        EXPECT_EQ(g.z.SFXMessage, "msg");
        if (havePeer("zip")) {
            auto r = run("zip -J " + q((t / "j.exe").string()));
            ASSERT_EQ(r.status, 0) << r.out;
            EXPECT_TRUE(readFile(t / "j.exe") == original);
        }
    }
}

TEST(Sfx, SettingsLimitsAndInputChecks) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = peerZip(t);
    const size_t zipSize = fs::file_size(zip), stubSize = fs::file_size(binDir() / "ZIPSFX.BIN");
    {
        // All four texts empty: a 12-byte block.
        Front f;
        f.z.SFXCaption.clear();
        f.z.SetZipFileName(zip.string());
        ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
        EXPECT_EQ(fs::file_size(t / "x.exe"), stubSize + 12 + zipSize);
        ASSERT_EQ(f.z.ConvertZIP(), 0) << f.ev.all();
    }
    {
        // A 256-character text is refused; nothing is written and the zip stays.
        Front f;
        f.z.SFXMessage = std::string(256, 'm');
        f.z.SetZipFileName(zip.string());
        EXPECT_EQ(f.z.ConvertSFX(), -9);
        EXPECT_TRUE(f.ev.saw("exceeds 255 characters"));
        EXPECT_TRUE(f.ev.saw("SFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = "));
        EXPECT_FALSE(fs::exists(t / "x.exe"));
        EXPECT_TRUE(fs::exists(zip));
    }
    {
        // Names: a .zip for ConvertSFX, an .exe for ConvertZIP, and a stub in front of it.
        fs::copy_file(zip, t / "x.dat");
        Front f;
        f.z.SetZipFileName((t / "x.dat").string());
        EXPECT_EQ(f.z.ConvertSFX(), -9);
        EXPECT_TRUE(f.ev.saw("Error: input file is not a zip file"));
        EXPECT_EQ(f.z.ConvertZIP(), -3);
        EXPECT_TRUE(f.ev.saw("Error: input file is not an .EXE file"));
        fs::copy_file(zip, t / "plain.exe");
        f.z.SetZipFileName((t / "plain.exe").string());
        EXPECT_EQ(f.z.ConvertZIP(), -9);
        EXPECT_TRUE(f.ev.saw("Error determining the type of SFX archive"));
        f.z.SetZipFileName((t / "none.zip").string());
        EXPECT_EQ(f.z.ConvertSFX(), -9);
        EXPECT_TRUE(f.ev.saw("Error - no zip file specified!"));
    }
    {
        // A stub that is not there is looked for beside the program.
        Front f;
        f.z.SFXPath = (t / "missing/ZIPSFX.BIN").string();
        f.z.SetZipFileName(zip.string());
        ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
        EXPECT_EQ(fs::path(f.z.SFXPath).parent_path(), binDir());
        ASSERT_EQ(f.z.ConvertZIP(), 0);
    }
}

// The icon slot: replaced in a Windows stub; refused without one, leaving nothing behind.
TEST(Sfx, IconSlotOfAWindowsStub) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = peerZip(t);
    const std::string original = readFile(zip);
    std::vector<uint8_t> icon(766, 0);
    for (size_t i = 22; i < icon.size(); ++i) icon[i] = static_cast<uint8_t>(i * 7);
    std::vector<uint8_t> truncated = handMadePe();
    truncated.resize(0x210);
    struct Case {
        std::string what;
        std::vector<uint8_t> stub;
        std::vector<uint8_t> icon;
        int result;
    };
    const Case cases[] = {
        {"pe", handMadePe(), icon, 0},
        {"pe, icon of the wrong size", handMadePe(), std::vector<uint8_t>(700, 1), -12},
        {"pe without a 744-byte image", handMadePe(766), icon, -10},
        {"pe without resources", handMadePe(744, false), icon, -10},
        {"elf", readBytes(binDir() / "ZIPSFX.BIN"), icon, -10},
        {"truncated pe", truncated, icon, -10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(zip, original);
        writeBytes(t / "stub.bin", c.stub);
        Front f;
        f.z.SFXPath = (t / "stub.bin").string();
        f.z.SFXIcon = c.icon;
        f.z.SetZipFileName(zip.string());
        EXPECT_EQ(f.z.ConvertSFX(), c.result) << f.ev.all();
        if (c.result != 0) {
            EXPECT_FALSE(fs::exists(t / "x.exe"));
            EXPECT_TRUE(readFile(zip) == original);
            for (auto& e : fs::directory_iterator(t.path()))
                EXPECT_NE(e.path().filename().string()[0], '.') << "left behind: " << e.path();
            continue;
        }
        const std::vector<uint8_t> exe = readBytes(t / "x.exe");
        ASSERT_GT(exe.size(), 0x400u + 744);
        EXPECT_TRUE(std::equal(icon.begin() + 22, icon.end(), exe.begin() + 0x400));
        EXPECT_TRUE(std::equal(exe.begin(), exe.begin() + 0x400, c.stub.begin()));
        // Back to the zip: the icon stays what it was.
        f.z.SFXIcon = {1, 2, 3};
        ASSERT_EQ(f.z.ConvertZIP(), 0);
        EXPECT_EQ(f.z.SFXIcon, (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_TRUE(readFile(zip) == original);
    }
}

// The program itself: byte-exact files with -d and no terminal, an entry escaping the
// folder refused, the block's folder used without -d, existing files kept unless the
// block says to overwrite.
TEST(Sfx, TheProgramExtractsWhatItCarries) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = peerZip(t);
    Front f;
    f.z.SetZipFileName(zip.string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    const fs::path exe = t / "x.exe";
    auto r = run(q(exe.string()) + " -d " + q((t / "out").string()) + " </dev/null 0<&-");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tree(t / "out"), tree(t / "in"));

    // The block's folder, "~/" being the runner's home; existing files kept.
    writeFile(t / "home/Temp/a.txt", "mine");
    Front g;
    peerZip(t, "y.zip");
    g.z.SFXDefaultDir = "C:\\Temp";
    g.z.SetZipFileName((t / "y.zip").string());
    ASSERT_EQ(g.z.ConvertSFX(), 0) << g.ev.all();
    r = run("HOME=" + q((t / "home").string()) + " " + q((t / "y.exe").string()) + " </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "home/Temp/a.txt"), "mine");
    EXPECT_EQ(readFile(t / "home/Temp/sub/b.txt"), readFile(t / "in/sub/b.txt"));

    // An entry named "../x" lands nowhere outside the folder, and the run fails.
    auto p = python("import zipfile\n"
                    "with zipfile.ZipFile('evil.zip', 'w') as z:\n"
                    "    z.writestr('../x', 'out')\n"
                    "    z.writestr('ok.txt', 'in')\n",
                    t.path());
    ASSERT_EQ(p.status, 0) << p.out;
    Front h;
    h.z.SFXOverWriteMode = OvrAlways;
    h.z.SetZipFileName((t / "evil.zip").string());
    ASSERT_EQ(h.z.ConvertSFX(), 0) << h.ev.all();
    fs::create_directories(t / "jail/in");
    r = run(q((t / "evil.exe").string()) + " -d " + q((t / "jail/in").string()) + " </dev/null");
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(t / "jail/x"));
    EXPECT_FALSE(fs::exists(t / "x"));
    EXPECT_EQ(readFile(t / "jail/in/ok.txt"), "in");

    // Names stored in code page 437 come out as UTF-8; flagged UTF-8 names as they are.
    p = python("import zipfile\n"
               "plain = zipfile.ZipInfo._encodeFilenameFlags\n"
               "with zipfile.ZipFile('names.zip', 'w') as z:\n"
               "    z.writestr('caf\u00e9.txt', 'utf8')\n"
               "    zipfile.ZipInfo._encodeFilenameFlags = lambda self: (self.filename.encode('cp437'), "
               "self.flag_bits)\n"
               "    z.writestr('\u00c4rger.txt', 'oem')\n",
               t.path());
    ASSERT_EQ(p.status, 0) << p.out;
    Front n;
    n.z.SetZipFileName((t / "names.zip").string());
    ASSERT_EQ(n.z.ConvertSFX(), 0) << n.ev.all();
    r = run(q((t / "names.exe").string()) + " -d " + q((t / "names").string()) + " </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "names/caf\u00e9.txt"), "utf8");
    EXPECT_EQ(readFile(t / "names/\u00c4rger.txt"), "oem");
}

// Damaged self-extractors: a clear code, no crash, no output, the input untouched.
TEST(Sfx, DamagedSelfExtractorsAreRefused) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = peerZip(t);
    const std::string original = readFile(zip);
    Front f;
    f.z.SetZipFileName(zip.string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    const std::string good = readFile(t / "x.exe");
    const size_t stubSize = fs::file_size(binDir() / "ZIPSFX.BIN");
    struct Case {
        std::string what;
        std::string bytes;
    };
    std::string longText = good, badSize = good, cut = good, noCentral = good;
    longText[stubSize + 8] = '\xFF'; // caption length past the block
    badSize[stubSize + 6] = '\x02';  // block size that does not reach the zip
    cut.resize(good.size() - 40);    // end record cut off
    const size_t cd = good.rfind(std::string("PK\x01\x02", 4));
    noCentral[cd] = 'X'; // a central signature broken
    for (const Case& c : {Case{"caption length", longText}, Case{"block size", badSize},
                          Case{"truncated", cut}, Case{"central signature", noCentral}}) {
        SCOPED_TRACE(c.what);
        writeFile(t / "h.exe", c.bytes);
        Front g;
        g.z.SFXCaption = "kept";
        g.z.SetZipFileName((t / "h.exe").string());
        const int r = g.z.ConvertZIP();
        if (r == 0) {
            // A block that is not valid is not read: the settings stay, the zip comes out.
            EXPECT_EQ(g.z.SFXCaption, "kept");
            EXPECT_TRUE(readFile(t / "h.zip") == original);
            fs::remove(t / "h.zip");
        } else {
            EXPECT_TRUE(readFile(t / "h.exe") == c.bytes);
            EXPECT_FALSE(fs::exists(t / "h.zip"));
        }
        EXPECT_TRUE(c.what == "caption length" || c.what == "block size" ? r == 0 : r != 0) << r;
    }
}

// The program's options: a password, overwriting as the settings say, the command run
// when the settings say so, and the older "MPU" settings block.
TEST(Sfx, PasswordsOverwritingAndTheCommand) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", sampleText(10000));
    writeBytes(t / "in/b.bin", randomBytes(20000));
    ASSERT_EQ(run("zip -q -X -P pw ../p.zip a.txt b.bin", t / "in").status, 0);
    Front f;
    f.z.SFXOverWriteMode = OvrAlways;
    f.z.SFXCommandLine = "cat a.txt > ran.txt";
    f.z.SFXOptions = {SFXAutoRun, SFXCheckSize};
    f.z.SetZipFileName((t / "p.zip").string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    const std::string exe = q((t / "p.exe").string());
    // Without the password nothing encrypted comes out, and the command does not run.
    auto r = run(exe + " -d " + q((t / "o1").string()) + " </dev/null");
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(t / "o1/a.txt"));
    EXPECT_FALSE(fs::exists(t / "o1/ran.txt"));
    r = run(exe + " -p wrong -d " + q((t / "o1").string()) + " </dev/null");
    EXPECT_NE(r.status, 0) << r.out;
    // With it: everything, existing files overwritten, then the command.
    writeFile(t / "o2/a.txt", "old");
    r = run(exe + " -p pw -d " + q((t / "o2").string()) + " </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "o2/a.txt"), readFile(t / "in/a.txt"));
    EXPECT_EQ(readFile(t / "o2/b.bin"), readFile(t / "in/b.bin"));
    EXPECT_EQ(readFile(t / "o2/ran.txt"), readFile(t / "in/a.txt"));

    // The older block: flags, then three lengths and the three texts; read back by
    // ConvertZIP and by the program.
    ASSERT_EQ(run("zip -q -X ../u.zip a.txt", t / "in").status, 0);
    const std::string stub = readFile(binDir() / "ZIPSFX.BIN");
    writeFile(t / "u.exe", stub + std::string("MPU\x0b\x03\x02\x00", 7) + "CapC:" + readFile(t / "u.zip"));
    ASSERT_EQ(
        run("zip -qA " + q((t / "u.exe").string()) + " && chmod +x " + q((t / "u.exe").string())).status, 0);
    r = run(q((t / "u.exe").string()) + " -d " + q((t / "o3").string()) + " </dev/null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(readFile(t / "o3/a.txt") == readFile(t / "in/a.txt"));
    Front g;
    g.z.SFXMessage = "kept";
    g.z.SetZipFileName((t / "u.exe").string());
    ASSERT_EQ(g.z.ConvertZIP(), 0) << g.ev.all();
    EXPECT_EQ(g.z.SFXCaption, "Cap");
    EXPECT_EQ(g.z.SFXDefaultDir, "C:");
    EXPECT_EQ(g.z.SFXCommandLine, "");
    EXPECT_EQ(g.z.SFXMessage, "kept");
    EXPECT_EQ(g.z.SFXOverWriteMode, OvrAlways);
    EXPECT_EQ(g.z.SFXOptions, (SFXOpts{SFXAskCmdLine, SFXAskFiles, SFXCheckSize}));
}

// On a terminal the program asks: the folder, each file, and whether to run the command.
TEST(Sfx, TheProgramAsksOnATerminal) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "aaa\n");
    writeFile(t / "in/b.txt", "bbb\n");
    ASSERT_EQ(run("zip -q -X ../q.zip a.txt b.txt", t / "in").status, 0);
    Front f;
    f.z.SFXCaption = "The Caption";
    f.z.SFXMessage = "The Message";
    f.z.SFXDefaultDir = "C:\\Nowhere";
    f.z.SFXCommandLine = "echo done > ran.txt";
    f.z.SFXOptions = {SFXAskFiles, SFXAskCmdLine, SFXCheckSize};
    f.z.SetZipFileName((t / "q.zip").string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    // A pseudo-terminal answers each question as it comes.
    auto r = onTerminal(t, t / "q.exe",
                        "[(b'Extract to folder', b'" + (t / "out").string() +
                            "'), (b'Extract a.txt?', b'y'), (b'Extract b.txt?', b'n'),\n"
                            "           (b'Run \"echo done > ran.txt\"?', b'y')]");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "out/a.txt"), "aaa\n");
    EXPECT_FALSE(fs::exists(t / "out/b.txt"));
    EXPECT_EQ(readFile(t / "out/ran.txt"), "done\n");
}

// The program makes its folder with every missing parent, makes links whose target stays
// inside and refuses the others, and gives files their stored mode without set-id bits
// under the umask.
TEST(Sfx, FoldersLinksAndModes) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "a\n");
    writeFile(t / "in/sub/b.txt", "b\n");
    fs::permissions(t / "in/a.txt", static_cast<fs::perms>(04755));
    fs::create_symlink("sub/b.txt", t / "in/good");
    fs::create_symlink("../a.txt", t / "in/sub/up");
    fs::create_symlink("../../etc/passwd", t / "in/bad");
    fs::create_symlink("/etc/passwd", t / "in/abs");
    fs::create_symlink("sub/../../x", t / "in/via");
    ASSERT_EQ(run("zip -qry -X ../l.zip a.txt sub good bad abs via", t / "in").status, 0);
    Front f;
    f.z.SetZipFileName((t / "l.zip").string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    auto r = run("umask 027 && " + q((t / "l.exe").string()) + " -d new/deep/folder", t.path());
    EXPECT_EQ(r.status, 1) << r.out;
    const fs::path out = t / "new/deep/folder";
    EXPECT_EQ(readFile(out / "a.txt"), "a\n");
    EXPECT_EQ(static_cast<unsigned>(fs::status(out / "a.txt").permissions()), 0750u);
    EXPECT_EQ(fs::read_symlink(out / "good"), "sub/b.txt");
    EXPECT_EQ(readFile(out / "good"), "b\n");
    EXPECT_EQ(fs::read_symlink(out / "sub/up"), "../a.txt");
    for (const char* refused : {"bad", "abs", "via"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(out / refused))) << refused;
        EXPECT_NE(r.out.find(std::string(refused) + ": refused the symbolic link"), std::string::npos)
            << r.out;
    }

    // The block's folder on an account that has none of its parents yet.
    ASSERT_EQ(run("zip -q -X ../m.zip a.txt sub/b.txt", t / "in").status, 0);
    Front g;
    g.z.SFXDefaultDir = "C:\\Temp\\MyApp";
    g.z.SetZipFileName((t / "m.zip").string());
    ASSERT_EQ(g.z.ConvertSFX(), 0) << g.ev.all();
    fs::create_directories(t / "fresh");
    r = run("HOME=" + q((t / "fresh").string()) + " " + q((t / "m.exe").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "fresh/Temp/MyApp/sub/b.txt"), "b\n");
}

// On a terminal a password is read without being shown and asked again after a typo; the
// summary counts the files written, not those kept.
TEST(Sfx, PasswordOnATerminalAndTheSummary) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeFile(t / "in/a.txt", "secret a\n");
    writeFile(t / "in/b.txt", "secret b\n");
    fs::create_directories(t / "in/d");
    ASSERT_EQ(run("zip -q -X -P right ../p.zip a.txt b.txt d", t / "in").status, 0);
    writeFile(t / "out/b.txt", "mine");
    Front f;
    f.z.SetZipFileName((t / "p.zip").string());
    ASSERT_EQ(f.z.ConvertSFX(), 0) << f.ev.all();
    auto r = onTerminal(t, t / "p.exe",
                        "[(b'Extract to folder', b'" + (t / "out").string() +
                            "'), (b'Password for a.txt', b'wrnog'),\n"
                            "           (b'Password for a.txt', b'right'), (b'Overwrite b.txt', b'n')]",
                        "b'wrnog' not in full and b'right' not in full and b'Wrong password' in full and "
                        "b'1 file(s) extracted, 1 kept' in full");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(t / "out/a.txt"), "secret a\n");
    EXPECT_EQ(readFile(t / "out/b.txt"), "mine");
}
