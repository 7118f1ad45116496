// aetool add and delete with names outside ASCII: what zip and LZH archives hold is
// extracted under the same names by the Linux tools that read them, and in every writable
// type that keeps entries by name (zip, lzh, bh) adding again replaces an entry and deleting
// finds the name the user gives, also a name the archive cannot hold exactly.
#include <gtest/gtest.h>

#include "name_peers.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolIn(const fs::path& cwd, const std::string& args) {
    return run(q(aetool().string()) + " " + args, cwd);
}

// The entry names `aetool list` shows, one per line.
std::vector<std::string> listed(const fs::path& cwd, const std::string& archive) {
    const RunResult r = aetoolIn(cwd, "list " + archive);
    std::vector<std::string> names;
    size_t at = 0;
    while (at < r.out.size()) {
        const size_t end = r.out.find('\n', at);
        const std::string line = r.out.substr(at, end - at);
        at = end == std::string::npos ? r.out.size() : end + 1;
        const size_t tab = line.find('\t');
        const std::string first = line.substr(0, tab);
        if (tab != std::string::npos && first != "type" && first != "total") names.push_back(first);
    }
    return names;
}

TEST(AetoolAddNames, PeersExtractNonAsciiNamesUnderTheirOwnName) {
    TempDir t;
    writeNonAsciiNames(t / "in");
    struct Case {
        std::string archive;
        std::vector<std::string> peers;
    };
    const Case cases[] = {
        {"x.zip", {"unzip", "7zz", "bsdtar", "python3"}},
        {"x.jar", {"unzip", "7zz", "bsdtar", "python3"}},
        {"x.lzh", {"lhasa", "7zz", "bsdtar"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        // The file and the folder at the top, as the user named them.
        const RunResult add =
            aetoolIn(t / "in", "add ../" + c.archive + " " + q(nonAsciiNames()[0]) + " na\xC3\xAFve");
        ASSERT_EQ(add.status, 0) << add.out;
        std::vector<std::string> names = listed(t.path(), c.archive);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, nonAsciiNames());
        std::vector<std::string> readers = installedPeers(c.peers);
        if (readers.size() < c.peers.size())
            std::printf("some peers of %s are not installed\n", c.archive.c_str());
        readers.push_back("aetool");
        for (const std::string& peer : readers) {
            SCOPED_TRACE(peer);
            const fs::path out = t / ("out-" + c.archive + "-" + peer);
            const RunResult r = peer == "aetool"
                                    ? aetoolIn(t.path(), "extract " + c.archive + " " + q(out.string()))
                                    : extractWithPeer(peer, t / c.archive, out);
            EXPECT_EQ(r.status, 0) << r.out;
            for (const std::string& n : nonAsciiNames()) EXPECT_EQ(readFile(out / n), n) << n;
        }
    }
}

TEST(AetoolAddNames, AddingAgainReplacesAndDeleteFindsTheGivenName) {
    TempDir t;
    writeNonAsciiNames(t / "d");
    const std::string unicode = "d/" + nonAsciiNames()[1];
    for (const std::string archive : {"x.lzh", "x.bh", "x.zip"}) {
        SCOPED_TRACE(archive);
        // The same folder three times, one file changing its size each time (an entry is
        // replaced when the file's date, size or attributes differ).
        for (int i = 0; i < 3; ++i) {
            writeFile(t / unicode, std::string(static_cast<size_t>(i) + 1, 'v'));
            const RunResult r = aetoolIn(t.path(), "add " + archive + " d");
            ASSERT_EQ(r.status, 0) << r.out;
        }
        std::vector<std::string> names = listed(t.path(), archive);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"d/" + nonAsciiNames()[0], unicode}));
        const fs::path out = t / ("out-" + archive);
        ASSERT_EQ(aetoolIn(t.path(), "extract " + archive + " " + q(out.string())).status, 0);
        EXPECT_EQ(readFile(out / unicode), "vvv");
        const RunResult del = aetoolIn(t.path(), "delete " + archive + " " + q(unicode));
        EXPECT_EQ(del.status, 0) << del.out;
        EXPECT_NE(del.out.find("total\t1\n"), std::string::npos) << del.out;
        EXPECT_EQ(listed(t.path(), archive), (std::vector<std::string>{"d/" + nonAsciiNames()[0]}));
    }
    // A BH name that code page 437 holds stays in it; one it does not is stored as UTF-8.
    const std::string bh = readFile(t / "x.bh");
    EXPECT_NE(bh.find("d/caf\x82.txt"), std::string::npos);
}

TEST(AetoolAddNames, ANameThatIsNoUtf8IsReportedAndStillReplaced) {
    TempDir t;
    const std::string raw = "caf\xE9.txt"; // a Latin-1 file name
    for (const std::string archive : {"x.lzh", "x.bh", "x.zip"}) {
        SCOPED_TRACE(archive);
        for (const std::string content : {"x", "changed"}) {
            // The second time the file differs, so that its entry is replaced.
            writeFile(t / "d" / raw, content);
            const RunResult r = aetoolIn(t.path(), "add " + archive + " d");
            // Added, and said that the archive lists it under another name.
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.out.find("d/" + raw + "\tok\n"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("stored as \"d/caf\xCE\x98.txt\""), std::string::npos) << r.out; // Θ
        }
        EXPECT_EQ(listed(t.path(), archive), (std::vector<std::string>{"d/caf\xCE\x98.txt"}));
        const RunResult del = aetoolIn(t.path(), "delete " + archive + " " + q("d/" + raw));
        EXPECT_NE(del.out.find("total\t1\n"), std::string::npos) << del.out;
    }
    // The bytes stay as they were: unzip gives the file back under its own name.
    if (havePeer("unzip")) {
        ASSERT_EQ(aetoolIn(t.path(), "add y.zip d").status, 1);
        ASSERT_EQ(extractWithPeer("unzip", t / "y.zip", t / "out").status, 0);
        EXPECT_EQ(readFile(t / "out" / "d" / raw), "changed");
    }
}

} // namespace
