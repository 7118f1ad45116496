// TTar: the header fields byte by byte, archives that GNU tar, 7zz and python3 read back
// byte-exact, updates of archives GNU tar made (long names and pax records kept or dropped
// with their entries), the limits of the old header, damaged archives left alone, and
// gzip-compressed tars under the name asked for.
#include "archive/format/aeGZip.h"
#include "archive/format/aeTar.h"
#include "support/bytes.h"
#include "support/extract_outcome.h"
#include "support/samples.h"
#include "support/testutil.h"
#include "platform/fileio.h"

#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace pvtest;
using Bytes = std::vector<uint8_t>;

// A tar writer whose reads of one stored name stop after `failAfter` bytes (a file that shrank).
class TShrinkingTar : public TTar {
public:
    std::string failName;
    int64_t failAfter = 0;
    int64_t ReadBlock(int Handle, TStream* Stream, int64_t Count, int CrcMode, bool Decrypt,
                      uint8_t* Buffer) override {
        if (FileName == failName && Handle != FArcHandle) { // the source, not the kept entries
            Count = std::min(Count, failAfter);
            failAfter -= Count;
            if (Count <= 0) return 0;
        }
        return TTar::ReadBlock(Handle, Stream, Count, CrcMode, Decrypt, Buffer);
    }
};

struct TarRun {
    ExtractOutcome o;
    int count = 0;
};

// Adds (or deletes) the specs to/from `archive` with stored names relative to each spec's folder.
TarRun tarRun(const fs::path& archive, const std::vector<std::string>& specs, TSwitch sw = swAdd,
              bool gzip = false, bool recurse = true) {
    TTar w;
    TarRun r;
    r.o.listen(w);
    w.SetArchiveFile(archive.string());
    if (gzip) w.SetCompressMethod(cmGzipTar);
    w.SetFileSpecPaths(specs);
    w.Switch = sw;
    w.RecurseDirs = recurse;
    w.DeleteOptions = doFinal;
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
    try {
        r.count = w.Compress();
    } catch (const E_RAISE& e) {
        r.o.raised = e.ECode;
    }
    return r;
}

std::string field(const Bytes& a, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(&a[at]), n);
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    size_t p = 0;
    while (p < s.size()) {
        const size_t e = s.find('\n', p);
        out.push_back(s.substr(p, e - p));
        if (e == std::string::npos) break;
        p = e + 1;
    }
    return out;
}

size_t leftovers(const fs::path& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".pvtmp", 0) == 0) ++n;
    return n;
}

TEST(TarWriter, HeaderFieldsAndPadding) {
    TempDir t;
    writeFile(t / "in" / "one.txt", "x");
    writeBytes(t / "in" / "full.bin", randomBytes(512, 1));
    writeFile(t / "in" / "ten.txt", "0123456789");
    const fs::path a = t / "a.tar";
    TarRun r = tarRun(a, {(t / "in" / "one.txt").string()});
    ASSERT_FALSE(r.o.failed()) << r.o.raised;
    Bytes b = readBytes(a);
    // 512 header + 1 data + 511 zero, then the two end blocks.
    ASSERT_EQ(b.size(), 512u + 512u + 1024u);
    EXPECT_EQ(field(b, 0, 8), std::string("one.txt\0", 8));
    EXPECT_EQ(b[512], 'x');
    EXPECT_TRUE(std::all_of(b.begin() + 513, b.end(), [](uint8_t c) { return c == 0; }));
    EXPECT_EQ(field(b, 100, 8), std::string("100666 \0", 8));
    EXPECT_EQ(field(b, 108, 8), std::string("     0 \0", 8));
    EXPECT_EQ(field(b, 116, 8), std::string("     0 \0", 8));
    EXPECT_EQ(field(b, 124, 12), "          1 ");
    EXPECT_EQ(b[156], 0);
    EXPECT_TRUE(std::all_of(b.begin() + 157, b.begin() + 512, [](uint8_t c) { return c == 0; }));
    // Checksum: six digits right-aligned, a zero byte, a space; the field counted as spaces.
    unsigned sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : b[i];
    char expect[8];
    std::snprintf(expect, sizeof expect, "%6o", sum);
    EXPECT_EQ(field(b, 148, 8), std::string(expect, 6) + std::string("\0 ", 2));
    const auto mtime = platform::fileTimes((t / "in" / "one.txt").string())->lastWrite;
    char time[13];
    std::snprintf(time, sizeof time, "%11llo ", static_cast<unsigned long long>(mtime));
    EXPECT_EQ(field(b, 136, 12), time);

    // 512 bytes of data need no padding; a 10-byte file's size field.
    const fs::path f = t / "f.tar";
    ASSERT_FALSE(tarRun(f, {(t / "in" / "full.bin").string()}).o.failed());
    EXPECT_EQ(readBytes(f).size(), 512u + 512u + 1024u);
    const fs::path ten = t / "ten.tar";
    ASSERT_FALSE(tarRun(ten, {(t / "in" / "ten.txt").string()}).o.failed());
    EXPECT_EQ(field(readBytes(ten), 124, 12), "         12 ");
}

TEST(TarWriter, PeersReadWhatWeWrite) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    Files files = sampleFiles(300000);
    files["big/one_mb.bin"] = randomBytes(1 << 20, 5);
    files["big/text.txt"] = bytesOf(sampleText((1 << 20) + 511, 6));
    files["unicode/\xc3\xa9t\xc3\xa9.txt"] = bytesOf("caf\xc3\xa9\n");
    writeFiles(t / "in", files);
    const fs::path a = t / "a.tar";
    TarRun r = tarRun(a, {(t / "in" / "*").string()});
    ASSERT_FALSE(r.o.failed()) << r.o.raised;
    EXPECT_EQ(r.count, static_cast<int>(files.size()));
    EXPECT_EQ(readBytes(a).size() % 512, 0u);

    const RunResult list = run("tar -tvf " + q(a.string()));
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("-rw-rw-rw- 0/0"), std::string::npos) << list.out;
    fs::create_directories(t / "out");
    ASSERT_EQ(run("tar -xf " + q(a.string()) + " -C " + q((t / "out").string())).status, 0);
    expectExtracted(t / "out", files, t / "in");
    if (havePeer("7zz")) {
        const RunResult z = run("7zz t " + q(a.string()));
        EXPECT_EQ(z.status, 0) << z.out;
    }
    if (havePeer("python3")) {
        writeFile(t / "check.py", "import tarfile,sys,os\n"
                                  "with tarfile.open(sys.argv[1]) as tf:\n"
                                  "  for m in tf.getmembers():\n"
                                  "    d=tf.extractfile(m).read()\n"
                                  "    assert d==open(os.path.join(sys.argv[2],m.name),'rb').read(), m.name\n"
                                  "    assert m.isreg() and m.mode & 0o7777==0o666, m.mode\n");
        const RunResult p = run("python3 " + q((t / "check.py").string()) + " " + q(a.string()) + " " +
                                q((t / "in").string()));
        EXPECT_EQ(p.status, 0) << p.out;
    }
}

TEST(TarWriter, UpdatesKeepGnuLongNamesAndPaxRecords) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    const std::string longDir = std::string(60, 'd') + "/" + std::string(70, 'e');
    const std::string longName = longDir + "/long_file_name.txt";
    writeFile(t / "src" / longName, sampleText(3000, 1));
    writeFile(t / "src" / "short.txt", "short\n");
    writeFile(t / "src" / "gone.txt", "to be deleted\n");
    writeFile(t / "new" / "added.txt", "added later\n");
    for (const std::string format : {"gnu", "pax"}) {
        SCOPED_TRACE(format);
        const fs::path a = t / (format + ".tar");
        ASSERT_EQ(
            run("tar --format=" + format + " -cf " + q(a.string()) + " short.txt gone.txt " + q(longName),
                t / "src")
                .status,
            0);
        const auto before = lines(run("tar -tf " + q(a.string())).out);
        ASSERT_EQ(before.size(), 3u);

        TarRun r = tarRun(a, {(t / "new" / "added.txt").string()});
        ASSERT_FALSE(r.o.failed()) << r.o.raised;
        auto after = lines(run("tar -tf " + q(a.string())).out);
        auto expect = before;
        expect.push_back("added.txt");
        EXPECT_EQ(after, expect);

        // Deleting the long-named entry drops its name record too; the others stay whole.
        TarRun d = tarRun(a, {longName, "gone.txt"}, swDelete);
        ASSERT_FALSE(d.o.failed()) << d.o.raised;
        EXPECT_EQ(d.count, 2);
        after = lines(run("tar -tf " + q(a.string())).out);
        EXPECT_EQ(after, (std::vector<std::string>{"short.txt", "added.txt"}));
        const RunResult x = run("tar -xOf " + q(a.string()) + " short.txt");
        EXPECT_EQ(x.out, "short\n");

        // And the other way round: only the long-named entry kept.
        ASSERT_EQ(
            run("tar --format=" + format + " -cf " + q(a.string()) + " short.txt " + q(longName), t / "src")
                .status,
            0);
        ASSERT_FALSE(tarRun(a, {"short.txt"}, swDelete).o.failed());
        EXPECT_EQ(lines(run("tar -tf " + q(a.string())).out), std::vector<std::string>{longName});
        EXPECT_EQ(run("tar -xOf " + q(a.string())).out, sampleText(3000, 1));
    }
}

TEST(TarWriter, ReplacedEntriesGetOldStyleHeaders) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeFile(t / "src" / "a.txt", "old contents\n");
    const fs::path a = t / "a.tar";
    ASSERT_EQ(
        run("tar --format=ustar --owner=somebody:1234 -cf " + q(a.string()) + " a.txt", t / "src").status, 0);
    writeFile(t / "src" / "a.txt", "new and longer contents\n");
    fs::last_write_time(t / "src" / "a.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
    TarRun r = tarRun(a, {(t / "src" / "a.txt").string()});
    ASSERT_FALSE(r.o.failed()) << r.o.raised;
    EXPECT_EQ(r.count, 1);
    const Bytes b = readBytes(a);
    ASSERT_GE(b.size(), 512u);
    EXPECT_EQ(field(b, 0, 6), std::string("a.txt\0", 6));
    EXPECT_EQ(field(b, 108, 8), std::string("     0 \0", 8));
    EXPECT_TRUE(std::all_of(b.begin() + 156, b.begin() + 512, [](uint8_t c) { return c == 0; }))
        << "nothing of the ustar header beyond offset 156";
    EXPECT_EQ(run("tar -xOf " + q(a.string())).out, "new and longer contents\n");
    EXPECT_EQ(lines(run("tar -tf " + q(a.string())).out), std::vector<std::string>{"a.txt"});
}

TEST(TarWriter, LimitsFailOnlyThatFile) {
    TempDir t;
    const std::string name99(95, 'n');
    writeFile(t / "in" / (name99 + ".txt"), "fits\n");          // 99 bytes
    writeFile(t / "in" / (name99 + "x.txt"), "does not fit\n"); // 100 bytes
    writeFile(t / "in" / "ok.txt", "ok\n");
    {
        // 8 GiB, sparse: refused before any byte is copied.
        std::ofstream(t / "in" / "huge.bin").close();
        ASSERT_EQ(::truncate((t / "in" / "huge.bin").c_str(), int64_t{1} << 33), 0);
    }
    const fs::path a = t / "a.tar";
    TarRun r = tarRun(a, {(t / "in" / "*").string()});
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.o.raised, 0);
    EXPECT_TRUE(r.o.hasError(25243)) << "the long name";
    EXPECT_TRUE(r.o.hasError(25136)) << "the size";
    const auto failed = std::count_if(r.o.ends.begin(), r.o.ends.end(), [](auto& e) { return !e.second; });
    EXPECT_EQ(failed, 2);
    if (havePeer("tar")) {
        auto names = lines(run("tar -tf " + q(a.string())).out);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{name99 + ".txt", "ok.txt"}));
    }
    EXPECT_LT(fs::file_size(a), 8192u);
}

TEST(TarWriter, DamagedArchivesAreLeftAlone) {
    TempDir t;
    writeFile(t / "in" / "a.txt", "aaa\n");
    writeFile(t / "in" / "b.txt", "bbb\n");
    writeFile(t / "in" / "c.txt", "ccc\n");
    const fs::path a = t / "a.tar";
    ASSERT_FALSE(tarRun(a, {(t / "in" / "a.txt").string(), (t / "in" / "b.txt").string()}).o.failed());
    Bytes b = readBytes(a);
    b[1024 + 10] ^= 0x55; // the second header fails its checksum
    writeBytes(a, b);
    for (TSwitch sw : {swAdd, swDelete}) {
        TarRun r = tarRun(a, {sw == swAdd ? (t / "in" / "c.txt").string() : std::string("a.txt")}, sw);
        EXPECT_EQ(r.o.raised, 25110);
        EXPECT_EQ(readBytes(a), b);
        EXPECT_EQ(leftovers(t.path()), 0u);
    }
    // Truncated inside an entry's data.
    b = readBytes(a);
    b[1024 + 10] ^= 0x55;
    b.resize(1024 + 512 + 2);
    writeBytes(a, b);
    TarRun r = tarRun(a, {(t / "in" / "c.txt").string()});
    EXPECT_NE(r.o.raised, 0);
    EXPECT_EQ(readBytes(a), b);
}

TEST(TarWriter, GzipTarNamesAndUpdates) {
    PV_REQUIRE_PEER("gzip");
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeFile(t / "in" / "a.txt", sampleText(20000, 1));
    writeFile(t / "in" / "sub" / "b.txt", "bee\n");
    struct Case {
        std::string asked, made;
    };
    for (const Case& c : {Case{"x.tgz", "x.tgz"}, Case{"y.tar.gz", "y.tar.gz"}, Case{"Z.TAR.GZ", "Z.TAR.GZ"},
                          Case{"w.tar", "w.tar.gz"}, Case{"v", "v.tar.gz"}}) {
        SCOPED_TRACE(c.asked);
        const fs::path dir = t / ("d_" + c.asked);
        fs::create_directories(dir);
        TarRun r = tarRun(dir / c.asked, {(t / "in" / "*").string()}, swAdd, true);
        ASSERT_FALSE(r.o.failed()) << r.o.raised;
        EXPECT_EQ(r.count, 2);
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{c.made}) << "only the final file remains";
        const fs::path made = dir / c.made;
        EXPECT_EQ(run("gzip -t " + q(made.string())).status, 0);
        auto list = lines(run("tar -tzf " + q(made.string())).out);
        std::sort(list.begin(), list.end());
        EXPECT_EQ(list, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    }

    // Adding to a .tgz that GNU tar made keeps its entries; deleting rewrites it.
    writeFile(t / "src" / "old.txt", "old entry\n");
    const fs::path g = t / "g.tgz";
    ASSERT_EQ(run("tar -czf " + q(g.string()) + " old.txt", t / "src").status, 0);
    ASSERT_FALSE(tarRun(g, {(t / "in" / "a.txt").string()}, swAdd, true).o.failed());
    EXPECT_EQ(lines(run("tar -tzf " + q(g.string())).out), (std::vector<std::string>{"old.txt", "a.txt"}));
    EXPECT_EQ(run("tar -xzOf " + q(g.string()) + " old.txt").out, "old entry\n");
    TarRun d = tarRun(g, {"old.txt"}, swDelete, true);
    ASSERT_FALSE(d.o.failed()) << d.o.raised;
    EXPECT_EQ(lines(run("tar -tzf " + q(g.string())).out), std::vector<std::string>{"a.txt"});
    // Deleting the last entry removes the archive.
    ASSERT_FALSE(tarRun(g, {"a.txt"}, swDelete, true).o.failed());
    EXPECT_FALSE(fs::exists(g));
    EXPECT_EQ(leftovers(t.path()), 0u);

    // A .tgz that fails to inflate: its error, and the file as it was.
    ASSERT_EQ(run("tar -czf " + q(g.string()) + " old.txt", t / "src").status, 0);
    Bytes bad = readBytes(g);
    bad[bad.size() - 6] ^= 0xFF; // the CRC
    writeBytes(g, bad);
    TarRun f = tarRun(g, {(t / "in" / "a.txt").string()}, swAdd, true);
    EXPECT_EQ(f.o.raised, 25151);
    EXPECT_EQ(readBytes(g), bad);
    bad.resize(bad.size() / 2);
    writeBytes(g, bad);
    f = tarRun(g, {(t / "in" / "a.txt").string()}, swAdd, true);
    EXPECT_NE(f.o.raised, 0);
    EXPECT_EQ(readBytes(g), bad);
    EXPECT_EQ(leftovers(t.path()), 0u);
}

TEST(TarWriter, InputsThatShrinkFailAlone) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeFile(t / "in" / "a.txt", "first a\n");
    writeFile(t / "in" / "c.txt", "see\n");
    const fs::path a = t / "a.tar";
    ASSERT_FALSE(tarRun(a, {(t / "in" / "a.txt").string()}).o.failed());
    // A newer a.txt that shrinks while it is read: the entry the archive had stays.
    writeBytes(t / "in" / "a.txt", randomBytes(100000, 1));
    fs::last_write_time(t / "in" / "a.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
    writeBytes(t / "in" / "b.bin", randomBytes(70000, 2));
    for (const std::string victim : {"a.txt", "b.bin"}) {
        SCOPED_TRACE(victim);
        const Bytes before = readBytes(a);
        TShrinkingTar w;
        ExtractOutcome o;
        o.listen(w);
        w.failName = victim;
        w.failAfter = 40000;
        w.SetArchiveFile(a.string());
        w.SetFileSpecPaths({(t / "in" / victim).string()});
        w.Switch = swMove;
        w.DeleteOptions = doFinal;
        w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                             int64_t, int64_t, int, int, bool& replace) { replace = true; };
        EXPECT_EQ(w.Compress(), 0);
        EXPECT_TRUE(o.hasError(25236));
        EXPECT_TRUE(fs::exists(t / "in" / victim)) << "a failed file is never moved";
        EXPECT_EQ(readBytes(a), before);
    }
    // Beside files that work, the one that shrinks is left out and stays where it was.
    TShrinkingTar w;
    ExtractOutcome o;
    o.listen(w);
    w.failName = "b.bin";
    w.failAfter = 0;
    w.SetArchiveFile(a.string());
    w.SetFileSpecPaths({(t / "in" / "*").string()});
    w.Switch = swMove;
    w.DeleteOptions = doFinal;
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
    EXPECT_EQ(w.Compress(), 2);
    auto names = lines(run("tar -tf " + q(a.string())).out);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(run("tar -xOf " + q(a.string()) + " a.txt").out.size(), 100000u);
    EXPECT_TRUE(fs::exists(t / "in" / "b.bin"));
    EXPECT_FALSE(fs::exists(t / "in" / "a.txt"));
    EXPECT_FALSE(fs::exists(t / "in" / "c.txt"));
}

TEST(TarWriter, ReadListsEntriesOfTarsAndGzipTars) {
    TempDir t;
    writeFile(t / "in" / "a.txt", "aaa\n");
    writeFile(t / "in" / "b.txt", "bbbbbb\n");
    for (bool gzip : {false, true}) {
        SCOPED_TRACE(gzip);
        const fs::path a = t / (gzip ? "a.tgz" : "a.tar");
        ASSERT_FALSE(tarRun(a, {(t / "in" / "*").string()}, swAdd, gzip).o.failed());
        TTar r;
        if (gzip) r.SetCompressMethod(cmGzipTar);
        r.SetArchiveFile(a.string());
        r.Switch = swRead;
        std::vector<std::string> seen;
        r.OnRead = [&](TZipCommon& s, int64_t offset, int) {
            seen.push_back(s.FileName + "\t" + std::to_string(s.UnpackedSize) + "\t" + s.MethodName + "\t" +
                           std::to_string(offset));
        };
        EXPECT_EQ(r.Compress(), 0);
        EXPECT_EQ(seen, (std::vector<std::string>{"a.txt\t4\tTarred\t0", "b.txt\t7\tTarred\t1024"}));
        EXPECT_EQ(leftovers(t.path()), 0u);
    }
}

TEST(TarWriter, FailedGzipStageKeepsTheOldTarget) {
    PV_REQUIRE_PEER("tar");
    TempDir t;
    writeFile(t / "src" / "old.txt", "old entry\n");
    writeBytes(t / "in" / "big.bin", randomBytes(3 << 20, 4));
    const fs::path g = t / "g.tar.gz";
    ASSERT_EQ(run("tar -czf " + q(g.string()) + " old.txt", t / "src").status, 0);
    const Bytes before = readBytes(g);
    TTar w;
    ExtractOutcome o;
    o.listen(w);
    w.SetArchiveFile(g.string());
    w.SetCompressMethod(cmGzipTar);
    w.SetFileSpecPaths({(t / "in" / "big.bin").string()});
    w.Switch = swMove;
    w.DeleteOptions = doFinal;
    // Cancelled while the tar is being compressed: the stage's own message ends the run.
    bool inGzip = false;
    w.OnProgress = [&](TZipCommon& s, uint8_t byFile, uint8_t) {
        if (dynamic_cast<TGZip*>(&s) && byFile > 20) {
            inGzip = true;
            s.SetCancel(true);
        }
    };
    try {
        w.Compress();
    } catch (const E_RAISE& e) {
        o.raised = e.ECode;
    }
    EXPECT_TRUE(inGzip);
    EXPECT_EQ(o.raised, 25449);
    EXPECT_TRUE(w.Cancel());
    EXPECT_EQ(readBytes(g), before);
    EXPECT_TRUE(fs::exists(t / "in" / "big.bin")) << "nothing is moved by a failed run";
    EXPECT_EQ(leftovers(t.path()), 0u);
}

} // namespace
