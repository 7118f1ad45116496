// The command line: the batch forms read without an archive, the context menu's list file,
// and the program itself run as a process on archives the peer tools make.
#include <algorithm>
#include <sstream>

#include "app/core/CommandLine.h"
#include "app/core/MainCore.h"
#include "coretest.h"

using namespace apptest;
namespace fs = std::filesystem;
using pvtest::q;
using pvtest::run;

namespace {

TEST(BatchCommand, ReadsTheTwoFormsAndRefusesWhatCannotRun) {
    struct Case {
        std::vector<std::string> params;
        bool ok;
        char verb;
        std::string group, archive, folder, listFile;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {{"-e", "a.zip"}, true, 'e', "", "/w/a.zip", "", "", {}},
        {{"-e", "-RO", "a.zip", "out"}, true, 'e', "ro", "/w/a.zip", "/w/out", "", {}},
        {{"-E", "/x/y.zip", "../z/"}, true, 'e', "", "/x/y.zip", "/z", "", {}},
        // A '-' inside the archive's name does not make it a switch group.
        {{"-e", "my-pack.zip", "out"}, true, 'e', "", "/w/my-pack.zip", "/w/out", "", {}},
        {{"-a", "-rp", "c.zip", "a.txt", "sub/b.txt"},
         true,
         'a',
         "rp",
         "/w/c.zip",
         "",
         "",
         {"/w/a.txt", "/w/sub/b.txt"}},
        {{"-a", "c.zip", "a.txt", "b.txt"}, true, 'a', "", "/w/c.zip", "", "", {"/w/a.txt", "/w/b.txt"}},
        {{"-a", "-sr", "c.zip", "list.txt"}, true, 'a', "sr", "/w/c.zip", "", "/w/list.txt", {}},
        {{"-x", "a.zip"}, false, 0, "", "", "", "", {}},
        {{"-extract", "a.zip"}, false, 0, "", "", "", "", {}},
        {{"-e"}, false, 0, "", "", "", "", {}},
        {{"-e", "-r"}, false, 0, "", "", "", "", {}},
        {{"-e", "-rq", "a.zip"}, false, 0, "", "", "", "", {}}, // no such letter for extracting
        {{"-a", "-o", "c.zip", "a.txt"}, false, 0, "", "", "", "", {}},
        {{"-e", "a.zip", "out", "more"}, false, 0, "", "", "", "", {}},
        {{"-a", "c.zip"}, false, 0, "", "", "", "", {}},
        {{"-a", "-s", "c.zip"}, false, 0, "", "", "", "", {}},
        {{"-a", "-s", "c.zip", "l1", "l2"}, false, 0, "", "", "", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.params));
        TBatchCommand cmd;
        std::string error;
        ASSERT_EQ(ParseBatchCommand(c.params, "/w", cmd, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(cmd.verb, c.verb);
        EXPECT_EQ(cmd.group, c.group);
        EXPECT_EQ(cmd.archive, c.archive);
        EXPECT_EQ(cmd.folder, c.folder);
        EXPECT_EQ(cmd.listFile, c.listFile);
        EXPECT_EQ(cmd.files, c.files);
    }
}

TEST(BatchCommand, SwitchWordsAndTheFolderBeforeTheFirstDot) {
    EXPECT_EQ(ShellSwitch("/PVSEF"), "/pvsef");
    EXPECT_EQ(ShellSwitch("/pvsac"), "/pvsac");
    EXPECT_EQ(ShellSwitch("/pvsex"), "");
    EXPECT_EQ(ShellSwitch("/pvsef/"), "");
    EXPECT_EQ(FolderBeforeFirstDot("/dl/dir.v2/pack.old.zip"), "/dl/dir.v2/pack");
    EXPECT_EQ(FolderBeforeFirstDot("/dl/pack.zip"), "/dl/pack");
    EXPECT_EQ(FolderBeforeFirstDot("/dl/.hidden.zip"), ""); // no name would be left
    EXPECT_EQ(FolderBeforeFirstDot("/dl/pack"), "");        // the archive itself is in the way
}

TEST(BatchCommand, MessagesGoToStandardErrorAndQuestionsNeverWait) {
    std::ostringstream err;
    platform::ScopedUiHooks hooks(BatchUiHooks(err));
    using platform::ModalResult;
    EXPECT_EQ(platform::messageBox("Error", "Error opening file !", platform::MsgType::Error, platform::mbOK),
              ModalResult::Ok);
    EXPECT_EQ(platform::messageBox("Confirm", "Overwrite ?", platform::MsgType::Confirmation,
                                   platform::mbYes | platform::mbNo | platform::mbCancel),
              ModalResult::No);
    std::string pw;
    EXPECT_FALSE(platform::askPassword({"Password", "Enter password", "OK", "Cancel"}, pw));
    EXPECT_EQ(err.str(), "Error: Error opening file !\nConfirm: Overwrite ?\n"
                         "Password: Enter password (no password in a batch run)\n");
}

TEST(ShellList, ReadsExistingNamesAndRefusesADamagedFile) {
    pvtest::TempDir dir;
    const std::string a = (dir / "a.txt").string(), b = (dir / "b b.txt").string();
    pvtest::writeFile(a, "1");
    pvtest::writeFile(b, "2");
    const std::string gone = (dir / "gone.txt").string();
    struct Case {
        std::string text;
        bool ok;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"2\r\n" + a + "\r\n" + b + "\r\n", true, {a, b}},
        {"2\n" + a + "\n" + b, true, {a, b}},              // LF only, no last line end
        {"2\r\n" + a + "\r\n" + gone + "\r\n", true, {a}}, // a missing file is left out
        {"1\r\n" + gone + "\r\n", false, {}},              // nothing left
        {"1\r\nrelative.txt\r\n", false, {}},              // only full paths count
        {"3\r\n" + a + "\r\n" + b + "\r\n", false, {}},    // fewer lines than the count
        {"1\r\n" + a + "\r\n" + b + "\r\n", false, {}},    // more lines than the count
        {"x\r\n" + a + "\r\n", false, {}},
        {"-1\r\n" + a + "\r\n", false, {}},
        {"0\r\n", false, {}},
        {"99999999999999999999\r\n" + a + "\r\n", false, {}},
        {"", false, {}},
        {std::string("1\r\n\0\xff\xfe", 6), false, {}},
    };
    const std::string list = (dir / "shextdat.par").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        pvtest::writeFile(list, c.text);
        std::vector<std::string> names;
        std::string error;
        EXPECT_EQ(ReadShellList(list, names, error), c.ok) << error;
        EXPECT_EQ(names, c.names);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
        }
    }
    std::vector<std::string> names;
    std::string error;
    EXPECT_FALSE(ReadShellList((dir / "none.par").string(), names, error));
    EXPECT_TRUE(fs::exists(a) && fs::exists(b));
}

// The program as a process, with its own HOME and XDG folders and no display.
struct ProgramRun : ::testing::Test {
    pvtest::TempDir dir;
    fs::path work;
    std::string env;

    void SetUp() override {
        work = dir / "work";
        for (const char* d : {"home", "config", "data", "tmp", "work"}) fs::create_directories(dir / d);
        env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=" + q((dir / "home").string()) +
              " XDG_CONFIG_HOME=" + q((dir / "config").string()) +
              " XDG_DATA_HOME=" + q((dir / "data").string()) + " TMPDIR=" + q((dir / "tmp").string()) + " ";
    }
    pvtest::RunResult parvex(const std::string& args) {
        return run(env + q((pvtest::binDir() / "parvex").string()) + " " + args + " 2>&1", work);
    }
    // A source tree: a small file, a file of a few megabytes, and one in a sub-folder.
    void makeSource(const fs::path& at) {
        pvtest::writeFile(at / "a.txt", "hello\n");
        pvtest::writeBytes(at / "dir" / "big.bin", pvtest::randomBytes(3 * 1024 * 1024 + 17, 5));
        pvtest::writeFile(at / "dir" / "deep" / "c.txt", pvtest::sampleText(70000, 3));
    }
    void expectSameTree(const fs::path& want, const fs::path& got) {
        for (const char* f : {"a.txt", "dir/big.bin", "dir/deep/c.txt"})
            EXPECT_EQ(pvtest::readBytes(want / f), pvtest::readBytes(got / f)) << f;
    }
};

TEST_F(ProgramRun, ExtractsAZipMadeByThePeerByteExact) {
    PV_REQUIRE_PEER("zip");
    makeSource(work / "src");
    ASSERT_EQ(run("zip -qr ../a.zip a.txt dir", work / "src").status, 0);

    auto r = parvex("-e -ro a.zip out");
    EXPECT_EQ(r.status, 0) << r.out;
    expectSameTree(work / "src", work / "out");

    // Without "o" an existing file is kept, without a question.
    pvtest::writeFile(work / "out" / "a.txt", "mine");
    r = parvex("-e -r a.zip out");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(pvtest::readFile(work / "out" / "a.txt"), "mine");

    // Only an archive: into its own folder, without folder names; a '-' inside its name.
    fs::copy_file(work / "a.zip", work / "my-pack.zip");
    fs::create_directories(work / "flat");
    fs::rename(work / "my-pack.zip", work / "flat" / "my-pack.zip");
    r = parvex("-e " + q((work / "flat" / "my-pack.zip").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(pvtest::readFile(work / "flat" / "a.txt"), "hello\n");
    EXPECT_EQ(pvtest::readFile(work / "flat" / "c.txt"), pvtest::readFile(work / "src/dir/deep/c.txt"));
    EXPECT_FALSE(fs::exists(work / "flat" / "dir"));
}

TEST_F(ProgramRun, FailuresAndBadCommandLinesSayItInTheExitStatus) {
    auto r = parvex("-e missing.zip out");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(fs::exists(work / "out"));

    pvtest::writeFile(work / "junk.zip", std::string(3000, 'x'));
    r = parvex("-e junk.zip out");
    EXPECT_EQ(r.status, 1) << r.out;

    r = parvex("-a -s new.zip nolist.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Error: Error opening file !"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(work / "new.zip"));

    r = parvex("-a new.zip notthere.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(fs::exists(work / "new.zip"));

    for (const char* bad : {"-x a.zip", "-e", "-e -rz a.zip", "-a new.zip"}) {
        r = parvex(bad);
        EXPECT_EQ(r.status, 2) << bad << "\n" << r.out;
        EXPECT_NE(r.out.find("Usage: parvex -e"), std::string::npos) << r.out;
    }
}

// A run without a window asks nothing and says each problem once, on standard error.
TEST_F(ProgramRun, EveryFailureSaysWhyOnceWithoutQuestions) {
    PV_REQUIRE_PEER("zip");
    pvtest::writeFile(work / "a.txt", "hello\n");
    auto r = parvex("-a nodir/sub/x.zip a.txt");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("nodir/sub"), std::string::npos) << r.out;

    r = parvex("/pvsef");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("No archive given"), std::string::npos) << r.out;

    // An entry that would leave the folder: refused, and said.
    auto p = run("/usr/bin/python3 -c " + q("import zipfile\n"
                                            "with zipfile.ZipFile('evil.zip', 'w') as z:\n"
                                            "    z.writestr('../x', 'out')\n"
                                            "    z.writestr('ok.txt', 'in')\n"),
                 work);
    ASSERT_EQ(p.status, 0) << p.out;
    r = parvex("-e evil.zip out");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("../x"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(work / "x"));

    // Many encrypted entries: one line about the password, not one per entry.
    fs::create_directories(work / "enc");
    std::string names;
    for (int i = 0; i < 40; ++i) {
        pvtest::writeFile(work / "enc" / ("f" + std::to_string(i) + ".txt"), "x");
        names += " f" + std::to_string(i) + ".txt";
    }
    ASSERT_EQ(run("zip -q -P pw ../enc.zip" + names, work / "enc").status, 0);
    r = parvex("-e enc.zip encout");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("Password needed"), std::string::npos) << r.out;

    // A damaged zip: said, not asked about.
    std::string bytes = pvtest::readFile(work / "enc.zip");
    bytes.replace(bytes.size() - 22, 4, "XXXX");
    pvtest::writeFile(work / "bad.zip", bytes);
    r = parvex("-e bad.zip badout");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("This archive is invalid."), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("?"), std::string::npos) << r.out;
}

TEST_F(ProgramRun, AddsFilesAndAFolderThatThePeerTests) {
    PV_REQUIRE_PEER("unzip");
    makeSource(work);
    auto r = parvex("-a -rp new.zip a.txt dir");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("unzip -tq new.zip", work).status, 0);
    auto listed = run("unzip -Z1 new.zip", work).out;
    for (const char* name : {"a.txt\n", "dir/big.bin\n", "dir/deep/c.txt\n"})
        EXPECT_NE(listed.find(name), std::string::npos) << listed;
    ASSERT_EQ(run("unzip -qo new.zip -d back", work).status, 0);
    expectSameTree(work, work / "back");

    // The names from a list file, relative ones taken from the current folder.
    pvtest::writeFile(work / "list.txt", "a.txt\r\n" + (work / "dir" / "deep" / "c.txt").string() + "\n");
    r = parvex("-a -s listed.zip list.txt");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(run("unzip -tq listed.zip", work).status, 0);
}

TEST_F(ProgramRun, ShellSwitchesExtractBesideTheArchiveAndZipTheListedFiles) {
    PV_REQUIRE_PEER("zip");
    makeSource(work / "src");
    fs::create_directories(work / "dir.v2");
    ASSERT_EQ(run("zip -qr ../dir.v2/pack.old.zip a.txt dir", work / "src").status, 0);

    auto r = parvex("/pvsef dir.v2/pack.old.zip");
    EXPECT_EQ(r.status, 0) << r.out;
    expectSameTree(work / "src", work / "dir.v2" / "pack");

    // A folder that cannot be made (a file is in the way): the message, status 1.
    pvtest::writeFile(work / "dir.v2" / "other", "a file");
    fs::copy_file(work / "dir.v2" / "pack.old.zip", work / "dir.v2" / "other.zip");
    r = parvex("/PVSEF dir.v2/other.zip");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(pvtest::readFile(work / "dir.v2" / "other"), "a file");

    // "/pvsaz" with the list file: a zip named after the first file; the list is used up.
    const fs::path list = dir / "config" / "parvex" / "shextdat.par";
    pvtest::writeFile(list, "2\r\n" + (work / "src" / "a.txt").string() + "\r\n" +
                                (work / "src" / "dir").string() + "\r\n");
    r = parvex("/pvsaz shextdat.par");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(fs::exists(list));
    PV_REQUIRE_PEER("unzip");
    EXPECT_EQ(run("unzip -tq a.zip", work / "src").status, 0) << run("ls", work / "src").out;

    // A damaged list: an error, nothing made and nothing of the user's deleted.
    pvtest::writeFile(list, "5\r\n" + (work / "src" / "a.txt").string() + "\r\n");
    fs::remove(work / "src" / "a.zip");
    r = parvex("/pvsaz shextdat.par");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(fs::exists(work / "src" / "a.zip"));
    EXPECT_TRUE(fs::exists(work / "src" / "a.txt"));
}

} // namespace
