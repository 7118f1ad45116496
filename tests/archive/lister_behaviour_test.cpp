// The lister's run protocol, filters, cancel, comments, corrupt input and the aetool verb.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>

#include "platform/volumes.h"

#include "archive/aeCommon.h"
#include "support/env.h"
#include "support/testutil.h"
#include "tests/archive/lister_util.h"

namespace {

using namespace pvtest;
using namespace listertest;

void touchOld(const fs::path& dir) {
    run("find . -exec touch -h -d '2024-05-06 07:08:10' {} +", dir);
}

TEST(ListerRun, EventsComeInProtocolOrder) {
    PV_REQUIRE_PEER("zip");
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    writeFile(dir / "b.txt", "bb");
    ASSERT_EQ(run("zip -q x.zip a.txt b.txt", dir.path()).status, 0);
    TArcLister l;
    std::vector<std::string> log;
    l.SetFileSpec({"*.*"});
    l.OnActivate = [&](TZipCommon&) { log.push_back("activate"); };
    l.OnReadFile = [&](TZipCommon&, const std::string& n) { log.push_back("file " + n); };
    l.OnReadBegin = [&](TZipCommon&) { log.push_back("begin"); };
    l.OnRead = [&](TZipCommon& s, int64_t, int n) {
        log.push_back("read " + std::to_string(n) + " " + s.FileName);
    };
    l.OnReadEnd = [&](TZipCommon&) { log.push_back("end"); };
    l.OnTotals = [&](TZipCommon&, int n) { log.push_back("totals " + std::to_string(n)); };
    l.OnDeactivate = [&](TZipCommon&) { log.push_back("deactivate"); };
    l.OnElapsedTime = [&](TZipCommon&, float) { log.push_back("elapsed"); };
    l.SetArchiveFile((dir / "x.zip").string());
    ASSERT_TRUE(l.Activate());
    EXPECT_EQ(
        log, (std::vector<std::string>{"activate", "file a.txt", "begin", "read 1 a.txt", "end", "file b.txt",
                                       "begin", "read 2 b.txt", "end", "totals 2", "deactivate", "elapsed"}));
    EXPECT_EQ(l.TotalUnpackedSize, 3);
}

TEST(ListerRun, MissingOnReadAndUnknownFilesFail) {
    TempDir dir;
    writeFile(dir / "plain.txt", std::string(100, 'q'));
    TArcLister l;
    int code = 0;
    l.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
        code = c;
    };
    l.SetArchiveFile((dir / "plain.txt").string());
    EXPECT_FALSE(l.Activate());
    EXPECT_EQ(code, 25270); // OnRead is checked before the type
    l.OnRead = [](TZipCommon&, int64_t, int) {};
    EXPECT_FALSE(l.Activate());
    EXPECT_EQ(code, 25327);
}

TEST(ListerRun, CancelStopsAfterTheCurrentEntry) {
    PV_REQUIRE_PEER("tar");
    TempDir dir;
    for (int i = 0; i < 5; ++i) writeFile(dir / ("f" + std::to_string(i) + ".txt"), "x");
    ASSERT_EQ(run("tar cf x.tar f0.txt f1.txt f2.txt f3.txt f4.txt", dir.path()).status, 0);
    TArcLister l;
    int reads = 0, totals = -1;
    l.SetFileSpec({"*.*"});
    l.OnRead = [&](TZipCommon& s, int64_t, int) {
        if (++reads == 2) s.SetCancel(true);
    };
    l.OnTotals = [&](TZipCommon&, int n) { totals = n; };
    l.SetArchiveFile((dir / "x.tar").string());
    EXPECT_TRUE(l.Activate());
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(totals, 2);
}

TEST(ListerRun, FileSpecSkipsDataOfRejectedTarMembers) {
    PV_REQUIRE_PEER("tar");
    TempDir dir;
    writeFile(dir / "one.txt", "1");
    writeBytes(dir / "big.bin", randomBytes(5000));
    writeFile(dir / "two.txt", "22");
    ASSERT_EQ(run("tar cf x.tar one.txt big.bin two.txt", dir.path()).status, 0);
    TArcLister l;
    std::vector<std::string> seen, reported;
    l.SetFileSpec({"*.txt"});
    l.OnReadFile = [&](TZipCommon&, const std::string& n) { seen.push_back(n); };
    l.OnRead = [&](TZipCommon& s, int64_t, int) { reported.push_back(s.FileName); };
    l.SetArchiveFile((dir / "x.tar").string());
    ASSERT_TRUE(l.Activate());
    EXPECT_EQ(seen, (std::vector<std::string>{"one.txt", "big.bin", "two.txt"}));
    EXPECT_EQ(reported, (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST(ListerZip, EmptyArchiveListsNothing) {
    TempDir dir;
    std::vector<uint8_t> eocd = {0x50, 0x4B, 0x05, 0x06};
    eocd.resize(22, 0);
    writeBytes(dir / "empty.zip", eocd);
    auto l = listArchive((dir / "empty.zip").string());
    EXPECT_TRUE(l.ok);
    EXPECT_TRUE(l.entries.empty());
    EXPECT_EQ(l.totalsFired, 0);
}

TEST(ListerZip, FoldersOnlyOnRequestAndUncountedCommentsRead) {
    PV_REQUIRE_PEER("zip");
    TempDir dir;
    writeFile(dir / "d/f.txt", "f");
    ASSERT_EQ(run("zip -q -r x.zip d && echo 'archive note' | zip -q -z x.zip && "
                  "printf 'entry note\\n' | zip -q -c x.zip d/f.txt",
                  dir.path())
                  .status,
              0);
    auto plain = listArchive((dir / "x.zip").string());
    ASSERT_TRUE(plain.ok);
    ASSERT_EQ(plain.entries.size(), 1u);
    EXPECT_EQ(plain.entries[0].name, "d/f.txt");
    EXPECT_EQ(plain.entries[0].comment, "entry note");
    EXPECT_EQ(plain.archiveComment, "archive note");
    auto dirs = listArchive((dir / "x.zip").string(), true);
    ASSERT_EQ(dirs.entries.size(), 2u);
    EXPECT_EQ(dirs.entries[0].name, "d/");
    EXPECT_EQ(dirs.totalsFired, 1); // the folder is shown, not counted
}

// A gzip file of two members (a.txt then b.txt, each with its name): listed as one entry,
// as gzip -l does: the first member's name and time, the size and CRC of the last trailer.
// The real total needs the data inflated, which a listing does not do.
TEST(ListerGzip, MultiMemberFileIsOneEntryLikeGzipList) {
    PV_REQUIRE_PEER("gzip");
    TempDir dir;
    writeFile(dir / "a.txt", "first member\n");
    writeFile(dir / "b.txt", sampleText(5000));
    touchOld(dir.path());
    ASSERT_EQ(run("gzip -c a.txt > m.gz && gzip -c b.txt >> m.gz", dir.path()).status, 0);
    auto l = listArchive((dir / "m.gz").string());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "a.txt");
    EXPECT_EQ(l.entries[0].size, 5000);
    const std::string b = sampleText(5000);
    EXPECT_EQ(l.entries[0].crc, Crc32Of(b.data(), b.size()));
    const Civil c = civil(l.entries[0].date);
    EXPECT_EQ(c.y, 2024);
    auto peer = run("gzip -lvN m.gz", dir.path());
    EXPECT_NE(peer.out.find(" 5000 "), std::string::npos) << peer.out;
    EXPECT_NE(peer.out.find("a.txt"), std::string::npos) << peer.out;
}

TEST(ListerUue, OnlyTheFirstBeginLineAndNamesWithSpaces) {
    TempDir dir;
    writeFile(dir / "x.uue",
              "notes\nbegin 644 my file.txt\n&:&5L;&\\*\n`\nend\nbegin 644 second.txt\n`\nend\n");
    auto l = listArchive((dir / "x.uue").string());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "my file.txt");
    EXPECT_EQ(l.entries[0].size, 6);
}

// Truncated and damaged archives: whatever the damage, the listing ends (no crash, hang or
// huge allocation); when it fails it says why with the lister's messages, and what stood
// before the damage has been listed.
TEST(ListerCorrupt, DamagedArchivesEndWithTheirErrors) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("tar");
    PV_REQUIRE_PEER("arj");
    TempDir dir;
    writeFile(dir / "a.txt", "alpha\n");
    writeBytes(dir / "r.bin", randomBytes(3000, 9));
    writeFile(dir / "c.txt", "gamma\n");
    ASSERT_EQ(run("zip -q x.zip a.txt r.bin c.txt && tar cf x.tar a.txt r.bin c.txt && "
                  "arj a -y x.arj a.txt r.bin c.txt >/dev/null && gzip -c r.bin > x.gz",
                  dir.path())
                  .status,
              0);
    if (havePeer("jlha")) run("jlha a2o5 x.lzh a.txt r.bin c.txt >/dev/null", dir.path());
    if (havePeer("gcab")) run("gcab -c x.cab a.txt r.bin c.txt", dir.path());
    for (const char* name : {"x.zip", "x.tar", "x.arj", "x.gz", "x.lzh", "x.cab"}) {
        if (!fs::exists(dir / name)) continue;
        const auto whole = readBytes(dir / name);
        for (size_t cut : {size_t{40}, size_t{100}, size_t{600}, whole.size() / 2, whole.size() - 30}) {
            if (cut >= whole.size()) continue;
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            writeBytes(dir / ("cut_" + std::string(name)),
                       {whole.begin(), whole.begin() + static_cast<long>(cut)});
            auto l = listArchive((dir / ("cut_" + std::string(name))).string());
            if (!l.ok && !l.errors.empty()) {
                EXPECT_TRUE(l.errors.back() == 25110 || l.errors.back() == 25236 || l.errors.back() == 25327)
                    << l.errors.back();
            }
        }
        for (size_t at = 0; at < whole.size(); at += 7) {
            auto bad = whole;
            bad[at] ^= 0xA5;
            writeBytes(dir / ("bad_" + std::string(name)), bad);
            auto l = listArchive((dir / ("bad_" + std::string(name))).string());
            if (!l.ok && !l.errors.empty()) {
                EXPECT_TRUE(l.errors.back() == 25110 || l.errors.back() == 25236 || l.errors.back() == 25327)
                    << name << " byte " << at << " code " << l.errors.back();
            }
        }
    }
    // A tar cut inside its second member: the first is listed, then the read error.
    const auto tar = readBytes(dir / "x.tar");
    writeBytes(dir / "short.tar", {tar.begin(), tar.begin() + 512 + 512 + 512 + 100});
    auto l = listArchive((dir / "short.tar").string());
    EXPECT_FALSE(l.ok);
    ASSERT_GE(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "a.txt");
    ASSERT_FALSE(l.errors.empty());
    EXPECT_EQ(l.errors.back(), 25236);
}

// ------------------------------------------------------------------------------ aetool

TEST(ListerAetool, PrintsTypeEntriesAndTotal) {
    PV_REQUIRE_PEER("zip");
    TempDir dir;
    writeFile(dir / "a.txt", "hello\n");
    touchOld(dir.path());
    ASSERT_EQ(run("zip -q x.zip a.txt", dir.path()).status, 0);
    auto r = run(q(aetool().string()) + " list x.zip", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "type\tatZip\na.txt\t6\t6\tStored\t363a3020\t2024-05-06 07:08:10\ntotal\t1\t6\t6\n");

    writeFile(dir / "junk.bin", std::string(64, 'j'));
    auto bad = run(q(aetool().string()) + " list junk.bin 2>&1 >/dev/null", dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Unknown file type"), std::string::npos) << bad.out;
    EXPECT_EQ(run(q(aetool().string()) + " list", dir.path()).status, 2);
}

TEST(ListerAetool, FollowsArjVolumesByTheirStandardNames) {
    PV_REQUIRE_PEER("arj");
    TempDir dir;
    writeBytes(dir / "r.bin", randomBytes(120000, 5));
    ASSERT_EQ(run("arj a -y -v50K x.arj r.bin >/dev/null", dir.path()).status, 0);
    ASSERT_TRUE(fs::exists(dir / "x.a01"));
    auto r = run(q(aetool().string()) + " list x.arj", dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("r.bin\t120000\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("total\t1\t120000\t"), std::string::npos) << r.out;
    fs::remove(dir / "x.a01");
    auto missing = run(q(aetool().string()) + " list x.arj", dir.path());
    EXPECT_EQ(missing.status, 1) << missing.out;
}

} // namespace

// ------------------------------------------------------------------------------ spanned zip

// A set spanned over emulated floppies: the parts of a split zip, each the file x.zip on a
// disk labelled "PKBACK# 00N". The directory of 1500 entries is larger than a disk, so it
// starts on one disk and goes on over the next ones. The lister asks for the last disk
// (OnGetZipLastDisk), then for the disk the directory starts on and each one after it
// (OnGetZipNextDisk with the disk number).
TEST(ListerZip, SpannedSetIsFollowedOverDisks) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir dir;
    const fs::path src = dir / "src";
    std::string names;
    for (int i = 0; i < 1500; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "entry_with_a_rather_long_name_%04d.txt", i);
        writeFile(src / name, std::to_string(i));
    }
    ASSERT_EQ(
        run("zip -q -s 64k x.zip *.txt && zip -q -s 0 x.zip --out whole.zip && unzip -Z1 whole.zip > names",
            src)
            .status,
        0);
    std::vector<fs::path> parts;
    for (int n = 1; fs::exists(src / ("x.z0" + std::to_string(n))); ++n)
        parts.push_back(src / ("x.z0" + std::to_string(n)));
    parts.push_back(src / "x.zip");
    ASSERT_GE(parts.size(), 3u);

    const std::string drive = (dir / "floppy").string();
    ScopedMedia media(drive, "label=PKBACK# 001");
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string disk = std::to_string(i + 1);
        char label[32];
        std::snprintf(label, sizeof label, "PKBACK# %03zu", i + 1);
        ASSERT_TRUE(platform::insertMedium(drive, disk, true, label));
        fs::copy_file(parts[i], fs::path(drive) / "x.zip", fs::copy_options::overwrite_existing);
    }
    ASSERT_TRUE(platform::insertMedium(drive, "1"));

    TArcLister l;
    std::vector<std::string> listed, asked;
    l.SetFileSpec({"*.*"});
    l.OnRead = [&](TZipCommon& s, int64_t, int) { listed.push_back(s.FileName); };
    l.OnGetZipLastDisk = [&](TZipCommon&, bool& cancel) {
        asked.push_back("last");
        cancel = !platform::insertMedium(drive, std::to_string(parts.size()));
    };
    l.OnGetZipNextDisk = [&](TZipCommon&, const std::string& disk, bool& cancel) {
        asked.push_back(disk);
        cancel = !platform::insertMedium(drive, disk);
    };
    l.SetArchiveFile(drive + "/x.zip");
    ASSERT_EQ(l.ArcType(), atZipMV);
    ASSERT_TRUE(l.Activate()) << l.LastError();
    std::vector<std::string> expected;
    std::istringstream in(readFile(src / "names"));
    for (std::string n; std::getline(in, n);) expected.push_back(n);
    EXPECT_EQ(listed, expected);
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked.front(), "last");
}

TEST(ListerArj, ArchiveCommentIsRead) {
    PV_REQUIRE_PEER("arj");
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    writeFile(dir / "note.txt", "arj archive note\n");
    ASSERT_EQ(run("arj a -y -znote.txt x.arj a.txt >/dev/null", dir.path()).status, 0);
    auto l = listArchive((dir / "x.arj").string());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_NE(l.archiveComment.find("arj archive note"), std::string::npos) << l.archiveComment;
}

// Self-extracting programs: an archive behind a 30000-byte program part, with offsets
// left as they were (zip) or adjusted (zip -A). Every entry is listed and its Offset is
// the file offset of its own header.
TEST(ListerSfx, ArchivesBehindAProgramPart) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("arj");
    TempDir dir;
    writeFile(dir / "a.txt", "hello\n");
    writeFile(dir / "b.txt", sampleText(9000));
    ASSERT_EQ(run("zip -q x.zip a.txt b.txt && arj a -y x.arj a.txt b.txt >/dev/null", dir.path()).status, 0);
    if (havePeer("jlha")) run("jlha a2o5 x.lzh a.txt b.txt >/dev/null", dir.path());
    std::vector<uint8_t> stub(30000, 0);
    stub[0] = 'M', stub[1] = 'Z';
    struct Case {
        const char* source;
        const char* sfx;
        TArcType type;
        uint32_t headerMagic; // what each entry's Offset must point at
        int magicBytes;
    };
    const Case cases[] = {{"x.zip", "zip.exe", atZipExe, 0x04034B50, 4},
                          {"x.zip", "zipa.exe", atZipExe, 0x04034B50, 4},
                          {"x.arj", "arj.exe", atArjExe, 0xEA60, 2},
                          {"x.lzh", "lzh.exe", atLhaExe, 0, 0}};
    for (const Case& c : cases) {
        if (!fs::exists(dir / c.source)) continue;
        SCOPED_TRACE(c.sfx);
        auto bytes = stub;
        const auto archive = readBytes(dir / c.source);
        bytes.insert(bytes.end(), archive.begin(), archive.end());
        writeBytes(dir / c.sfx, bytes);
        if (std::string(c.sfx) == "zipa.exe") {
            ASSERT_EQ(run("zip -q -A zipa.exe", dir.path()).status, 0);
        }
        const auto file = readBytes(dir / c.sfx);
        auto l = listArchive((dir / c.sfx).string());
        EXPECT_EQ(l.type, c.type);
        ASSERT_TRUE(l.ok);
        ASSERT_EQ(l.entries.size(), 2u);
        EXPECT_EQ(l.entries[0].name, "a.txt");
        EXPECT_EQ(l.entries[1].name, "b.txt");
        EXPECT_EQ(l.entries[1].size, 9000);
        for (const auto& e : l.entries) {
            ASSERT_GE(e.offset, 30000);
            ASSERT_LT(e.offset + 4, static_cast<int64_t>(file.size()));
            uint32_t magic = 0;
            for (int k = 0; k < c.magicBytes; ++k) magic |= uint32_t{file[e.offset + k]} << (8 * k);
            EXPECT_EQ(magic, c.headerMagic) << e.name;
        }
    }
}
