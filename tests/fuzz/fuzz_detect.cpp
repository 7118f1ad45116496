// Archive type detection over arbitrary bytes: it must never crash, hang or read outside the
// input. The first byte picks the drive kind and the comment window, so every road is reached.
#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/aeMain.h"
#include "archive/aePe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    const std::span<const uint8_t> input(data + 1, size - 1);
    TDetectDrive drive;
    drive.Removable = mode & 1;
    drive.HasDiskNumber = mode & 2;
    const int window = (mode & 4) ? 32000 : 0;
    const auto r = DetectBuffer(input, (mode & 8) ? "x.jar" : "x.exe", drive, window);
    if (r.ArcStart < 1 || int(r.ArcType) >= kArcTypeCount) __builtin_trap();
    TMemorySource src(input);
    (void)PeStringResource(src, mode >> 4);
    return 0;
}
