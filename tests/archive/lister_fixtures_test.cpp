// Formats no installed peer writes (ZOO, HA, BH, PAK, RAR, ACE, MsGZ) and CAB sets, listed
// from tiny archives built here byte by byte from the published layouts. Each builder says
// what its archive holds and what it shows.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/aeCommon.h"
#include "support/testutil.h"
#include "tests/archive/lister_util.h"

namespace {

using namespace pvtest;
using namespace listertest;

// Little-endian byte builder.
struct B {
    std::vector<uint8_t> d;
    B& u8(unsigned v) {
        d.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    B& u16(unsigned v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    B& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    B& str(const std::string& s) {
        d.insert(d.end(), s.begin(), s.end());
        return *this;
    }
    B& zstr(const std::string& s) { return str(s).u8(0); }
    B& fixed(const std::string& s, size_t n) {
        for (size_t i = 0; i < n; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
        return *this;
    }
    B& bytes(const std::vector<uint8_t>& b) {
        d.insert(d.end(), b.begin(), b.end());
        return *this;
    }
    size_t size() const { return d.size(); }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void put16(size_t at, unsigned v) {
        d[at] = static_cast<uint8_t>(v);
        d[at + 1] = static_cast<uint8_t>(v >> 8);
    }
};

constexpr uint32_t kDos = (uint32_t{(2024 - 1980) << 9 | 5 << 5 | 6} << 16) | (7 << 11 | 8 << 5 | 10 / 2);
constexpr uint32_t kUnix = 1714979290; // 2024-05-06 07:08:10 UTC

uint32_t crc32Of(const std::string& s) {
    return Crc32Of(s.data(), s.size());
}

void expectDos(const Listed& e) {
    const Civil c = civil(e.date);
    EXPECT_EQ(c.y, 2024);
    EXPECT_EQ(c.mo, 5);
    EXPECT_EQ(c.d, 6);
    EXPECT_EQ(c.h, 7);
    EXPECT_EQ(c.mi, 8);
    EXPECT_EQ(c.s, 10);
}

Listing listBytes(const TempDir& dir, const std::string& name, const B& b) {
    writeBytes(dir / name, b.d);
    return listArchive((dir / name).string());
}

// ---------------------------------------------------------------------------------- ZOO
// A zoo 2.x archive: header with an archive comment, then the entry chain: "dir/Long File
// Name.txt" (a type-2 entry with long name and folder, and an entry comment), a deleted
// entry (skipped), "SHORT.TXT" (type 1), and the closing entry whose next offset is 0.
// Shows: long names and folders, comments, CRC-16, deleted entries, the end of the chain.
B zooArchive(bool backwardsLink = false) {
    B b;
    b.fixed("ZOO 2.10 Archive.\x1a", 20).u32(0xFDC4A7DC).u32(0).u32(0).u8(2).u8(0).u8(1);
    const size_t commentAt = b.size();
    b.u32(0).u16(0).u8(1); // archive comment offset and length, version data
    const std::string archiveComment = "zoo archive comment";
    const size_t acOffset = b.size();
    b.str(archiveComment);
    b.put32(commentAt, static_cast<uint32_t>(acOffset));
    b.put16(commentAt + 4, static_cast<unsigned>(archiveComment.size()));
    b.put32(24, static_cast<uint32_t>(b.size()));
    b.put32(28, static_cast<uint32_t>(-static_cast<int32_t>(b.size())));

    auto entry = [&](uint8_t type, bool deleted, const std::string& shortName, const std::string& longName,
                     const std::string& folder, const std::string& data, const std::string& comment) {
        const size_t at = b.size();
        b.u32(0xFDC4A7DC).u8(type).u8(0).u32(0).u32(0);
        b.u16(kDos >> 16).u16(kDos & 0xFFFF).u16(0x1234).u32(static_cast<uint32_t>(data.size()));
        b.u32(static_cast<uint32_t>(data.size())).u8(2).u8(1).u8(deleted ? 1 : 0).u8(0).u32(0).u16(0);
        b.fixed(shortName, 13);
        b.u16(0)
            .u8(0x7F)
            .u16(0)
            .u8(static_cast<uint8_t>(longName.size()))
            .u8(static_cast<uint8_t>(folder.size()));
        if (type == 2) b.str(longName).str(folder).u16(0).u8(0).u16(0).u16(0).u16(0).u16(0);
        const size_t dataAt = b.size();
        b.str(data);
        b.put32(at + 10, static_cast<uint32_t>(dataAt));
        if (!comment.empty()) {
            b.put32(at + 32, static_cast<uint32_t>(b.size()));
            b.put16(at + 36, static_cast<unsigned>(comment.size()));
            b.str(comment);
        }
        return at;
    };
    const size_t e1 =
        entry(2, false, "LONGFI~1.TXT", "Long File Name.txt", "dir", "first", "an entry comment");
    const size_t e2 = entry(1, true, "GONE.TXT", "", "", "deleted", "");
    const size_t e3 = entry(1, false, "SHORT.TXT", "", "", "third!", "");
    const size_t end = entry(1, false, "", "", "", "", "");
    b.put32(e1 + 6, static_cast<uint32_t>(e2));
    b.put32(e2 + 6, static_cast<uint32_t>(e3));
    b.put32(e3 + 6, static_cast<uint32_t>(backwardsLink ? e1 : end));
    (void)end;
    return b;
}

TEST(ListerFixtures, ZooChainWithCommentsFoldersAndDeletedEntries) {
    TempDir dir;
    auto l = listBytes(dir, "x.zoo", zooArchive());
    ASSERT_EQ(l.type, atZoo);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "dir/Long File Name.txt");
    EXPECT_EQ(l.entries[0].size, 5);
    EXPECT_EQ(l.entries[0].crc, 0x1234u);
    EXPECT_EQ(l.entries[0].comment, "an entry comment");
    EXPECT_EQ(l.entries[0].filenum, 1);
    expectDos(l.entries[0]);
    EXPECT_EQ(l.entries[1].name, "SHORT.TXT");
    EXPECT_EQ(l.entries[1].filenum, 2);
    EXPECT_EQ(l.archiveComment, "zoo archive comment");
}

TEST(ListerFixtures, ZooLinkBackwardsEndsWithBadHeaderInsteadOfLooping) {
    TempDir dir;
    auto l = listBytes(dir, "x.zoo", zooArchive(true));
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.entries.size(), 2u); // what came before the loop is listed
    ASSERT_FALSE(l.errors.empty());
    EXPECT_EQ(l.errors.back(), 25110);
}

// ----------------------------------------------------------------------------------- HA
// "HA", count 2; entries: "sub/inner.txt" stored (method 0 "Cpy", version 2, path with the
// 0xFF separator) and "top.txt" (method 2 "HSC"), each with a one-byte machine-info block.
// Shows: path + name joined, Unix time, CRC-32, the step over the machine info.
TEST(ListerFixtures, HaEntriesWithPathAndUnixTime) {
    B b;
    b.str("HA").u16(2);
    auto entry = [&](uint8_t method, const std::string& path, const std::string& name,
                     const std::string& data) {
        b.u8(0x20 | method).u32(static_cast<uint32_t>(data.size())).u32(static_cast<uint32_t>(data.size()));
        b.u32(crc32Of(data)).u32(kUnix).zstr(path).zstr(name).u8(1).u8(0x20).str(data);
    };
    entry(0, "sub\xFF", "inner.txt", "inner data");
    entry(2, "", "top.txt", "top");
    TempDir dir;
    auto l = listBytes(dir, "x.ha", b);
    ASSERT_EQ(l.type, atHa);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "sub/inner.txt");
    EXPECT_EQ(l.entries[0].size, 10);
    EXPECT_EQ(l.entries[0].crc, crc32Of("inner data"));
    EXPECT_EQ(l.entries[0].methodName, "Cpy");
    EXPECT_EQ(l.entries[0].date, UnixToDateTime(kUnix));
    EXPECT_EQ(l.entries[1].name, "top.txt");
    EXPECT_EQ(l.entries[1].methodName, "HSC");
}

// ----------------------------------------------------------------------------------- BH
// Two entries in the layout our BH writer produces (37-byte header, '/'-separated name):
// "docs/readme.txt" stored, and "deflated.bin" method 8 with deflate option bit 1 and the
// encryption bit. Shows: sizes, CRC, versions, deflate option names, the encrypted flag.
TEST(ListerFixtures, BhEntries) {
    B b;
    auto entry = [&](uint8_t flags, uint8_t method, const std::string& name, uint32_t size,
                     const std::string& data) {
        b.u32(0x07054842)
            .u16(static_cast<unsigned>(37 + name.size()))
            .u8(37)
            .u8(3)
            .u8(14)
            .u8(flags)
            .u8(method);
        b.u32(kDos).u32(static_cast<uint32_t>(data.size())).u32(size).u32(0xCAFEBABE).u16(0x20).u32(0);
        b.u16(static_cast<unsigned>(name.size())).u16(0).str(name).str(data);
    };
    entry(0, 0, "docs/readme.txt", 4, "abcd");
    entry(3, 8, "deflated.bin", 1000, std::string(30, 'z'));
    TempDir dir;
    auto l = listBytes(dir, "x.bh", b);
    ASSERT_EQ(l.type, atBh);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "docs/readme.txt");
    EXPECT_EQ(l.entries[0].methodName, "Stored");
    expectDos(l.entries[0]);
    EXPECT_EQ(l.entries[1].size, 1000);
    EXPECT_EQ(l.entries[1].packed, 30);
    EXPECT_EQ(l.entries[1].crc, 0xCAFEBABEu);
    EXPECT_EQ(l.entries[1].methodName, "DeflateX");
    EXPECT_TRUE(l.entries[1].encrypted);
}

// ---------------------------------------------------------------------------------- PAK
// PAK records (0x1A, method, 13-byte name, sizes, DOS date, CRC-16): "CRUSH.TXT" method 10
// ("Crushed") and "DIST.TXT" method 11 ("Distill"), then the end mark 0x1A 0x00 and some
// trailing bytes that must not be read as entries. Shows: PAK methods, the end mark.
TEST(ListerFixtures, PakEntriesUpToTheEndMark) {
    B b;
    auto entry = [&](uint8_t method, const std::string& name, const std::string& data, uint32_t size) {
        b.u8(0x1A).u8(method).fixed(name, 13).u32(static_cast<uint32_t>(data.size()));
        b.u16(kDos >> 16).u16(kDos & 0xFFFF).u16(0xBEEF).u32(size).str(data);
    };
    entry(10, "CRUSH.TXT", "packed", 600);
    entry(11, "DIST.TXT", "more", 40);
    b.u8(0x1A).u8(0).str("trailing junk after the end");
    TempDir dir;
    auto l = listBytes(dir, "x.pak", b);
    ASSERT_EQ(l.type, atPak);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "CRUSH.TXT");
    EXPECT_EQ(l.entries[0].methodName, "Crushed");
    EXPECT_EQ(l.entries[0].crc, 0xBEEFu);
    EXPECT_EQ(l.entries[1].methodName, "Distill");
    EXPECT_EQ(l.totalSize, 640);
}

// ARC folder records (type 30, with the folder's entries nested up to an end-of-folder
// record 0x1A 0x1F): "SUB" holding "IN.TXT", then "OUT.TXT". Shows: nested names.
TEST(ListerFixtures, ArcFolderRecordsNestNames) {
    B b;
    auto entry = [&](uint8_t type, const std::string& name, const std::string& data) {
        b.u8(0x1A).u8(type).fixed(name, 13).u32(static_cast<uint32_t>(data.size()));
        b.u16(kDos >> 16).u16(kDos & 0xFFFF).u16(0).u32(static_cast<uint32_t>(data.size())).str(data);
    };
    entry(30, "SUB", ""); // its "data" is the nested records that follow
    entry(2, "IN.TXT", "in");
    b.u8(0x1A).u8(31);
    entry(2, "OUT.TXT", "out");
    b.u8(0x1A).u8(0);
    TempDir dir;
    writeBytes(dir / "x.arc", b.d);
    auto l = listArchive((dir / "x.arc").string(), false, {"*.TXT"});
    ASSERT_TRUE(l.ok);
    std::vector<std::string> names;
    for (auto& e : l.entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"SUB/IN.TXT", "OUT.TXT"}));
    // A folder record is reported without the FileSpec test when blank folders are shown.
    auto dirs = listArchive((dir / "x.arc").string(), true, {"*.TXT"});
    ASSERT_EQ(dirs.entries.size(), 3u);
    EXPECT_EQ(dirs.entries[0].name, "SUB/");
}

// ---------------------------------------------------------------------------------- RAR
// RAR 2.9 blocks: marker, archive header, then file headers (0x74) with a Unicode name
// ("ü.txt", flag 0x200: OEM bytes, zero, compact Unicode), a folder entry (attribute 0x10),
// a plain file, and the end block. Shows: names (also Unicode), sizes, CRC, method names
// ('0' Stored, '3' Normal), folders only with ShowBlankDirs, stepping over data.
B rarBlockFile(uint16_t flags, const std::string& name, uint32_t packed, uint32_t size, uint8_t method,
               uint32_t attr, const std::vector<uint8_t>& nameBytes = {}) {
    B b;
    const std::vector<uint8_t> nb =
        nameBytes.empty() ? std::vector<uint8_t>(name.begin(), name.end()) : nameBytes;
    b.u16(0).u8(0x74).u16(0x8000 | flags).u16(static_cast<unsigned>(32 + nb.size()));
    b.u32(packed).u32(size).u8(3).u32(0x11223344).u32(kDos).u8(29).u8(method);
    b.u16(static_cast<unsigned>(nb.size())).u32(attr).bytes(nb);
    b.d.insert(b.d.end(), packed, 'D');
    return b;
}
B rarStart(uint16_t mainFlags = 0) {
    B b;
    b.str(std::string("Rar!\x1a\x07\x00", 7));
    b.u16(0).u8(0x73).u16(mainFlags).u16(13).u16(0).u32(0);
    return b;
}

TEST(ListerFixtures, RarFileHeadersUnicodeNamesAndFolders) {
    B b = rarStart();
    // "\x81.txt" in code page 437 is u-umlaut; the Unicode part: high byte 0, then flags
    // 0b00000000 (four single-byte characters) ... written as opcode 0 bytes.
    std::vector<uint8_t> uname = {0x81,           '.',  't', 'x', 't', 0x00, /*high*/ 0x00,
                                  /*flags*/ 0x00, 0xFC, '.', 't', 'x',
                                  /*flags*/ 0x00, 't'};
    b.bytes(rarBlockFile(0x200, "", 4, 10, '3', 0x20, uname).d);
    b.bytes(rarBlockFile(0xE0, "folder", 0, 0, '0', 0x10).d);
    b.bytes(rarBlockFile(0, "folder\\plain.txt", 3, 3, '0', 0x20).d);
    b.u16(0).u8(0x7B).u16(0x4000).u16(7);
    TempDir dir;
    writeBytes(dir / "x.rar", b.d);
    auto l = listArchive((dir / "x.rar").string(), false, {"*.txt"});
    ASSERT_EQ(l.type, atRar);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "\xC3\xBC.txt");
    EXPECT_EQ(l.entries[0].size, 10);
    EXPECT_EQ(l.entries[0].packed, 4);
    EXPECT_EQ(l.entries[0].crc, 0x11223344u);
    EXPECT_EQ(l.entries[0].methodName, "Normal");
    expectDos(l.entries[0]);
    EXPECT_EQ(l.entries[1].name, "folder/plain.txt");
    EXPECT_EQ(l.entries[1].methodName, "Stored");
    auto dirs = listArchive((dir / "x.rar").string(), true, {"*.txt"});
    ASSERT_EQ(dirs.entries.size(), 3u);
    EXPECT_EQ(dirs.entries[1].name, "folder");
}

// A file split over x.rar and x.r00 (flags 0x02 "continued in next", 0x01 "continued from
// previous"): reported once, from the second volume, with both packed parts summed.
TEST(ListerFixtures, RarSplitFileIsReportedOnceWithSummedPackedSize) {
    TempDir dir;
    B v1 = rarStart(0x0001);
    v1.bytes(rarBlockFile(0x02, "big.bin", 100, 180, '3', 0x20).d);
    v1.u16(0).u8(0x7B).u16(0x4000).u16(7);
    B v2 = rarStart(0x0001);
    v2.bytes(rarBlockFile(0x01, "big.bin", 50, 180, '3', 0x20).d);
    v2.bytes(rarBlockFile(0, "after.txt", 2, 2, '0', 0x20).d);
    v2.u16(0).u8(0x7B).u16(0x4000).u16(7);
    writeBytes(dir / "x.r00", v2.d);
    auto l = listBytes(dir, "x.rar", v1);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "big.bin");
    EXPECT_EQ(l.entries[0].packed, 150);
    EXPECT_EQ(l.entries[0].size, 180);
    EXPECT_EQ(l.entries[1].name, "after.txt");

    // Without the second volume the listing stops quietly at the split entry.
    fs::remove(dir / "x.r00");
    auto cut = listArchive((dir / "x.rar").string());
    EXPECT_TRUE(cut.entries.empty());
}

// ---------------------------------------------------------------------------------- ACE
// ACE 2.0: main header ("**ACE**", versions 20, no creator string), then file headers with
// DOS time, CRC-32 and quality; the second volume x.c00 continues "split.bin" (flags
// 0x2000 then 0x1000). Shows: ACE fields, quality names, the volume step and packed sums.
B aceMain(uint16_t flags) {
    B b;
    b.u16(0).u16(27).u8(0).u16(flags).str("**ACE**").u8(20).u8(20).u8(2).u8(0).u32(kDos);
    b.fixed("", 8).u8(0);
    return b;
}
B aceFile(uint16_t flags, const std::string& name, uint32_t packed, uint32_t size, uint8_t quality) {
    B b;
    b.u16(0).u16(static_cast<unsigned>(31 + name.size())).u8(1).u16(0x0001 | flags);
    b.u32(packed).u32(size).u32(kDos).u32(0x20).u32(0xA5A5A5A5).u8(1).u8(quality).u16(0).u16(0);
    b.u16(static_cast<unsigned>(name.size())).str(name);
    b.d.insert(b.d.end(), packed, 'A');
    return b;
}

TEST(ListerFixtures, AceEntriesAndVolumes) {
    TempDir dir;
    B v1 = aceMain(0x0800);
    v1.bytes(aceFile(0, "dir\\first.txt", 5, 9, 4).d);
    v1.bytes(aceFile(0x2000, "split.bin", 20, 64, 2).d);
    B v2 = aceMain(0x0800);
    v2.bytes(aceFile(0x1000, "split.bin", 7, 64, 2).d);
    v2.bytes(aceFile(0, "last.txt", 1, 1, 0).d);
    writeBytes(dir / "x.c00", v2.d);
    auto l = listBytes(dir, "x.ace", v1);
    ASSERT_EQ(l.type, atACE);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.entries[0].name, "dir/first.txt");
    EXPECT_EQ(l.entries[0].methodName, "Best");
    EXPECT_EQ(l.entries[0].crc, 0xA5A5A5A5u);
    expectDos(l.entries[0]);
    EXPECT_EQ(l.entries[1].name, "split.bin");
    EXPECT_EQ(l.entries[1].methodName, "Normal");
    EXPECT_EQ(l.entries[2].name, "last.txt");
}

// --------------------------------------------------------------------------------- MsGZ
// The 255-byte archive header (signature 0x8C655D13, folder-table offset at 41), two folder
// records ("alpha", "beta"), the table's end record, then entry records of 29 bytes + name.
// The table's end record overlaps the first entry by 4 bytes, which is where the first
// entry starts. Shows: folder names by index, sizes, DOS date, data offsets, no method name.
TEST(ListerFixtures, MsgzFoldersAndEntries) {
    B b;
    b.u32(0x8C655D13);
    b.fixed("", 255 - 4);
    b.put32(41, 255);
    auto folder = [&](const std::string& name) {
        b.u16(0).u8(static_cast<uint8_t>(6 + name.size())).u8(0).u16(0).str(name);
    };
    folder("alpha");
    folder("beta");
    b.u16(0); // end record: length byte 0 (the first byte of the first entry), ...
    auto entry = [&](uint16_t folderIndex, const std::string& name, uint32_t size, uint32_t packed,
                     uint32_t dataAt) {
        b.u16(folderIndex).u32(size).u32(packed).u32(dataAt).u32(kDos).u32(0x20);
        b.u32(static_cast<uint32_t>(29 + name.size())).u16(0).u8(static_cast<uint8_t>(name.size())).str(name);
    };
    entry(0, "one.txt", 100, 40, 4096);
    entry(1, "two.txt", 7, 7, 8192);
    TempDir dir;
    auto l = listBytes(dir, "x.msgz", b);
    ASSERT_EQ(l.type, atMsGZ);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "alpha/one.txt");
    EXPECT_EQ(l.entries[0].size, 100);
    EXPECT_EQ(l.entries[0].packed, 40);
    EXPECT_EQ(l.entries[0].offset, 4096);
    EXPECT_EQ(l.entries[0].methodName, "");
    expectDos(l.entries[0]);
    EXPECT_EQ(l.entries[1].name, "beta/two.txt");
}

// ---------------------------------------------------------------------------------- CAB
// Cabinets with next-cabinet names: "one.cab" holds a.txt and the start of big.bin (folder
// index 0xFFFE), "two.cab" the rest of big.bin (0xFFFD) and c.txt. Shows: the set is
// followed and big.bin is listed once. With "two.cab" naming "one.cab" as its next
// cabinet the chain is a circle, and the listing still ends.
B cabinet(uint16_t flags, const std::string& prev, const std::string& next,
          const std::vector<std::pair<uint16_t, std::string>>& files) {
    B b;
    b.str("MSCF").u32(0).u32(0).u32(0).u32(0).u32(0).u8(3).u8(1).u16(1);
    b.u16(static_cast<unsigned>(files.size())).u16(flags).u16(77).u16(0);
    if (flags & 1) b.zstr(prev).zstr("disk0");
    if (flags & 2) b.zstr(next).zstr("disk2");
    b.u32(0).u16(1).u16(1); // one folder, MSZIP
    b.put32(16, static_cast<uint32_t>(b.size()));
    for (auto& [folder, name] : files)
        b.u32(10).u32(0).u16(folder).u16(kDos >> 16).u16(kDos & 0xFFFF).u16(0x20).zstr(name);
    b.put32(8, static_cast<uint32_t>(b.size()));
    return b;
}

TEST(ListerFixtures, CabSetIsFollowedAndCirclesEnd) {
    TempDir dir;
    writeBytes(dir / "two.cab", cabinet(1, "one.cab", "", {{0xFFFD, "big.bin"}, {0, "c.txt"}}).d);
    auto l = listBytes(dir, "one.cab", cabinet(2, "", "two.cab", {{0, "a.txt"}, {0xFFFE, "big.bin"}}));
    ASSERT_EQ(l.type, atCab);
    ASSERT_TRUE(l.ok);
    std::vector<std::string> names;
    for (auto& e : l.entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "big.bin", "c.txt"}));
    EXPECT_EQ(l.entries[0].methodName, "MsZIP");
    expectDos(l.entries[0]);

    writeBytes(dir / "two.cab", cabinet(3, "one.cab", "one.cab", {{0xFFFD, "big.bin"}, {0, "c.txt"}}).d);
    auto circle = listArchive((dir / "one.cab").string());
    EXPECT_EQ(circle.entries.size(), 3u);

    // The request for the next cabinet names it and the disk the cabinet stores for it.
    writeBytes(dir / "two.cab", cabinet(1, "one.cab", "", {{0xFFFD, "big.bin"}, {0, "c.txt"}}).d);
    TArcLister l2;
    std::vector<std::pair<std::string, std::string>> asked;
    l2.SetFileSpec({"*.*"});
    l2.OnRead = [](TZipCommon&, int64_t, int) {};
    l2.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string& id, bool, bool& cancel) {
        asked.emplace_back(fs::path(name).filename().string(), id);
        cancel = false;
    };
    l2.SetArchiveFile((dir / "one.cab").string());
    ASSERT_TRUE(l2.Activate());
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, std::string>>{{"two.cab", "disk2"}}));
}

// ---------------------------------------------------------------------------------- LHA
// Three level-2 headers; the second has a total size of exactly 256, so its first byte is
// 0, like the end marker (its name extension is made 227 bytes long for that). Shows: that
// entry is listed, and the one after it too.
TEST(ListerFixtures, LhaLevel2HeaderOfSize256IsNotTheEnd) {
    B b;
    const std::string longName = std::string(220, 'n') + ".txt___";
    ASSERT_EQ(longName.size(), 227u);
    auto level2 = [&](const std::string& name, const std::string& data) {
        const unsigned total = static_cast<unsigned>(26 + 3 + name.size());
        b.u16(total)
            .str("-lh0-")
            .u32(static_cast<uint32_t>(data.size()))
            .u32(static_cast<uint32_t>(data.size()));
        b.u32(kUnix).u8(0x20).u8(2).u16(0x4242).u8('U').u16(static_cast<unsigned>(3 + name.size()));
        b.u8(1).str(name).u16(0).str(data);
    };
    level2("first.txt", "1");
    const size_t second = b.size();
    level2(longName, "xyz");
    level2("third.txt", "3");
    b.u8(0);
    ASSERT_EQ(b.d[second], 0);
    TempDir dir;
    auto l = listBytes(dir, "x.lzh", b);
    ASSERT_EQ(l.type, atLha);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.entries[1].name, longName);
    EXPECT_EQ(l.entries[1].crc, 0x4242u);
    EXPECT_EQ(l.entries[1].date, UnixToDateTime(kUnix));
    EXPECT_EQ(l.entries[2].name, "third.txt");
}

} // namespace
