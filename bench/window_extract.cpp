// Times one extraction through the main window (offscreen when there is no display): the
// archive is opened, then every entry goes into FOLDER with its stored folders. Prints
// the seconds of the extraction alone. Run by bench/extract_20k.sh, not by itself.
// Usage: window_extract PROGRAM_PATH ARCHIVE FOLDER
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/MainUnit.h"
#include "platform/qt/QtUiHooks.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_extract PROGRAM_PATH ARCHIVE FOLDER\n");
        return 2;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    platform::installQtUiHooks();
    TMainForm form(CreateLiveZip(), CreateLiveLister(), argv[1], {});
    form.show();
    QApplication::processEvents();
    form.OpenArchive(argv[2]);
    if (!form.FArchiveOpen) {
        std::fprintf(stderr, "window_extract: %s did not open\n", argv[2]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const bool ok = form.ExtractCore(false, true, argv[3], false, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "window_extract: %s\n",
                     form.StatusPanels.empty() ? "" : form.StatusPanels[0].c_str());
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}
