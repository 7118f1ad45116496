// The window meets the desktop: the shortcut on the desktop (read back, validated, a
// foreign file of that name replaced only on Yes), the association question at start, and
// the update check against a local server (version table, saved and opened notes, bad
// answers, failures said only when asked for).
#include <QApplication>
#include <sys/stat.h>

#include "app/core/IniFile.h"
#include "app/desktop/Links.h"
#include "app/window/MainUnit.h"
#include "app/desktop/UpdateCheck.h"
#include "app/desktop/ftReg.h"
#include "app/desktop/pvHttp.h"
#include "apptest.h"
#include "httpserver.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TMainForm> makeForm(const IsolatedHome& home, std::vector<std::string> params = {}) {
    fs::create_directories(home.dir / "bin");
    return std::make_unique<TMainForm>(std::make_unique<FakeZip>(), std::make_unique<FakeLister>(),
                                       (home.dir / "bin" / "parvex").string(), std::move(params));
}

std::vector<std::string> texts(const ScriptedBoxes& boxes) {
    std::vector<std::string> out;
    for (const auto& b : boxes.shown) out.push_back(b.caption + ": " + b.text);
    return out;
}

// A machine with a network: one interface other than the loopback is up.
void goOnline() {
    NetInterfaceSource() = [] {
        TNetInterface lo{"lo", true, true, true}, eth{"eth0", true, false, true};
        return std::vector<TNetInterface>{lo, eth};
    };
}

// Lets the window's request run to its end (the answer arrives through the event loop).
void waitForAnswer(TMainForm& form) {
    for (int i = 0; i < 800 && form.HttpClient()->Busy(); ++i) {
        app().processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    app().processEvents();
    ASSERT_FALSE(form.HttpClient()->Busy());
}

const char* const kLatest = "Information: You're running the latest version o Parvex, so no upate is needed.";
const char* const kNewer =
    "Question: New version of Parvex 2000 availibe. Do you want togo to the Parvex homepage and download it?";

} // namespace

TEST(MainShell, ShortcutOnTheDesktopPointsAtTheArchive) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    auto form = makeForm(home);
    const std::string archive = home.home + "/odd dir/My Pack #1 100%.zip";
    pvtest::writeFile(archive, "PK");
    form->FArchiveFile = archive;
    form->FArchiveName = "My Pack #1 100%.zip";
    const std::string link = home.home + "/Desktop/My Pack #1 100%.desktop";
    EXPECT_EQ(DesktopLinkPath(form->FArchiveName), link);

    form->mmiShortcutClick(); // the desktop folder does not exist yet
    ASSERT_EQ(texts(boxes),
              std::vector<std::string>{
                  "Information: A shortcut has been created on the Desktop pointing to this archive."});
    TIniFile f(link);
    EXPECT_EQ(f.ReadString("Desktop Entry", "Type", ""), "Link");
    EXPECT_EQ(f.ReadString("Desktop Entry", "Name", ""), "My Pack #1 100%.zip");
    EXPECT_EQ(f.ReadString("Desktop Entry", "URL", ""),
              "file://" + home.home + "/odd%20dir/My%20Pack%20%231%20100%25.zip");
    struct stat st {};
    ASSERT_EQ(stat(link.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    if (pvtest::havePeer("desktop-file-validate")) {
        auto r = pvtest::run("desktop-file-validate " + pvtest::q(link));
        EXPECT_EQ(r.status, 0) << r.out;
    }
    // The desktop reads the URL back as the archive's path.
    if (pvtest::havePeer("gio")) {
        auto r =
            pvtest::run("gio info -a standard::name " + pvtest::q(f.ReadString("Desktop Entry", "URL", "")));
        EXPECT_EQ(r.status, 0) << r.out;
    }

    // Our own shortcut is written again without a question.
    boxes.shown.clear();
    form->mmiShortcutClick();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Information");

    // A file of that name that is not our shortcut to this archive: asked, No keeps it.
    pvtest::writeFile(link, "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
    boxes.shown.clear();
    boxes.answers = {platform::ModalResult::No};
    form->mmiShortcutClick();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Question");
    EXPECT_EQ(boxes.shown[0].buttons, platform::mbYes | platform::mbNo);
    EXPECT_EQ(pvtest::readFile(link), "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n");
    boxes.shown.clear();
    boxes.answers = {platform::ModalResult::Yes};
    form->mmiShortcutClick();
    EXPECT_EQ(texts(boxes).back(),
              "Information: A shortcut has been created on the Desktop pointing to this archive.");
    EXPECT_TRUE(IsLinkTo(link, archive));

    // The desktop of user-dirs.dirs; a name that cannot be written gives an error, no success.
    pvtest::writeFile(home.config + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    fs::create_directories(home.home + "/Schreibtisch/My Pack #1 100%.desktop"); // a folder
    boxes.shown.clear();
    boxes.answers = {platform::ModalResult::Yes};
    form->mmiShortcutClick();
    EXPECT_EQ(texts(boxes).back(), "Error: The shortcut could not be created on the Desktop.");
    EXPECT_TRUE(fs::is_directory(home.home + "/Schreibtisch/My Pack #1 100%.desktop"));
}

TEST(MainShell, AssociationQuestionAtStartUnlessZipIsOurs) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    if (ftreg::MimeTypeForExtension(".zip").empty())
        GTEST_SKIP() << "the shared MIME database has no .zip type";
    ftreg::SetProgramFile(home.home + "/parvex");
    struct Case {
        const char* flag; // [ZipAsso] ZipAsso
        bool zipOurs;
        bool asked;
    } cases[] = {{"0", false, true}, {"1", false, true}, {"0", true, true}, {"1", true, false}};
    for (const Case& c : cases) {
        fs::remove(ftreg::DesktopEntryPath());
        fs::remove(ftreg::MimeAppsListPath());
        if (c.zipOurs) ftreg::AssociateExtensions(".zip");
        TIniFile(home.settingsFile()).WriteString("ZipAsso", "ZipAsso", c.flag);
        int asked = 0;
        DialogSeams().Association = [&asked](TDialogHost& owner) {
            ++asked;
            // The program's entry is registered before the question comes.
            EXPECT_TRUE(fs::exists(ftreg::DesktopEntryPath()));
            EXPECT_EQ(owner.Window()->windowTitle(), "Parvex 2000");
        };
        auto form = makeForm(home);
        form->show();
        app().processEvents();
        EXPECT_EQ(asked, c.asked ? 1 : 0) << c.flag << " " << c.zipOurs;
        TIniFile entry(ftreg::DesktopEntryPath());
        EXPECT_EQ(entry.ReadString("Desktop Entry", "Name", ""), "Parvex 2000");
        EXPECT_EQ(ftreg::IsAssociated(".zip"), c.zipOurs); // nothing associated by the check itself
    }
    ftreg::SetProgramFile("");
}

TEST(MainShell, UpdateTextIsANumberOrAnError) {
    struct Case {
        std::string body;
        bool ok;
        int version;
        std::string notes;
    } cases[] = {
        {"161", true, 161, ""},
        {" 160 \r\nfixed a\r\n\r\nfixed b\r\n", true, 160, "fixed a\n\nfixed b\n"},
        {"\xEF\xBB\xBF"
         "170\nnotes",
         true, 170, "notes\n"},
        {"999999999\n", true, 999999999, ""},
        {"", false, 0, ""},
        {"abc\n", false, 0, ""},
        {"16 1\n", false, 0, ""},
        {"-161\n", false, 0, ""},
        {"+161\n", false, 0, ""},
        {"1610000000\n", false, 0, ""},                      // more than nine digits
        {std::string("161\nnot\0text\n", 13), false, 0, ""}, // binary
        {"<html><body>404</body></html>", false, 0, ""},
    };
    for (const Case& c : cases) {
        auto r = updatecheck::ParseUpdateText(c.body);
        EXPECT_EQ(r.ok, c.ok) << c.body;
        if (!c.ok) continue;
        EXPECT_EQ(r.version, c.version) << c.body;
        EXPECT_EQ(r.notes, c.notes) << c.body;
    }
}

TEST(MainShell, UpdateCheckAgainstALocalServer) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    pvtest::HttpServer srv;
    ASSERT_GT(srv.port, 0) << "the HTTP server did not start";
    std::vector<std::string> opened, urls;
    launchHooks().openFile = [&opened](const std::string& f) {
        opened.push_back(f);
        return true;
    };
    launchHooks().openUrl = [&urls](const std::string& u) {
        urls.push_back(u);
        return true;
    };
    {
        TIniFile ini(home.settingsFile());
        ini.WriteString("Links", "Update", srv.url("update.txt"));
        ini.WriteString("Links", "Homepage1", "https://home.example/");
    }
    auto form = makeForm(home);
    form->show();
    app().processEvents();
    const std::string notes161 = home.config + "/parvex/161.txt";

    // Offline: said at once, nothing asked of the server.
    form->mmiCheckUpdateClick();
    EXPECT_EQ(
        texts(boxes),
        std::vector<std::string>{
            "Error: You are currently not connected with the Internet.\n\rPlease connect and then retry."});
    EXPECT_FALSE(form->HttpClient()->Busy());
    goOnline();

    pvtest::writeFile(srv.root / "update.txt", "160\r\nnothing new\r\n");
    boxes.shown.clear();
    form->mmiCheckUpdateClick();
    waitForAnswer(*form);
    EXPECT_EQ(texts(boxes), std::vector<std::string>{kLatest});
    EXPECT_FALSE(fs::exists(home.config + "/parvex/160.txt"));

    // Newer: the question; No still keeps and shows the notes, Yes opens the homepage too.
    for (auto answer : {platform::ModalResult::No, platform::ModalResult::Yes}) {
        pvtest::writeFile(srv.root / "update.txt", "161\r\n- faster inflate\r\n- new icons\r\n");
        fs::remove(notes161);
        opened.clear();
        urls.clear();
        boxes.shown.clear();
        boxes.answers = {answer};
        form->mmiCheckUpdateClick();
        waitForAnswer(*form);
        EXPECT_EQ(texts(boxes), std::vector<std::string>{kNewer});
        EXPECT_EQ(boxes.shown[0].buttons, platform::mbYes | platform::mbNo);
        EXPECT_EQ(pvtest::readFile(notes161), "- faster inflate\n- new icons\n");
        EXPECT_EQ(opened, std::vector<std::string>{notes161});
        EXPECT_EQ(urls, answer == platform::ModalResult::Yes
                            ? std::vector<std::string>{"https://home.example/"}
                            : std::vector<std::string>{});
    }

    // Answers that are no version: an error, no file written, nothing opened.
    fs::remove(notes161);
    opened.clear();
    const auto noise = pvtest::randomBytes(3000, 7);
    for (const std::string& bad : {std::string("version one\n"), std::string("99999999999999999999\n"),
                                   std::string(noise.begin(), noise.end())}) {
        pvtest::writeFile(srv.root / "update.txt", bad);
        boxes.shown.clear();
        form->mmiCheckUpdateClick();
        waitForAnswer(*form);
        EXPECT_EQ(texts(boxes), std::vector<std::string>{"Error: The update information is not valid."});
    }
    EXPECT_EQ(fs::directory_iterator(home.config + "/parvex") == fs::directory_iterator(), false);
    for (auto& e : fs::directory_iterator(home.config + "/parvex"))
        EXPECT_NE(e.path().extension(), ".txt") << e.path();
    EXPECT_TRUE(opened.empty());

    // A failed check asked for says so.
    fs::remove(srv.root / "update.txt");
    boxes.shown.clear();
    form->mmiCheckUpdateClick();
    waitForAnswer(*form);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].text.rfind("The update information could not be fetched.\n", 0), 0u)
        << boxes.shown[0].text;
}

TEST(MainShell, CheckAtStartRunsWithParametersAndStaysQuietOnFailure) {
    IsolatedHome home;
    ScriptedBoxes boxes;
    pvtest::HttpServer srv;
    ASSERT_GT(srv.port, 0) << "the HTTP server did not start";
    goOnline();
    TIniFile(home.settingsFile()).WriteString("Links", "Update", srv.url("update.txt"));
    struct Case {
        std::vector<std::string> params;
        const char* served; // nullptr: no file (404)
        bool checkNewVersion;
        std::vector<std::string> boxes;
    } cases[] = {
        {{"/pvsem"}, "161\n", true, {kNewer}},
        {{"/pvsem"}, "160\n", true, {kLatest}},
        {{"/pvsem"}, nullptr, true, {}},  // a failure at start is not reported
        {{"/pvsem"}, "161\n", false, {}}, // turned off in the options
        {{}, "161\n", true, {}},          // no parameters, no check
    };
    for (const Case& c : cases) {
        fs::remove(srv.root / "update.txt");
        if (c.served) pvtest::writeFile(srv.root / "update.txt", c.served);
        TIniFile(home.settingsFile()).WriteString("Update", "CheckNewVersion", c.checkNewVersion ? "1" : "0");
        boxes.shown.clear();
        auto form = makeForm(home, c.params);
        form->show();
        app().processEvents();
        waitForAnswer(*form);
        EXPECT_EQ(texts(boxes), c.boxes) << (c.served ? c.served : "404");
    }
}
