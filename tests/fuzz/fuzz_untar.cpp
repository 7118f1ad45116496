// The tar reader on arbitrary bytes: the input is written to a file and tested by the tar
// extractor (headers, long-name and pax records, checksums, member sizes). Nothing may
// crash, hang or grow without bound; a member can only pass when its data are all there.
#include "archive/aeUnTAR.h"
#include "platform/fileio.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
// One file name for every input; the file is removed after each input, since the fuzzer
// may end without running destructors.
struct Scratch {
    std::string path;
    Scratch() {
        platform::TempFile t = platform::makeTempFile({}, "fuzz_untar", ".tar");
        if (t.fd >= 0) platform::closeFile(t.fd);
        path = t.path;
    }
    ~Scratch() {
        if (!path.empty()) platform::removeFile(path);
    }
};
const std::string& ScratchFile() {
    static const Scratch s;
    return s.path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchFile();
    const int fd = platform::openFile(path, platform::OpenMode::Create);
    if (fd < 0) return 0;
    platform::writeFile(fd, data, static_cast<int64_t>(size));
    platform::closeFile(fd);
    TUnTAR u;
    int passed = 0;
    u.OnEnd = [&](TZipCommon&, const std::string&, bool pass) { passed += pass ? 1 : 0; };
    u.SetArchiveFile(path);
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    platform::removeFile(path);
    // Every passing member has its own 512-byte header.
    if (static_cast<std::size_t>(passed) * 512 > size) __builtin_trap();
    return 0;
}
