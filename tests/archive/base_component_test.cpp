// The archive component base: properties, block reading and writing, names, volumes,
// errors, progress and method names.
#include <optional>
#include <string>
#include <vector>

#include "archive/aeBase.h"
#include "archive/codec/aeCrypt.h"
#include "support/testutil.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"

namespace {

using pvtest::TempDir;

// A component whose type can be pinned, as the writers pin theirs.
class TestComponent : public TZipCommon {
public:
    void SetArcType(TArcType v) override { FArcType = v; }
};

struct ErrorLog {
    std::vector<int> codes;
    std::vector<std::string> names;
    void attach(TZipCommon& c) {
        c.OnError = [this](TZipCommon&, const std::string& fn, const std::string&, const std::string&,
                           int code) {
            codes.push_back(code);
            names.push_back(fn);
        };
    }
};

TEST(AeBaseProperties, ZipCmntBufSizeIsClamped) {
    TZipCommon c;
    c.SetZipCmntBufSize(1);
    EXPECT_EQ(c.ZipCmntBufSize(), 2000);
    c.SetZipCmntBufSize(40000);
    EXPECT_EQ(c.ZipCmntBufSize(), 32767);
    c.SetZipCmntBufSize(5000);
    EXPECT_EQ(c.ZipCmntBufSize(), 5000);
}

TEST(AeBaseProperties, Defaults) {
    TZipCommon c;
    EXPECT_EQ(c.PasswordAttempts, 3);
    EXPECT_TRUE(c.UseStoredDirs);
    EXPECT_TRUE(c.ConfirmOverwrites);
    EXPECT_EQ(c.OverwriteMode, omOverwrite);
    EXPECT_EQ(c.DateAttribute, daFileDate);
    EXPECT_EQ(c.DeleteOptions, doAllowUndo);
    EXPECT_EQ(c.ArcStart, 1);
    EXPECT_EQ(c.ArcType(), atNA);
    EXPECT_FALSE(c.About().empty());
    EXPECT_EQ(c.FileAttribute.ftFileAttr(), 63);
    EXPECT_TRUE(c.DiskManager != nullptr);
}

TEST(AeBaseProperties, GetRatio) {
    EXPECT_EQ(TZipCommon::GetRatio(0, 500), 0);
    EXPECT_EQ(TZipCommon::GetRatio(500, 500), 0);
    EXPECT_EQ(TZipCommon::GetRatio(600, 500), 0);
    EXPECT_EQ(TZipCommon::GetRatio(999, 1000), 1); // a ratio of 0 becomes 1
    EXPECT_EQ(TZipCommon::GetRatio(100, 300000), 99);
    EXPECT_EQ(TZipCommon::GetRatio(250, 1000), 75);
    // 64-bit sizes: no overflow for archives beyond 4 GB.
    EXPECT_EQ(TZipCommon::GetRatio(int64_t(1) << 33, int64_t(1) << 35), 75);
}

TEST(AeBaseSpecs, FileSpecIsNormalised) {
    TZipCommon c;
    c.SetFileSpec({"", "a/b/c.txt", ""});
    EXPECT_EQ(c.FileSpec(), std::vector<std::string>{"c.txt"});
    c.SetFileSpec({"x\\y\\*.doc"});
    EXPECT_EQ(c.FileSpec(), std::vector<std::string>{"*.doc"});
}

TEST(AeBaseSpecs, MatchesFileSpecAndExclusions) {
    TZipCommon c;
    EXPECT_FALSE(c.MatchesFileSpec("a.txt", true)); // empty FileSpec matches nothing
    c.SetFileSpec({"*.txt", "readme"});
    EXPECT_TRUE(c.MatchesFileSpec("A.TXT", true));
    EXPECT_TRUE(c.MatchesFileSpec("readme", true));
    EXPECT_FALSE(c.MatchesFileSpec("a.doc", true));
    c.SetExcludeSpec({"secret.*"});
    EXPECT_FALSE(c.MatchesFileSpec("secret.txt", true));
    EXPECT_TRUE(c.MatchesFileSpec("public.txt", true));
    c.SetExcludeSpec({"*.*"});
    for (const char* n : {"a.txt", "readme", "x"}) EXPECT_FALSE(c.MatchesFileSpec(n, true)) << n;
    c.SetFileSpec({"*.*"});
    c.SetExcludeSpec({});
    EXPECT_TRUE(c.MatchesFileSpec("noext", true));
}

TEST(AeBaseSpecs, IsExcludedComparesOutputPaths) {
    TempDir d;
    TZipCommon c;
    c.SetExtractDir(d.str());
    EXPECT_FALSE(c.IsExcluded(d.str() + "/a.tmp"));
    c.SetExcludeSpec({"*.tmp"});
    c.FileName = "kept";
    EXPECT_TRUE(c.IsExcluded(d.str() + "/a.tmp"));
    EXPECT_FALSE(c.IsExcluded(d.str() + "/a.txt"));
    EXPECT_EQ(c.FileName, "kept");
}

// ---- BuildOutputName: the one place where an entry name becomes a path ----
struct NameCase {
    const char* label;
    std::string stored;
    std::optional<std::string> want; // relative to the extraction folder; nullopt: refused
    bool storedDirs = true;
};

class AeBaseHostileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(AeBaseHostileNames, StaysInsideTheExtractionFolder) {
    const NameCase& nc = GetParam();
    TempDir d;
    TZipCommon c;
    ErrorLog log;
    log.attach(c);
    c.UseStoredDirs = nc.storedDirs;
    c.SetExtractDir(d.str());
    const bool ok = c.BuildOutputName(nc.stored);
    if (!nc.want) {
        EXPECT_FALSE(ok);
        EXPECT_TRUE(c.FileName.empty());
        EXPECT_EQ(log.codes, std::vector<int>{kMsgInvalidName});
        return;
    }
    ASSERT_TRUE(ok) << nc.stored;
    EXPECT_TRUE(log.codes.empty());
    EXPECT_EQ(c.FileName, d.str() + "/" + *nc.want);
    // Whatever the name, the path stays below the folder.
    const auto rel = pvtest::fs::path(c.FileName).lexically_normal().lexically_relative(d.path());
    EXPECT_FALSE(rel.empty() || *rel.begin() == "..") << c.FileName;
}

INSTANTIATE_TEST_SUITE_P(
    Names, AeBaseHostileNames,
    ::testing::Values(
        NameCase{"plain", "dir/a.txt", "dir/a.txt"}, NameCase{"backslashes", "dir\\a.txt", "dir/a.txt"},
        NameCase{"mixed", "d1\\d2/a.txt", "d1/d2/a.txt"}, NameCase{"dotdot_slash", "../x", std::nullopt},
        NameCase{"dotdot_backslash", "..\\..\\x", std::nullopt},
        NameCase{"dotdot_inside", "a/../../x", std::nullopt},
        NameCase{"dotdot_mixed", "a\\..//..\\x", std::nullopt}, NameCase{"dotdot_last", "a/..", std::nullopt},
        NameCase{"dotdot_flat", "../x", std::nullopt, false}, NameCase{"absolute", "/abs/x", "abs/x"},
        NameCase{"absolute_back", "\\abs\\x", "abs/x"},
        NameCase{"unc", "\\\\server\\share\\x", "server/share/x"}, NameCase{"drive_root", "C:\\x", "x"},
        NameCase{"drive_relative", "C:x", "x"}, NameCase{"drive_slash", "c:/dir/x", "dir/x"},
        NameCase{"dots", "./a/./b", "a/b"}, NameCase{"folder_entry", "dir/sub/", "dir/sub/"},
        NameCase{"flat", "dir/sub/a.txt", "a.txt", false}, NameCase{"dotdot_like_name", "..a/b..", "..a/b.."},
        NameCase{"dot_only", ".", std::nullopt}, NameCase{"drive_only", "C:", std::nullopt},
        NameCase{"root_folder", "/", ""}, NameCase{"cp437", "caf\x82.txt", "caf\xc3\xa9.txt"},
        // Names on either side of the short way plain names take.
        NameCase{"double_slash", "a//b", "a/b"}, NameCase{"dot_last", "a/.", "a"},
        NameCase{"dotdot_first_of_three", ".../x", ".../x"}, NameCase{"hidden", ".cfg/.x", ".cfg/.x"},
        NameCase{"colon_second", "a:b/c", "b/c"}, NameCase{"colon_later", "x/a:b", "x/a:b"},
        NameCase{"flat_single", "a.txt", "a.txt", false}, NameCase{"flat_dots", "./a/./b", "b", false},
        NameCase{"utf8", "d\xc3\xa9/x", "d\xc3\xa9/x"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(AeBaseNames, EmptyNameAndDefaultFolder) {
    TempDir d;
    TZipCommon c;
    EXPECT_FALSE(c.BuildOutputName(""));
    EXPECT_TRUE(c.FileName.empty());
    // Without ExtractDir the archive's folder is used.
    pvtest::writeFile(d / "x.bin", std::string(30, 'x'));
    c.SetArchiveFile((d / "x.bin").string());
    ASSERT_TRUE(c.BuildOutputName("a.txt"));
    EXPECT_EQ(c.FileName, d.str() + "/a.txt");
}

// ---- ReadBlock / WriteBlock ----
TEST(AeBaseBlocks, ReadFromEverySourceWithCrc) {
    const std::string data = "123456789";
    TestComponent c;
    TMemoryStream a, b, s;
    for (TMemoryStream* m : {&a, &b, &s}) m->Write(data.data(), int64_t(data.size())), m->Seek(0, 0);
    c.StreamA = &a;
    c.StreamB = &b;
    for (uint8_t mode : std::initializer_list<uint8_t>{1, 2, 3, 4}) {
        c.ReadMode = mode;
        c.ReadMemory = reinterpret_cast<const uint8_t*>(data.data());
        c.ReadMemoryLeft = int64_t(data.size());
        c.Ctx().Crc32Value = 0xFFFFFFFF;
        c.Ctx().Crc16Value = 0;
        uint8_t buf[32] = {};
        EXPECT_EQ(c.ReadBlock(-1, &s, 0, 32, false, buf), 0); // Count 0: nothing, no hooks
        EXPECT_EQ(c.ReadBlock(-1, &s, 20, 32, false, buf), 9) << int(mode);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 9), data);
        EXPECT_EQ(~c.Ctx().Crc32Value, 0xCBF43926u); // the CRC-32 check value
        if (mode == 4) {
            EXPECT_EQ(c.ReadMemoryLeft, 0); // never past the block
            EXPECT_EQ(c.ReadBlock(-1, nullptr, 5, 16, false, buf), 0);
        }
    }
    // CRC-16/ARC.
    c.ReadMode = 4;
    c.ReadMemory = reinterpret_cast<const uint8_t*>(data.data());
    c.ReadMemoryLeft = 9;
    c.Ctx().Crc16Value = 0;
    uint8_t buf[9];
    c.ReadBlock(-1, nullptr, 9, 16, false, buf);
    EXPECT_EQ(c.Ctx().Crc16Value, 0xBB3D);
    // A file handle.
    TempDir d;
    pvtest::writeFile(d / "f", data);
    int fd;
    ASSERT_TRUE(c.OpenArchive(fd, (d / "f").string()));
    c.ReadMode = 0;
    EXPECT_EQ(c.ReadBlock(fd, nullptr, 4, 0, false, buf), 4);
    c.CloseArchive(fd);
}

TEST(AeBaseBlocks, ArjDecryptionCyclesThroughThePassword) {
    TestComponent c;
    c.SetArcType(atArj);
    c.Password = "ab";
    c.ReadMode = 4;
    const uint8_t plain[5] = {1, 2, 3, 4, 5};
    uint8_t cipher[5];
    for (int i = 0; i < 5; ++i) cipher[i] = uint8_t(plain[i] ^ (i % 2 ? 'b' : 'a'));
    c.ReadMemory = cipher;
    c.ReadMemoryLeft = 5;
    uint8_t out[5];
    EXPECT_EQ(c.ReadBlock(-1, nullptr, 3, 0, true, out), 3);
    EXPECT_EQ(c.ReadBlock(-1, nullptr, 2, 0, true, out + 3), 2); // the position carries on
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>(plain, plain + 5));
}

TEST(AeBaseBlocks, ZipEncryptThenDecryptRoundTrips) {
    std::string text = "The quick brown fox jumps over the lazy dog";
    TestComponent w;
    w.SetArcType(atZip);
    TMemoryStream out;
    w.WriteMode = 2;
    w.Ctx().Keys.Init("secret");
    std::string buf = text;
    w.WriteBlockEncrypted(-1, &out, 1, int64_t(buf.size()), 0, true, reinterpret_cast<uint8_t*>(buf.data()));
    ASSERT_EQ(out.Data.size(), text.size());
    EXPECT_NE(std::string(out.Data.begin(), out.Data.end()), text);

    // Decrypting on read.
    TestComponent r;
    r.SetArcType(atZip);
    r.ReadMode = 4;
    r.ReadMemory = out.Data.data();
    r.ReadMemoryLeft = int64_t(out.Data.size());
    r.Ctx().Keys.Init("secret");
    std::string back(text.size(), '\0');
    r.ReadBlock(-1, nullptr, int64_t(back.size()), 0, true, reinterpret_cast<uint8_t*>(back.data()));
    EXPECT_EQ(back, text);

    // Decrypting on write (jar self-extractors included).
    TestComponent x;
    x.SetArcType(atJarExe);
    x.WriteMode = 2;
    x.Ctx().Keys.Init("secret");
    TMemoryStream plain;
    std::vector<uint8_t> cipher = out.Data;
    x.WriteBlockDecrypted(-1, &plain, 1, int64_t(cipher.size()), 0, true, cipher.data());
    EXPECT_EQ(std::string(plain.Data.begin(), plain.Data.end()), text);

    // Other types pass the bytes unchanged.
    TestComponent t;
    t.SetArcType(atTar);
    t.WriteMode = 2;
    TMemoryStream same;
    std::string raw = text;
    t.WriteBlockEncrypted(-1, &same, 1, int64_t(raw.size()), 0, true, reinterpret_cast<uint8_t*>(raw.data()));
    EXPECT_EQ(std::string(same.Data.begin(), same.Data.end()), text);
}

TEST(AeBaseBlocks, TestModeWriteRaises) {
    TestComponent c;
    c.WriteMode = 7;
    ErrorLog log;
    log.attach(c);
    uint8_t b[4] = {1, 2, 3, 4};
    try {
        c.WriteBlock(-1, b, 1, 4, 32, nullptr);
        FAIL() << "no exception";
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, 25136);
        EXPECT_STREQ(e.what(), "Error writing to file");
    }
    EXPECT_TRUE(log.codes.empty()); // raised directly, not through OnError
    EXPECT_EQ(c.WriteBlock(-1, b, 1, 0, 32, nullptr), 0);
}

TEST(AeBaseBlocks, AsciiTranslationAddsCarriageReturns) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\nb\r\nc", "a\r\nb\r\nc"},
        {"\n\n", "\r\n\r\n"},
        {"abc", "abc"},
        {"x\n", "x\r\n"},
        {"\r\n", "\r\n"},
    };
    for (const Case& k : cases) {
        TestComponent c;
        c.WriteMode = 1;
        TMemoryStream m;
        c.StreamA = &m;
        c.AsciiTranslation = true;
        c.Ctx().Crc32Value = 0xFFFFFFFF;
        std::string in = k.in;
        EXPECT_EQ(
            c.WriteBlock(-1, reinterpret_cast<const uint8_t*>(in.data()), 1, int64_t(in.size()), 32, nullptr),
            int64_t(in.size()));
        EXPECT_EQ(std::string(m.Data.begin(), m.Data.end()), k.out);
        // The CRC covers the data before translation.
        EXPECT_EQ(~c.Ctx().Crc32Value, Crc32Of(in.data(), in.size()));
    }
}

TEST(AeBaseBlocks, FileWriteAndShortWrite) {
    TempDir d;
    TestComponent c;
    const int fd = CreateOutputFile(nullptr, (d / "o").string(), true);
    ASSERT_GE(fd, 0);
    const uint8_t b[3] = {'x', 'y', 'z'};
    EXPECT_EQ(c.WriteBlock(fd, b, 0, 3, 0, nullptr), 3);
    CloseFileHandle(fd);
    EXPECT_EQ(pvtest::readFile(d / "o"), "xyz");
    EXPECT_THROW(c.WriteBlock(-1, b, 0, 3, 0, nullptr), E_RAISE); // invalid handle: short write
}

TEST(AeBaseBlocks, MethodPointersCallBackIntoTheObject) {
    TestComponent c;
    c.ReadMode = 4;
    const uint8_t src[3] = {7, 8, 9};
    c.ReadMemory = src;
    c.ReadMemoryLeft = 3;
    uint8_t out[3];
    EXPECT_EQ(c.ReadProc(-1, nullptr, 3, 0, false, out), 3);
    TMemoryStream m;
    c.WriteMode = 2;
    EXPECT_EQ(c.WriteProc(-1, &m, 1, 3, 0, false, out), 3);
    EXPECT_EQ(c.WriteEncryptedProc(-1, &m, 1, 3, 0, false, out), 3);
    EXPECT_EQ(m.Data.size(), 6u);
}

// ---- volumes ----
TEST(AeBaseVolumes, ArjVolumeNames) {
    TempDir d;
    pvtest::writeFile(d / "x.arj", std::string("\x60\xea\x10\x00", 4) + std::string(40, 'a'));
    TZipCommon c;
    c.SetArchiveFile((d / "x.arj").string());
    ASSERT_EQ(c.ArcType(), atArj);
    EXPECT_EQ(c.VolumeNumber, 1);
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), 1), d.str() + "/x.a01");
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), 12), d.str() + "/x.a12");
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), 100), d.str() + "/x.100");
    EXPECT_EQ(c.VolumeName("", 1), "");
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), -1), "");
}

TEST(AeBaseVolumes, OnlyTheTrailingDigitsCount) {
    TempDir d;
    const std::string arj = std::string("\x60\xea\x10\x00", 4) + std::string(40, 'a');
    struct Case {
        const char* name;
        int number;
        char letter;
    };
    const Case cases[] = {
        {"v.a12", 13, 'a'}, {"v.1a2", 3, '1'}, {"v.arj", 1, 'a'}, {"v.b07", 8, 'b'}, {"W.ARJ", 1, 'A'}};
    for (const Case& k : cases) {
        pvtest::writeFile(d / k.name, arj);
        TZipCommon c;
        c.SetArchiveFile((d / k.name).string());
        ASSERT_EQ(c.ArcType(), atArj) << k.name;
        EXPECT_EQ(c.VolumeNumber, k.number) << k.name;
        EXPECT_EQ(c.VolumeLetter, k.letter) << k.name;
    }
}

TEST(AeBaseVolumes, AceLetterFollowsTheExtensionCase) {
    TempDir d;
    std::string ace = std::string("\x3c\x9a\x1f\x00\x00\x00\x90**ACE**", 14) + std::string(40, '\0');
    pvtest::writeFile(d / "x.ace", ace);
    TZipCommon c;
    c.SetArchiveFile((d / "x.ace").string());
    ASSERT_EQ(c.ArcType(), atACE);
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), 0), d.str() + "/x.c00");
    pvtest::writeFile(d / "Y.ACE", ace);
    c.SetArchiveFile((d / "Y.ACE").string());
    EXPECT_EQ(c.VolumeName(c.ArchiveFile(), 3), d.str() + "/Y.C03");
}

TEST(AeBaseVolumes, RarLettersStepEveryHundred) {
    TestComponent c;
    c.SetArcType(atRar);
    c.VolumeLetter = 'q';
    EXPECT_EQ(c.VolumeName("/d/x.rar", 0), "/d/x.r00");
    EXPECT_EQ(c.VolumeName("/d/x.rar", 5), "/d/x.r05");
    EXPECT_EQ(c.VolumeName("/d/x.rar", 100), "/d/x.s00");
    EXPECT_EQ(c.VolumeName("/d/x.rar", 142), "/d/x.s42");
}

TEST(AeBaseVolumes, AskNextVolume) {
    TempDir d;
    TZipCommon c;
    ErrorLog log;
    log.attach(c);
    std::string name = "x";
    EXPECT_FALSE(c.AskNextVolume(name, 1000));
    std::string empty;
    EXPECT_FALSE(c.AskNextVolume(empty, 1));
    EXPECT_EQ(log.codes, (std::vector<int>{25250, 25243}));

    // The handler names a file that appears on the second question.
    int asked = 0;
    c.OnNextVolume = [&](TZipCommon&, std::string& vol, const std::string& id, bool exists, bool& cancel) {
        EXPECT_EQ(id, "3");
        EXPECT_FALSE(exists);
        if (++asked == 2) pvtest::writeFile(vol, "v");
        cancel = false;
    };
    std::string vol = (d / "x.a03").string();
    c.VolumeNumber = 3;
    EXPECT_TRUE(c.AskNextVolume(vol, 3));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(c.VolumeNumber, 4);

    // A handler that never produces the file is not asked forever; a cancel ends the scan.
    c.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) {
        cancel = false;
    };
    c.ScanEnd = 777;
    std::string missing = (d / "missing").string();
    EXPECT_FALSE(c.AskNextVolume(missing, 3));
    EXPECT_EQ(c.CurrentOffset, 777);
}

// ---- errors and cancel ----
TEST(AeBaseErrors, CancelTurnsEveryErrorIntoUserCanceled) {
    TZipCommon c;
    ErrorLog log;
    log.attach(c);
    c.ReportError("f", "", "0", 25236);
    c.SetCancel(true);
    c.ReportError("f", "", "0", 25236);
    try {
        c.RaiseError("f", "", "0", 25236);
        FAIL();
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, 25449);
        EXPECT_STREQ(e.what(), "User canceled");
    }
    EXPECT_EQ(log.codes, (std::vector<int>{25236, 25449, 25449}));
}

TEST(AeBaseErrors, RaiseErrorMessageIsTheTextAlone) {
    TZipCommon c;
    try {
        c.RaiseError("arc.zip", "OnRead", "0", 25270);
    } catch (const E_RAISE& e) {
        EXPECT_STREQ(e.what(), "Required event not assigned");
    }
    EXPECT_THROW(c.WriteError(), E_RAISE);
    EXPECT_EQ(TZipCommon().DosDateToDateTime(0), 29221.0);
}

TEST(AeBaseErrors, SetCancelPumpsMessages) {
    int pumped = 0;
    platform::UiHooks h;
    h.processMessages = [&] { ++pumped; };
    platform::ScopedUiHooks scope(h);
    TZipCommon c;
    c.SetCancel(true);
    EXPECT_TRUE(c.Cancel());
    EXPECT_EQ(pumped, 1);
}

// ---- progress ----
TEST(AeBaseProgress, PercentagesReachTheSinkEveryTime) {
    TZipCommon c;
    std::vector<std::pair<int, int>> seen;
    c.OnProgress = [&](TZipCommon&, uint8_t f, uint8_t a) { seen.emplace_back(f, a); };
    c.BytesLeft = 750;
    c.ReportProgress(50, 200, 1000);
    c.ReportProgress(50, 200, 1000); // the same pair again: sent again (only the pump is throttled)
    c.ReportProgress(300, 200, 1000);
    c.ReportProgress(1, 0, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{25, 25}, {25, 25}, {100, 25}, {0, 0}}));
    c.ProgressSink = nullptr; // the lister reports none
    c.ReportProgress(10, 20, 30);
    EXPECT_EQ(seen.size(), 4u);
}

TEST(AeBaseProgress, PumpIsThrottled) {
    int pumped = 0;
    platform::UiHooks h;
    h.processMessages = [&] { ++pumped; };
    platform::ScopedUiHooks scope(h);
    TZipCommon c;
    for (int i = 0; i < 1000; ++i) c.DoProgress(uint8_t(i % 100), 0);
    EXPECT_GE(pumped, 1);
    EXPECT_LE(pumped, 3);
}

// ---- method names ----
TEST(AeBaseMethods, NamesByType) {
    struct Case {
        TArcType type;
        int code;
        uint32_t flags;
        const char* want;
    };
    const Case cases[] = {
        {atZip, 8, 0, "DeflateN"},     {atZip, 8, 6, "DeflateS"},      {atZip, 8, 4, "DeflateF"},
        {atZip, 8, 2, "DeflateX"},     {atZip, 0, 0, "Stored"},        {atZip, 6, 0, "Imploded"},
        {atZip, 99, 0, "Unsupported"}, {atArj, 4, 0, "Fastest"},       {atArj, 9, 0, "Unsupported"},
        {atArc, 8, 0, "Crunched"},     {atArc, 6, 0, "crunched"},      {atLha, '5', 0, "Frozen-5"},
        {atLzhExe, '0', 0, "Stored"},  {atRar, '3', 0, "Normal"},      {atTar, 0, 0, "Tarred"},
        {atCab, 0x13, 0, "Lzx"},       {atCab, 0x7, 0, "Unsupported"}, {atHa, 3, 0, ""},
        {atHa, 14, 0, "Dir"},          {atPak, 9, 0, "VARIBLE"},       {atZoo, 2, 0, "Greatest"},
        {atBh, 1, 0, "Fused"},         {atACE, 5, 0, "Lzw"},           {atGZip, 8, 0, "Deflate"},
        {atGZip, 144, 0, "LzwMAGIC"},  {atUue, 0, 0, "Unsupported"},
    };
    for (const Case& k : cases) {
        TestComponent c;
        c.SetArcType(k.type);
        EXPECT_EQ(c.GetMethodName(k.code, k.flags), k.want) << ArcTypeIdent(k.type) << " " << k.code;
    }
    TestComponent c;
    c.SetArcType(atZip);
    c.FileAttr = 0x10;
    EXPECT_EQ(c.GetMethodName(99, 0), "Dir");
    // A central record (flag 0x40) is a folder by its external attribute, whatever its
    // internal attributes hold.
    c.FileAttr = 0;
    c.ExternalAttr = 0x10;
    EXPECT_EQ(c.GetMethodName(99, 0x40), "Dir");
    c.FileAttr = 0x10;
    c.ExternalAttr = 0x20;
    EXPECT_EQ(c.GetMethodName(99, 0x40), "Unsupported");
    c.SetArcType(atArj);
    c.EntryTypeByte = 3;
    EXPECT_EQ(c.GetMethodName(9, 0), "Dir");
    c.SetArcType(atTar);
    c.FileName = "dir/";
    EXPECT_EQ(c.GetMethodName(5, 0), "Dir");
    EXPECT_EQ(TZipCommon::DeflateFlags(0, 1), 6u);
    EXPECT_EQ(TZipCommon::DeflateFlags(1, 2), 5u);
    EXPECT_EQ(TZipCommon::DeflateFlags(0, 9), 2u);
    EXPECT_EQ(TZipCommon::DeflateFlags(8, 5), 8u);
    EXPECT_EQ(c.GetArcTypeName(), "TAR       ");
    EXPECT_TRUE(TZipCommon::IsArcTypeKnown(atZoo));
    EXPECT_FALSE(TZipCommon::IsArcTypeKnown(atUnknown));
}

// ---- small services ----
TEST(AeBaseServices, TempFilesFoldersAndDeletion) {
    TempDir d;
    TZipCommon c;
    const std::string t = c.GetTempFileName();
    ASSERT_FALSE(t.empty());
    EXPECT_TRUE(platform::fileExists(t));
    EXPECT_TRUE(c.DeleteFileEx(t, doFinal));
    EXPECT_FALSE(platform::fileExists(t));
    EXPECT_FALSE(c.DeleteFileEx(t, doAllowUndo)); // missing

    c.SetTempDir(d.str());
    EXPECT_EQ(c.TempDir(), d.str() + "/");
    // A missing folder: the default answer (no) falls back to the system folder.
    c.SetTempDir(d.str() + "/nope");
    EXPECT_EQ(c.TempDir(), SystemTempDir());
    {
        platform::UiHooks h;
        h.messageBox = [](const std::string&, const std::string& text, platform::MsgType, unsigned) {
            EXPECT_NE(text.find("Directory does not exist... Create?"), std::string::npos);
            return platform::ModalResult::Yes;
        };
        platform::ScopedUiHooks scope(h);
        c.SetTempDir(d.str() + "/made/here");
    }
    EXPECT_EQ(c.TempDir(), d.str() + "/made/here/");

    int fd = CreateOutputFile(nullptr, (d / "o").string(), true);
    std::unique_ptr<TStream> s = std::make_unique<TMemoryStream>();
    EXPECT_TRUE(c.CloseOutput(fd, s));
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(s, nullptr);
}

TEST(AeBaseServices, IsWildList) {
    TZipCommon c;
    EXPECT_TRUE(c.IsWildList({"*.txt"}));
    EXPECT_FALSE(c.IsWildList({"a.txt"}));
    EXPECT_TRUE(c.IsWildList({"a", "b"}));
    c.FileList = std::make_unique<TaeFileList>();
    uint8_t r = 0;
    c.FileList->Init(1);
    c.FileList->Add(&r);
    c.FileList->Add(&r);
    EXPECT_FALSE(c.IsWildList({"a", "b"}));
}

} // namespace
