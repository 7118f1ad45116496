// The gzip and .Z reader on arbitrary bytes: the input is written to a file and tested by
// the gzip extractor (member headers, every member, trailers), and decoded by the .Z
// decoder directly. Nothing may crash, hang or grow without bound, and nothing that is
// not a complete, valid stream may pass.
#include "archive/aeDecodeIo.h"
#include "archive/aeUnGZIP.h"
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
        platform::TempFile t = platform::makeTempFile({}, "fuzz_ungzip", ".gz");
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
    {
        ae::SpanSource src{{data, size}};
        ae::InputBuffer in{src};
        ae::CountingSink sink;
        (void)ae::DecodeLzw(in, sink);
    }
    const std::string& path = ScratchFile();
    const int fd = platform::openFile(path, platform::OpenMode::Create);
    if (fd < 0) return 0;
    platform::writeFile(fd, data, static_cast<int64_t>(size));
    platform::closeFile(fd);
    TUnGZIP u;
    bool passed = false;
    u.OnEnd = [&](TZipCommon&, const std::string&, bool pass) { passed = pass; };
    u.SetArchiveFile(path);
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    platform::removeFile(path);
    // A pass needs at least a header, some deflate data and a trailer.
    if (passed && size < 18 && data[0] == 0x1F && data[1] == 0x8B) __builtin_trap();
    return 0;
}
