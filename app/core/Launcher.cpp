#include "app/core/Launcher.h"

TLaunchHooks& launchHooks() {
    static TLaunchHooks hooks;
    return hooks;
}

bool LaunchOpenFile(const std::string& file) {
    auto h = launchHooks().openFile;
    return h && h(file);
}

bool LaunchOpenAs(const std::string& file, const std::string& mimeType) {
    auto h = launchHooks().openAs;
    return h && h(file, mimeType);
}

bool LaunchProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& workDir) {
    auto h = launchHooks().startProgram;
    return h && h(program, args, workDir);
}

bool LaunchHasDefaultApp(const std::string& fileName) {
    auto h = launchHooks().hasDefaultApp;
    return h && h(fileName);
}

std::string LaunchIconName(const std::string& fileName) {
    auto h = launchHooks().iconName;
    return h ? h(fileName) : std::string();
}

bool LaunchOpenUrl(const std::string& url) {
    // The addresses come from a settings file a user can edit: never let one of them start a
    // program or open a local file.
    std::string scheme;
    for (char c : url.substr(0, url.find(':'))) scheme += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (url.find(':') == std::string::npos || (scheme != "http" && scheme != "https" && scheme != "mailto"))
        return false;
    auto h = launchHooks().openUrl;
    return h && h(url);
}
