// Times one add through the main window (offscreen when there is no display): a new zip
// archive is made and FOLDER goes into it as the add dialog hands over a chosen folder
// (its files below it, with their folders, at the window's default level 7). Prints the
// seconds of the add alone. Run by bench/add_window.sh, not by itself.
// Usage: window_add PROGRAM_PATH ARCHIVE FOLDER
#include "bench/windowbench.h"

int main(int argc, char** argv) {
    return TimeWindowStep(
        argc, argv, 3, "window_add PROGRAM_PATH ARCHIVE FOLDER",
        [&](TMainForm& form) {
            form.FHandlerKind = hkZipFront;
            form.CreateArchive(argv[2], 1);
            form.FAddFiles = {argv[3]};
            return true;
        },
        [&](TMainForm& form) { return form.AddCore({.span = 3, .level = 7}); });
}
