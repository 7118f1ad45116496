// The deflate encoder against zlib at the matching level (S/1, F/2, N/7, X/9): total
// compressed size of the corpus (each file compressed on its own, raw deflate) and speed
// in MB/s of input, both sides run back to back in this one process.
#include "archive/codec/aeDeflate.h"
#include "bench/benchutil.h"

#include <zlib.h>
#ifdef PV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstring>
#include <stdexcept>

namespace {

struct Input {
    std::string name;
    std::vector<uint8_t> data;
};

// Writes into a buffer sized beforehand, as the zlib side does.
class SpanIo final : public TDeflateIo {
public:
    SpanIo(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) : in_{in}, out_{out} {}
    int64_t ReadInput(uint8_t* buffer, int64_t count) override {
        const size_t n = std::min(static_cast<size_t>(count), in_.size() - pos_);
        std::memcpy(buffer, in_.data() + pos_, n);
        pos_ += n;
        return static_cast<int64_t>(n);
    }
    void WriteOutput(const uint8_t* buffer, int64_t count) override {
        if (written_ + static_cast<size_t>(count) > out_.size()) throw std::runtime_error("output overflow");
        std::memcpy(out_.data() + written_, buffer, static_cast<size_t>(count));
        written_ += static_cast<size_t>(count);
    }

private:
    const std::vector<uint8_t>& in_;
    std::vector<uint8_t>& out_;
    size_t pos_ = 0, written_ = 0;
};

size_t oursOnce(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int level) {
    SpanIo io{in, out};
    return static_cast<size_t>(Deflate(io, level).Bytes);
}

size_t zlibOnce(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib");
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("zlib: output buffer too small");
    const size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}

#ifdef PV_HAVE_LIBDEFLATE
// libdeflate at the same level number: where speed should head, for information.
size_t libdeflateOnce(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    if (!c) throw std::runtime_error("libdeflate");
    const size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
    libdeflate_free_compressor(c);
    return n;
}
#endif

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "../shared/corpus";
    std::vector<Input> inputs;
    size_t totalIn = 0, largest = 0;
    for (const auto& f : pvbench::corpusFiles(dir)) {
        const std::string s = pvbench::readAll(f);
        inputs.push_back({f, std::vector<uint8_t>(s.begin(), s.end())});
        totalIn += s.size();
        largest = std::max(largest, s.size());
    }
    std::vector<uint8_t> out(largest + largest / 8 + 4096);
    const int reps = 5;

    struct Pair {
        const char* effort;
        int ours;
        int zlib;
    };
    for (const Pair p : {Pair{"S", 1, 1}, Pair{"F", 2, 2}, Pair{"N", 7, 7}, Pair{"X", 9, 9}}) {
        size_t oursSize = 0, zlibSize = 0;
        for (const auto& in : inputs) {
            oursSize += oursOnce(in.data, out, p.ours);
            zlibSize += zlibOnce(in.data, out, p.zlib);
        }
        // Alternate the sides so that neither profits from a quieter stretch of the host.
        std::vector<double> oursT, zlibT;
        for (int r = 0; r < reps; ++r) {
            oursT.push_back(pvbench::medianSeconds(1, [&] {
                for (const auto& in : inputs) oursOnce(in.data, out, p.ours);
            }));
            zlibT.push_back(pvbench::medianSeconds(1, [&] {
                for (const auto& in : inputs) zlibOnce(in.data, out, p.zlib);
            }));
        }
        std::sort(oursT.begin(), oursT.end());
        std::sort(zlibT.begin(), zlibT.end());
        const double mb = static_cast<double>(totalIn) / 1e6;
        const std::string suffix = std::string(p.effort) + "-";
        pvbench::report("deflate-" + suffix + "size-vs-zlib" + std::to_string(p.zlib),
                        static_cast<double>(oursSize), static_cast<double>(zlibSize), "bytes");
        pvbench::report("deflate-" + suffix + "speed-vs-zlib" + std::to_string(p.zlib), mb / oursT[reps / 2],
                        mb / zlibT[reps / 2], "MB/s");
        // The BENCH line rounds to four digits; the exact sizes follow as a comment.
        std::printf("# deflate-%s: ours %zu bytes, zlib %zu bytes (%+.3f%%)\n", p.effort, oursSize, zlibSize,
                    100.0 * (static_cast<double>(oursSize) / static_cast<double>(zlibSize) - 1.0));
#ifdef PV_HAVE_LIBDEFLATE
        size_t ldSize = 0;
        for (const auto& in : inputs) ldSize += libdeflateOnce(in.data, out, p.ours);
        const double ldT = pvbench::medianSeconds(reps, [&] {
            for (const auto& in : inputs) libdeflateOnce(in.data, out, p.ours);
        });
        pvbench::report("deflate-" + suffix + "size-vs-libdeflate" + std::to_string(p.ours),
                        static_cast<double>(oursSize), static_cast<double>(ldSize), "bytes");
        pvbench::report("deflate-" + suffix + "speed-vs-libdeflate" + std::to_string(p.ours),
                        mb / oursT[reps / 2], mb / ldT, "MB/s");
#endif
    }
    return 0;
}
