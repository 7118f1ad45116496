#include "samples.h"

#include <algorithm>
#include <chrono>

namespace pvtest {

Files sampleFiles(size_t noise) {
    Files f;
    f["a.txt"] = bytesOf("hello world hello world hello\n");
    f["sub/b.txt"] = bytesOf(sampleText(5000, 2));
    std::vector<uint8_t> c = bytesOf(sampleText(60000, 3));
    const auto tail = randomBytes(noise, 4);
    c.insert(c.end(), tail.begin(), tail.end());
    f["sub/deep/c.bin"] = c;
    f["empty.txt"] = {};
    return f;
}

fs::file_time_type evenSampleStamp() {
    static const fs::file_time_type even = [] {
        const auto back = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
        const auto stamp = std::chrono::floor<std::chrono::seconds>(back);
        return fs::file_time_type(stamp - std::chrono::seconds(stamp.time_since_epoch().count() % 2));
    }();
    return even;
}

void writeFiles(const fs::path& dir, const Files& files) {
    for (const auto& [name, data] : files) {
        writeBytes(dir / name, data);
        fs::last_write_time(dir / name, evenSampleStamp());
    }
}

std::string fileList(const Files& files) {
    std::string s;
    for (const auto& [name, data] : files) s += " " + q(name);
    return s;
}

void expectExtracted(const fs::path& out, const Files& files, const fs::path& in) {
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(fs::exists(out / name)) << name;
        EXPECT_EQ(readBytes(out / name), data) << name;
        if (!in.empty()) {
            EXPECT_EQ(fs::last_write_time(out / name), fs::last_write_time(in / name)) << name;
        }
    }
}

size_t countFiles(const fs::path& dir) {
    if (!fs::exists(dir)) return 0;
    size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) ++n;
    return n;
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pvtest
