// TUnCAB through the cabinet library stand-in: cabinets gcab writes (stored and MSZIP, several
// MB across 32 KiB blocks), one named file, the scan pass, a hand-made set of three cabinets
// with a file running through all of them, a set that leads back to itself, damaged cabinets
// and a missing library.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/format/aeCabGbls.h"
#include "archive/format/aeUnCAB.h"
#include "bytes.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

// A stored cabinet made by hand: its folders' data blocks and file records as given,
// with the set's previous and next cabinet names. A block is its bytes and its uncompressed
// size: 0 for the first piece of a block split between two cabinets of a set, whose second
// piece starts the next cabinet with the whole block's size.
struct HandFile {
    std::string name;
    uint32_t size, offset;
    uint16_t folder;
};
struct HandBlock {
    std::vector<uint8_t> data;
    uint16_t size; // uncompressed
};
HandBlock Whole(const std::vector<uint8_t>& data) {
    return {data, static_cast<uint16_t>(data.size())};
}

void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

std::vector<uint8_t> HandCabinet(const std::string& prev, const std::string& next, uint16_t index,
                                 const std::vector<HandFile>& files,
                                 const std::vector<std::vector<HandBlock>>& folders) {
    std::vector<uint8_t> names;
    uint16_t flags = 0;
    if (!prev.empty()) {
        flags |= 1;
        names.insert(names.end(), prev.begin(), prev.end());
        names.push_back(0);
        names.push_back(0); // disk name
    }
    if (!next.empty()) {
        flags |= 2;
        names.insert(names.end(), next.begin(), next.end());
        names.push_back(0);
        names.push_back(0);
    }
    size_t fileBytes = 0;
    for (const auto& f : files) fileBytes += 16 + f.name.size() + 1;
    const size_t firstFile = 36 + names.size() + 8 * folders.size();
    const size_t firstData = firstFile + fileBytes;
    size_t total = firstData;
    for (const auto& f : folders)
        for (const auto& b : f) total += 8 + b.data.size();
    std::vector<uint8_t> c;
    Put32(c, 0x4643534D);
    Put32(c, 0);
    Put32(c, static_cast<uint32_t>(total));
    Put32(c, 0);
    Put32(c, static_cast<uint32_t>(firstFile));
    Put32(c, 0);
    c.push_back(3);
    c.push_back(1);
    Put16(c, static_cast<uint32_t>(folders.size()));
    Put16(c, static_cast<uint32_t>(files.size()));
    Put16(c, flags);
    Put16(c, 0x1234);
    Put16(c, index);
    c.insert(c.end(), names.begin(), names.end());
    size_t data = firstData;
    for (const auto& f : folders) {
        Put32(c, static_cast<uint32_t>(data));
        Put16(c, static_cast<uint32_t>(f.size()));
        Put16(c, 0);
        for (const auto& b : f) data += 8 + b.data.size();
    }
    for (const auto& f : files) {
        Put32(c, f.size);
        Put32(c, f.offset);
        Put16(c, f.folder);
        Put16(c, 0x5A21); // 2025-01-01
        Put16(c, 0x6000); // 12:00
        Put16(c, 0x20);
        c.insert(c.end(), f.name.begin(), f.name.end());
        c.push_back(0);
    }
    for (const auto& f : folders)
        for (const auto& b : f) {
            Put32(c, 0); // no checksum
            Put16(c, static_cast<uint32_t>(b.data.size()));
            Put16(c, b.size);
            c.insert(c.end(), b.data.begin(), b.data.end());
        }
    return c;
}

struct CabRun {
    ExtractOutcome o;
    std::vector<std::string> volumes; // next cabinets asked for
    std::vector<std::string> begun;   // files offered to OnBegin
    std::vector<std::string> messages;
};

// Extracts Archive into Out with FileSpec; OnNextVolume agrees while Agree says so.
void Extract(CabRun& r, const fs::path& archive, const fs::path& out, std::vector<std::string> spec = {"*.*"},
             std::function<bool(const std::string&)> agree = nullptr, bool test = false) {
    TUnCAB u;
    r.o.listen(u);
    u.OnError = [&](TZipCommon&, const std::string& fn, const std::string& msg, const std::string&,
                    int code) {
        r.o.errors.push_back(code);
        r.messages.push_back(fn + ": " + msg);
    };
    u.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
        r.volumes.push_back(fs::path(name).filename().string());
        cancel = !exists || (agree && !agree(name));
    };
    u.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool& go) {
        r.begun.push_back(fn);
        go = true;
    };
    u.SetArchiveFile(archive.string());
    u.SetExtractDir(out.string());
    u.SetFileSpec(spec);
    try {
        test ? u.Test() : u.Extract();
    } catch (const E_RAISE& e) {
        r.o.raised = e.ECode;
    }
}

class UnCabPeer : public ::testing::TestWithParam<const char*> {};

TEST_P(UnCabPeer, GcabCabinetsExtractByteExact) {
    PV_REQUIRE_PEER("gcab");
    TempDir t;
    // Sizes around and across the 32 KiB data blocks; a few MB in all.
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"empty.bin", {}},
        {"block.bin", randomBytes(32768, 1)},
        {"block1.bin", randomBytes(32769, 2)},
        {"text.txt", bytesOf(sampleText(2500000, 3))},
        {"sub/random.bin", randomBytes(1500000, 4)},
        {"sub/deep/last.txt", bytesOf(sampleText(32767, 5))},
    };
    std::string names;
    for (const auto& [name, data] : files) {
        writeBytes(t / "in" / name, data);
        names += " " + name;
    }
    ASSERT_EQ(run(std::string("gcab ") + GetParam() + " ../set.cab" + names, t / "in").status, 0);

    CabRun r;
    Extract(r, t / "set.cab", t / "out");
    EXPECT_FALSE(r.o.failed());
    EXPECT_EQ(r.o.passed(), static_cast<int>(files.size()));
    for (const auto& [name, data] : files) EXPECT_EQ(readBytes(t / "out" / name), data) << name;

    CabRun test;
    Extract(test, t / "set.cab", t / "none", {"*.*"}, nullptr, true);
    EXPECT_FALSE(test.o.failed());
    EXPECT_EQ(test.o.passed(), static_cast<int>(files.size()));
    EXPECT_FALSE(fs::exists(t / "none"));
}

INSTANTIATE_TEST_SUITE_P(StoredAndMsZip, UnCabPeer, ::testing::Values("-c", "-cz"));

TEST(UnCab, OnePlainNameExtractsOnlyThatFileAndTheScanWritesNothing) {
    PV_REQUIRE_PEER("gcab");
    TempDir t;
    for (int i = 0; i < 4; ++i)
        writeBytes(t / "in" / ("f" + std::to_string(i) + ".txt"),
                   bytesOf(sampleText(70000, static_cast<uint32_t>(i))));
    ASSERT_EQ(run("gcab -cz ../four.cab f0.txt f1.txt f2.txt f3.txt", t / "in").status, 0);

    CabRun one;
    Extract(one, t / "four.cab", t / "one", {"f1.txt"});
    EXPECT_FALSE(one.o.failed());
    EXPECT_EQ(filesIn(t / "one"), std::vector<std::string>{"f1.txt"});
    EXPECT_EQ(readBytes(t / "one" / "f1.txt"), readBytes(t / "in" / "f1.txt"));
    EXPECT_EQ(one.begun.size(), 1u); // the files after it are not even offered

    // Every file matches, but declining each in the copy pass leaves nothing: the scan
    // before it wrote nothing either.
    TUnCAB u;
    int begun = 0;
    u.OnBegin = [&](TZipCommon&, const std::string&, int, bool& go) {
        ++begun;
        go = false;
    };
    u.SetArchiveFile((t / "four.cab").string());
    u.SetExtractDir((t / "declined").string());
    u.SetFileSpec({"*.*"});
    u.Extract();
    EXPECT_EQ(begun, 4);
    EXPECT_TRUE(!fs::exists(t / "declined") || fs::is_empty(t / "declined"));
}

// Three cabinets: a.txt in the first; big.bin in a folder that runs from the first through
// the second into the third, its blocks split between them as a set has them; c.txt in a
// folder of its own in the third.
struct ThreeSet {
    std::vector<uint8_t> a, big, c;
};
ThreeSet MakeThreeSet(const fs::path& dir) {
    ThreeSet s{randomBytes(100, 7), randomBytes(70000, 8), randomBytes(50, 9)};
    std::vector<uint8_t> folder = s.a;
    folder.insert(folder.end(), s.big.begin(), s.big.end());
    auto piece = [&](size_t from, size_t to, size_t size) {
        return HandBlock{std::vector<uint8_t>(folder.begin() + static_cast<std::ptrdiff_t>(from),
                                              folder.begin() + static_cast<std::ptrdiff_t>(to)),
                         static_cast<uint16_t>(size)};
    };
    writeBytes(dir / "set1.cab",
               HandCabinet("", "set2.cab", 0, {{"a.txt", 100, 0, 0}, {"big.bin", 70000, 100, 0xFFFE}},
                           {{piece(0, 32768, 32768), piece(32768, 49152, 0)}}));
    writeBytes(dir / "set2.cab", HandCabinet("set1.cab", "set3.cab", 1, {{"big.bin", 70000, 100, 0xFFFF}},
                                             {{piece(49152, 65536, 32768), piece(65536, 67536, 0)}}));
    writeBytes(dir / "set3.cab",
               HandCabinet("set2.cab", "", 2, {{"big.bin", 70000, 100, 0xFFFD}, {"c.txt", 50, 0, 1}},
                           {{piece(67536, folder.size(), folder.size() - 65536)}, {Whole(s.c)}}));
    return s;
}

TEST(UnCabSet, ThreeCabinetsWhileOnNextVolumeAgrees) {
    TempDir t;
    const ThreeSet s = MakeThreeSet(t / "cabs");

    CabRun all;
    Extract(all, t / "cabs" / "set1.cab", t / "all");
    EXPECT_FALSE(all.o.failed()) << (all.messages.empty() ? "" : all.messages[0]);
    EXPECT_EQ(readBytes(t / "all" / "a.txt"), s.a);
    EXPECT_EQ(readBytes(t / "all" / "big.bin"), s.big);
    EXPECT_EQ(readBytes(t / "all" / "c.txt"), s.c);
    EXPECT_EQ(all.o.passed(), 3);

    // Refused at once: the first cabinet's own file only; the one running on is not kept.
    CabRun first;
    Extract(first, t / "cabs" / "set1.cab", t / "first", {"*.*"}, [](const std::string&) { return false; });
    EXPECT_EQ(readBytes(t / "first" / "a.txt"), s.a);
    EXPECT_FALSE(fs::exists(t / "first" / "big.bin"));
    EXPECT_FALSE(fs::exists(t / "first" / "c.txt"));
    EXPECT_EQ(first.volumes, std::vector<std::string>{"set2.cab"});

    // Only a.txt wanted: no next cabinet is asked for.
    CabRun justA;
    Extract(justA, t / "cabs" / "set1.cab", t / "justA", {"a.txt"});
    EXPECT_FALSE(justA.o.failed());
    EXPECT_TRUE(justA.volumes.empty());
}

TEST(UnCabSet, ASetLeadingBackStopsWithBrokenChain) {
    TempDir t;
    const auto one = randomBytes(1000, 1), two = randomBytes(2000, 2);
    writeBytes(t / "x1.cab", HandCabinet("", "x2.cab", 0, {{"one.bin", 1000, 0, 0}}, {{Whole(one)}}));
    writeBytes(t / "x2.cab", HandCabinet("x1.cab", "x1.cab", 1, {{"two.bin", 2000, 0, 0}}, {{Whole(two)}}));
    CabRun r;
    Extract(r, t / "x1.cab", t / "out");
    EXPECT_TRUE(r.o.hasError(kMsgBrokenChain));
    EXPECT_EQ(readBytes(t / "out" / "one.bin"), one);
    EXPECT_EQ(readBytes(t / "out" / "two.bin"), two);
}

TEST(UnCabDamage, DamagedCabinetsReportTheLibraryErrorAndKeepNoPartialFile) {
    PV_REQUIRE_PEER("gcab");
    TempDir t;
    const auto data = bytesOf(sampleText(200000, 4));
    writeBytes(t / "in" / "t.txt", data);
    ASSERT_EQ(run("gcab -cz ../good.cab t.txt", t / "in").status, 0);
    const auto good = readBytes(t / "good.cab");
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const std::vector<Case> cases = {
        {"data byte flipped", [](std::vector<uint8_t>& c) { c[c.size() / 2] ^= 0x55; }},
        {"cut short", [](std::vector<uint8_t>& c) { c.resize(c.size() * 2 / 3); }},
        {"file table cut", [](std::vector<uint8_t>& c) { c.resize(50); }},
        {"huge file count", [](std::vector<uint8_t>& c) { c[28] = 0xFF, c[29] = 0xFF; }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto bad = good;
        k.damage(bad);
        const fs::path cab = t / (std::string(k.name) + ".cab");
        writeBytes(cab, bad);
        CabRun r;
        Extract(r, cab, t / k.name);
        EXPECT_TRUE(r.o.failed());
        EXPECT_FALSE(r.o.errors.empty());
        EXPECT_FALSE(fs::exists(t / k.name / "t.txt"));
        EXPECT_TRUE(!fs::exists(t / k.name) || fs::is_empty(t / k.name));
    }
}

// A file that is not a whole cabinet fails, extracting and testing, with a message.
TEST(UnCabDamage, ACabinetCutInItsHeaderFailsWithAMessage) {
    TempDir t;
    std::vector<uint8_t> cab = HandCabinet("", "", 0, {{"one.bin", 3, 0, 0}}, {{Whole(bytesOf("abc"))}});
    cab.resize(31);
    writeBytes(t / "cut.cab", cab);
    for (bool test : {false, true}) {
        CabRun r;
        Extract(r, t / "cut.cab", t / "out", {"*.*"}, nullptr, test);
        EXPECT_TRUE(r.o.failed());
        EXPECT_TRUE(r.o.hasError(25236)) << testing::PrintToString(r.messages);
        EXPECT_FALSE(fs::exists(t / "out"));
    }
}

// Files that claim the same bytes of a folder would write the folder again for each of them:
// such a cabinet is refused whole before anything is written.
TEST(UnCabDamage, FilesOverlappingInAFolderAreRefusedBeforeAnyWrite) {
    TempDir t;
    std::vector<HandBlock> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(Whole(std::vector<uint8_t>(32768, static_cast<uint8_t>(i))));
    std::vector<HandFile> all;
    for (int i = 0; i < 1100; ++i) all.push_back({"f" + std::to_string(i) + ".bin", 4 * 32768, 0, 0});
    const std::vector<HandFile> partly = {{"a.bin", 10, 0, 0}, {"b.bin", 10, 5, 0}};
    for (const auto& files : {all, partly}) {
        writeBytes(t / "x.cab", HandCabinet("", "", 0, files, {blocks}));
        for (bool test : {false, true}) {
            CabRun r;
            Extract(r, t / "x.cab", t / "out", {"*.*"}, nullptr, test);
            EXPECT_TRUE(r.o.failed());
            EXPECT_FALSE(r.o.errors.empty());
            EXPECT_EQ(r.o.passed(), 0);
            EXPECT_TRUE(r.begun.empty());
            EXPECT_FALSE(fs::exists(t / "out"));
        }
    }
}

// A damaged file does not end the run: every file is reported, and those that pass are whole.
TEST(UnCabDamage, EveryFileOfACabinetWithOneDamagedFileIsReported) {
    PV_REQUIRE_PEER("gcab");
    TempDir t;
    Files files;
    for (int i = 0; i < 4; ++i)
        files["f" + std::to_string(i) + ".bin"] = randomBytes(70000, static_cast<uint32_t>(i));
    writeFiles(t / "in", files);
    ASSERT_EQ(run("gcab -c ../x.cab f0.bin f1.bin f2.bin f3.bin", t / "in").status, 0);
    auto cab = readBytes(t / "x.cab");
    for (size_t i = 100000; i < 100004; ++i) cab[i] ^= 0x5A; // inside f1.bin
    writeBytes(t / "bad.cab", cab);
    for (bool test : {false, true}) {
        SCOPED_TRACE(test ? "test" : "extract");
        CabRun r;
        Extract(r, t / "bad.cab", t / "out", {"*.*"}, nullptr, test);
        ASSERT_EQ(r.o.ends.size(), 4u);
        for (const auto& [fn, pass] : r.o.ends) {
            const std::string name = fs::path(fn).filename().string();
            if (test) continue;
            EXPECT_EQ(fs::exists(t / "out" / name), pass) << name;
            if (pass) {
                EXPECT_EQ(readBytes(t / "out" / name), files[name]) << name;
            }
        }
        // The files behind the damage in the same folder cannot be decoded either (a reader
        // that goes on decoding gives wrong data for them).
        EXPECT_TRUE(r.o.ends[0].second);
        for (size_t i = 1; i < 4; ++i) EXPECT_FALSE(r.o.ends[i].second) << i;
    }
    // A damaged first folder: the file of the second folder still comes out.
    HandBlock shortBlock = Whole(bytesOf("0123456789"));
    shortBlock.size = 20; // more than the block holds
    writeBytes(t / "two.cab", HandCabinet("", "", 0, {{"a.bin", 20, 0, 0}, {"b.bin", 5, 0, 1}},
                                          {{shortBlock}, {Whole(bytesOf("hello"))}}));
    CabRun r;
    Extract(r, t / "two.cab", t / "two");
    EXPECT_EQ(r.o.ends.size(), 2u);
    EXPECT_EQ(r.o.passed(), 1);
    EXPECT_FALSE(fs::exists(t / "two" / "a.bin"));
    EXPECT_EQ(readBytes(t / "two" / "b.bin"), bytesOf("hello"));
}

TEST(UnCabDamage, NamesNeverLeaveTheTargetFolder) {
    TempDir t;
    const auto data = bytesOf("abcdefghij");
    writeBytes(t / "names.cab",
               HandCabinet("", "", 0,
                           {{"..\\evil.txt", 3, 0, 0}, {"\\abs.txt", 3, 3, 0}, {"ok\\in.txt", 4, 6, 0}},
                           {{Whole(data)}}));
    CabRun r;
    Extract(r, t / "names.cab", t / "out");
    EXPECT_FALSE(fs::exists(t / "evil.txt"));
    EXPECT_EQ(readBytes(t / "out" / "abs.txt"), bytesOf("def"));
    EXPECT_EQ(readBytes(t / "out" / "ok" / "in.txt"), bytesOf("ghij"));
    EXPECT_EQ(r.o.passed(), 2);
    EXPECT_TRUE(r.o.failed()); // the climbing name is refused and counted
}

TEST(UnCabLibrary, MissingLibraryIsReportedAndNothingIsWritten) {
    TempDir t;
    writeBytes(t / "x.cab", HandCabinet("", "", 0, {{"one.bin", 3, 0, 0}}, {{Whole(bytesOf("abc"))}}));
    UnloadCabinetLibrary();
    EXPECT_TRUE(CabinetLibrary().Missing);
    CabRun r;
    Extract(r, t / "x.cab", t / "out");
    ASSERT_TRUE(LoadCabinetLibrary());
    EXPECT_TRUE(r.o.hasError(25261));
    EXPECT_FALSE(fs::exists(t / "out" / "one.bin"));

    CabRun again;
    Extract(again, t / "x.cab", t / "out");
    EXPECT_FALSE(again.o.failed());
    EXPECT_EQ(readBytes(t / "out" / "one.bin"), bytesOf("abc"));
}

} // namespace
