// The mail program road: exactly four arguments reach xdg-email, and its status comes back.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/desktop/MyMapi.h"
#include "apptest.h"

using namespace pvtest;

TEST(MyMapi, XdgEmailGetsFourArgumentsAndItsStatusComesBack) {
    apptest::IsolatedHome home;
    const std::string bin = home.home + "/bin";
    writeFile(bin + "/xdg-email",
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > \"$HOME/args\"\n"
              "exit ${FAKE_STATUS:-0}\n");
    std::filesystem::permissions(bin + "/xdg-email", std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

    const std::string file = home.home + "/my \"odd\" $dir/a b.zip";
    EXPECT_EQ(MapiSendMail("a b.zip", file), 0);
    EXPECT_EQ(readFile(home.home + "/args"), "--subject\n--\na b.zip\n--\n--attach\n--\n" + file + "\n--\n");
    setenv("FAKE_STATUS", "4", 1);
    EXPECT_EQ(MapiSendMail("x", file), 4);
    unsetenv("FAKE_STATUS");
    setenv("PATH", (home.home + "/nowhere").c_str(), 1);
    EXPECT_EQ(MapiSendMail("x", file), 127);
    setenv("PATH", oldPath.c_str(), 1);
}
