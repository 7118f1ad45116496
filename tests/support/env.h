// Environment variables pinned for one scope: the emulated removable drives
// (PARVEX_MEDIA), the trash folder (XDG_DATA_HOME), the local time zone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pvtest {

// Sets a variable and puts back its earlier value (or its absence) on destruction, so a
// failing assertion cannot leak the setting into the next test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Pins TZ and makes the C library read it again, both on entry and on leaving.
class ScopedTz {
public:
    explicit ScopedTz(const char* zone);
    ~ScopedTz();
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    std::optional<std::string> old_;
};

// One emulated removable drive for the scope: creates the folder `drive` and declares it in
// PARVEX_MEDIA as "<drive>,<settings>" (settings such as "label=PKBACK# 001,capacity=8192";
// none gives just "<drive>").
class ScopedMedia {
public:
    explicit ScopedMedia(const std::filesystem::path& drive, const std::string& settings = {});

private:
    ScopedEnv env_;
};

} // namespace pvtest
