// The extractor base and DecodeZipEntry, driven by a minimal extractor of one-entry zip
// files (and of gzip files): what lands on disk, what never does, and which events fire.
#include "archive/codec/aeCrypt.h"
#include "archive/format/aeGzHeader.h"
#include "archive/format/aeGzipHeaders.h"
#include "archive/aeUnBase.h"
#include "archive/format/aeZipDecode.h"
#include "legacy_encoders.h"
#include "platform/fileio.h"
#include "env.h"
#include "testutil.h"
#include "zipbuild.h"
#include "zlibutil.h"

#include <sys/stat.h>
#include <zlib.h>

namespace {

using legacy::Bytes;
namespace fs = pvtest::fs;

// Reads the first local header of a zip (or the member header of a gzip), then extracts
// or tests that one entry with the base's steps, as a real extractor does.
class MiniExtractor : public TUnBase {
public:
    std::string password;
    bool decodeResult = false;

protected:
    void ExtractArchive(int& handle, TStream*) override {
        if (ArcType() == atGZip) return gzip(handle);
        uint8_t raw[30];
        ASSERT_EQ(ReadBlock(handle, nullptr, 30, 0, false, raw), 30);
        auto h = aehdr::parseZipLocal({raw, 30});
        ASSERT_TRUE(h.has_value());
        std::string name(h->nameLength, '\0');
        ReadBlock(handle, nullptr, h->nameLength, 0, false, reinterpret_cast<uint8_t*>(name.data()));
        std::vector<uint8_t> extra(h->extraLength + 1u);
        ReadBlock(handle, nullptr, h->extraLength, 0, false, extra.data());
        bool exists = false;
        const TBeginResult b = BeginFile(name, exists, 0);
        if (b != TBeginResult::brExtract) return;
        if (h->flags & 1) {
            uint8_t enc[12], plain[12];
            ReadBlock(handle, nullptr, 12, 0, false, enc);
            if (!ZipCheckHeader(Ctx().Keys, enc, plain, 12, h->flags, password, h->dosDateTime & 0xFFFF,
                                h->crc32)) {
                FireEvent(OnEnd, *this, FileName, false);
                return;
            }
        }
        int out = -1;
        std::unique_ptr<TStream> stream;
        const std::string target = FileName;
        if (!CreateOutput(out, stream, name, target)) return;
        Ctx().Crc32Value = 0xFFFFFFFF;
        TZipDecodeEntry e;
        e.Flags = h->flags;
        e.Method = h->method;
        e.PackedSize = h->packedSize;
        e.UnpackedSize = h->size;
        e.Crc32 = h->crc32;
        e.Attr = 32;
        decodeResult = DecodeZipEntry(*this, handle, nullptr, out, stream.get(), e, target);
        const bool pass = (Ctx().Crc32Value ^ 0xFFFFFFFF) == h->crc32;
        FinishFile(out, stream, 32, h->dosDateTime, target, pass);
        FireEvent(OnEnd, *this, WriteMode == 0 ? target : name, pass);
    }

    void gzip(int handle) {
        FileList->Clear();
        const auto all = platform::readWholeFile(ArchiveFile());
        ASSERT_TRUE(all.has_value());
        const ae::GzMemberHeader h = ae::ParseGzipMemberHeader(*all);
        ASSERT_TRUE(h.ok());
        const uint32_t lastCrc = aehdr::le32(all->data() + all->size() - 8);
        std::string name = "out.txt";
        bool exists = false;
        if (BeginFile(name, exists, 0) != TBeginResult::brExtract) return;
        platform::seekFile(handle, static_cast<int64_t>(h.fields.headerLength));
        int out = -1;
        std::unique_ptr<TStream> stream;
        const std::string target = FileName;
        ASSERT_TRUE(CreateOutput(out, stream, name, target));
        Ctx().Crc32Value = 0xFFFFFFFF;
        TZipDecodeEntry e;
        e.Method = 8;
        e.PackedSize = static_cast<int64_t>(all->size() - h.fields.headerLength);
        e.Crc32 = lastCrc;
        decodeResult = DecodeZipEntry(*this, handle, nullptr, out, stream.get(), e, target);
        const bool pass = (Ctx().Crc32Value ^ 0xFFFFFFFF) == lastCrc;
        FinishFile(out, stream, 32, 0x21, target, pass);
        FireEvent(OnEnd, *this, target, pass);
    }
};

// A one-entry zip made by hand (the layout is in zipbuild.h).
Bytes zipOf(const std::string& name, const Bytes& plain, const Bytes& packed, int method, uint16_t flags = 0,
            uint32_t crcOverride = 0) {
    pvtest::ZipEntryFields f;
    f.flags = flags;
    f.crc = crcOverride;
    return pvtest::oneEntryZip(name, plain, packed, method, f);
}

Bytes rawDeflate(const Bytes& in) {
    return pvtest::zlibDeflateRaw(in, 6);
}

Bytes text(std::size_t n, uint32_t seed = 1) {
    const std::string t = pvtest::sampleText(n, seed);
    return Bytes(t.begin(), t.end());
}

struct Events {
    std::vector<std::pair<std::string, bool>> ends;
    std::vector<int> errors;
    int fileExistsAsked = 0;
};

void wire(MiniExtractor& u, Events& ev) {
    u.OnEnd = [&ev](TZipCommon&, const std::string& fn, bool pass) { ev.ends.emplace_back(fn, pass); };
    u.OnError = [&ev](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        ev.errors.push_back(code);
    };
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(e.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

class UnBaseOutput : public ::testing::Test {
protected:
    pvtest::TempDir tmp;
    fs::path out() const { return tmp / "out"; }
    std::string archive(const Bytes& zip, const std::string& name = "a.zip") {
        pvtest::writeBytes(tmp / name, zip);
        return (tmp / name).string();
    }
    void run(MiniExtractor& u, const std::string& arc, bool test = false) {
        u.SetArchiveFile(arc);
        u.SetExtractDir(out().string());
        u.SetFileSpec({"*.*"});
        if (test)
            u.Test();
        else
            u.Extract();
    }
};

TEST_F(UnBaseOutput, MethodsExtractThroughDecodeZipEntry) {
    const Bytes plain = text(40000);
    struct M {
        int method;
        uint16_t flags;
        Bytes packed;
    };
    const std::vector<M> ms = {{0, 0, plain},
                               {1, 0, legacy::shrink(plain)},
                               {3, 0, legacy::reduce(Bytes(plain.begin(), plain.begin() + 5000), 2)},
                               {6, 6, legacy::implode(plain, 6)},
                               {8, 0, rawDeflate(plain)}};
    for (const auto& m : ms) {
        const Bytes want = m.method == 3 ? Bytes(plain.begin(), plain.begin() + 5000) : plain;
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        run(u, archive(zipOf("dir/f.txt", want, m.packed, m.method, m.flags)));
        ASSERT_EQ(ev.ends.size(), 1u) << m.method;
        EXPECT_TRUE(ev.ends[0].second) << m.method;
        EXPECT_TRUE(u.decodeResult) << m.method;
        EXPECT_EQ(pvtest::readBytes(out() / "dir/f.txt"), want) << m.method;
        EXPECT_EQ(listing(out()), (std::vector<std::string>{"dir", "dir/f.txt"})) << m.method;
        fs::remove_all(out());
    }
}

TEST_F(UnBaseOutput, FailedEntryNeverReplacesTheTarget) {
    const Bytes plain = text(30000);
    Bytes packed = rawDeflate(plain);
    packed[packed.size() / 2] ^= 0x55; // damage in the middle of the stream
    pvtest::writeFile(out() / "f.txt", "keep me");
    for (const Bytes& zip : {zipOf("f.txt", plain, packed, 8),
                             zipOf("f.txt", plain, rawDeflate(plain), 8, 0, 0x12345678), // wrong CRC
                             zipOf("f.txt", plain, Bytes(packed.begin(), packed.begin() + 100), 8)}) {
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        u.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
            m = omOverwrite;
        };
        run(u, archive(zip));
        ASSERT_EQ(ev.ends.size(), 1u);
        EXPECT_FALSE(ev.ends[0].second);
        EXPECT_EQ(pvtest::readFile(out() / "f.txt"), "keep me");
        EXPECT_EQ(listing(out()), std::vector<std::string>{"f.txt"}) << "no partial file is left";
    }
}

TEST_F(UnBaseOutput, ExistingFileWithoutQuestionIsKept) {
    const Bytes plain = text(1000);
    pvtest::writeFile(out() / "f.txt", "old");
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    run(u, archive(zipOf("f.txt", plain, plain, 0)));
    EXPECT_TRUE(ev.ends.empty());
    EXPECT_EQ(pvtest::readFile(out() / "f.txt"), "old");
    EXPECT_EQ(u.OverwriteMode, omOverwrite) << "a missing OnFileExists must not change the property";
    EXPECT_EQ(u.FileCount, 0);
}

TEST_F(UnBaseOutput, ReadOnlyTargetIsReplacedOnOverwrite) {
    const Bytes plain = text(1000);
    pvtest::writeFile(out() / "f.txt", "old");
    ::chmod((out() / "f.txt").c_str(), 0444);
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    u.OnFileExists = [&ev](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
        ++ev.fileExistsAsked;
        m = omOverwrite;
    };
    run(u, archive(zipOf("f.txt", plain, plain, 0)));
    EXPECT_EQ(ev.fileExistsAsked, 1);
    EXPECT_EQ(pvtest::readBytes(out() / "f.txt"), plain);
}

TEST_F(UnBaseOutput, SymlinkAtTargetIsReplacedNotFollowed) {
    const Bytes plain = text(2000);
    pvtest::writeFile(tmp / "victim.txt", "victim");
    fs::create_directories(out());
    fs::create_symlink(tmp / "victim.txt", out() / "f.txt");
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    u.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) { m = omOverwrite; };
    run(u, archive(zipOf("f.txt", plain, plain, 0)));
    EXPECT_EQ(pvtest::readFile(tmp / "victim.txt"), "victim");
    EXPECT_FALSE(fs::is_symlink(out() / "f.txt"));
    EXPECT_EQ(pvtest::readBytes(out() / "f.txt"), plain);
}

TEST_F(UnBaseOutput, SymlinkedFolderOnTheWayIsRefused) {
    const Bytes plain = text(2000);
    fs::create_directories(out());
    fs::create_directories(tmp / "elsewhere");
    fs::create_directory_symlink(tmp / "elsewhere", out() / "d");
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    run(u, archive(zipOf("d/f.txt", plain, plain, 0)));
    EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));
}

TEST_F(UnBaseOutput, TestRunCreatesNothingAndAsksNothing) {
    const Bytes plain = text(5000);
    pvtest::writeFile(out() / "f.txt", "old");
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    u.OnFileExists = [&ev](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
        ++ev.fileExistsAsked;
        m = omSkip;
    };
    run(u, archive(zipOf("f.txt", plain, rawDeflate(plain), 8)), true);
    run(u, archive(zipOf("g.txt", plain, rawDeflate(plain), 8)), true);
    EXPECT_EQ(ev.fileExistsAsked, 0);
    ASSERT_EQ(ev.ends.size(), 2u);
    EXPECT_TRUE(ev.ends[0].second && ev.ends[1].second);
    EXPECT_EQ(ev.ends[0].first, "f.txt");
    EXPECT_EQ(listing(out()), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(pvtest::readFile(out() / "f.txt"), "old");
}

TEST_F(UnBaseOutput, CancelMidEntryRemovesThePartialFile) {
    const Bytes plain = pvtest::randomBytes(400000, 3);
    MiniExtractor u;
    Events ev;
    wire(u, ev);
    u.OnProgress = [](TZipCommon& s, uint8_t byFile, uint8_t) {
        if (byFile > 10) s.SetCancel(true);
    };
    run(u, archive(zipOf("big.bin", plain, plain, 0)));
    EXPECT_TRUE(u.Cancel());
    EXPECT_FALSE(fs::exists(out() / "big.bin"));
    EXPECT_TRUE(!fs::exists(out()) || fs::is_empty(out()));
}

TEST_F(UnBaseOutput, OnBeginDeclinesAndRenames) {
    const Bytes plain = text(500);
    {
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        u.OnBegin = [](TZipCommon&, const std::string&, int, bool& extract) { extract = false; };
        run(u, archive(zipOf("f.txt", plain, plain, 0)));
        EXPECT_TRUE(ev.ends.empty());
        EXPECT_FALSE(fs::exists(out() / "f.txt"));
    }
    {
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        const std::string renamed = (out() / "renamed.txt").string();
        u.OnRenameCompressedFile = [&](TZipCommon&, std::string& name) { name = renamed; };
        run(u, archive(zipOf("f.txt", plain, plain, 0)));
        EXPECT_EQ(pvtest::readBytes(renamed), plain);
        EXPECT_FALSE(fs::exists(out() / "f.txt"));
    }
}

TEST_F(UnBaseOutput, EncryptedStoredEntryWithPeerZip) {
    PV_REQUIRE_PEER("zip");
    const Bytes plain = text(3000);
    pvtest::writeBytes(tmp / "src/e.txt", plain);
    ASSERT_EQ(pvtest::run("zip -q -0 -P secret ../e.zip e.txt", tmp / "src").status, 0);
    for (const std::string pw : {"secret", "wrong"}) {
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        u.password = pw;
        run(u, (tmp / "e.zip").string());
        ASSERT_EQ(ev.ends.size(), 1u);
        EXPECT_EQ(ev.ends[0].second, pw == "secret");
        if (pw == "secret") {
            EXPECT_EQ(pvtest::readBytes(out() / "e.txt"), plain);
        }
        fs::remove_all(out());
    }
}

TEST_F(UnBaseOutput, RunChecksAndCpuType) {
    MiniExtractor u;
    u.CpuType = cpt80486;
    EXPECT_THROW(u.Extract(), E_RAISE);
    EXPECT_EQ(u.CpuType, cptAuto);
}

// ---- gzip members ------------------------------------------------------------------------
Bytes gzipMember(const Bytes& plain, int level = 6, const char* name = nullptr) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    gz_header h{};
    if (name) {
        h.name = reinterpret_cast<Bytef*>(const_cast<char*>(name));
        h.hcrc = 1;
        deflateSetHeader(&z, &h);
    }
    Bytes out(deflateBound(&z, plain.size()) + 64);
    z.next_in = const_cast<Bytef*>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST_F(UnBaseOutput, GzipMembersEachCheckedAgainstTheirTrailer) {
    const Bytes a = text(20000, 1), b = text(30000, 2);
    Bytes two = gzipMember(a, 9);
    const Bytes second = gzipMember(b, 1, "second.txt"); // a header with FNAME and FHCRC
    two.insert(two.end(), second.begin(), second.end());
    {
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        run(u, archive(two, "two.gz"));
        ASSERT_EQ(ev.ends.size(), 1u);
        EXPECT_TRUE(ev.ends[0].second);
        Bytes want = a;
        want.insert(want.end(), b.begin(), b.end());
        EXPECT_EQ(pvtest::readBytes(out() / "out.txt"), want);
        fs::remove_all(out());
    }
    {
        // The first member's CRC is damaged: the file's last trailer still matches the last
        // member, but the entry must fail.
        Bytes bad = two;
        const std::size_t firstTrailer = gzipMember(a, 9).size() - 8;
        bad[firstTrailer] ^= 1;
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        run(u, archive(bad, "bad.gz"));
        ASSERT_EQ(ev.ends.size(), 1u);
        EXPECT_FALSE(ev.ends[0].second);
        EXPECT_FALSE(u.decodeResult);
        EXPECT_FALSE(fs::exists(out() / "out.txt"));
    }
    {
        // Zero padding after the last member is tolerated by the decoder (this small
        // extractor takes the expected CRC from the file's last bytes, so only the
        // decoder's own verdict counts here).
        Bytes padded = two;
        padded.insert(padded.end(), 512, 0);
        MiniExtractor u;
        Events ev;
        wire(u, ev);
        run(u, archive(padded, "padded.gz"));
        EXPECT_TRUE(u.decodeResult);
    }
}

TEST(GzMemberHeader, FlagsAndChecks) {
    const Bytes plain = text(100);
    const Bytes named = gzipMember(plain, 6, "name.txt");
    auto h = ae::ParseGzipMemberHeader(named);
    ASSERT_TRUE(h.ok());
    EXPECT_EQ(h.fields.name, "name.txt");
    EXPECT_TRUE(h.fields.flags & aehdr::kGzipFlagHeaderCrc);
    EXPECT_EQ(h.fields.headerLength, 10u + 9u + 2u);

    Bytes badCrc = named;
    badCrc[12] ^= 0x20; // a letter of the name: the header CRC no longer matches
    EXPECT_EQ(ae::ParseGzipMemberHeader(badCrc).status, ae::GzHeaderStatus::BadHeaderCrc);

    struct Case {
        const char* label;
        Bytes bytes;
        ae::GzHeaderStatus want;
    };
    const std::vector<Case> cases = {
        {"empty", {}, ae::GzHeaderStatus::NoData},
        {"short", {0x1F, 0x8B, 8, 0}, ae::GzHeaderStatus::Truncated},
        {"magic", {0x1F, 0x9D, 8, 0, 0, 0, 0, 0, 0, 3}, ae::GzHeaderStatus::BadMagic},
        {"method", {0x1F, 0x8B, 7, 0, 0, 0, 0, 0, 0, 3}, ae::GzHeaderStatus::BadMethod},
        {"encrypted", {0x1F, 0x8B, 8, 0x20, 0, 0, 0, 0, 0, 3}, ae::GzHeaderStatus::Encrypted},
        {"reserved", {0x1F, 0x8B, 8, 0x80, 0, 0, 0, 0, 0, 3}, ae::GzHeaderStatus::Reserved},
        {"extra_cut", {0x1F, 0x8B, 8, 0x04, 0, 0, 0, 0, 0, 3, 10, 0, 1, 2}, ae::GzHeaderStatus::Truncated},
        {"extra_comment",
         {0x1F, 0x8B, 8, 0x14, 0, 0, 0, 0, 0, 3, 2, 0, 'x', 'y', 'h', 'i', 0},
         ae::GzHeaderStatus::Ok},
    };
    for (const auto& c : cases) {
        const auto r = ae::ParseGzipMemberHeader(c.bytes);
        EXPECT_EQ(r.status, c.want) << c.label;
        if (r.ok()) {
            EXPECT_EQ(r.fields.comment, "hi");
            EXPECT_EQ(r.extra, (Bytes{'x', 'y'}));
        }
    }
}

} // namespace

namespace {

TEST(UnBaseRun, RefusesTypesWithoutExtraction) {
    pvtest::TempDir tmp;
    // An HA archive: "HA", one file, a version 2 / method 0 entry of 3 bytes.
    Bytes ha = {'H', 'A', 1, 0, 0x20, 3, 0, 0, 0,   3, 0, 0,   0,   0,
                0,   0,   0, 0, 0,    0, 0, 0, 'f', 0, 0, 'a', 'b', 'c'};
    pvtest::writeBytes(tmp / "x.ha", ha);
    MiniExtractor u;
    std::vector<int> errors;
    u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        errors.push_back(code);
    };
    u.SetArchiveFile((tmp / "x.ha").string());
    ASSERT_EQ(u.ArcType(), atHa) << "not detected as HA";
    try {
        u.Extract();
        ADD_FAILURE() << "an HA archive must be refused";
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, 25242);
    }
    EXPECT_EQ(errors, std::vector<int>{25242});
}

} // namespace

#include "platform/volumes.h"

#include <cstdlib>

namespace {

TEST(UnBaseSpanned, AsksForTheNextDiskAndReadsOn) {
    pvtest::TempDir tmp;
    const auto drive = tmp / "floppy";
    pvtest::ScopedMedia media(drive, "label=PKBACK# 001");
    const Bytes plain = text(60000, 9);
    const Bytes packed = rawDeflate(plain);
    // Disk 1 holds the local header and the first part of the data (no end record);
    // disk 2 the rest.
    const Bytes whole = zipOf("s.txt", plain, packed, 8);
    const std::size_t cut = 30 + 5 + packed.size() / 2;
    pvtest::writeBytes(drive / "s.zip", Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
    const Bytes rest(whole.begin() + static_cast<long>(cut),
                     whole.begin() + static_cast<long>(30 + 5 + packed.size()));

    MiniExtractor u;
    Events ev;
    wire(u, ev);
    std::vector<std::string> asked;
    u.OnGetZipNextDisk = [&](TZipCommon&, const std::string& volume, bool& cancel) {
        asked.push_back(volume);
        ASSERT_TRUE(platform::insertMedium(drive.string(), "2", true, "PKBACK# 002"));
        pvtest::writeBytes(drive / "s.zip", rest);
        cancel = false;
    };
    u.SetArchiveFile((drive / "s.zip").string());
    ASSERT_EQ(u.ArcType(), atZipMV) << "not detected as a spanned set";
    u.SetExtractDir((tmp / "out").string());
    u.SetFileSpec({"*.*"});
    u.Extract();
    EXPECT_EQ(asked, std::vector<std::string>{"2"});
    ASSERT_EQ(ev.ends.size(), 1u);
    EXPECT_TRUE(ev.ends[0].second);
    EXPECT_EQ(pvtest::readBytes(tmp / "out/s.txt"), plain);

    // Disk 1 again, and nobody answers the request: the run is cancelled, nothing is left.
    ASSERT_TRUE(platform::insertMedium(drive.string(), "1"));
    MiniExtractor v;
    Events ev2;
    wire(v, ev2);
    v.SetArchiveFile((drive / "s.zip").string());
    v.SetExtractDir((tmp / "out2").string());
    v.SetFileSpec({"*.*"});
    v.Extract();
    EXPECT_TRUE(v.Cancel());
    ASSERT_EQ(ev2.ends.size(), 1u);
    EXPECT_FALSE(ev2.ends[0].second);
    EXPECT_FALSE(fs::exists(tmp / "out2/s.txt"));
}

} // namespace

namespace {

TEST(UnBaseCopyStored, ShortReadIsAnErrorNotAPass) {
    pvtest::TempDir tmp;
    const Bytes data = pvtest::randomBytes(70000, 21);
    pvtest::writeBytes(tmp / "src.bin", data);
    MiniExtractor u;
    std::vector<int> errors;
    u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        errors.push_back(code);
    };
    u.WriteMode = 7; // as in a test run: the data only go through the CRC
    for (int64_t count : {int64_t{70000}, int64_t{90000}}) {
        const int fd = platform::openFile((tmp / "src.bin").string(), platform::OpenMode::Read);
        ASSERT_GE(fd, 0);
        u.Ctx().Crc32Value = 0xFFFFFFFF;
        const bool ok = u.CopyStored(fd, nullptr, -1, nullptr, count, "src.bin", false, 32);
        platform::closeFile(fd);
        if (count == 70000) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(u.Ctx().Crc32Value ^ 0xFFFFFFFF, crc32(0, data.data(), static_cast<uInt>(data.size())));
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(errors, std::vector<int>{25236});
        }
    }
}

} // namespace

namespace {

// An extractor that fails with an exception half-way through writing an entry.
class ThrowingExtractor : public TUnBase {
protected:
    void ExtractArchive(int&, TStream*) override {
        std::string name = "half.txt";
        bool exists = false;
        if (BeginFile(name, exists, 0) != TBeginResult::brExtract) return;
        int out = -1;
        std::unique_ptr<TStream> stream;
        if (!CreateOutput(out, stream, name, FileName)) return;
        const uint8_t data[5] = {'h', 'a', 'l', 'f', '\n'};
        WriteBlock(out, data, 1, 5, 32, nullptr);
        RaiseError(ArchiveFile(), "", "0", 25236);
    }
};

TEST(UnBaseRun, ExceptionLeavesNoPartialFile) {
    pvtest::TempDir tmp;
    pvtest::writeBytes(tmp / "a.zip", zipOf("x", {'x'}, {'x'}, 0));
    ThrowingExtractor u;
    u.SetArchiveFile((tmp / "a.zip").string());
    u.SetExtractDir((tmp / "out").string());
    EXPECT_THROW(u.Extract(), E_RAISE);
    EXPECT_TRUE(fs::is_empty(tmp / "out"));
    EXPECT_EQ(u.ArchiveFile(), (tmp / "a.zip").string());
}

} // namespace
