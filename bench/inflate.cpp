// Inflate throughput against zlib (and libdeflate when present) over the corpus, each
// file compressed by zlib at level 6; with libdeflate, levels 1 and 9 as well. Each file
// is decoded by both sides in turn and the best time of each counts. Speeds are
// uncompressed MB per second.
#include "archive/codec/aeInflate.h"
#include "bench/benchutil.h"

#include <zlib.h>
#ifdef PV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Item {
    Bytes plain, packed;
};

Bytes zlibDeflateRaw(const Bytes& in, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, in.size()) + 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("PV_CORPUS");
    const std::string dir = argc > 1 ? argv[1] : env ? env : "../shared/corpus";
    std::vector<Item> items;
    std::size_t total = 0, largest = 0;
    for (const auto& f : pvbench::corpusFiles(dir)) {
        const std::string s = pvbench::readAll(f);
        Item it;
        it.plain.assign(s.begin(), s.end());
        it.packed = zlibDeflateRaw(it.plain, 6);
        total += it.plain.size();
        largest = std::max(largest, it.plain.size());
        items.push_back(std::move(it));
    }
    Bytes out(largest);
    const int reps = 15;
    bool okAll = true;
    const auto ours = [&](std::size_t i) {
        ae::SpanSink sink{out};
        okAll = okAll && ae::Inflate(items[i].packed, sink, items[i].plain.size()).ok();
    };
    const auto viaZlib = [&](std::size_t i) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(items[i].packed.data());
        z.avail_in = static_cast<uInt>(items[i].packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        okAll = okAll && inflate(&z, Z_FINISH) == Z_STREAM_END;
        inflateEnd(&z);
    };
    const double mb = static_cast<double>(total) / 1e6;
    const auto vsZlib = pvbench::pairedBestSeconds(items.size(), reps, ours, viaZlib);
    if (!okAll) {
        std::fprintf(stderr, "bench_inflate: a stream failed to decode\n");
        return 1;
    }
    pvbench::report("inflate-vs-zlib", mb / vsZlib.ours, mb / vsZlib.ref, "MB/s");
#ifdef PV_HAVE_LIBDEFLATE
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const auto viaLibdeflate = [&](std::size_t i) {
        okAll = okAll &&
                libdeflate_deflate_decompress(d, items[i].packed.data(), items[i].packed.size(), out.data(),
                                              items[i].plain.size(), nullptr) == LIBDEFLATE_SUCCESS;
    };
    const auto versusLibdeflate = [&](const std::string& name) {
        const auto t = pvbench::pairedBestSeconds(items.size(), reps, ours, viaLibdeflate);
        pvbench::report(name, mb / t.ours, mb / t.ref, "MB/s");
    };
    versusLibdeflate("inflate-vs-libdeflate");
    for (int level : {1, 9}) {
        for (auto& it : items) it.packed = zlibDeflateRaw(it.plain, level);
        versusLibdeflate("inflate-l" + std::to_string(level) + "-vs-libdeflate");
    }
    libdeflate_free_decompressor(d);
#endif
    return okAll ? 0 : 1;
}
