// Deleting chosen files, and the online rule.
#include <gtest/gtest.h>

#include "app/desktop/FileUtil.h"
#include "app/desktop/Ras.h"
#include "apptest.h"
#include "platform/trash.h"

using namespace pvtest;

TEST(FileUtil, NamesWithSemicolonsGoToTheTrashAlone) {
    apptest::IsolatedHome home;
    apptest::ScriptedBoxes boxes;
    const std::string dir = home.home + "/w";
    for (const char* n : {"a", "b.zip", "a;b.zip"}) writeFile(dir + "/" + n, n);
    std::filesystem::create_directories(dir + "/sub");

    boxes.answers = {platform::ModalResult::No};
    EXPECT_FALSE(ShellDeleteFiles({dir + "/a;b.zip"}, true, true)); // the question said no
    EXPECT_TRUE(std::filesystem::exists(dir + "/a;b.zip"));
    ASSERT_EQ(boxes.shown.size(), 1u);

    boxes.answers = {platform::ModalResult::Yes};
    EXPECT_TRUE(ShellDeleteFiles({dir + "/a;b.zip"}, true, true));
    EXPECT_FALSE(std::filesystem::exists(dir + "/a;b.zip"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/a"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/b.zip"));
    EXPECT_TRUE(std::filesystem::exists(platform::homeTrashDir() + "/files/a;b.zip"));
    EXPECT_TRUE(std::filesystem::exists(platform::homeTrashDir() + "/info/a;b.zip.trashinfo"));

    // Files only: a folder stays and the answer says not everything went.
    EXPECT_FALSE(ShellDeleteFiles({dir + "/sub", dir + "/a"}, false, false));
    EXPECT_TRUE(std::filesystem::exists(dir + "/sub"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/a"));
    EXPECT_FALSE(ShellDeleteFiles({dir + "/missing"}, false, false));
}

TEST(Ras, OnlineOnlyWithANonLoopbackInterfaceUpWithAnAddress) {
    struct Case {
        std::vector<TNetInterface> list;
        bool want;
    } cases[] = {
        {{}, false},
        {{{"lo", true, true, true}}, false},
        {{{"lo", true, true, true}, {"eth0", false, false, true}}, false},
        {{{"eth0", true, false, false}}, false},
        {{{"lo", true, true, true}, {"eth0", true, false, true}}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsOnlineFrom(c.list), c.want);
    ListNetInterfaces(); // runs on the real system without failing
}
