// Helpers for the compiled benchmarks: corpus loading, a monotonic clock, the median of
// repeated runs, and the one output line every comparison prints.
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

inline void report(const std::string& name, double ours, double ref, const std::string& unit) {
    std::printf("BENCH %s ours=%.10g ref=%.10g unit=%s\n", name.c_str(), ours, ref, unit.c_str());
    std::fflush(stdout);
}

} // namespace pvbench
