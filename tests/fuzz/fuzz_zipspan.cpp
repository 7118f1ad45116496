// The zip front-end's readers of self-extractors and spanned sets on arbitrary bytes:
// ConvertZIP on an ".exe", and ReadSpan on a set of numbered parts on a fixed drive.
//
// Input: byte 0 bit 0 chooses ConvertZIP (0) or ReadSpan (1). For ReadSpan, byte 1 gives the
// number of parts (1 to 4) and the following 16-bit little-endian lengths cut the rest into
// them (the last part takes what is left); the parts are s001.zip, s002.zip, ...
#include "platform/fileio.h"
#include "zipdll/ZipFront.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A folder of this process's own, emptied after every input.
const std::string& workDir() {
    static const std::string dir = platform::makeTempDir({}, "pv_fuzz_zipspan");
    return dir;
}

void emptyWorkDir() {
    if (auto entries = platform::listDir(workDir()))
        for (auto& e : *entries) platform::removeFile(workDir() + "/" + e.name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || workDir().empty()) return 0;
    struct Clean {
        ~Clean() { emptyWorkDir(); }
    } clean;
    TZipFront z;
    z.Unattended = true;
    z.HowToDelete = htdFinal;
    if ((data[0] & 1) == 0) {
        const std::string exe = workDir() + "/x.exe";
        if (!platform::writeWholeFile(exe, data + 1, size - 1)) return 0;
        z.SetZipFileName(exe);
        z.ConvertZIP();
        // Whatever happened, nothing but the input or its zip is left in the folder.
        if (auto entries = platform::listDir(workDir()))
            if (entries->size() > 1) __builtin_trap();
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
        std::snprintf(name, sizeof name, "/s%03zu.zip", i + 1);
        last = workDir() + name;
        if (!platform::writeWholeFile(last, data + at, len)) return 0;
        at += len;
    }
    std::string out = workDir() + "/joined.zip";
    const int r = z.ReadSpan(last, out);
    if (r != 0 && (!out.empty() || platform::pathExists(workDir() + "/joined.zip"))) __builtin_trap();
    // The parts listed as a set read their directory across them.
    z.SetZipFileName(last);
    return 0;
}
