// Shared pieces of the main-window tests: the core's (coretest.h) and one QApplication for
// the process (offscreen).
#pragma once
#include <QApplication>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "appcore/coretest.h"

namespace apptest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR inside one temporary folder, with the
// process's QApplication.
struct IsolatedHome : CoreHome {
    IsolatedHome() { app(); }
};

} // namespace apptest
