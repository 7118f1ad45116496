// The same leak suppressions that ctest passes (tests/lsan.supp), built in, so that
// test_app run by hand under the sanitizers does not fail on Qt's and fontconfig's own
// allocations that live until exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libdbus\n";
}
