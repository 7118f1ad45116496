// The zip front-end's rewriting readers on arbitrary bytes: ConvertZIP on an ".exe",
// ReadSpan on a set of numbered parts on a fixed drive, and Rename on a zip.
//
// Input: byte 0 modulo 3 chooses ConvertZIP (0), ReadSpan (1) or Rename (2). For ReadSpan, byte 1 gives the
// number of parts (1 to 4) and the following 16-bit little-endian lengths cut the rest into
// them (the last part takes what is left); the parts are s001.zip, s002.zip, ...
#include "platform/fileio.h"
#include "zipdll/ZipFront.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

// The files of one input, named after this process and removed after every input.
std::string path(const std::string& name) {
    static const std::string prefix =
        platform::systemTempDir() + "pv_fuzz_zipspan_" + std::to_string(::getpid()) + "_";
    return prefix + name;
}

void removeAll() {
    for (const char* n : {"x.exe", "x.zip", "joined.zip", "s001.zip", "s002.zip", "s003.zip", "s004.zip"})
        platform::removeFile(path(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    struct Clean {
        ~Clean() { removeAll(); }
    } clean;
    TZipFront z;
    z.Unattended = true;
    z.HowToDelete = htdFinal;
    if (data[0] % 3 == 2) {
        const std::string zip = path("x.zip");
        if (!platform::writeWholeFile(zip, data + 1, size - 1)) return 0;
        z.SetZipFileName(zip);
        ZipRenameRec file{"a", "b/c", 0}, folder{"d/", "e/", 0x12345678};
        const int r = z.Rename({&file, &folder}, size & 2 ? 0x21000000 : 0);
        // A failed rename leaves the archive as it was.
        if (r != 0) {
            auto now = platform::readWholeFile(zip);
            if (!now || now->size() != size - 1 || !std::equal(now->begin(), now->end(), data + 1))
                __builtin_trap();
        }
        return 0;
    }
    if (data[0] % 3 == 0) {
        const std::string exe = path("x.exe");
        if (!platform::writeWholeFile(exe, data + 1, size - 1)) return 0;
        z.SetZipFileName(exe);
        const int r = z.ConvertZIP();
        // A failed conversion keeps the input and leaves no output.
        if (r != 0 && (!platform::fileExists(exe) || platform::pathExists(path("x.zip")))) __builtin_trap();
        return 0;
    }
    if (size < 2) return 0;
    const size_t parts = 1 + data[1] % 4;
    size_t at = 2;
    std::vector<std::pair<size_t, size_t>> cuts;
    for (size_t i = 0; i + 1 < parts; ++i) {
        if (size - at < 2) return 0;
        const size_t len = data[at] | static_cast<size_t>(data[at + 1]) << 8;
        at += 2;
        cuts.emplace_back(0, len);
    }
    std::string last;
    for (size_t i = 0; i < parts; ++i) {
        const size_t len = i + 1 < parts ? std::min(cuts[i].second, size - at) : size - at;
        char name[32];
        std::snprintf(name, sizeof name, "s%03zu.zip", i + 1);
        last = path(name);
        if (!platform::writeWholeFile(last, data + at, len)) return 0;
        at += len;
    }
    std::string out = path("joined.zip");
    const int r = z.ReadSpan(last, out);
    if (r != 0 && (!out.empty() || platform::pathExists(path("joined.zip")))) __builtin_trap();
    // The parts listed as a set read their directory across them.
    z.SetZipFileName(last);
    return 0;
}
