// Times one extraction through the main window (offscreen when there is no display): the
// archive is opened, then every entry goes into FOLDER with its stored folders. Prints
// the seconds of the extraction alone. Run by bench/extract_20k.sh, not by itself.
// Usage: window_extract PROGRAM_PATH ARCHIVE FOLDER
#include "bench/windowbench.h"

int main(int argc, char** argv) {
    return TimeWindowStep(
        argc, argv, 3, "window_extract PROGRAM_PATH ARCHIVE FOLDER",
        [&](TMainForm& form) {
            form.OpenArchive(argv[2]);
            if (!form.FArchiveOpen) std::fprintf(stderr, "window_extract: %s did not open\n", argv[2]);
            return form.FArchiveOpen;
        },
        [&](TMainForm& form) { return form.ExtractCore(false, true, argv[3], false, true); });
}
