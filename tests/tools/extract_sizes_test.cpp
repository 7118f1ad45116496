// aetool extract on archives the peers write at test time from generated files of real
// sizes (up to 8 MB; at and around the decoders' window and buffer sizes): every file
// comes back byte for byte, for zip (zip -1, zip -9, 7zz -mx9), gzip, tar.gz, lzh (-lh5-,
// -lh6-) and arj (methods 1 to 4).
#include <gtest/gtest.h>

#include "archive/rar_builder.h"

#include "gendata.h"
#include "testutil.h"

#include <map>

using namespace pvtest;

namespace {

constexpr std::size_t kMiB = 1 << 20;

// Built once for the whole suite: the peers are slow on megabytes.
class ExtractSizes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        files_ = new std::map<std::string, std::vector<std::uint8_t>>{
            {"log.txt", genData(DataKind::Text, 1943360, 1)},
            {"mixed.bin", genData(DataKind::Mixed, 8 * kMiB, 2)},
            {"runs.bin", genData(DataKind::Runs, kMiB + 1, 3)},
            {"random.bin", genData(DataKind::Random, kMiB - 274, 4)},
            {"chunk.txt", genData(DataKind::Text, kMiB, 5)},
            {"window.bin", genData(DataKind::Mixed, 32768 + 258, 6)},
            {"small.txt", genData(DataKind::Text, 100, 7)},
            {"empty.txt", {}},
        };
        // Sizes at and around the windows of the decoders (8 KiB for -lh5-, 26,624 bytes for
        // arj, 32 KiB for deflate and -lh6-) and the 64 KiB blocks of input and output.
        for (DataKind kind : {DataKind::Text, DataKind::Runs, DataKind::Mixed})
            for (std::size_t n :
                 {8191u, 8192u + 256u, 26624u + 1u, 32768u - 258u, 32768u + 258u, 65535u, 65537u})
                (*files_)["edge_" + std::string(kindName(kind)) + "_" + std::to_string(n)] =
                    genData(kind, n, n);
        for (const auto& [name, data] : *files_) writeBytes(*dir_ / "in" / name, data);
    }
    static void TearDownTestSuite() {
        delete files_;
        delete dir_;
        files_ = nullptr;
        dir_ = nullptr;
    }

    static std::string names() {
        std::string s;
        for (const auto& f : *files_) s += " " + q(f.first);
        return s;
    }
    static fs::path in() { return *dir_ / "in"; }

    // Makes `archive` with the peer's command line (run in the input folder), extracts it
    // with aetool and compares the files named (all of them by default).
    static void packAndCheck(const std::string& archive, const std::string& cmd,
                             const std::vector<std::string>& only = {}) {
        SCOPED_TRACE(cmd);
        const fs::path arc = *dir_ / archive;
        const RunResult made = run(cmd, in());
        ASSERT_EQ(made.status, 0) << made.out;
        ASSERT_TRUE(fs::exists(arc)) << made.out;
        const fs::path out = *dir_ / ("out_" + archive);
        const RunResult x = run(q(aetool().string()) + " extract " + q(arc.string()) + " " + q(out.string()));
        EXPECT_EQ(x.status, 0) << x.out;
        for (const auto& [name, data] : *files_) {
            if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
            const fs::path got = out / name;
            ASSERT_TRUE(fs::exists(got)) << name << "\n" << x.out;
            EXPECT_TRUE(readBytes(got) == data) << name;
        }
        fs::remove_all(out);
        fs::remove(arc);
    }

    static TempDir* dir_;
    static std::map<std::string, std::vector<std::uint8_t>>* files_;
};
TempDir* ExtractSizes::dir_ = nullptr;
std::map<std::string, std::vector<std::uint8_t>>* ExtractSizes::files_ = nullptr;

TEST_F(ExtractSizes, ZipAtLevelsOneAndNine) {
    PV_REQUIRE_PEER("zip");
    for (const char* level : {"-1", "-9"})
        packAndCheck(std::string("z") + level + ".zip",
                     std::string("zip -q ") + level + " ../z" + level + ".zip" + names());
}

TEST_F(ExtractSizes, ZipBy7zz) {
    PV_REQUIRE_PEER("7zz");
    packAndCheck("s.zip", "7zz a -bd -tzip -mx9 ../s.zip" + names() + " >/dev/null");
}

TEST_F(ExtractSizes, GzipAndTarGz) {
    PV_REQUIRE_PEER("gzip");
    PV_REQUIRE_PEER("tar");
    packAndCheck("mixed.bin.gz", "gzip -9 -c mixed.bin > ../mixed.bin.gz", {"mixed.bin"});
    packAndCheck("all.tar.gz", "tar czf ../all.tar.gz" + names());
}

TEST_F(ExtractSizes, LzhByJlha) {
    PV_REQUIRE_PEER("jlha");
    for (const char* m : {"o5", "o6"})
        packAndCheck(std::string("x") + m + ".lzh",
                     std::string("jlha a") + m + " ../x" + m + ".lzh" + names() + " >/dev/null");
}

TEST_F(ExtractSizes, ArjMethodsOneToFour) {
    PV_REQUIRE_PEER("arj");
    for (int m = 1; m <= 4; ++m) {
        const std::string arc = "m" + std::to_string(m) + ".arj";
        packAndCheck(arc, "arj a -m" + std::to_string(m) + " -y ../" + arc + names() + " >/dev/null");
    }
}

} // namespace

namespace {

// A tmpfs of 2 MB mounted for the scope (root only; otherwise the test is skipped).
struct TinyDevice {
    fs::path dir;
    bool mounted = false;
    explicit TinyDevice(const fs::path& d) : dir(d) {
        fs::create_directories(dir);
        mounted = run("mount -t tmpfs -o size=2m tmpfs " + q(dir.string()) + " 2>&1").status == 0;
    }
    ~TinyDevice() {
        if (mounted) run("umount " + q(dir.string()));
    }
};

// A file larger than the device: every extractor says why the write failed and of which
// file, fails the entry and leaves nothing of it.
TEST(ExtractVerb, AFullDeviceIsSaidSoNamingTheFile) {
    TempDir t;
    TinyDevice tiny(t / "tiny");
    if (!tiny.mounted) GTEST_SKIP() << "mounting a tmpfs needs root";
    writeBytes(t / "in" / "big.bin", randomBytes(3000000, 8));
    writeBytes(t / "big.rar", rarfix::archive({{"big.bin", readBytes(t / "in" / "big.bin")}}));
    struct Maker {
        const char* archive;
        const char* peer;
        std::string command;
    };
    const std::string tool = q(aetool().string());
    const Maker makers[] = {
        {"big.zip", "zip", "zip -q -0 ../big.zip big.bin"},
        {"big.tar", "tar", "tar cf ../big.tar big.bin"},
        {"big.arc", "arc", "arc a ../big.arc big.bin"},
        {"big.cab", "gcab", "gcab -c ../big.cab big.bin"},
        {"big.arj", "arj", "arj a -y ../big.arj big.bin"},
        {"big.bh", "", tool + " add ../big.bh big.bin"},
        {"big.rar", "", "true"}, // written above: no peer writes RAR 4
    };
    for (const Maker& m : makers) {
        SCOPED_TRACE(m.archive);
        if (*m.peer && !havePeer(m.peer)) continue;
        ASSERT_EQ(run(m.command, t / "in").status, 0);
        const fs::path out = tiny.dir / "out";
        const RunResult r = run(tool + " extract " + q((t / m.archive).string()) + " " + q(out.string()));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("big.bin: Error writing to file (No space left on device)"), std::string::npos)
            << r.out;
        EXPECT_FALSE(fs::exists(out / "big.bin"));
        fs::remove_all(out);
    }
}

} // namespace
