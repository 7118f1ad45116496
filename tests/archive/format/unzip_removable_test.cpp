// TUnZIP on removable disks: a set spanned over emulated floppies: the parts of a split zip, each the
// file x.zip on a disk labelled "PKBACK# 00N" (the extractor asks for the last disk, the
// directory, then for the first, and the decoders for each next one), and the room check.
#include <gtest/gtest.h>

#include <optional>

#include "archive/format/aeUnZIP.h"
#include "env.h"
#include "platform/volumes.h"
#include "testutil.h"

using namespace pvtest;

namespace {

class UnZipSpanned : public ::testing::Test {
protected:
    void SetUp() override {
        if (!havePeer("zip")) GTEST_SKIP() << "peer tool 'zip' is not installed";
        writeBytes(dir / "src" / "big.bin", randomBytes(200000, 5));
        writeFile(dir / "src" / "a.txt", sampleText(3000, 1));
        writeFile(dir / "src" / "z.txt", "last");
        ASSERT_EQ(run("zip -q -s 64k x.zip big.bin a.txt z.txt", dir / "src").status, 0);
        std::vector<fs::path> parts;
        for (int n = 1; fs::exists(dir / "src" / ("x.z0" + std::to_string(n))); ++n)
            parts.push_back(dir / "src" / ("x.z0" + std::to_string(n)));
        parts.push_back(dir / "src" / "x.zip");
        ASSERT_GE(parts.size(), 3u);
        disks = parts.size();
        drive = (dir / "floppy").string();
        media.emplace(drive, "label=PKBACK# 001");
        for (size_t i = 0; i < parts.size(); ++i) {
            char label[32];
            std::snprintf(label, sizeof label, "PKBACK# %03zu", i + 1);
            ASSERT_TRUE(platform::insertMedium(drive, std::to_string(i + 1), true, label));
            fs::copy_file(parts[i], fs::path(drive) / "x.zip", fs::copy_options::overwrite_existing);
        }
        ASSERT_TRUE(platform::insertMedium(drive, "1"));
    }

    TempDir dir;
    std::string drive;
    size_t disks = 0;
    std::optional<ScopedMedia> media;
};

TEST_F(UnZipSpanned, ExtractsOverEveryDisk) {
    TUnZIP u;
    std::vector<std::string> asked;
    std::vector<std::pair<std::string, bool>> ends;
    std::vector<int> errors;
    u.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
        asked.push_back("last");
        cancel = !platform::insertMedium(drive, std::to_string(disks));
    };
    u.OnGetZipFirstDisk = [&](TZipCommon&, bool& cancel) {
        asked.push_back("first");
        cancel = !platform::insertMedium(drive, "1");
    };
    u.OnGetZipNextDisk = [&](TZipCommon&, const std::string& disk, bool& cancel) {
        asked.push_back(disk);
        cancel = !platform::insertMedium(drive, disk);
    };
    u.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { ends.emplace_back(fn, pass); };
    u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        errors.push_back(code);
    };
    u.SetArchiveFile(drive + "/x.zip");
    ASSERT_EQ(u.ArcType(), atZipMV);
    u.SetExtractDir((dir / "out").string());
    u.SetFileSpec({"*.*"});
    u.Extract();
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(ends.size(), 3u);
    for (const auto& e : ends) EXPECT_TRUE(e.second) << e.first;
    for (const char* n : {"big.bin", "a.txt", "z.txt"})
        EXPECT_EQ(readFile(dir / "out" / n), readFile(dir / "src" / n)) << n;
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked.front(), "last");
    EXPECT_EQ(asked[1], "first");
}

TEST_F(UnZipSpanned, WithoutTheDiskEventsTheRunSaysWhichIsMissing) {
    TUnZIP u;
    std::vector<std::string> missing;
    u.OnError = [&](TZipCommon&, const std::string&, const std::string& ex, const std::string&, int code) {
        if (code == 25270) missing.push_back(ex);
    };
    u.SetArchiveFile(drive + "/x.zip");
    u.SetExtractDir((dir / "out").string());
    u.SetFileSpec({"*.*"});
    u.Extract();
    EXPECT_EQ(missing, std::vector<std::string>{"OnGetZipLastDisk"});
    EXPECT_FALSE(fs::exists(dir / "out" / "big.bin"));
}

TEST_F(UnZipSpanned, CancellingTheLastDiskEndsTheRun) {
    TUnZIP u;
    int asked = 0;
    u.OnGetZipLastDisk = [&](TZipCommon&, bool&) { ++asked; }; // Cancel stays True
    u.SetArchiveFile(drive + "/x.zip");
    u.SetExtractDir((dir / "out").string());
    u.SetFileSpec({"*.*"});
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(asked, 1);
}

// Extracting to a removable disk: an entry larger than the free space ends the run before
// anything is written, unless it replaces a file big enough to make the room.
TEST(UnZipRoom, RemovableTargetMustHoldTheEntry) {
    PV_REQUIRE_PEER("zip");
    TempDir dir;
    writeBytes(dir / "src" / "big.bin", randomBytes(120000, 2));
    ASSERT_EQ(run("zip -q0 ../x.zip big.bin", dir / "src").status, 0);
    const std::string drive = (dir / "floppy").string();
    ScopedMedia media(drive, "capacity=150000");
    auto extract = [&](std::vector<int>& errors) {
        TUnZIP u;
        u.ConfirmOverwrites = false;
        u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
            errors.push_back(code);
        };
        u.SetArchiveFile((dir / "x.zip").string());
        u.SetExtractDir(drive);
        u.SetFileSpec({"*.*"});
        try {
            u.Extract();
        } catch (const E_RAISE&) {
        }
    };
    // 60000 bytes taken by another file: 90000 free.
    writeBytes(fs::path(drive) / "other.bin", randomBytes(60000, 4));
    std::vector<int> errors;
    extract(errors);
    EXPECT_EQ(errors, std::vector<int>{25155});
    EXPECT_FALSE(fs::exists(fs::path(drive) / "big.bin"));

    // The same 60000 bytes in the file the entry replaces count as room.
    fs::remove(fs::path(drive) / "other.bin");
    writeBytes(fs::path(drive) / "big.bin", randomBytes(60000, 3));
    errors.clear();
    extract(errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readBytes(fs::path(drive) / "big.bin"), readBytes(dir / "src" / "big.bin"));
}

} // namespace
