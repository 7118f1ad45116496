// TUnTAR against archives written at test time by tar (v7, ustar, GNU long names, pax) and
// hand-made blocks: damaged headers, member sizes around the block size, folders, links
// and hostile names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "archive/aeMsgs.h"
#include "archive/format/aeUnTAR.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

using Outcome = ExtractOutcome;

Outcome runTar(const fs::path& archive, const fs::path& out, bool test = false) {
    TUnTAR u;
    Outcome o;
    o.listen(u);
    o.run(u, archive, out, test);
    return o;
}

// One header block (v7 layout with ustar magic), checksum filled in.
std::vector<uint8_t> header(const std::string& name, uint64_t size, char type = '0',
                            const std::string& link = {}) {
    std::vector<uint8_t> h(512, 0);
    std::memcpy(h.data(), name.data(), std::min<size_t>(name.size(), 100));
    std::snprintf(reinterpret_cast<char*>(&h[100]), 8, "%07o", 0644);
    std::snprintf(reinterpret_cast<char*>(&h[108]), 8, "%07o", 0);
    std::snprintf(reinterpret_cast<char*>(&h[116]), 8, "%07o", 0);
    std::snprintf(reinterpret_cast<char*>(&h[124]), 12, "%011llo", static_cast<unsigned long long>(size));
    std::snprintf(reinterpret_cast<char*>(&h[136]), 12, "%011o", 1600000000);
    h[156] = static_cast<uint8_t>(type);
    std::memcpy(&h[157], link.data(), std::min<size_t>(link.size(), 100));
    std::memcpy(&h[257], "ustar", 6);
    h[263] = '0';
    h[264] = '0';
    std::memset(&h[148], ' ', 8);
    unsigned sum = 0;
    for (uint8_t c : h) sum += c;
    std::snprintf(reinterpret_cast<char*>(&h[148]), 8, "%06o", sum);
    return h;
}

void append(std::vector<uint8_t>& tar, const std::string& name, const std::vector<uint8_t>& data,
            char type = '0', const std::string& link = {}) {
    const auto h = header(name, data.size(), type, link);
    tar.insert(tar.end(), h.begin(), h.end());
    tar.insert(tar.end(), data.begin(), data.end());
    tar.resize((tar.size() + 511) / 512 * 512, 0);
}

void finish(std::vector<uint8_t>& tar) {
    tar.resize(tar.size() + 1024, 0);
}

class UnTarPeer : public ::testing::TestWithParam<const char*> {};

TEST_P(UnTarPeer, ExtractsAndTestsByteExact) {
    PV_REQUIRE_PEER("tar");
    const std::string format = GetParam();
    TempDir t;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"a.txt", bytesOf("hello\n")},
        {"sub/b.bin", randomBytes(70000, 3)},
        {"sub/exact512", randomBytes(512, 4)},
        {"empty", {}},
    };
    // A name longer than 100 bytes, with a folder part (ustar prefix) and as one long
    // component (GNU long-name record / pax path).
    if (format != "v7") {
        files.emplace_back(std::string(80, 'p') + "/" + std::string(60, 'q') + ".txt", bytesOf("prefix"));
        if (format != "ustar") files.emplace_back(std::string(150, 'n') + ".txt", bytesOf("long"));
    }
    std::string list;
    for (const auto& [name, data] : files) {
        writeBytes(t / "in" / name, data);
        list += " " + q(name);
    }
    // Link targets longer than 100 bytes (GNU long-link record / pax linkpath), symbolic and hard.
    int links = 0;
    const std::string longTarget = std::string(150, 'n') + ".txt";
    if (format == "gnu" || format == "posix") {
        fs::create_symlink(longTarget, t / "in" / "longlink");
        fs::create_hard_link(t / "in" / longTarget, t / "in" / (std::string(120, 'h') + ".txt"));
        list += " longlink " + std::string(120, 'h') + ".txt";
        links = 2;
    }
    fs::create_directories(t / "in" / "emptyd");
    ASSERT_EQ(run("tar --format=" + format + " -cf ../x.tar" + list + " emptyd", t / "in").status, 0);
    const Outcome x = runTar(t / "x.tar", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(x.passed(), static_cast<int>(files.size()) + links);
    for (const auto& [name, data] : files) EXPECT_EQ(readBytes(t / "out" / name), data) << name;
    if (links) {
        EXPECT_EQ(fs::read_symlink(t / "out" / "longlink").string(), longTarget);
        EXPECT_EQ(readBytes(t / "out" / (std::string(120, 'h') + ".txt")), bytesOf("long"));
    }
    EXPECT_TRUE(fs::is_directory(t / "out" / "emptyd")); // kept, as a folder

    const Outcome tested = runTar(t / "x.tar", t / "tested", true);
    EXPECT_FALSE(tested.failed());
    EXPECT_EQ(tested.passed(), static_cast<int>(files.size()) + links);
    EXPECT_FALSE(fs::exists(t / "tested"));
}

INSTANTIATE_TEST_SUITE_P(UnTarFormats, UnTarPeer, ::testing::Values("v7", "ustar", "gnu", "posix"));

TEST(UnTarBlocks, BadSecondHeaderStillExtractsTheThirdAnd513ByteMember) {
    TempDir t;
    std::vector<uint8_t> tar;
    const auto big = randomBytes(513, 1);
    append(tar, "one.bin", big);
    EXPECT_EQ(tar.size(), 512u + 1024u); // the next header 1024 bytes after this header's end
    const size_t second = tar.size();
    append(tar, "two.txt", bytesOf("two"));
    tar[second + 148] ^= 1; // its checksum no longer fits
    append(tar, "three.txt", bytesOf("three"));
    finish(tar);
    writeBytes(t / "x.tar", tar);
    const Outcome x = runTar(t / "x.tar", t / "out");
    EXPECT_EQ(filesIn(t / "out"), (std::vector<std::string>{"one.bin", "three.txt"}));
    EXPECT_EQ(readBytes(t / "out" / "one.bin"), big);
    EXPECT_EQ(readFile(t / "out" / "three.txt"), "three");
    EXPECT_FALSE(x.errors.empty()); // the damaged header is reported
}

TEST(UnTarBlocks, TruncatedMemberFailsAtEveryCut) {
    TempDir t;
    std::vector<uint8_t> tar;
    append(tar, "a.txt", bytesOf("first"));
    append(tar, "b.bin", randomBytes(1500, 2));
    finish(tar);
    for (size_t n = 0; n < 512 * 3 + 1500; n += 61) {
        writeBytes(t / "cut.tar",
                   std::vector<uint8_t>(tar.begin(), tar.begin() + static_cast<std::ptrdiff_t>(n)));
        fs::remove_all(t / "out");
        const Outcome x = runTar(t / "cut.tar", t / "out");
        for (const auto& name : filesIn(t / "out")) EXPECT_EQ(name, "a.txt") << "cut at " << n;
        if (n > 1024 && n < 1024 + 512 + 1500) {
            EXPECT_TRUE(x.failed()) << "cut at " << n;
        }
    }
}

TEST(UnTarHostile, NamesAndLinksStayInside) {
    TempDir t;
    std::vector<uint8_t> tar;
    append(tar, "../up.txt", bytesOf("up"));
    append(tar, "/abs.txt", bytesOf("abs"));
    append(tar, "ok.txt", bytesOf("ok"));
    append(tar, "out-link", {}, '2', "../../outside");
    append(tar, "abs-link", {}, '2', "/etc/passwd");
    append(tar, "in-link", {}, '2', "ok.txt");
    append(tar, "hard", {}, '1', "ok.txt");
    append(tar, "hard-out", {}, '1', "../../x");
    append(tar, "in-link/../x.txt", bytesOf("x"));
    append(tar, "dev", {}, '3');
    finish(tar);
    writeBytes(t / "x.tar", tar);
    const fs::path out = t / "a" / "out";
    const Outcome x = runTar(t / "x.tar", out);
    EXPECT_FALSE(x.errors.empty());
    EXPECT_FALSE(fs::exists(t / "a" / "up.txt"));
    EXPECT_EQ(readFile(out / "abs.txt"), "abs");
    EXPECT_EQ(readFile(out / "ok.txt"), "ok");
    EXPECT_FALSE(fs::exists(out / "out-link") || fs::is_symlink(out / "out-link"));
    EXPECT_FALSE(fs::is_symlink(out / "abs-link"));
    EXPECT_TRUE(fs::is_symlink(out / "in-link"));
    EXPECT_EQ(fs::read_symlink(out / "in-link").string(), "ok.txt");
    EXPECT_EQ(readFile(out / "hard"), "ok");
    EXPECT_FALSE(fs::exists(out / "hard-out"));
    EXPECT_FALSE(fs::exists(out / "dev"));
    for (const auto& e : fs::recursive_directory_iterator(t / "a"))
        EXPECT_EQ(e.path().string().rfind(out.string(), 0), 0u) << e.path();
}

TEST(UnTarHostile, NothingIsWrittenThroughALinkMember) {
    TempDir t;
    std::vector<uint8_t> tar;
    fs::create_directories(t / "a" / "out" / "real");
    append(tar, "d", {}, '2', "real");    // stays inside: made
    append(tar, "d/x.txt", bytesOf("x")); // would go through it: refused
    finish(tar);
    writeBytes(t / "x.tar", tar);
    const Outcome x = runTar(t / "x.tar", t / "a" / "out");
    EXPECT_TRUE(x.failed());
    EXPECT_FALSE(fs::exists(t / "a" / "out" / "real" / "x.txt"));
}

} // namespace

// A sparse file is refused with a message under either layout (GNU 'S' member, pax
// GNU.sparse records) rather than written as its stored map and pieces; the rest extracts.
TEST(UnTarSparse, SparseMembersAreRefusedAndTheRestExtracts) {
    PV_REQUIRE_PEER("tar");
    for (const std::string format : {"gnu", "posix"}) {
        SCOPED_TRACE(format);
        TempDir t;
        // A 3 MiB file with two written bytes and holes around them.
        fs::create_directories(t / "in");
        {
            std::ofstream f(t / "in" / "holes.bin", std::ios::binary);
            f.seekp(2000000);
            f.put('m');
            f.seekp(3 * 1024 * 1024 - 1);
            f.put('e');
        }
        writeBytes(t / "in" / "plain.txt", bytesOf("plain\n"));
        ASSERT_EQ(run("tar --format=" + format + " -S -cf ../x.tar holes.bin plain.txt", t / "in").status, 0);
        if (fs::file_size(t / "x.tar") > 1024 * 1024) GTEST_SKIP() << "the file system here keeps no holes";
        const Outcome x = runTar(t / "x.tar", t / "out");
        EXPECT_TRUE(x.hasError(kMsgBadFileHeader));
        EXPECT_EQ(x.passed(), 1);
        EXPECT_EQ(readBytes(t / "out" / "plain.txt"), bytesOf("plain\n"));
        // Nothing of the sparse member: neither its name nor the peer's stand-in folder.
        std::vector<std::string> names;
        for (const auto& p : fs::recursive_directory_iterator(t / "out"))
            names.push_back(fs::relative(p.path(), t / "out").string());
        EXPECT_EQ(names, std::vector<std::string>{"plain.txt"});
    }
}
