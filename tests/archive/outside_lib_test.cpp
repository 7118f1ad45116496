// The outside-library loader: a missing library is silent and leaves failing routines bound;
// a present one binds its own entry points.
#include <gtest/gtest.h>

#include "archive/aeOutsideLib.h"

namespace {

int Failing() {
    return -1;
}
using TFn = int (*)();

TEST(OutsideLibrary, MissingLibraryBindsTheFallbacksQuietly) {
    TOutsideLibrary lib("no-such-library.dll");
    EXPECT_FALSE(lib.Load());
    EXPECT_TRUE(lib.Missing());
    TFn fn = nullptr;
    EXPECT_FALSE(lib.Bind("FDICreate", fn, &Failing));
    ASSERT_EQ(fn, &Failing);
    EXPECT_EQ(fn(), -1);
}

TEST(OutsideLibrary, PresentLibraryBindsItsOwnEntryPointsAndUnloads) {
    // cabinet.dll is built beside the test programs.
    TOutsideLibrary lib("CABINET.DLL");
    ASSERT_TRUE(lib.Load()) << "the cabinet stand-in is built with the tests";
    EXPECT_FALSE(lib.Missing());
    TFn fn = nullptr;
    EXPECT_TRUE(lib.Bind("FDICreate", fn, &Failing));
    EXPECT_NE(fn, &Failing);
    EXPECT_FALSE(lib.Bind("NoSuchEntryPoint", fn, &Failing));
    EXPECT_EQ(fn, &Failing);
    lib.Unload();
    EXPECT_TRUE(lib.Missing());
    EXPECT_EQ(lib.Symbol("FDICreate"), nullptr);
}

// The password loop around a library that decides itself, driven by a scripted library that
// opens the entry only with "right" and answers 255 (another failure) for "broken".
class PasswordLoop : public TUnOutsideLib {
public:
    void CountEntries(THeaderReader&, int64_t, const std::string&) override {}
    void ExtractArchive(int&, TStream*) override {}
    using TUnOutsideLib::RunWithPasswords;
    using TUnOutsideLib::TPasswordRun;
};

constexpr int kOk = 0, kBad = 22, kOther = 255;

TEST(OutsideLibrary, PasswordTriesAroundTheLibrary) {
    struct Case {
        const char* what;
        bool atHandFirst;
        std::string password;             // at hand before the entry
        std::vector<std::string> answers; // OnGetPassword's, in order; "-" declines
        int attempts;
        bool restartFails;
        // expected
        int result;
        bool gaveUp;
        std::vector<std::string> runWith; // the password of each library run
        int asked;
        std::string passwordAfter, firstOfPasswords;
        int restarts;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"right at hand: no question", false, "right", {}, 3, false,
         kOk, false, {"right"}, 0, "right", "", 0},
        {"wrong at hand counts as a try", false, "wrong", {"x", "right"}, 3, false,
         kOk, false, {"wrong", "x", "right"}, 2, "right", "right", 2},
        {"empty answers fail their try unheard", false, "", {"", "", "", "right"}, 3, false,
         kBad, true, {}, 3, "", "", 0},
        {"declined: no more tries", false, "", {"a", "-", "right"}, 3, false,
         kBad, true, {"a"}, 2, "", "", 0},
        {"another failure ends the tries", false, "", {"broken", "right"}, 3, false,
         kOther, false, {"broken"}, 1, "broken", "", 0},
        {"no attempts: run once as it is", false, "wrong", {"right"}, 0, false,
         kBad, false, {"wrong"}, 0, "wrong", "", 0},
        {"at hand first, outside the count", true, "", {"a", "b", "right"}, 3, false,
         kOk, false, {"", "a", "b", "right"}, 3, "right", "right", 3},
        {"at hand first, library refuses at once", true, "broken", {"right"}, 3, false,
         kOther, false, {"broken"}, 0, "broken", "", 0},
        {"a failed restart ends the tries", true, "wrong", {"right"}, 3, true,
         kBad, true, {"wrong"}, 1, "", "", 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PasswordLoop u;
        u.Password = c.password;
        u.PasswordAttempts = c.attempts;
        u.Passwords = {"listed"};
        size_t next = 0;
        int asked = 0, restarts = 0;
        u.OnGetPassword = [&](TZipCommon&, const std::string& fn, std::string& pw, bool& again) {
            EXPECT_EQ(fn, "e.bin");
            ++asked;
            const std::string a = next < c.answers.size() ? c.answers[next++] : "-";
            if (a == "-")
                again = false;
            else
                pw = a;
        };
        std::vector<std::string> runWith;
        PasswordLoop::TPasswordRun p;
        p.Ok = kOk;
        p.BadPassword = kBad;
        p.AtHandFirst = c.atHandFirst;
        p.Run = [&] {
            runWith.push_back(u.Password);
            return u.Password == "right" ? kOk : u.Password == "broken" ? kOther : kBad;
        };
        p.Restart = [&] {
            ++restarts;
            return !c.restartFails;
        };
        bool gaveUp = true;
        EXPECT_EQ(u.RunWithPasswords("e.bin", true, p, gaveUp), c.result);
        EXPECT_EQ(gaveUp, c.gaveUp);
        EXPECT_EQ(runWith, c.runWith);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(u.Password, c.passwordAfter);
        EXPECT_EQ(u.Passwords.front(), c.firstOfPasswords.empty() ? "listed" : c.firstOfPasswords);
        EXPECT_EQ(restarts, c.restarts);
    }
    // An entry that is not encrypted, or no OnGetPassword: one run, nothing asked.
    for (bool encrypted : {false, true}) {
        PasswordLoop u;
        int runs = 0;
        PasswordLoop::TPasswordRun p;
        p.BadPassword = kBad;
        p.Run = [&] { return ++runs, kBad; };
        bool gaveUp = true;
        EXPECT_EQ(u.RunWithPasswords("e.bin", encrypted, p, gaveUp), kBad);
        EXPECT_FALSE(gaveUp);
        EXPECT_EQ(runs, 1);
    }
}

} // namespace
