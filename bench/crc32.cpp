// CRC-32 of the engine against zlib's crc32 (and libdeflate's, when present) on the same
// buffer: the whole corpus repeated to 64 MB, several passes each, median time, MB/s
// (higher is better). All sides run back to back in this one process and must agree on
// the value.
#include "archive/aeCommon.h"
#include "bench/benchutil.h"

#include <zlib.h>
#ifdef PV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstdio>

int main(int argc, char** argv) {
    const std::string corpus = argc > 1 ? argv[1] : "../shared/corpus";
    std::string base;
    for (const auto& f : pvbench::corpusFiles(corpus)) base += pvbench::readAll(f);
    if (base.empty()) base.assign(1 << 20, 'x');
    constexpr size_t kTarget = size_t{64} << 20;
    std::string data;
    data.reserve(kTarget + base.size());
    while (data.size() < kTarget) data += base;
    // An odd start, so that neither side profits from an aligned buffer.
    const auto* p = reinterpret_cast<const uint8_t*>(data.data()) + 1;
    const size_t n = data.size() - 1;

    uint32_t ours = 0, ref = 0;
    const double tOurs = pvbench::medianSeconds(7, [&] { ours = Crc32Of(p, n); });
    const double tRef = pvbench::medianSeconds(7, [&] {
        uLong c = crc32(0, nullptr, 0);
        // zlib takes 32-bit lengths: feed it in 1 GB pieces at most.
        for (size_t at = 0; at < n; at += size_t{1} << 30)
            c = crc32(c, p + at, static_cast<uInt>(std::min(n - at, size_t{1} << 30)));
        ref = static_cast<uint32_t>(c);
    });
    if (ours != ref) {
        std::fprintf(stderr, "crc32: values differ: ours %08X, zlib %08X\n", ours, ref);
        return 1;
    }
    const double mb = static_cast<double>(n) / 1e6;
    pvbench::report("crc32-vs-zlib", mb / tOurs, mb / tRef, "MB/s");
#ifdef PV_HAVE_LIBDEFLATE
    uint32_t ld = 0;
    const double tLd = pvbench::medianSeconds(7, [&] { ld = libdeflate_crc32(0, p, n); });
    if (ours != ld) {
        std::fprintf(stderr, "crc32: values differ: ours %08X, libdeflate %08X\n", ours, ld);
        return 1;
    }
    pvbench::report("crc32-vs-libdeflate", mb / tOurs, mb / tLd, "MB/s");
#endif
    return 0;
}
