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

} // namespace
