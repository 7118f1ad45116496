// Small archives of every kind the engine reads, made at test time by independent peers
// (or, where no peer writes the kind, by the engine's own writer) from the same three files:
// a text, an incompressible block and a text in a subfolder. Shared by the tester's and the
// converter's tests.
#pragma once
#include "testutil.h"

#include <map>
#include <string>
#include <vector>

namespace pvtest {

struct PeerArchive {
    std::string kind;    // a short name for messages
    std::string file;    // the archive's file name
    std::string peer;    // the program that must be installed ("" for none)
    std::string command; // shell command run in the folder of the inputs; {a} is the archive
    bool folders = true; // whether the kind keeps the subfolder (arc keeps no folders)
    bool single = false; // one file only (gzip, compress): the text alone
};

// The three inputs: names within 8.3, so that every kind can hold them.
inline std::map<std::string, std::string> threeFiles() {
    const std::vector<uint8_t> r = randomBytes(6000, 26);
    return {{"readme.txt", sampleText(9000, 3)},
            {"random.bin", std::string(r.begin(), r.end())},
            {"sub/notes.txt", sampleText(3000, 4)}};
}

// Writes threeFiles() below dir.
inline void writeThreeFiles(const fs::path& dir) {
    for (const auto& [name, data] : threeFiles()) writeFile(dir / name, data);
}

// The kinds a peer writes, each made from threeFiles() by its command.
inline const std::vector<PeerArchive>& peerArchives() {
    static const std::vector<PeerArchive> rows = {
        {"zip", "in.zip", "zip", "zip -qr {a} readme.txt random.bin sub"},
        {"jar", "in.jar", "zip", "zip -qr {a} readme.txt random.bin sub"},
        {"arj", "in.arj", "arj", "arj a -r -y {a} readme.txt random.bin sub/notes.txt >/dev/null"},
        {"lzh", "in.lzh", "jlha", "jlha a {a} readme.txt random.bin sub/notes.txt >/dev/null"},
        {"arc", "in.arc", "arc",
         "cp sub/notes.txt notes.txt && arc a {a} readme.txt random.bin notes.txt >/dev/null", false},
        {"tar", "in.tar", "tar", "tar cf {a} readme.txt random.bin sub/notes.txt"},
        {"tgz", "in.tar.gz", "tar", "tar czf {a} readme.txt random.bin sub/notes.txt"},
        {"gzip", "readme.txt.gz", "gzip", "gzip -c readme.txt > {a}", true, true},
        {"compress", "readme.txt.Z", "compress", "compress -c readme.txt > {a}", true, true},
    };
    return rows;
}

// Makes `p` in dir (where threeFiles() must be); the archive's path, or an empty path with
// a test failure when the peer failed.
inline fs::path makePeerArchive(const fs::path& dir, const PeerArchive& p) {
    std::string cmd = p.command;
    for (size_t at; (at = cmd.find("{a}")) != std::string::npos;) cmd.replace(at, 3, q(p.file));
    const RunResult r = run(cmd, dir);
    EXPECT_EQ(r.status, 0) << p.kind << ": " << cmd << "\n" << r.out;
    return r.status == 0 ? dir / p.file : fs::path{};
}

} // namespace pvtest
