// Fixtures of the ACE tests: compressible data with near and far repeats, saving a volume
// set, and the independent reader's verdict.
#pragma once
#include <random>
#include <string>
#include <vector>

#include "ace_encoder.h"
#include "testutil.h"

namespace acetest {

using namespace pvtest;

inline void save(const fs::path& dir, const std::string& base, const std::vector<Bytes>& vols) {
    for (size_t i = 0; i < vols.size(); ++i) {
        char ext[8];
        std::snprintf(ext, sizeof ext, i ? ".c%02zu" : ".ace", i - 1);
        writeBytes(dir / (base + ext), vols[i]);
    }
}

// The peer's verdict on an archive: every entry "CRC OK" and no error line.
inline void expectPeerPasses(const fs::path& arc, size_t entries) {
    RunResult r = run("unace t -y " + q(arc.string()));
    size_t ok = 0;
    for (size_t at = 0; (at = r.out.find("CRC OK", at)) != std::string::npos; ++at) ++ok;
    EXPECT_EQ(ok, entries) << r.out;
    EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
}

// Text with repeats near and far, random runs and long runs of one byte.
inline Bytes mixed(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out;
    const std::string text = sampleText(1 << 16, seed);
    while (out.size() < n) {
        switch (rng() % 4) {
        case 0: {
            const size_t at = rng() % (text.size() - 600);
            out.insert(out.end(), text.begin() + static_cast<long>(at),
                       text.begin() + static_cast<long>(at + 1 + rng() % 600));
            break;
        }
        case 1: {
            Bytes r = randomBytes(1 + rng() % 300, static_cast<uint32_t>(rng()));
            out.insert(out.end(), r.begin(), r.end());
            break;
        }
        case 2:
            out.insert(out.end(), 1 + rng() % 700, static_cast<uint8_t>(rng()));
            break;
        default:
            if (out.size() > 4000) {
                const size_t back = 1 + rng() % std::min<size_t>(out.size() - 1, 1 << 20);
                const size_t len = 2 + rng() % 400;
                for (size_t k = 0; k < len; ++k) out.push_back(out[out.size() - back]);
            }
        }
    }
    out.resize(n);
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
}

} // namespace acetest
