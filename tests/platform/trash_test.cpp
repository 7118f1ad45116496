#include "platform/trash.h"

#include "platform/fileio.h"

#include "support/env.h"
#include "support/testutil.h"

#include <cstdlib>

using pvtest::ScopedEnv;

TEST(Trash, MovesIntoHomeTrashWithInfoAndRenamesOnCollision) {
    pvtest::TempDir dir;
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "data").string());
    pvtest::writeFile(dir / "work/my file.txt", "one");
    ASSERT_TRUE(platform::moveToTrash((dir / "work/my file.txt").string()));
    EXPECT_FALSE(std::filesystem::exists(dir / "work/my file.txt"));
    const auto trash = dir / "data/Trash";
    EXPECT_EQ(pvtest::readFile(trash / "files/my file.txt"), "one");
    const std::string info = pvtest::readFile(trash / "info/my file.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u);
    EXPECT_NE(info.find("/work/my%20file.txt\n"), std::string::npos) << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);

    // A second file of the same name keeps the first one in the trash.
    pvtest::writeFile(dir / "work/my file.txt", "two");
    ASSERT_TRUE(platform::moveToTrash((dir / "work/my file.txt").string()));
    EXPECT_EQ(pvtest::readFile(trash / "files/my file.txt"), "one");
    EXPECT_EQ(pvtest::readFile(trash / "files/my file.txt.2"), "two");

    // Folders go as a whole; a missing file is an error and nothing changes.
    pvtest::writeFile(dir / "work/sub/x", "x");
    EXPECT_TRUE(platform::moveToTrash((dir / "work/sub").string()));
    EXPECT_TRUE(std::filesystem::exists(trash / "files/sub/x"));
    std::string err;
    EXPECT_FALSE(platform::moveToTrash((dir / "work/none").string(), &err));
    EXPECT_FALSE(err.empty());
}
