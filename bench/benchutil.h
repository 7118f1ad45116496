// Helpers for the compiled benchmarks: corpus loading, a monotonic clock, the median of
// repeated runs, rivals timed turn about, and the one output line every comparison prints.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace pvbench {

inline std::vector<std::string> corpusFiles(const std::string& dir) {
    std::vector<std::string> files;
    for (auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Seconds taken by fn, median of `reps` runs.
inline double medianSeconds(int reps, const std::function<void()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < reps; ++i) {
        auto a = std::chrono::steady_clock::now();
        fn();
        auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Two rivals over the same items: each item is run `reps` times by both, taking turns
// (so that a machine busy with other work slows both alike), and the best time of each
// side per item is summed. Seconds for {ours, ref}.
struct PairSeconds {
    double ours = 0, ref = 0;
};
inline PairSeconds pairedBestSeconds(std::size_t items, int reps,
                                     const std::function<void(std::size_t)>& ours,
                                     const std::function<void(std::size_t)>& ref) {
    PairSeconds sum;
    const auto timed = [](const std::function<void(std::size_t)>& fn, std::size_t i) {
        auto a = std::chrono::steady_clock::now();
        fn(i);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
    };
    for (std::size_t i = 0; i < items; ++i) {
        double bestOurs = 1e30, bestRef = 1e30;
        for (int r = 0; r < reps; ++r) {
            if (r % 2) {
                bestOurs = std::min(bestOurs, timed(ours, i));
                bestRef = std::min(bestRef, timed(ref, i));
            } else {
                bestRef = std::min(bestRef, timed(ref, i));
                bestOurs = std::min(bestOurs, timed(ours, i));
            }
        }
        sum.ours += bestOurs;
        sum.ref += bestRef;
    }
    return sum;
}

inline void report(const std::string& name, double ours, double ref, const std::string& unit) {
    std::printf("BENCH %s ours=%.10g ref=%.10g unit=%s\n", name.c_str(), ours, ref, unit.c_str());
    std::fflush(stdout);
}

} // namespace pvbench
