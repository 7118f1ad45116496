// Helpers shared by the zip front-end tests: a component wired to record its events, and
// the raw records of a zip file for byte-level comparisons.
#pragma once
#include "support/testutil.h"
#include "zipdll/ZipFront.h"

#include <map>
#include <string>
#include <vector>

namespace ziptest {

namespace fs = std::filesystem;

// What a component reported during a run.
struct Events {
    std::vector<std::string> messages; // every OnMessage text
    std::vector<int> codes;            // the ErrCode argument of each
    std::vector<int> ids;              // the component's ErrCode at each message
    std::vector<ProgressType> progress;
    std::vector<std::pair<std::string, UnZipSkipTypes>> skipped;

    bool saw(const std::string& part) const {
        for (auto& m : messages)
            if (m.find(part) != std::string::npos) return true;
        return false;
    }
    std::string all() const {
        std::string s;
        for (auto& m : messages) s += m + "\n";
        return s;
    }
};

inline void attach(TZipFront& z, Events& ev) {
    z.Unattended = true;
    z.OnMessage = [&ev](TZipFront& s, int code, const std::string& msg) {
        ev.messages.push_back(msg);
        ev.codes.push_back(code);
        ev.ids.push_back(s.ErrCode);
    };
    z.OnProgress = [&ev](TZipFront&, ProgressType t, const std::string&, int64_t) {
        ev.progress.push_back(t);
    };
    z.OnExtractSkipped = [&ev](TZipFront&, const std::string& f, UnZipSkipTypes t, int) {
        ev.skipped.emplace_back(f, t);
    };
}

// One entry's bytes: its whole local record (header, name, extra, data, descriptor) and its
// central record with the local-offset field zeroed (that field moves when others change).
struct RawEntry {
    std::string local, central;
};

inline uint32_t le16(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s.at(at)) | static_cast<uint8_t>(s.at(at + 1)) << 8;
}
inline uint32_t le32(const std::string& s, size_t at) {
    return le16(s, at) | le16(s, at + 2) << 16;
}

inline std::map<std::string, RawEntry> rawEntries(const fs::path& zip) {
    const std::string d = pvtest::readFile(zip);
    std::map<std::string, RawEntry> out;
    size_t eocd = d.rfind(std::string("PK\x05\x06", 4));
    if (eocd == std::string::npos) return out;
    const size_t n = le16(d, eocd + 10), cdSize = le32(d, eocd + 12);
    const size_t cd = eocd - cdSize, shift = cd - le32(d, eocd + 16);
    size_t at = cd;
    for (size_t i = 0; i < n; ++i) {
        const size_t nl = le16(d, at + 28), xl = le16(d, at + 30), cl = le16(d, at + 32);
        RawEntry r;
        r.central = d.substr(at, 46 + nl + xl + cl);
        const std::string name = d.substr(at + 46, nl);
        const size_t loc = le32(d, at + 42) + shift, csize = le32(d, at + 20);
        r.central.replace(42, 4, std::string(4, '\0'));
        size_t end = loc + 30 + le16(d, loc + 26) + le16(d, loc + 28) + csize;
        if (le16(d, loc + 6) & 8) end += le32(d, end) == 0x08074b50 ? 16 : 12;
        r.local = d.substr(loc, end - loc);
        out[name] = r;
        at += 46 + nl + xl + cl;
    }
    return out;
}

// Every file below `dir` with its contents, keyed by relative path.
inline std::map<std::string, std::string> tree(const fs::path& dir) {
    std::map<std::string, std::string> m;
    if (!fs::exists(dir)) return m;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) m[fs::relative(e.path(), dir).string()] = pvtest::readFile(e.path());
    return m;
}

// Runs a python3 snippet (for archives the peers cannot make).
inline pvtest::RunResult python(const std::string& code, const fs::path& cwd) {
    return pvtest::run("python3 -c " + pvtest::q(code), cwd);
}

} // namespace ziptest
