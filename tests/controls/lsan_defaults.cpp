// The leak suppressions that ctest passes, built in, for runs by hand under the sanitizers.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libdbus\n";
}
