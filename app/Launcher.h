// How the window hands files to the desktop: open a file with its default application,
// open it with the default application of another type (the text viewer), start a
// program, and ask whether a type has a default application. The program points these
// at the desktop (QDesktopServices, the freedesktop defaults); tests script them.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct TLaunchHooks {
    std::function<bool(const std::string& file)> openFile;
    std::function<bool(const std::string& file, const std::string& mimeType)> openAs;
    std::function<bool(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir)>
        startProgram;
    // Whether the desktop has a default application for the type of this file name.
    std::function<bool(const std::string& fileName)> hasDefaultApp;
};

// The hooks in force; unset members use the desktop.
TLaunchHooks& launchHooks();

bool LaunchOpenFile(const std::string& file);
bool LaunchOpenAs(const std::string& file, const std::string& mimeType);
bool LaunchProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir);
bool LaunchHasDefaultApp(const std::string& fileName);

// Replaces the hooks for a scope (tests) and restores them afterwards.
class ScopedLaunchHooks {
public:
    explicit ScopedLaunchHooks(TLaunchHooks hooks) : saved_(launchHooks()) {
        launchHooks() = std::move(hooks);
    }
    ~ScopedLaunchHooks() { launchHooks() = saved_; }
    ScopedLaunchHooks(const ScopedLaunchHooks&) = delete;
    ScopedLaunchHooks& operator=(const ScopedLaunchHooks&) = delete;

private:
    TLaunchHooks saved_;
};
