// Shared pieces of the main-window tests: the core's (coretest.h) and one QApplication for
// the process (offscreen).
#pragma once
#include <QApplication>
#include <QLocale>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/dialogs/DialogSeams.h"
#include "app/window/LocaleDate.h"
#include "app/desktop/Ras.h"
#include "appcore/coretest.h"

namespace apptest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // One locale whatever the machine's, so that dates and sizes read the same everywhere.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    UseLocaleFormats(QLocale());
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// While it lives, the window's start-up association question is answered by doing nothing
// (a test that wants it puts its own seam in) and the machine is offline, so no window of a
// test asks for the update file on its own. Both come back afterwards.
struct QuietDesktop {
    TDialogSeams::TShow association = DialogSeams().Association;
    std::function<std::vector<TNetInterface>()> net = NetInterfaceSource();
    QuietDesktop() {
        DialogSeams().Association = [](TDialogHost&) {};
        NetInterfaceSource() = [] { return std::vector<TNetInterface>{}; };
    }
    ~QuietDesktop() {
        DialogSeams().Association = association;
        NetInterfaceSource() = net;
    }
    QuietDesktop(const QuietDesktop&) = delete;
    QuietDesktop& operator=(const QuietDesktop&) = delete;
};

// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR inside one temporary folder, with the
// process's QApplication.
struct IsolatedHome : CoreHome {
    QuietDesktop quiet;
    IsolatedHome() { app(); }
};

} // namespace apptest
