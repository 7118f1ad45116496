// Shortcuts as desktop entries: special folders, one folder, hostile names read back intact.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/desktop/DesktopEntry.h"
#include "app/core/IniFile.h"
#include "app/desktop/Links.h"
#include "apptest.h"

using namespace pvtest;

TEST(Links, SpecialFoldersAndOneFolder) {
    apptest::IsolatedHome home;
    std::string p = "unchanged";
    EXPECT_FALSE(GetSpecialFolderPath(5, p));
    EXPECT_EQ(p, "unchanged");
    ASSERT_TRUE(GetSpecialFolderPath(CSIDL_PROGRAMS, p));
    EXPECT_EQ(p, home.data + "/applications/");
    ASSERT_TRUE(GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, p));
    EXPECT_EQ(p, home.home + "/Desktop/");
    writeFile(home.config + "/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    ASSERT_TRUE(GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, p));
    EXPECT_EQ(p, home.home + "/Schreibtisch/");

    EXPECT_TRUE(CreateFolder(home.home + "/g"));
    EXPECT_TRUE(CreateFolder(home.home + "/g/"));   // already there
    EXPECT_FALSE(CreateFolder(home.home + "/x/y")); // no parents
    writeFile(home.home + "/file", "x");
    EXPECT_FALSE(CreateFolder(home.home + "/file"));
}

TEST(Links, ShortcutNamesReadBackIntact) {
    apptest::IsolatedHome home;
    const std::string targets[] = {
        home.home + "/plain/setup.exe",
        home.home + "/odd dir/a \"q\" $HOME \\x 100% `id`;b.txt",
    };
    for (const auto& target : targets) {
        std::string link = home.data + "/applications/setup.lnk";
        std::filesystem::create_directories(home.data + "/applications");
        ASSERT_TRUE(CreateShortcut(target, link, "setup $x \"y\""));
        const std::string file = home.data + "/applications/setup.desktop";
        ASSERT_TRUE(std::filesystem::exists(file));
        EXPECT_FALSE(std::filesystem::exists(link));
        TIniFile f(file);
        EXPECT_EQ(f.ReadString("Desktop Entry", "Type", ""), "Application");
        auto words = ParseDesktopExec(f.ReadString("Desktop Entry", "Exec", ""));
        ASSERT_TRUE(words.has_value());
        EXPECT_EQ(*words, (std::vector<std::string>{"xdg-open", target}));
        if (havePeer("desktop-file-validate")) {
            auto r = run("desktop-file-validate " + q(file));
            EXPECT_EQ(r.status, 0) << r.out;
        }
    }
    EXPECT_FALSE(
        CreateShortcut(home.home + "/a\nExec=rm -rf ~", home.data + "/applications/evil.desktop", "evil"));
    EXPECT_FALSE(std::filesystem::exists(home.data + "/applications/evil.desktop"));
}

TEST(Links, ExecLinesThatBreakTheRulesAreRefused) {
    for (const char* bad : {"a \"open", "a $b", "a \"\\q\"", "a;b"})
        EXPECT_FALSE(ParseDesktopExec(bad).has_value()) << bad;
    auto w = ParseDesktopExec("prog --x=1 %f \"a b\" 50%%");
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(*w, (std::vector<std::string>{"prog", "--x=1", "%f", "a b", "50%"}));
}

TEST(Links, MatchWildcardIsTheWholeNameMaskRule) {
    EXPECT_TRUE(MatchWildcard("SETUP.EXE", "setup.*"));
    EXPECT_TRUE(MatchWildcard("", "*"));
    EXPECT_FALSE(MatchWildcard("ac", "a?c"));
    EXPECT_TRUE(MatchWildcard("xaab", "*?ab"));
    EXPECT_TRUE(MatchWildcard("README", "*.*"));
}
