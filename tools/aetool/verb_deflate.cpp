// aetool deflate -S|-F|-N|-X IN OUT: raw deflate of one file at a writer's effort. Prints one
// record "deflate|stored <TAB> input bytes <TAB> output bytes"; "stored" means the encoder
// gave up on compressing and OUT holds the input as it is.
#include "archive/codec/aeDeflate.h"
#include "platform/fileio.h"
#include "tools/aetool/aetool.h"

#include <cstdio>
#include <stdexcept>

namespace {

class FileIo final : public TDeflateIo {
public:
    FileIo(int in, int out) : in_{in}, out_{out} {}
    int64_t ReadInput(uint8_t* buffer, int64_t count) override {
        const int64_t n = platform::readFile(in_, buffer, count);
        if (n < 0) throw std::runtime_error("cannot read the input");
        read += n;
        return n;
    }
    void WriteOutput(const uint8_t* buffer, int64_t count) override {
        if (platform::writeFile(out_, buffer, count) != count)
            throw std::runtime_error("cannot write the output");
    }
    int64_t read = 0;

private:
    int in_, out_;
};

struct Fd {
    int fd;
    ~Fd() {
        if (fd != platform::kInvalidHandle) platform::closeFile(fd);
    }
};

int runDeflate(const aetool::Args& a) {
    if (a.positional.size() != 2) return aetool::usageError("usage: aetool deflate -S|-F|-N|-X IN OUT");
    int level = 7; // dtDeflateN, the writers' default
    int chosen = 0;
    for (const auto& [opt, lv] :
         {std::pair{"S", 1}, std::pair{"F", 2}, std::pair{"N", 7}, std::pair{"X", 9}}) {
        if (a.has(opt)) {
            level = lv;
            ++chosen;
        }
    }
    if (chosen > 1) return aetool::usageError("deflate: give one of -S, -F, -N, -X");
    Fd in{platform::openFile(a.positional[0], platform::OpenMode::Read)};
    if (in.fd == platform::kInvalidHandle) return aetool::failure("cannot open " + a.positional[0]);
    Fd out{platform::openFile(a.positional[1], platform::OpenMode::Create)};
    if (out.fd == platform::kInvalidHandle) return aetool::failure("cannot create " + a.positional[1]);
    FileIo io{in.fd, out.fd};
    const TDeflateResult r = Deflate(io, level);
    std::printf("%s\t%lld\t%lld\n", r.Stored ? "stored" : "deflate", static_cast<long long>(io.read),
                static_cast<long long>(r.Bytes));
    return aetool::kOk;
}

} // namespace

AETOOL_VERB("deflate", "-S|-F|-N|-X IN OUT", {}, runDeflate);
