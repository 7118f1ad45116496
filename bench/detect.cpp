// Type detection of a program holding no archive: the worst case of the scan for an archive
// inside a program, which looks at every byte of six 32 KB blocks for the formats' marks.
// Ours: DetectBuffer over a DOS program made of the corpus's text. Ref: a straight memchr
// pass over the same scanned bytes for each byte a mark can start with (what a plain
// first-byte search costs). MB/s of scanned bytes, higher is better.
#include "archive/aeFormats.h"
#include "archive/aeMain.h"
#include "bench/benchutil.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const std::string corpus = argc > 1 ? argv[1] : "../shared/corpus";
    // Text only: a mark found by chance in compressed data would end the scan early.
    std::string text;
    for (const auto& f : pvbench::corpusFiles(corpus))
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".txt") == 0) text += pvbench::readAll(f);
    if (text.empty()) text.assign(1 << 20, 'x');
    constexpr size_t kScanFrom = 17000, kScanned = 6 * 32768;
    std::string prog = "MZ";
    while (prog.size() < kScanFrom + kScanned + 4096) prog += text;
    const auto* p = reinterpret_cast<const uint8_t*>(prog.data());
    const std::span<const uint8_t> file(p, prog.size());

    const TDetectResult r = DetectBuffer(file, "prog.exe");
    if (r.ArcType != atUnknown) {
        std::fprintf(stderr, "detect: the bench program was taken for %s at %lld\n",
                     std::string(ArcTypeIdent(r.ArcType)).c_str(), static_cast<long long>(r.ArcStart));
        return 1;
    }
    std::vector<uint8_t> firsts;
    for (int b = 0; b < 256; ++b)
        if (!ScanMarksByFirstByte()[size_t(b)].empty()) firsts.push_back(uint8_t(b));

    constexpr int kRounds = 200;
    size_t sink = 0;
    const double tOurs = pvbench::medianSeconds(7, [&] {
        for (int i = 0; i < kRounds; ++i) sink += size_t(DetectBuffer(file, "prog.exe").ArcType);
    });
    const double tRef = pvbench::medianSeconds(7, [&] {
        for (int i = 0; i < kRounds; ++i)
            for (uint8_t c : firsts) {
                const uint8_t* q = p + kScanFrom;
                const uint8_t* end = q + kScanned;
                while ((q = static_cast<const uint8_t*>(std::memchr(q, c, size_t(end - q)))) != nullptr) {
                    sink += *q;
                    ++q;
                }
            }
    });
    if (sink == 0) std::fprintf(stderr, "detect: nothing scanned\n");
    const double mb = double(kScanned) * kRounds / 1e6;
    pvbench::report("detect-sfx-scan-vs-memchr", mb / tOurs, mb / tRef, "MB/s");
    return 0;
}
