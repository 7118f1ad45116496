#include "env.h"

#include <cstdlib>
#include <ctime>

namespace pvtest {

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedTz::ScopedTz(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
}

ScopedTz::~ScopedTz() {
    if (old_)
        ::setenv("TZ", old_->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

namespace {

std::string mediaValue(const std::filesystem::path& drive, const std::string& settings) {
    std::filesystem::create_directories(drive);
    return settings.empty() ? drive.string() : drive.string() + "," + settings;
}

} // namespace

ScopedMedia::ScopedMedia(const std::filesystem::path& drive, const std::string& settings)
    : env_("PARVEX_MEDIA", mediaValue(drive, settings)) {}

} // namespace pvtest
