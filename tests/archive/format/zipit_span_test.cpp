// TZip on emulated removable disks: an archive too big for the disk is spanned over disks
// labelled "PKBACK# 001", ... that 7zz and TUnZIP read back; one that fits is written whole;
// without OnInsertDiskette the run stops and says which event is missing.
#include "archive/format/aeUnZIP.h"
#include "archive/format/aeZipIT.h"
#include "support/bytes.h"
#include "env.h"
#include "platform/volumes.h"
#include "testutil.h"

#include <map>

namespace {

using namespace pvtest;

constexpr int64_t kFloppy = 1457664;

class ZipSpan : public ::testing::Test {
protected:
    void SetUp() override {
        drive = (dir / "floppy").string();
        media.emplace(drive, "capacity=" + std::to_string(kFloppy));
        // About 3.3 MB that does not compress: three disks.
        writeBytes(dir / "in" / "r1.bin", randomBytes(1200000, 1));
        writeBytes(dir / "in" / "r2.bin", randomBytes(1100000, 2));
        writeFile(dir / "in" / "t.txt", sampleText(40000, 3));
        writeBytes(dir / "in" / "r3.bin", randomBytes(1000000, 3));
        writeFile(dir / "in" / "e.txt", "");
    }

    // Adds the sample files to <drive>/x.zip; disk requests insert a new disk of that number.
    int span(std::vector<std::string>& asked, std::vector<int>& errors, bool withEvent = true,
             const std::string& tempDir = {}) {
        TZip w;
        if (!tempDir.empty()) w.SetTempDir(tempDir);
        w.OnError = [&](TZipCommon&, const std::string&, const std::string& ex, const std::string&,
                        int code) {
            errors.push_back(code);
            if (code == kMsgEventMissing) missing = ex;
        };
        if (withEvent)
            w.OnInsertDiskette = [&](TZipCommon&, const std::string& volume, int64_t, int64_t, bool& cancel) {
                asked.push_back(volume);
                cancel = !platform::insertMedium(drive, volume, true);
            };
        w.SetArchiveFile(drive + "/x.zip");
        w.SetFileSpecPaths({(dir / "in" / "*").string()});
        return w.Compress();
    }

    // The file of every disk, in disk order, by the labels.
    std::vector<std::vector<uint8_t>> disks() {
        std::map<std::string, std::string> byLabel;
        for (const auto& m : platform::knownMedia(drive)) byLabel[m.label] = m.name;
        std::vector<std::vector<uint8_t>> out;
        for (const auto& [label, name] : byLabel) {
            labels.push_back(label);
            EXPECT_TRUE(platform::insertMedium(drive, name));
            out.push_back(readBytes(fs::path(drive) / "x.zip"));
        }
        return out;
    }

    TempDir dir;
    std::string drive;
    std::optional<ScopedMedia> media;
    std::vector<std::string> labels;
    std::string missing;
};

TEST_F(ZipSpan, SpannedSetIsReadBy7zzAndTUnZIP) {
    std::vector<std::string> asked;
    std::vector<int> errors;
    ASSERT_EQ(span(asked, errors), 5);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(asked, (std::vector<std::string>{"2", "3"}));

    const auto parts = disks();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(labels, (std::vector<std::string>{"PKBACK# 001", "PKBACK# 002", "PKBACK# 003"}));
    for (const auto& p : parts) EXPECT_LE(static_cast<int64_t>(p.size()), kFloppy);
    ASSERT_GE(parts[0].size(), 4u);
    EXPECT_EQ(le32(parts[0].data()), 0x08074B50u);

    // Every local header lies whole on the disk its central record names.
    const auto& last = parts.back();
    const size_t endAt = last.size() - 22;
    const auto end = aehdr::parseZipEnd(aehdr::Bytes(&last[endAt], 22));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->thisDisk, 2);
    EXPECT_EQ(end->entries, 5);
    std::vector<uint8_t> cd;
    for (size_t d = end->centralDisk; d < parts.size(); ++d)
        cd.insert(cd.end(), parts[d].begin() + (d == end->centralDisk ? end->centralOffset : 0),
                  d + 1 == parts.size() ? parts[d].begin() + static_cast<std::ptrdiff_t>(endAt)
                                        : parts[d].end());
    ASSERT_EQ(cd.size(), end->centralSize);
    size_t p = 0;
    for (int i = 0; i < 5; ++i) {
        const auto h = aehdr::parseZipCentral(aehdr::Bytes(&cd[p], 46));
        ASSERT_TRUE(h);
        ASSERT_LT(h->diskNumber, parts.size());
        const auto& disk = parts[h->diskNumber];
        ASSERT_LE(h->localOffset + 30, disk.size()) << "a local header straddles two disks";
        EXPECT_EQ(le32(&disk[h->localOffset]), aehdr::kZipLocalSig);
        p += 46 + h->variableLength();
    }

    // The disk files as a split set: x.z01, x.z02, x.zip.
    if (havePeer("7zz")) {
        writeBytes(dir / "set" / "x.z01", parts[0]);
        writeBytes(dir / "set" / "x.z02", parts[1]);
        writeBytes(dir / "set" / "x.zip", parts[2]);
        const auto t = run("7zz t x.zip", dir / "set");
        EXPECT_EQ(t.status, 0) << t.out;
    }

    // TUnZIP extracts the set from the disks.
    ASSERT_TRUE(platform::insertMedium(drive, "1"));
    TUnZIP u;
    std::vector<std::pair<std::string, bool>> ends;
    u.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) { cancel = !platform::insertMedium(drive, "3"); };
    u.OnGetZipFirstDisk = [&](TZipCommon&, bool& cancel) { cancel = !platform::insertMedium(drive, "1"); };
    u.OnGetZipNextDisk = [&](TZipCommon&, const std::string& disk, bool& cancel) {
        cancel = !platform::insertMedium(drive, disk);
    };
    u.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { ends.emplace_back(fn, pass); };
    u.SetArchiveFile(drive + "/x.zip");
    EXPECT_EQ(u.ArcType(), atZipMV);
    u.SetExtractDir((dir / "out").string());
    u.SetFileSpec({"*.*"});
    u.Extract();
    EXPECT_EQ(ends.size(), 5u);
    for (const auto& e : ends) EXPECT_TRUE(e.second) << e.first;
    for (const char* n : {"r1.bin", "r2.bin", "r3.bin", "t.txt", "e.txt"})
        EXPECT_EQ(readBytes(dir / "out" / n), readBytes(dir / "in" / n)) << n;
}

TEST_F(ZipSpan, WithoutTheDiskEventTheRunStops) {
    std::vector<std::string> asked;
    std::vector<int> errors;
    EXPECT_THROW(span(asked, errors, false), E_RAISE);
    EXPECT_EQ(missing, "OnInsertDiskette");
    // The temporary archive was made off the disk, and is gone.
    for (const auto& e : fs::directory_iterator(drive)) EXPECT_EQ(e.path().filename(), "x.zip");
}

TEST_F(ZipSpan, AnArchiveThatFitsIsWrittenWhole) {
    fs::remove(dir / "in" / "r1.bin");
    fs::remove(dir / "in" / "r2.bin");
    std::vector<std::string> asked;
    std::vector<int> errors;
    // The temporary archive is made off the disk; on another file system (a RAM disk, where
    // there is one) it is copied beside the archive before it takes the archive's place.
    for (const char* temp : {"", "/dev/shm"}) {
        SCOPED_TRACE(temp);
        if (*temp && !fs::is_directory(temp)) continue;
        fs::remove(fs::path(drive) / "x.zip");
        ASSERT_EQ(span(asked, errors, true, temp), 3);
        EXPECT_TRUE(asked.empty());
        EXPECT_TRUE(errors.empty());
        const auto z = readBytes(fs::path(drive) / "x.zip");
        EXPECT_EQ(le32(z.data()), aehdr::kZipLocalSig);
        if (havePeer("unzip")) {
            EXPECT_EQ(run("unzip -tq " + q(drive + "/x.zip")).status, 0);
        }
        for (const auto& e : fs::directory_iterator(drive)) EXPECT_EQ(e.path().filename(), "x.zip");
    }
}

TEST_F(ZipSpan, TheFullDiskAgainIsAskedForAgainAndAnOldFileIsAsked) {
    // Disk 3 holds an x.zip of an earlier set: OnFileExists decides, and skipping it stops.
    ASSERT_TRUE(platform::insertMedium(drive, "3", true));
    writeFile(fs::path(drive) / "x.zip", "an old part");
    ASSERT_TRUE(platform::insertMedium(drive, "1"));
    std::vector<std::string> asked, exists;
    int calls = 0;
    TZip w;
    w.OnInsertDiskette = [&](TZipCommon&, const std::string& volume, int64_t, int64_t, bool& cancel) {
        asked.push_back(volume);
        // The first time the full disk stays in: it must not be taken (or overwritten).
        cancel = ++calls > 1 && !platform::insertMedium(drive, volume, true);
    };
    w.OnFileExists = [&](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& mode) {
        exists.push_back(fn);
        mode = omSkip;
    };
    w.SetArchiveFile(drive + "/x.zip");
    w.SetFileSpecPaths({(dir / "in" / "*").string()});
    EXPECT_THROW(w.Compress(), E_RAISE);
    EXPECT_EQ(asked, (std::vector<std::string>{"2", "2", "3"}));
    EXPECT_EQ(exists, std::vector<std::string>{drive + "/x.zip"});
    EXPECT_EQ(readFile(fs::path(drive) / "x.zip"), "an old part"); // skipped: left alone
    ASSERT_TRUE(platform::insertMedium(drive, "1"));
    EXPECT_EQ(le32(readBytes(fs::path(drive) / "x.zip").data()), 0x08074B50u); // disk 1 intact
}

} // namespace
