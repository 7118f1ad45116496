// How the window hands files to the desktop: open a file with its default application,
// open it with the default application of another type (the text viewer), start a
// program, ask whether a type has a default application, and the icon a type shows.
// The core knows no desktop: the program points these hooks at it when it starts
// (DesktopLaunch); tests script them. An unset hook does nothing and answers "no".
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
    // The desktop's icon name for the type of this file name ("text-plain"), "" when the
    // type is unknown (the list shows its generic image).
    std::function<std::string(const std::string& fileName)> iconName;
    // Opens a web or mail address ("https://...", "mailto:...") with the desktop.
    std::function<bool(const std::string& url)> openUrl;
};

// The hooks in force.
TLaunchHooks& launchHooks();

bool LaunchOpenFile(const std::string& file);
bool LaunchOpenAs(const std::string& file, const std::string& mimeType);
bool LaunchProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir);
bool LaunchHasDefaultApp(const std::string& fileName);
std::string LaunchIconName(const std::string& fileName);
// Only "http:", "https:" and "mailto:" addresses are handed on; anything else answers false.
bool LaunchOpenUrl(const std::string& url);

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
