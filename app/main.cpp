// The program: the Qt application, the UI hooks pointed at Qt, the main window, the loop.
#include <QApplication>
#include <string>
#include <vector>

#include "app/DesktopLaunch.h"
#include "app/MainUnit.h"
#include "platform/qt/QtUiHooks.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Parvex 2000");
    platform::installQtUiHooks();
    InstallDesktopLaunchHooks();
    InstallShellLaunch();

    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
    std::string programPath = QCoreApplication::applicationFilePath().toStdString();

    TMainForm form(CreateLiveZip(), CreateLiveLister(), programPath, params);
    // The progress window, the overwrite question and the password and span-size dialogs
    // live with the main window for the whole run.
    form.show();
    return app.exec();
}
