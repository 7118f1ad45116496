// TGZip: the members it writes are read by gzip, python3 and our own TUnGZIP byte for byte;
// one output per input, existing outputs skipped or replaced whole, moves that delete only
// inputs whose outputs are in place, and inputs that fail alone.
#include "archive/format/aeGZip.h"
#include "archive/format/aeUnGZIP.h"
#include "support/bytes.h"
#include "support/extract_outcome.h"
#include "support/testutil.h"
#include "platform/fileio.h"

#include <chrono>

namespace {

namespace fs = std::filesystem;
using namespace pvtest;
using Bytes = std::vector<uint8_t>;

// A gzip writer whose reads of one source fail after `failAfter` bytes (a file that shrank).
class TFlakyGZip : public TGZip {
public:
    std::string failName;
    int64_t failAfter = 0;
    int64_t ReadBlock(int Handle, TStream* Stream, int64_t Count, int CrcMode, bool Decrypt,
                      uint8_t* Buffer) override {
        if (!failName.empty() && FileName == failName) {
            if (failAfter <= 0) return 0;
            Count = std::min(Count, failAfter);
            failAfter -= Count;
        }
        return TGZip::ReadBlock(Handle, Stream, Count, CrcMode, Decrypt, Buffer);
    }
};

int compress(TGZip& g, const fs::path& outDir, const std::vector<fs::path>& inputs,
             ExtractOutcome* o = nullptr) {
    g.SetArchiveFile(outDir.string() + "/");
    std::vector<std::string> specs;
    for (auto& p : inputs) specs.push_back(p.string());
    g.SetFileSpecPaths(specs);
    g.DeleteOptions = doFinal;
    if (o) o->listen(g);
    return g.Compress();
}

// Leftover temporary files in a folder.
size_t tempFilesIn(const fs::path& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".pvtmp", 0) == 0) ++n;
    return n;
}

TEST(GzipWriter, MembersAreReadByEveryReader) {
    PV_REQUIRE_PEER("gzip");
    TempDir t;
    struct Case {
        std::string name;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"one", {'x'}},
        {"random100", randomBytes(100, 7)},
        {"text32k", bytesOf(sampleText(32768, 3))},
        {"random65535", randomBytes(65535, 8)}, // stored whole: one stored block
        {"random65536", randomBytes(65536, 9)}, // stored whole: two stored blocks
        {"random65537", randomBytes(65537, 10)},
        {"random1m", randomBytes(1 << 20, 11)},
        {"text1m", bytesOf(sampleText(1 << 20, 12))},
    };
    std::vector<fs::path> inputs;
    for (auto& c : cases) {
        writeBytes(t / "in" / (c.name + ".dat"), c.data);
        inputs.push_back(t / "in" / (c.name + ".dat"));
    }
    fs::create_directories(t / "out");
    TGZip g;
    ExtractOutcome o;
    std::vector<std::string> reported;
    g.OnRead = [&](TZipCommon& s, int64_t, int) {
        reported.push_back(s.FileName + "\t" + s.MethodName + "\t" + std::to_string(s.UnpackedSize));
    };
    EXPECT_EQ(compress(g, t / "out", inputs, &o), static_cast<int>(cases.size()));
    EXPECT_FALSE(o.failed());
    ASSERT_EQ(reported.size(), cases.size());
    EXPECT_EQ(reported[0], "empty.dat\tDeflateN\t0");
    EXPECT_EQ(tempFilesIn(t / "out"), 0u);

    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const fs::path gz = t / "out" / (c.name + ".dat.gz");
        const Bytes member = readBytes(gz);
        ASSERT_GE(member.size(), 18u);
        EXPECT_EQ(member[2], 8) << "method byte";
        EXPECT_EQ(member[3], 0x08) << "FNAME only";
        // FNAME: the base name alone; MTIME: the input's date, which the output also gets.
        const std::string fname(reinterpret_cast<const char*>(&member[10]));
        EXPECT_EQ(fname, c.name + ".dat");
        const auto inTime = platform::fileTimes(inputs[i].string())->lastWrite;
        EXPECT_EQ(le32(&member[4]), static_cast<uint32_t>(inTime));
        EXPECT_EQ(platform::fileTimes(gz.string())->lastWrite, inTime);
        EXPECT_EQ(le32(&member[member.size() - 4]), c.data.size());

        EXPECT_EQ(run("gzip -t " + q(gz.string())).status, 0);
        const RunResult d = run("gzip -dc " + q(gz.string()) + " > " + q((t / "peer.out").string()));
        EXPECT_EQ(d.status, 0) << d.out;
        EXPECT_EQ(readBytes(t / "peer.out"), c.data);

        TUnGZIP u;
        ExtractOutcome x;
        x.listen(u);
        x.run(u, gz, t / ("ours_" + c.name), false);
        EXPECT_FALSE(x.failed());
        EXPECT_EQ(readBytes(t / ("ours_" + c.name) / (c.name + ".dat")), c.data);
    }
    // Small incompressible input: deflate stored blocks, never raw bytes under method 8.
    const Bytes small = readBytes(t / "out" / "random100.dat.gz");
    const size_t data = 10 + std::string("random100.dat").size() + 1;
    EXPECT_EQ(small[data], 0x01) << "a final stored block";
    EXPECT_EQ(le16(&small[data + 1]), 100);
    EXPECT_EQ(le16(&small[data + 3]), 0xFFFF - 100);
    // The empty member as gzip writes it: the empty final block, CRC 0, size 0.
    const Bytes empty = readBytes(t / "out" / "empty.dat.gz");
    const Bytes tail(empty.end() - 10, empty.end());
    EXPECT_EQ(tail, (Bytes{0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));

    const RunResult l = run("gzip -lvN " + q((t / "out" / "text1m.dat.gz").string()));
    EXPECT_NE(l.out.find("text1m.dat"), std::string::npos) << l.out;

    if (havePeer("python3")) {
        std::string script = "import gzip,sys\nfor a in sys.argv[1:]:\n"
                             "  g,r=a.split('=')\n"
                             "  f=gzip.open(g); d=f.read()\n"
                             "  assert d==open(r,'rb').read(), g\n";
        writeFile(t / "check.py", script);
        std::string args;
        for (auto& c : cases)
            args += " " + q((t / "out" / (c.name + ".dat.gz")).string() + "=" +
                            (t / "in" / (c.name + ".dat")).string());
        const RunResult p = run("python3 " + q((t / "check.py").string()) + args);
        EXPECT_EQ(p.status, 0) << p.out;
    }
}

TEST(GzipWriter, OneOutputPerInputSkipAndMove) {
    TempDir t;
    writeFile(t / "a.txt", sampleText(3000, 1));
    writeFile(t / "b.txt", sampleText(4000, 2));
    writeFile(t / "c.txt", sampleText(5000, 3));
    // An existing output that the question keeps.
    writeFile(t / "b.txt.gz", "not touched");
    TGZip g;
    g.Switch = swMove;
    std::vector<std::string> asked;
    g.OnFileExists = [&](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& m) {
        asked.push_back(fs::path(fn).filename().string());
        m = omSkip;
    };
    ExtractOutcome o;
    // A wildcard and a name given twice: each file once.
    EXPECT_EQ(compress(g, t.path(), {t / "*.txt", t / "a.txt"}, &o), 2);
    EXPECT_EQ(asked, std::vector<std::string>{"b.txt.gz"});
    EXPECT_EQ(readFile(t / "b.txt.gz"), "not touched");
    EXPECT_TRUE(fs::exists(t / "b.txt")) << "an input whose output was not written stays";
    EXPECT_FALSE(fs::exists(t / "a.txt"));
    EXPECT_FALSE(fs::exists(t / "c.txt"));
    EXPECT_TRUE(fs::exists(t / "a.txt.gz"));
    EXPECT_TRUE(fs::exists(t / "c.txt.gz"));
    EXPECT_FALSE(fs::exists(t / "a.txt.gz.gz")) << "the outputs of the run are not its inputs";

    // Overwriting replaces the output whole, and keeps its permissions.
    fs::permissions(t / "b.txt.gz", fs::perms(0640));
    TGZip g2;
    g2.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) { m = omOverwrite; };
    EXPECT_EQ(compress(g2, t.path(), {t / "b.txt"}), 1);
    EXPECT_EQ(run("gzip -dc " + q((t / "b.txt.gz").string())).out, sampleText(4000, 2));
    EXPECT_EQ(fs::status(t / "b.txt.gz").permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_TRUE(fs::exists(t / "b.txt"));
}

TEST(GzipWriter, FailuresLeaveOutputsAndInputsAlone) {
    TempDir t;
    writeFile(t / "good.txt", sampleText(2000, 1));
    writeBytes(t / "shrinks.bin", randomBytes(300000, 2));
    writeFile(t / "shrinks.bin.gz", "old output");
    writeFile(t / "locked.txt", "x");
    writeFile(t / "locked.txt.gz", "read-only output");
    fs::permissions(t / "locked.txt.gz", fs::perms(0444));

    TFlakyGZip g;
    g.failName = "shrinks.bin";
    g.failAfter = 100000;
    g.Switch = swMove;
    g.ConfirmOverwrites = false;
    ExtractOutcome o;
    EXPECT_EQ(compress(g, t.path(), {t / "shrinks.bin", t / "locked.txt", t / "good.txt"}, &o), 1);
    EXPECT_TRUE(o.hasError(25236)) << "the short read";
    EXPECT_TRUE(o.hasError(25136)) << "the read-only output without OnNonWriteableArchive";
    EXPECT_EQ(readFile(t / "shrinks.bin.gz"), "old output");
    EXPECT_EQ(readFile(t / "locked.txt.gz"), "read-only output");
    EXPECT_TRUE(fs::exists(t / "shrinks.bin")) << "a failed file is never moved";
    EXPECT_TRUE(fs::exists(t / "locked.txt"));
    EXPECT_FALSE(fs::exists(t / "good.txt")) << "the loop goes on after a failed file";
    EXPECT_TRUE(fs::exists(t / "good.txt.gz"));
    EXPECT_EQ(tempFilesIn(t.path()), 0u);
    const auto failed =
        std::find(o.ends.begin(), o.ends.end(), std::make_pair((t / "shrinks.bin").string(), false));
    EXPECT_NE(failed, o.ends.end());

    // Unlocked by OnNonWriteableArchive, the read-only output is replaced.
    TGZip u;
    u.ConfirmOverwrites = false;
    u.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& go) { go = true; };
    EXPECT_EQ(compress(u, t.path(), {t / "locked.txt"}), 1);
    EXPECT_EQ(run("gzip -dc " + q((t / "locked.txt.gz").string())).out, "x");

    // A cancel during a file ends the run: the existing output stays as it was.
    writeBytes(t / "big.bin", randomBytes(3 << 20, 5));
    writeFile(t / "big.bin.gz", "previous");
    TGZip c;
    c.ConfirmOverwrites = false;
    c.OnProgress = [](TZipCommon& s, uint8_t byFile, uint8_t) {
        if (byFile > 10) s.SetCancel(true);
    };
    ExtractOutcome oc;
    EXPECT_EQ(compress(c, t.path(), {t / "big.bin"}, &oc), 0);
    EXPECT_TRUE(oc.hasError(25449));
    EXPECT_EQ(readFile(t / "big.bin.gz"), "previous");
    EXPECT_EQ(tempFilesIn(t.path()), 0u);
}

TEST(GzipWriter, DeleteAndEmptyRuns) {
    TempDir t;
    writeFile(t / "a.txt", "a");
    TGZip g;
    g.Switch = swDelete;
    ExtractOutcome o;
    EXPECT_EQ(compress(g, t.path(), {t / "a.txt"}, &o), 0);
    EXPECT_EQ(o.errors, std::vector<int>{26859});
    EXPECT_FALSE(fs::exists(t / "a.txt.gz"));
    // Nothing matches: nothing written, nothing reported.
    TGZip n;
    ExtractOutcome on;
    EXPECT_EQ(compress(n, t.path(), {t / "*.none"}, &on), 0);
    EXPECT_FALSE(on.failed());
}

} // namespace
