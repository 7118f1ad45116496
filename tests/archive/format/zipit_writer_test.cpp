// TZip and TJar: what they write is read by unzip, 7zz and Python's zipfile byte-exact
// (every method and effort, encrypted, empty, around the block sizes, random data); the
// header fields they write; updates of archives written by zip (extra fields, comments),
// deletes and their offsets; bad old archives and failing sources, which never cost the
// archive or a moved file.
#include "archive/format/aeZipIT.h"
#include "support/bytes.h"
#include "support/testutil.h"
#include "platform/fileio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include <map>
#include <tuple>

namespace {

using namespace pvtest;
using pvtest::le16;
using pvtest::le32;

struct Events {
    std::map<std::string, bool> ends;
    std::vector<int> errors;
    std::vector<std::string> errorTexts;
};

void wire(TCompBase& w, Events& r) {
    w.OnEnd = [&r](TZipCommon&, const std::string& fn, bool pass) { r.ends[fn] = pass; };
    w.OnError = [&r](TZipCommon&, const std::string& fn, const std::string& ex, const std::string&,
                     int code) {
        r.errors.push_back(code);
        r.errorTexts.push_back(fn + ": " + ex);
    };
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
}

// Adds the files of `dir` (by name) to `zip`.
int addFiles(TZip& w, const fs::path& zip, const fs::path& dir, Events& r, const std::string& mask = "*") {
    wire(w, r);
    w.SetArchiveFile(zip.string());
    w.SetFileSpecPaths({(dir / mask).string()});
    return w.Compress();
}

// The central records of a zip, parsed with the engine's layouts.
struct Central {
    aehdr::ZipCentralHeader h;
    std::string name;
    std::vector<uint8_t> extra;
};
std::vector<Central> centralOf(const std::vector<uint8_t>& z) {
    std::vector<Central> out;
    size_t at = z.size() - 22;
    while (at > 0 && le32(&z[at]) != aehdr::kZipEndSig) --at;
    const auto e = aehdr::parseZipEnd(aehdr::Bytes(&z[at], 22));
    size_t p = e->centralOffset;
    for (unsigned i = 0; i < e->entries; ++i) {
        const auto h = aehdr::parseZipCentral(aehdr::Bytes(&z[p], 46));
        Central c{*h, std::string(z.begin() + p + 46, z.begin() + p + 46 + h->nameLength), {}};
        c.extra.assign(z.begin() + p + 46 + h->nameLength,
                       z.begin() + p + 46 + h->nameLength + h->extraLength);
        out.push_back(c);
        p += 46 + h->variableLength();
    }
    return out;
}

// The set of sample files every interoperability case writes.
void makeSamples(const fs::path& d) {
    writeFile(d / "empty.txt", "");
    writeBytes(d / "block.bin", randomBytes(65536 + 1, 7));
    writeFile(d / "text.txt", sampleText(1 << 20, 3));
    writeBytes(d / "random.bin", randomBytes(300000, 9));
    // Long repeats reach past the window and the encoder's buffers.
    std::string rep;
    while (rep.size() < 3000000) rep += sampleText(70000, 4);
    writeFile(d / "repeats.txt", rep);
}

struct Case {
    const char* name;
    TCompressMethod method;
    TDeflateType effort;
    const char* password;
};

class ZipWriterInterop : public ::testing::TestWithParam<Case> {};

TEST_P(ZipWriterInterop, PeersReadEveryFileBack) {
    PV_REQUIRE_PEER("unzip");
    PV_REQUIRE_PEER("7zz");
    PV_REQUIRE_PEER("python3");
    const Case c = GetParam();
    TempDir tmp;
    makeSamples(tmp / "in");
    TZip w;
    w.SetCompressMethod(c.method);
    w.SetDeflateType(c.effort);
    w.Password = c.password;
    Events r;
    ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 5);
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.ends.size(), 5u);
    for (const auto& [fn, pass] : r.ends) EXPECT_TRUE(pass) << fn; // empty files included

    const std::string pw = *c.password ? std::string(" -P ") + q(c.password) : "";
    const auto t = run("unzip -t" + pw + " x.zip", tmp.path());
    EXPECT_EQ(t.status, 0) << t.out;
    const auto t7 =
        run(std::string("7zz t ") + (*c.password ? "-p" + q(c.password) + " " : "") + "x.zip", tmp.path());
    EXPECT_EQ(t7.status, 0) << t7.out;
    ASSERT_EQ(run("unzip -q" + pw + " x.zip -d out", tmp.path()).status, 0);
    for (const char* f : {"empty.txt", "block.bin", "text.txt", "random.bin", "repeats.txt"})
        EXPECT_EQ(readBytes(tmp / "out" / f), readBytes(tmp / "in" / f)) << f;
    const std::string py = std::string("import zipfile,sys\nz=zipfile.ZipFile('x.zip')\n") +
                           (*c.password ? "z.setpassword(b'" + std::string(c.password) + "')\n" : "") +
                           "sys.exit(0 if z.testzip() is None else 1)\n";
    writeFile(tmp / "t.py", py);
    EXPECT_EQ(run("python3 t.py", tmp.path()).status, 0);
}

INSTANTIATE_TEST_SUITE_P(, ZipWriterInterop,
                         ::testing::Values(Case{"stored", cmStore, dtDeflateN, ""},
                                           Case{"superfast", cmDeflate, dtDeflateS, ""},
                                           Case{"fast", cmDeflate, dtDeflateF, ""},
                                           Case{"normal", cmDeflate, dtDeflateN, ""},
                                           Case{"maximum", cmDeflate, dtDeflateX, ""},
                                           Case{"stored_encrypted", cmStore, dtDeflateN, "s3cret"},
                                           Case{"deflated_encrypted", cmDeflate, dtDeflateN, "s3cret"}),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(ZipWriter, HeaderFieldsOfNewEntries) {
    TempDir tmp;
    writeFile(tmp / "in" / "a.ZIP", sampleText(5000, 1));
    writeFile(tmp / "in" / "b.zip", sampleText(5000, 2));
    writeFile(tmp / "in" / "c.exe", sampleText(5000, 3));
    writeFile(tmp / "in" / "d.txt", sampleText(5000, 4));
    writeFile(tmp / "in" / "e.txt", "");
    TZip w;
    w.Password = "pw";
    Events r;
    ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 5);
    const auto z = readBytes(tmp / "x.zip");
    std::map<std::string, Central> by;
    for (const auto& c : centralOf(z)) by[c.name] = c;
    ASSERT_EQ(by.size(), 5u);
    for (const auto& [name, c] : by) {
        SCOPED_TRACE(name);
        EXPECT_EQ(c.h.versionMadeBy, 20);
        EXPECT_EQ(c.h.versionNeeded, 9);
        EXPECT_EQ(c.h.internalAttr, 1);
        EXPECT_EQ(c.h.flags & aehdr::kZipFlagDescriptor, 0);
        // The local header carries the final values, written again after the data.
        const auto l = aehdr::parseZipLocal(aehdr::Bytes(&z[c.h.localOffset], 30));
        ASSERT_TRUE(l);
        EXPECT_EQ(l->versionNeeded, 20);
        EXPECT_EQ(l->crc32, c.h.crc32);
        EXPECT_EQ(l->packedSize, c.h.packedSize);
        EXPECT_EQ(l->method, c.h.method);
    }
    // Compressed already: stored whatever the case of the extension; .exe is deflated.
    EXPECT_EQ(by["a.ZIP"].h.method, 0);
    EXPECT_EQ(by["b.zip"].h.method, 0);
    EXPECT_EQ(by["c.exe"].h.method, 8);
    EXPECT_EQ(by["d.txt"].h.method, 8);
    // Encrypted and stored: the data and the 12-byte encryption header.
    EXPECT_EQ(by["a.ZIP"].h.packedSize, 5000u + 12);
    EXPECT_TRUE(by["a.ZIP"].h.flags & aehdr::kZipFlagEncrypted);
    // An empty file: stored, sizes and CRC 0, no encryption header even with a password.
    const auto& e = by["e.txt"].h;
    EXPECT_EQ(e.method, 0);
    EXPECT_EQ(e.packedSize, 0u);
    EXPECT_EQ(e.size, 0u);
    EXPECT_EQ(e.crc32, 0u);
    EXPECT_EQ(e.flags & aehdr::kZipFlagEncrypted, 0);
    EXPECT_TRUE(r.ends["e.txt"]);

    // Without StoreAlreadyCompressedFiles every file is deflated.
    TZip all;
    all.StoreAlreadyCompressedFiles = false;
    Events r2;
    ASSERT_EQ(addFiles(all, tmp / "y.zip", tmp / "in", r2), 5);
    for (const auto& c : centralOf(readBytes(tmp / "y.zip")))
        if (c.name != "e.txt") {
            EXPECT_EQ(c.h.method, 8) << c.name;
        }
}

TEST(ZipWriter, NonAsciiNamesAreUtf8MadeByUnixWithTheirMode) {
    PV_REQUIRE_PEER("python3");
    TempDir tmp;
    writeFile(tmp / "in" / "caf\xC3\xA9.txt", "in code page 437 too"); // é
    writeFile(tmp / "in" / "\xE6\x97\xA5\xE6\x9C\xAC.txt", "not");     // 日本
    writeFile(tmp / "in" / "plain.txt", "ascii");
    ::chmod((tmp / "in" / "caf\xC3\xA9.txt").c_str(), 0750);
    TZip w;
    Events r;
    ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 3);
    EXPECT_TRUE(r.errors.empty());
    std::map<std::string, aehdr::ZipCentralHeader> by;
    for (const auto& c : centralOf(readBytes(tmp / "x.zip"))) by[c.name] = c.h;
    for (const std::string name : {"caf\xC3\xA9.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(by.count(name), 1u);
        EXPECT_TRUE(by[name].flags & aehdr::kZipFlagUtf8);
        EXPECT_EQ(by[name].versionMadeBy, 3 << 8 | 20);
        EXPECT_EQ(by[name].externalAttr >> 16 & 0170000, 0100000u); // a regular file
        EXPECT_EQ(by[name].externalAttr & 0xFF, 0x20u);             // and its DOS attributes
    }
    EXPECT_EQ(by["caf\xC3\xA9.txt"].externalAttr >> 16 & 0777, 0750u);
    // ASCII names stay as they were: made by MS-DOS, without the flag.
    EXPECT_EQ(by["plain.txt"].versionMadeBy, 20);
    EXPECT_EQ(by["plain.txt"].flags & aehdr::kZipFlagUtf8, 0);
    writeFile(tmp / "t.py", "import zipfile\nprint('|'.join(sorted(zipfile.ZipFile('x.zip').namelist())))\n");
    EXPECT_EQ(run("python3 t.py", tmp.path()).out,
              "caf\xC3\xA9.txt|plain.txt|\xE6\x97\xA5\xE6\x9C\xAC.txt\n");
    // Unchanged files found again are kept as they are, Unix mode or not.
    TZip again;
    Events r2;
    EXPECT_EQ(addFiles(again, tmp / "x.zip", tmp / "in", r2), 0);
}

TEST(ZipWriter, JarReadByFastjarAndUnzip) {
    PV_REQUIRE_PEER("fastjar");
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "in" / "A.class", sampleText(4000, 1));
    writeFile(tmp / "in" / "B.class", sampleText(9000, 2));
    TJar w;
    EXPECT_EQ(w.ArcType(), atJar);
    Events r;
    w.SetArchiveFile((tmp / "lib").string());
    wire(w, r);
    w.SetFileSpecPaths({(tmp / "in" / "*").string()});
    ASSERT_EQ(w.Compress(), 2);
    ASSERT_TRUE(fs::exists(tmp / "lib.jar")); // the jar's own extension
    EXPECT_EQ(run("fastjar tf lib.jar", tmp.path()).out, "A.class\nB.class\n");
    EXPECT_EQ(run("unzip -tq lib.jar", tmp.path()).status, 0);
}

TEST(ZipWriter, DeletingTheFirstOfThreeMovesTheOthersByItsBytes) {
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "in" / "one.txt", sampleText(7000, 1));
    writeFile(tmp / "in" / "two.txt", sampleText(8000, 2));
    writeFile(tmp / "in" / "three.txt", sampleText(9000, 3));
    for (const char* n : {"one.txt", "two.txt", "three.txt"}) {
        TZip w;
        Events r;
        ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r, n), 1);
    }
    const auto before = centralOf(readBytes(tmp / "x.zip"));
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(before[0].name, "one.txt");
    const uint64_t removed = 30 + before[0].name.size() + before[0].h.packedSize;

    TZip d;
    Events r;
    wire(d, r);
    d.SetArchiveFile((tmp / "x.zip").string());
    d.Switch = swDelete;
    d.SetFileSpecPaths({"one.txt"});
    ASSERT_EQ(d.Compress(), 1);
    const auto after = centralOf(readBytes(tmp / "x.zip"));
    ASSERT_EQ(after.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(after[i].name, before[i + 1].name);
        EXPECT_EQ(after[i].h.localOffset, before[i + 1].h.localOffset - removed);
    }
    EXPECT_EQ(run("unzip -tq x.zip", tmp.path()).status, 0);

    // Deleting what is left removes the archive; deleting from nothing is "Nothing to do".
    TZip all;
    wire(all, r);
    all.SetArchiveFile((tmp / "x.zip").string());
    all.Switch = swDelete;
    all.SetFileSpecPaths({"*.txt"});
    EXPECT_EQ(all.Compress(), 2);
    EXPECT_FALSE(fs::exists(tmp / "x.zip"));
    EXPECT_THROW(all.Compress(), E_RAISE);
}

TEST(ZipWriter, UpdatesAnArchiveOfZipWithExtraFieldsAndComments) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "src" / "dir" / "a.txt", sampleText(20000, 1));
    writeFile(tmp / "src" / "dir" / "b.bin",
              std::string(reinterpret_cast<const char*>(randomBytes(5000).data()), 5000));
    ASSERT_EQ(run("printf 'the archive comment\\n' | zip -q -r -z x.zip dir", tmp / "src").status, 0);
    ASSERT_EQ(run("printf 'entry note\\n' | zip -q -c x.zip dir/a.txt", tmp / "src").status, 0);
    const auto old = centralOf(readBytes(tmp / "src" / "x.zip"));
    writeFile(tmp / "new" / "c.txt", sampleText(3000, 5));

    TZip w;
    Events r;
    ASSERT_EQ(addFiles(w, tmp / "src" / "x.zip", tmp / "new", r), 1);
    const auto t = run("unzip -t x.zip", tmp / "src");
    EXPECT_EQ(t.status, 0) << t.out;
    EXPECT_EQ(run("zip -T x.zip", tmp / "src").status, 0);
    EXPECT_EQ(run("unzip -z x.zip", tmp / "src").out, "Archive:  x.zip\nthe archive comment\n");
    EXPECT_EQ(run("unzip -p x.zip dir/a.txt", tmp / "src").out, readFile(tmp / "src" / "dir" / "a.txt"));
    EXPECT_EQ(run("unzip -p x.zip c.txt", tmp / "src").out, readFile(tmp / "new" / "c.txt"));
    // Kept entries keep their central extra fields and comments as they were.
    const auto now = centralOf(readBytes(tmp / "src" / "x.zip"));
    ASSERT_EQ(now.size(), old.size() + 1);
    for (size_t i = 0; i < old.size(); ++i) {
        EXPECT_EQ(now[i].name, old[i].name);
        EXPECT_EQ(now[i].extra, old[i].extra);
        EXPECT_EQ(now[i].h.commentLength, old[i].h.commentLength);
    }
    EXPECT_NE(run("unzip -l -v x.zip", tmp / "src").out.find("entry note"), std::string::npos);
}

TEST(ZipWriter, ReplacesAnEntryByANewerFile) {
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "in" / "a.txt", "first");
    writeFile(tmp / "in" / "b.txt", "other");
    TZip w;
    Events r;
    ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 2);
    writeFile(tmp / "in" / "a.txt", "second, longer");
    TZip u;
    ASSERT_EQ(addFiles(u, tmp / "x.zip", tmp / "in", r, "a.txt"), 1);
    EXPECT_EQ(run("unzip -p x.zip a.txt", tmp.path()).out, "second, longer");
    EXPECT_EQ(run("unzip -p x.zip b.txt", tmp.path()).out, "other");
    EXPECT_EQ(centralOf(readBytes(tmp / "x.zip")).size(), 2u);
}

TEST(ZipWriter, ReportsTheEntriesItAddedAndListsAnArchive) {
    TempDir tmp;
    writeFile(tmp / "in" / "a.txt", sampleText(9000, 1));
    writeFile(tmp / "in" / "b.txt", "bee");
    TZip w;
    w.Password = "pw";
    Events r;
    std::vector<std::tuple<std::string, int64_t, bool, int64_t>> read;
    const auto onRead = [&](TZipCommon& s, int64_t offset, int) {
        read.emplace_back(s.FileName, offset, s.Encrypted, s.UnpackedSize);
    };
    w.OnRead = onRead;
    ASSERT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 2);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], std::make_tuple(std::string("a.txt"), int64_t{0}, true, int64_t{9000}));
    EXPECT_EQ(std::get<0>(read[1]), "b.txt");
    EXPECT_EQ(w.TotalUnpackedSize, 9003);

    // Listing (swRead) walks the central directory.
    read.clear();
    TZip l;
    l.Switch = swRead;
    l.OnRead = onRead;
    l.SetArchiveFile((tmp / "x.zip").string());
    EXPECT_EQ(l.Compress(), 0);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(std::get<0>(read[1]), "b.txt");
    EXPECT_EQ(std::get<3>(read[1]), 3);
}

TEST(ZipWriter, AProgramPartInFrontOfTheArchiveStays) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "a.txt", sampleText(4000, 1));
    writeFile(tmp / "b.txt", sampleText(4000, 2));
    ASSERT_EQ(run("zip -q plain.zip a.txt", tmp.path()).status, 0);
    const std::string stub = sampleText(7000, 9);      // stands for a self-extractor's program
    for (const char* adjust : {"", "zip -qA x.exe"}) { // offsets from the zip's or the file's start
        SCOPED_TRACE(adjust);
        writeFile(tmp / "x.exe", stub + readFile(tmp / "plain.zip"));
        if (*adjust) {
            ASSERT_EQ(run(adjust, tmp.path()).status, 0);
        }
        TZip w;
        Events r;
        ASSERT_EQ(addFiles(w, tmp / "x.exe", tmp.path(), r, "b.txt"), 1);
        EXPECT_EQ(readFile(tmp / "x.exe").substr(0, stub.size()), stub);
        const auto t = run("unzip -t x.exe", tmp.path());
        EXPECT_EQ(t.status, 0) << t.out;
        EXPECT_EQ(run("unzip -p x.exe a.txt", tmp.path()).out, readFile(tmp / "a.txt"));
    }
}

// ---- bad input ----

std::vector<uint8_t> goodZip(const fs::path& dir) {
    writeFile(dir / "in" / "a.txt", sampleText(3000, 1));
    writeFile(dir / "in" / "bb.txt", sampleText(3000, 2));
    TZip w;
    Events r;
    addFiles(w, dir / "good.zip", dir / "in", r);
    return readBytes(dir / "good.zip");
}

TEST(ZipWriter, BadOldArchivesAreRefusedAndLeftAsTheyAre) {
    TempDir tmp;
    const auto good = goodZip(tmp.path());
    const size_t cd = le32(&good[good.size() - 22 + 16]);
    struct Bad {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Bad> cases;
    cases.push_back({"no end record", bytesOf(sampleText(5000, 3))});
    cases.push_back({"shorter than an end record", bytesOf("PK\x05\x06")});
    auto outside = good;
    put32(&outside[cd + 42], static_cast<uint32_t>(good.size() + 100)); // local header past the end
    cases.push_back({"entry outside the file", outside});
    auto longName = good;
    put16(&longName[cd + 28], 60000); // the name runs past the directory
    cases.push_back({"name past its header", longName});
    auto cdOutside = good;
    put32(&cdOutside[good.size() - 22 + 16], static_cast<uint32_t>(good.size()));
    cases.push_back({"directory outside the file", cdOutside});
    writeFile(tmp / "new.txt", "new");
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.name);
        writeBytes(tmp / "x.zip", b.bytes);
        TZip w;
        Events r;
        wire(w, r);
        w.SetArchiveFile((tmp / "x.zip").string());
        w.SetFileSpecPaths({(tmp / "new.txt").string()});
        try {
            w.Compress();
            ADD_FAILURE() << "no error";
        } catch (const E_RAISE& e) {
            EXPECT_EQ(e.ECode, kMsgBadFileHeader);
        }
        EXPECT_EQ(readBytes(tmp / "x.zip"), b.bytes);
        EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator{}), 4)
            << "a temporary file was left";
    }
    // An empty file starts a new archive.
    writeBytes(tmp / "x.zip", {});
    TZip w;
    Events r;
    wire(w, r);
    w.SetArchiveFile((tmp / "x.zip").string());
    w.SetFileSpecPaths({(tmp / "new.txt").string()});
    EXPECT_EQ(w.Compress(), 1);
}

TEST(ZipWriter, AFailingSourceFailsItsEntryOnlyAndAMoveKeepsIt) {
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    struct Fault {
        const char* name;
        const char* password;
        std::function<void(const fs::path&)> act; // done to the file just before it is read
    };
    const std::vector<Fault> faults = {
        {"vanishes", "", [](const fs::path& p) { fs::remove(p); }},
        {"shrinks", "", [](const fs::path& p) { fs::resize_file(p, 1000); }},
        {"shrinks_encrypted", "pw", [](const fs::path& p) { fs::resize_file(p, 1000); }},
        {"unreadable", "", [](const fs::path& p) { ::chmod(p.c_str(), 0); }},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        if (std::string(f.name) == "unreadable" && ::geteuid() == 0) continue; // root reads anything
        const fs::path in = tmp / f.name;
        writeFile(in / "a.txt", sampleText(200000, 1));
        writeFile(in / "b.txt", sampleText(200000, 2));
        writeFile(in / "c.txt", sampleText(200000, 3));
        TZip w;
        w.Password = f.password;
        w.Switch = swMove;
        w.DeleteOptions = doFinal;
        Events r;
        wire(w, r);
        w.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            if (fn == "b.txt") f.act(in / "b.txt");
        };
        w.SetArchiveFile((tmp / (std::string(f.name) + ".zip")).string());
        w.SetFileSpecPaths({(in / "*").string()});
        EXPECT_EQ(w.Compress(), 2);
        EXPECT_FALSE(r.ends["b.txt"]);
        EXPECT_FALSE(r.errors.empty());
        EXPECT_FALSE(fs::exists(in / "a.txt")); // moved
        if (std::string(f.name) != "vanishes") {
            EXPECT_TRUE(fs::exists(in / "b.txt")); // kept
        }
        const auto zip = std::string(f.name) + ".zip";
        EXPECT_EQ(run("unzip -Z1 " + zip, tmp.path()).out, "a.txt\nc.txt\n");
        EXPECT_EQ(run("unzip -tq -P pw " + zip, tmp.path()).status, 0);
        if (fs::exists(in / "b.txt")) ::chmod((in / "b.txt").c_str(), 0644);
    }
}

TEST(ZipWriter, AFileChangedBetweenTheEncryptionPassesIsNotWritten) {
    PV_REQUIRE_PEER("unzip");
    TempDir tmp;
    writeFile(tmp / "in" / "a.txt", sampleText(3000000, 1));
    writeFile(tmp / "in" / "b.txt", sampleText(3000, 2));
    TZip w;
    w.Password = "pw";
    Events r;
    bool changed = false;
    w.OnProgress = [&](TZipCommon&, uint8_t byFile, uint8_t) {
        if (changed || byFile == 0) return; // while the data pass runs
        // Same size, other bytes at the end: only the CRC of the two passes tells.
        changed = true;
        std::string s = readFile(tmp / "in" / "a.txt");
        s.replace(s.size() - 10, 10, "0123456789");
        writeFile(tmp / "in" / "a.txt", s);
    };
    EXPECT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 1);
    EXPECT_TRUE(changed);
    EXPECT_FALSE(r.ends["a.txt"]);
    EXPECT_NE(std::find(r.errors.begin(), r.errors.end(), kMsgReadError), r.errors.end());
    EXPECT_EQ(run("unzip -Z1 x.zip", tmp.path()).out, "b.txt\n");
    EXPECT_EQ(run("unzip -tq -P pw x.zip", tmp.path()).status, 0);
}

TEST(ZipWriter, CancelLeavesTheArchiveByteIdentical) {
    TempDir tmp;
    const auto good = goodZip(tmp.path());
    writeFile(tmp / "more" / "big.txt", sampleText(2000000, 5));
    TZip w;
    Events r;
    w.OnProgress = [](TZipCommon& s, uint8_t, uint8_t) { s.SetCancel(true); };
    try {
        addFiles(w, tmp / "good.zip", tmp / "more", r);
        ADD_FAILURE() << "no error";
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, kMsgUserCanceled);
    }
    EXPECT_EQ(readBytes(tmp / "good.zip"), good);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator{}), 3);
}

TEST(ZipWriter, FilesOf4GiBAreRefusedWithAClearMessage) {
    TempDir tmp;
    writeFile(tmp / "in" / "small.txt", "small");
    { std::ofstream huge(tmp / "in" / "huge.bin"); }
    std::error_code ec;
    fs::resize_file(tmp / "in" / "huge.bin", 0x100000000ull, ec); // sparse: nothing is written
    if (ec) GTEST_SKIP() << "no sparse 4 GiB file here: " << ec.message();
    TZip w;
    Events r;
    EXPECT_EQ(addFiles(w, tmp / "x.zip", tmp / "in", r), 1);
    ASSERT_FALSE(r.errorTexts.empty());
    EXPECT_NE(r.errorTexts[0].find("huge.bin"), std::string::npos);
    EXPECT_NE(r.errorTexts[0].find("4 GiB"), std::string::npos);
    const auto c = centralOf(readBytes(tmp / "x.zip"));
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].name, "small.txt");
}

TEST(ZipWriter, MoreThan65535EntriesAreRefusedWithAClearMessage) {
    // An archive of 65,535 empty entries, made here: one more does not fit without Zip64.
    TempDir tmp;
    std::vector<uint8_t> z, cd;
    const auto u16 = [](std::vector<uint8_t>& v, unsigned x) {
        v.push_back(static_cast<uint8_t>(x));
        v.push_back(static_cast<uint8_t>(x >> 8));
    };
    const auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
        u16(v, x & 0xFFFF);
        u16(v, x >> 16);
    };
    for (unsigned i = 0; i < 65535; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "%05u", i);
        const uint32_t at = static_cast<uint32_t>(z.size());
        u32(z, aehdr::kZipLocalSig);
        for (unsigned k : {10u, 0u, 0u, 0u, 0x5821u}) u16(z, k);
        for (int k = 0; k < 3; ++k) u32(z, 0);
        u16(z, 5);
        u16(z, 0);
        z.insert(z.end(), name, name + 5);
        u32(cd, aehdr::kZipCentralSig);
        for (unsigned k : {10u, 10u, 0u, 0u, 0u, 0x5821u}) u16(cd, k);
        for (int k = 0; k < 3; ++k) u32(cd, 0);
        for (unsigned k : {5u, 0u, 0u, 0u, 0u}) u16(cd, k);
        u32(cd, 0);
        u32(cd, at);
        cd.insert(cd.end(), name, name + 5);
    }
    const uint32_t cdAt = static_cast<uint32_t>(z.size());
    z.insert(z.end(), cd.begin(), cd.end());
    u32(z, aehdr::kZipEndSig);
    for (unsigned k : {0u, 0u, 65535u, 65535u}) u16(z, k);
    u32(z, static_cast<uint32_t>(cd.size()));
    u32(z, cdAt);
    u16(z, 0);
    writeBytes(tmp / "x.zip", z);
    writeFile(tmp / "in" / "one.txt", "one more");
    TZip w;
    Events r;
    try {
        addFiles(w, tmp / "x.zip", tmp / "in", r);
        ADD_FAILURE() << "no error";
    } catch (const E_RAISE& e) {
        EXPECT_NE(std::string(e.what()).find("65,535"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(tmp / "x.zip"), z);
}

} // namespace
