// The window timers' shared frame: the main window over the live back ends (offscreen when
// there is no display), shown, then one timed step. Prints the seconds of the step alone.
#pragma once
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/window/MainUnit.h"
#include "platform/qt/QtUiHooks.h"

// argv: PROGRAM_PATH and the step's own arguments (`args` of them in all). `prepare` readies
// the window (false: nothing to time); `step` is timed and says whether it succeeded.
inline int TimeWindowStep(int argc, char** argv, int args, const char* usage,
                          const std::function<bool(TMainForm&)>& prepare,
                          const std::function<bool(TMainForm&)>& step) {
    if (argc != args + 1) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    platform::installQtUiHooks();
    TMainForm form(CreateLiveZip(), CreateLiveLister(), argv[1], {});
    form.show();
    QApplication::processEvents();
    if (!prepare(form)) return 1;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = step(form);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "%s\n", form.StatusPanels.empty() ? "failed" : form.StatusPanels[0].c_str());
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}
