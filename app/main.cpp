// The program: the Qt application, the UI hooks pointed at Qt, the main window, the loop.
// The batch forms "-e" and "-a" run on the window's core alone: no window, no display,
// messages on standard error, and the exit status says how the run went; so do the
// switches that extract or add and end when there is no display to show anything on.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/core/CommandLine.h"
#include "app/desktop/DesktopLaunch.h"
#include "app/window/MainUnit.h"
#include "platform/qt/QtUiHooks.h"

namespace {

bool haveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

// The parameters handled by the core alone, with the batch run's messages; the status the
// program exits with.
int runWithoutWindow(int argc, char** argv, const std::vector<std::string>& params) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Parvex 2000");
    platform::uiHooks() = BatchUiHooks(std::cerr);
    // Whatever else happens, a failed run never ends without a word.
    auto said = std::make_shared<int>(0);
    auto box = platform::uiHooks().messageBox;
    platform::uiHooks().messageBox = [said, box](const std::string& caption, const std::string& text,
                                                 platform::MsgType type, unsigned buttons) {
        ++*said;
        return box(caption, text, type, buttons);
    };
    InstallDesktopLaunchHooks();
    const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
    TMainCore core(CreateLiveZip(), CreateLiveLister());
    core.FCommandLineMode = true;
    core.FormCreate(programPath);
    core.HandleParams(params);
    core.FormDestroy();
    const int status = core.FCloseRequested ? core.FExitStatus : int(esFailed);
    if (status != esDone && *said == 0) std::cerr << "Parvex 2000: the run failed\n";
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
    if (!params.empty() && !params[0].empty() && params[0][0] == '-')
        return runWithoutWindow(argc, argv, params);
    // The switches that only extract or add and then end need no one to look at them:
    // without a display they run as the batch forms do.
    const std::string word = params.empty() ? std::string() : ShellSwitch(params[0]);
    if ((word == "/pvseh" || word == "/pvsef" || word == "/pvsaz") && !haveDisplay())
        return runWithoutWindow(argc, argv, params);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Parvex 2000");
    // The desktop entry and the icon the file-type registration installs.
    QGuiApplication::setDesktopFileName("parvex");
    QApplication::setWindowIcon(QIcon::fromTheme("parvex"));
    platform::installQtUiHooks();
    InstallDesktopLaunchHooks();
    InstallShellLaunch();

    std::string programPath = QCoreApplication::applicationFilePath().toStdString();

    TMainForm form(CreateLiveZip(), CreateLiveLister(), programPath, params);
    // The progress window, the overwrite question and the password and span-size dialogs
    // live with the main window for the whole run. The parameters are acted on as the
    // window is first shown; a switch that ends the run has done so by then.
    form.show();
    if (form.FCloseRequested) return form.FExitStatus;
    return app.exec();
}
