// TUUEncode and TUUDecode: the text the encoder writes, read back by uudecode; uuencode's
// text read by the decoder; parts and continuation volumes; XX by round trip and by a
// vector worked out by hand; damaged and unfinished input.
#include <gtest/gtest.h>

#include "archive/format/aeUUDecode.h"
#include "archive/format/aeUUCommon.h"
#include "archive/format/aeUUEncode.h"
#include "extract_outcome.h"
#include "samples.h"
#include "testutil.h"

using namespace pvtest;

namespace {

struct Encoded {
    int files = 0;
    std::vector<std::string> written;
    std::vector<int> errors;
    std::vector<std::pair<std::string, bool>> ends;
};

Encoded encode(const fs::path& in, const fs::path& out, bool xx = false, int kb = 0, bool table = false) {
    TUUEncode e;
    Encoded r;
    e.OnError = [&r](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        r.errors.push_back(code);
    };
    e.OnEnd = [&r](TZipCommon&, const std::string& fn, bool ok) { r.ends.emplace_back(fn, ok); };
    e.SetArchiveFile(in.string());
    e.SetCompressMethod(xx ? cmXXEncode : cmUUEncode);
    e.SetOutFilename(out.string());
    e.KBytesPerVolume = kb;
    e.WriteTableToFile = table;
    r.files = e.Compress();
    r.written = e.WrittenFiles();
    return r;
}

struct Decoded : ExtractOutcome {
    std::vector<std::string> volumesAsked;
};

Decoded decode(const fs::path& in, const fs::path& out, bool test = false, bool volumes = true) {
    TUUDecode d;
    Decoded o;
    o.listen(d);
    d.ConfirmOverwrites = false;
    d.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
        o.volumesAsked.push_back(fs::path(name).filename().string());
        cancel = !(volumes && exists);
    };
    o.run(d, in, out, test);
    return o;
}

std::vector<uint8_t> bytesOfSize(size_t n) {
    return randomBytes(n, static_cast<uint32_t>(n + 1));
}

// ---- the encoder's text ----

TEST(UuEncode, LinesOfTheEdgeSizes) {
    TempDir t;
    struct Case {
        size_t size;
        bool xx;
        std::string body; // the lines between "begin" and "end", CR LF each
    };
    const std::string m60 = std::string("M") + std::string(60, '?');
    const Case cases[] = {
        {45, false, "M\x01\r\n`\r\n"},
        {0, false, "`\r\n"},
        {46, false, "M\x01\r\n!\x01\r\n`\r\n"},
        {45, true, "h\x01\r\n+\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.xx ? " xx" : " uu"));
        writeBytes(t / "in.bin", std::vector<uint8_t>(c.size, 0x41));
        const Encoded e = encode(t / "in.bin", t / "out.uue", c.xx);
        ASSERT_EQ(e.files, 1);
        const std::string text = readFile(t / "out.uue");
        // Shape of each line: length character, then 4 characters per 3 bytes.
        std::vector<std::string> lines;
        for (size_t p = 0, q; (q = text.find("\r\n", p)) != std::string::npos; p = q + 2)
            lines.push_back(text.substr(p, q - p));
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines.front(), "begin 644 in.bin");
        EXPECT_EQ(lines[lines.size() - 2], "end");
        EXPECT_EQ(lines.back(), std::to_string(c.size) + " bytes");
        std::string shape;
        for (size_t i = 1; i + 2 < lines.size(); ++i) {
            const std::string& l = lines[i];
            shape += l.substr(0, 1);
            if (l.size() > 1) shape += static_cast<char>((l.size() - 1) / 4 == 15 ? 1 : (l.size() - 1) / 4);
            shape += "\r\n";
        }
        EXPECT_EQ(shape, c.body);
        if (c.size == 45) {
            EXPECT_EQ(lines[1].size(), 61u);
        }
        EXPECT_EQ(text.find("encoded into"), std::string::npos);
    }
}

// Worked out by hand: "Cat" = 010000 110110 000101 110100 = 16, 54, 5, 52.
TEST(UuEncode, HandVectorsForBothAlphabets) {
    TempDir t;
    writeFile(t / "cat", "Cat");
    encode(t / "cat", t / "cat.uue");
    encode(t / "cat", t / "cat.xxe", true);
    EXPECT_EQ(readFile(t / "cat.uue"), "begin 644 cat\r\n#0V%T\r\n`\r\nend\r\n3 bytes\r\n");
    EXPECT_EQ(readFile(t / "cat.xxe"), "begin 644 cat\r\n1Eq3o\r\n+\r\nend\r\n3 bytes\r\n");
    // The input without extension is read and announced as it is, and left alone.
    EXPECT_EQ(readFile(t / "cat"), "Cat");
    EXPECT_EQ(filesIn(t.path()), (std::vector<std::string>{"cat", "cat.uue", "cat.xxe"}));
}

TEST(UuEncode, TableBlockComesFirst) {
    TempDir t;
    writeFile(t / "x.txt", "table test");
    encode(t / "x.txt", t / "x.xxe", true, 0, true);
    const std::string text = readFile(t / "x.xxe");
    EXPECT_EQ(text.substr(0, 92),
              "table\r\n+-0123456789ABCDEFGHIJKLMNOPQRST\r\nUVWXYZabcdefghijklmnopqrstuvwxyz\r\nbegin 644 "
              "x.txt\r\n");
    const Decoded d = decode(t / "x.xxe", t / "out");
    EXPECT_FALSE(d.failed());
    EXPECT_EQ(readFile(t / "out" / "x.txt"), "table test");
}

// ---- against uudecode and uuencode ----

const size_t kSizes[] = {0, 1, 44, 45, 46, 32759, 32760, 32761, 32769, 3 * 1024 * 1024 + 7};

TEST(UuPeer, OurTextDecodesWithUudecode) {
    PV_REQUIRE_PEER("uudecode");
    TempDir t;
    for (size_t n : kSizes) {
        SCOPED_TRACE(n);
        writeBytes(t / "in.bin", bytesOfSize(n));
        ASSERT_EQ(encode(t / "in.bin", t / "x.uue").files, 1);
        const RunResult r = run("uudecode -o back.bin x.uue", t.path());
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(readBytes(t / "back.bin"), bytesOfSize(n));
    }
}

TEST(UuPeer, UuencodeTextDecodes) {
    PV_REQUIRE_PEER("uuencode");
    TempDir t;
    for (size_t n : kSizes) {
        SCOPED_TRACE(n);
        writeBytes(t / "a b.bin", bytesOfSize(n));
        ASSERT_EQ(run("uuencode 'a b.bin' 'a b.bin' > x.uue", t.path()).status, 0);
        const Decoded d = decode(t / "x.uue", t / "out");
        EXPECT_FALSE(d.failed());
        ASSERT_EQ(d.ends.size(), 1u);
        EXPECT_EQ(fs::path(d.ends[0].first).filename(), "a b.bin");
        EXPECT_EQ(readBytes(t / "out" / "a b.bin"), bytesOfSize(n));
        const Decoded tested = decode(t / "x.uue", t / "tested", true);
        EXPECT_FALSE(tested.failed());
        EXPECT_EQ(tested.passed(), 1);
        EXPECT_FALSE(fs::exists(t / "tested"));
    }
}

// ---- parts and volumes ----

TEST(UuParts, OneKilobyteHoldsThirteenDataLinesAndDecodesBack) {
    TempDir t;
    const std::vector<uint8_t> data = bytesOfSize(45 * 13 * 2 + 100); // three parts
    writeBytes(t / "data.bin", data);
    const Encoded e = encode(t / "data.bin", t / "x.uue", false, 1);
    ASSERT_EQ(e.files, 3);
    EXPECT_EQ(filesIn(t.path()), (std::vector<std::string>{"data.bin", "x.uu1", "x.uu2", "x.uue"}));
    const std::string first = readFile(t / "x.uue");
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 14); // begin + 13 data lines
    const std::string second = readFile(t / "x.uu1");
    EXPECT_EQ(second.substr(0, 29), "part 1\r\nbegin 644 data.bin\r\nM");
    const std::string last = readFile(t / "x.uu2");
    EXPECT_NE(last.find("end\r\n1270 bytes\r\nencoded into 3 file(s)\r\n"), std::string::npos);

    const Decoded d = decode(t / "x.uue", t / "out");
    EXPECT_FALSE(d.failed());
    EXPECT_EQ(d.volumesAsked, (std::vector<std::string>{"x.uu1", "x.uu2"}));
    EXPECT_EQ(readBytes(t / "out" / "data.bin"), data);

    // Without the last part the file never reaches "end": it fails and nothing is kept.
    fs::remove(t / "x.uu2");
    const Decoded cut = decode(t / "x.uue", t / "cut");
    ASSERT_EQ(cut.ends.size(), 1u);
    EXPECT_FALSE(cut.ends[0].second);
    EXPECT_EQ(countFiles(t / "cut"), 0u);
}

TEST(UuParts, PartNamesGrowIntoTheExtension) {
    EXPECT_EQ(uucode::PartName("d/x.uue", 1), "d/x.uu1");
    EXPECT_EQ(uucode::PartName("d/x.uue", 10), "d/x.u10");
    EXPECT_EQ(uucode::PartName("d/x.uue", 100), "d/x.100");
    EXPECT_EQ(uucode::PartName("d.v/x", 7), "d.v/x7");
    TUUDecode d;
    d.NextVolumeName = nvChangeFilename;
    EXPECT_EQ(d.ContinuationName("d.v/abcdefgh.uue", 12), "d.v/abcdef12.uue");
    d.VolumeLongFilenames = true;
    EXPECT_EQ(d.ContinuationName("d.v/abcdefgh.uue", 12), "d.v/abcdefgh12.uue");
}

TEST(UuParts, MoreThan999PartsAreRefusedBeforeAnythingIsWritten) {
    TempDir t;
    writeBytes(t / "big.bin", std::vector<uint8_t>(45 * 13 * 1000, 7)); // 1000 full parts
    writeFile(t / "x.uue", "precious");
    const Encoded e = encode(t / "big.bin", t / "x.uue", false, 1);
    EXPECT_EQ(e.files, 0);
    EXPECT_NE(std::find(e.errors.begin(), e.errors.end(), 25250), e.errors.end());
    ASSERT_EQ(e.ends.size(), 1u);
    EXPECT_FALSE(e.ends[0].second);
    EXPECT_EQ(filesIn(t.path()), (std::vector<std::string>{"big.bin", "x.uue"}));
    EXPECT_EQ(readFile(t / "x.uue"), "precious");
}

TEST(UuParts, ContinuationWithADataLineBeforeBeginIsReported) {
    TempDir t;
    const std::vector<uint8_t> data = bytesOfSize(45 * 13 + 45);
    writeBytes(t / "d.bin", data);
    ASSERT_EQ(encode(t / "d.bin", t / "x.uue", false, 1).files, 2);
    std::string second = readFile(t / "x.uu1");
    second.erase(0, second.find('M')); // no "part" and "begin" lines left
    writeFile(t / "x.uu1", second);
    const Decoded d = decode(t / "x.uue", t / "out");
    EXPECT_TRUE(d.hasError(25240));
    EXPECT_EQ(d.passed(), 1);
    EXPECT_EQ(readBytes(t / "out" / "d.bin"), data);
}

// ---- decoder input ----

TEST(UuDecode, HeaderAlphabetAndNameCases) {
    TempDir t;
    struct Case {
        const char* name;
        std::string text;
        const char* file; // nullptr: nothing decodes
        std::string content;
        int error = 0;
    };
    const Case cases[] = {
        {"ModeAndNameWithSpaces", "junk\nbegin 600 a b.txt\n#0V%T\n`\nend\n", "a b.txt", "Cat"},
        {"SpaceDecodesAsZero", "begin 644 z.bin\n#    \n`\nend\n", "z.bin", std::string(3, '\0')},
        {"SpacesStrippedAtTheEnd", "begin 644 z.bin\nM" + std::string(60, '`') + "\n#\n`\nend\n", "z.bin",
         std::string(48, '\0')},
        {"ShortXxLine", "begin 644 c.txt\n1Eq3o\n+\nend\n", "c.txt", "Cat"},
        {"CrLfLines", "begin 644 c.txt\r\n#0V%T\r\n`\r\nend\r\n", "c.txt", "Cat"},
        {"LongLineReadWhole",
         "begin 644 c.txt\nM" + std::string(60, '`') + "\n#0V%T" + std::string(200, '#') + "\n`\nend\n",
         "c.txt", std::string(45, '\0') + "Cat"},
        {"NeitherAlphabet", "begin 644 c.txt\n~~~~~\nend\n", nullptr, "", 25326},
        {"SizeLine", "size 3\nbegin 644 c.txt\n#0V%T\n`\nend\n", "c.txt", "Cat"},
        {"SizeLineWithoutANumber", "size many\nbegin 644 c.txt\n#0V%T\n`\nend\n", nullptr, "", 25110},
        {"CodePage437Name", "begin 644 \x84.txt\n#0V%T\n`\nend\n", "\xC3\xA4.txt", "Cat"},
        {"NoBegin", "#0V%T\nend\n", nullptr, "", 0}, // not even taken for UU text
        {"NoEnd", "begin 644 c.txt\n#0V%T\n", nullptr, "", 25236},
        {"CharacterOutsideTheAlphabet", "begin 644 c.txt\nM" + std::string(59, 'a') + "~\n`\nend\n", nullptr,
         "", 25139},
        {"NameClimbsOut", "begin 644 ../up.txt\n#0V%T\n`\nend\n", nullptr, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = t / c.name;
        writeFile(dir / "in.uue", c.text);
        const Decoded d = decode(dir / "in.uue", dir / "out");
        if (c.file) {
            EXPECT_FALSE(d.failed()) << testing::PrintToString(d.errors);
            EXPECT_EQ(filesIn(dir / "out"), std::vector<std::string>{c.file});
            EXPECT_EQ(readFile(dir / "out" / c.file), c.content);
        } else {
            EXPECT_TRUE(d.failed());
            EXPECT_EQ(d.passed(), 0);
            if (c.error) {
                EXPECT_TRUE(d.hasError(c.error)) << testing::PrintToString(d.errors);
            }
            EXPECT_EQ(countFiles(dir / "out"), 0u);
            EXPECT_FALSE(fs::exists(dir / "up.txt"));
        }
    }
}

TEST(UuEncode, ExistingOutputIsKeptWhenSkipped) {
    TempDir t;
    writeFile(t / "in.txt", "new");
    writeFile(t / "in.uue", "old");
    TUUEncode e;
    int asked = 0;
    e.OnFileExists = [&](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
        ++asked;
        m = omSkip;
    };
    e.SetArchiveFile((t / "in.txt").string());
    e.SetOutFilename((t / "in").string()); // the default extension is added
    EXPECT_EQ(e.OutFilename(), (t / "in.uue").string());
    EXPECT_EQ(e.Compress(), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(readFile(t / "in.uue"), "old");
}

TEST(UuEncode, MissingInputFailsWithoutOutput) {
    TempDir t;
    const Encoded e = encode(t / "none.txt", t / "x.uue");
    EXPECT_EQ(e.files, 0);
    EXPECT_NE(std::find(e.errors.begin(), e.errors.end(), 25235), e.errors.end());
    EXPECT_EQ(countFiles(t.path()), 0u);
}

} // namespace

namespace {

// A cancel from the progress report ends the run with "User canceled"; nothing is kept.
TEST(UuDecode, CancelKeepsNothing) {
    TempDir t;
    writeBytes(t / "big.bin", randomBytes(200000, 9));
    ASSERT_EQ(encode(t / "big.bin", t / "big.uue").files, 1);
    TUUDecode d;
    ExtractOutcome o;
    o.listen(d);
    d.OnProgress = [&](TZipCommon& c, uint8_t, uint8_t) { c.SetCancel(true); };
    o.run(d, t / "big.uue", t / "out", false);
    EXPECT_TRUE(o.hasError(25449)) << testing::PrintToString(o.errors) << " raised " << o.raised;
    EXPECT_TRUE(o.ends.empty());
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

// A read-only output is replaced only when OnNonWriteableArchive agrees.
TEST(UuEncode, ReadOnlyOutputNeedsConsent) {
    TempDir t;
    writeFile(t / "in.txt", "data");
    for (bool agree : {false, true}) {
        SCOPED_TRACE(agree);
        writeFile(t / "out.uue", "old");
        fs::permissions(t / "out.uue", fs::perms::owner_read);
        TUUEncode e;
        int asked = 0;
        e.OnNonWriteableArchive = [&](TZipCommon&, const std::string&, bool& go) {
            ++asked;
            go = agree;
        };
        e.SetArchiveFile((t / "in.txt").string());
        e.SetOutFilename((t / "out.uue").string());
        EXPECT_EQ(e.Compress(), agree ? 1 : 0);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(readFile(t / "out.uue") == "old", !agree);
        fs::permissions(t / "out.uue", fs::perms::owner_all);
    }
}

} // namespace
