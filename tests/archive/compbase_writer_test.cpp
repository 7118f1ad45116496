// The writer base, driven through a minimal writer made for these tests. Its format: per
// entry a 24-byte header, the name and the data; a trailer written by AfterWrite.
//
//   0  "PVT1"            8  compressed size     16  DOS date-time
//   4  name length (2)  12  uncompressed size   20  attributes
//   6  method (0 stored, 8 deflate), 7 unused
//   trailer: "PVTE", entry count (4)
#include "archive/aeCompBase.h"
#include "archive/aeFormats.h"
#include "archive/aeMain.h"
#include "archive/aeMsgs.h"
#include "support/bytes.h"
#include "support/testutil.h"
#include "support/zlibutil.h"
#include "platform/fileio.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kMagic = 0x31545650;   // "PVT1"
constexpr uint32_t kTrailer = 0x45545650; // "PVTE"
constexpr int kHeaderLen = 24;

using pvtest::le32;
using pvtest::put32;

class TTestWriter : public TCompBase {
public:
    TTestWriter() {
        FArcType = atLha; // any type whose entries keep a record
        FOwnDefaultExt = ".pvt";
        FDefaultExt = ".pvt";
        FAllowedMethods = MethodBit(cmStore) | MethodBit(cmDeflate);
        FCompressMethod = cmDeflate;
        DeleteOptions = doFinal;
    }

    std::string failReadOf;      // a source whose reads fail
    bool failAfterWrite = false; // the directory cannot be written
    std::vector<std::string> readNames;

    int LocalHeaderLength() override { return kHeaderLen; }

    int64_t ReadBlock(int Handle, TStream* Stream, int64_t Count, int CrcMode, bool Decrypt,
                      uint8_t* Buffer) override {
        if (Handle >= 0 && Handle == failFd_) return -1;
        return TCompBase::ReadBlock(Handle, Stream, Count, CrcMode, Decrypt, Buffer);
    }

    void ScanExisting(int Handle) override {
        for (int64_t at = ArcStart - 1;;) {
            uint8_t h[kHeaderLen];
            if (!platform::readAt(Handle, at, h, kHeaderLen) || le32(h) != kMagic) break;
            std::string name(h[4] | h[5] << 8, '\0');
            if (!platform::readAt(Handle, at + kHeaderLen, name.data(), static_cast<int64_t>(name.size())))
                break;
            const int64_t comp = le32(h + 8);
            if (Switch == swDelete && MatchesFileSpec(name, false)) {
                ++FDeletedCount;
            } else {
                auto head = std::make_unique<THeadObject>();
                head->Header.assign(37, 0);
                head->CompressedSize = comp;
                head->UncompressedSize = le32(h + 12);
                head->DosDate = le32(h + 16);
                head->Attr = le32(h + 20);
                head->Offset = at;
                head->Action = eaKeep;
                AddListEntry(name, std::move(head));
            }
            at += kHeaderLen + static_cast<int64_t>(name.size()) + comp;
        }
    }

    bool AddFile(int Temp, const std::string& Name, THeadObject& Head) override {
        BuildOutputName(Name);
        std::string stored = FileName;
        if (!BeginFile(stored, FileCount)) {
            Head.Action = eaSkip;
            return true;
        }
        FileName = stored;
        int src = -1;
        if (!OpenSourceFile(src, Name, Head.UncompressedSize)) return false;
        if (Name == failReadOf) failFd_ = src;
        const int64_t start = platform::filePosition(Temp);
        uint8_t h[kHeaderLen] = {};
        writeRaw(Temp, h, kHeaderLen);
        writeRaw(Temp, reinterpret_cast<const uint8_t*>(stored.data()), static_cast<int64_t>(stored.size()));
        uint8_t method = CompressMethod() == cmDeflate ? 8 : 0;
        int64_t packed = 0;
        FBytesToRead = Head.UncompressedSize;
        // Like the zip writer: a failure while the data goes out drops the entry and the run
        // goes on (the hook still answers true).
        try {
            if (method == 8) {
                if (DeflateSource(src, Temp, false).Stored) method = 0;
                packed = FCompressedSize;
            } else {
                packed = CopyBlock(src, Head.UncompressedSize, 32, false, Temp);
                if (packed != Head.UncompressedSize) throw E_RAISE(25236);
            }
        } catch (const E_RAISE&) {
            Head.Action = eaSkip;
        }
        platform::closeFile(src);
        failFd_ = -1;
        if (Head.Action == eaSkip) {
            // The failed entry's bytes go again: this format has no directory to leave them out.
            platform::truncateFile(Temp, start);
            platform::seekFile(Temp, start);
            return true;
        }
        put32(h, kMagic);
        h[4] = static_cast<uint8_t>(stored.size());
        h[5] = static_cast<uint8_t>(stored.size() >> 8);
        h[6] = method;
        put32(h + 8, static_cast<uint32_t>(packed));
        put32(h + 12, static_cast<uint32_t>(Head.UncompressedSize));
        put32(h + 16, StoredDate(Head.DosDate));
        put32(h + 20, Head.Attr);
        platform::seekFile(Temp, start);
        writeRaw(Temp, h, kHeaderLen);
        platform::seekFile(Temp, 0, platform::SeekFrom::End);
        Head.CompressedSize = packed;
        return true;
    }

    void AfterWrite() override {
        if (failAfterWrite) throw E_RAISE(25136);
        if (FTempHandle < 0) return;
        uint32_t n = 0;
        for (size_t i = 0; i < EntryCount(); ++i)
            if (Entry(i).Head && Entry(i).Head->Action != eaSkip) ++n;
        uint8_t t[8];
        put32(t, kTrailer);
        put32(t + 4, n);
        writeRaw(FTempHandle, t, 8);
    }

    bool ReadFirstHeader(std::string& Name, int Handle) override {
        next_ = -1;
        return TCompBase::ReadFirstHeader(Name, Handle);
    }
    bool ReadHeader(std::string& Name, int Handle, bool) override {
        const int64_t at = next_ < 0 ? CurrentOffset : next_;
        uint8_t h[kHeaderLen];
        if (!platform::readAt(Handle, at, h, kHeaderLen) || le32(h) != kMagic) return false;
        Name.assign(h[4] | h[5] << 8, '\0');
        if (!platform::readAt(Handle, at + kHeaderLen, Name.data(), static_cast<int64_t>(Name.size())))
            return false;
        readNames.push_back(Name);
        CurrentOffset = at;
        next_ = at + kHeaderLen + static_cast<int64_t>(Name.size()) + le32(h + 8);
        return true;
    }

    // Exposed for the tests.
    int64_t& BytesToRead() { return FBytesToRead; }
    void SetBaseDir(const std::string& d) { FBaseDir = d; }

private:
    void writeRaw(int fd, const uint8_t* p, int64_t n) {
        std::vector<uint8_t> copy(p, p + n);
        WriteBlockEncrypted(fd, nullptr, 1, n, 0, false, copy.data());
    }
    int failFd_ = -1;
    int64_t next_ = -1;
};

struct Entry {
    uint8_t method = 0;
    uint32_t dosDate = 0, attr = 0;
    Bytes data;
};

Bytes inflateRaw(const Bytes& packed, size_t size) {
    pvtest::ZlibInflated z = pvtest::zlibInflateRaw(packed, size);
    EXPECT_EQ(z.rc, Z_STREAM_END);
    return std::move(z.data);
}

// The entries of an archive in their order; fails the test on any inconsistency.
std::vector<std::pair<std::string, Entry>> readArchive(const fs::path& p, size_t prefix = 0) {
    const Bytes a = pvtest::readBytes(p);
    std::vector<std::pair<std::string, Entry>> out;
    size_t at = prefix;
    while (at + 8 <= a.size() && le32(&a[at]) == kMagic) {
        EXPECT_LE(at + kHeaderLen, a.size());
        const size_t nameLen = a[at + 4] | a[at + 5] << 8;
        const size_t packed = le32(&a[at + 8]), size = le32(&a[at + 12]);
        Entry e;
        e.method = a[at + 6];
        e.dosDate = le32(&a[at + 16]);
        e.attr = le32(&a[at + 20]);
        const std::string name(a.begin() + static_cast<long>(at) + kHeaderLen,
                               a.begin() + static_cast<long>(at + kHeaderLen + nameLen));
        const Bytes data(a.begin() + static_cast<long>(at + kHeaderLen + nameLen),
                         a.begin() + static_cast<long>(at + kHeaderLen + nameLen + packed));
        e.data = e.method == 8 && size > 0 ? inflateRaw(data, size) : data;
        EXPECT_EQ(e.data.size(), size) << name;
        out.emplace_back(name, std::move(e));
        at += kHeaderLen + nameLen + packed;
    }
    EXPECT_EQ(at + 8, a.size()) << "trailer expected at the end of " << p;
    if (at + 8 == a.size()) {
        EXPECT_EQ(le32(&a[at]), kTrailer);
        EXPECT_EQ(le32(&a[at + 4]), out.size());
    }
    return out;
}

std::vector<std::string> namesOf(const std::vector<std::pair<std::string, Entry>>& v) {
    std::vector<std::string> n;
    for (const auto& e : v) n.push_back(e.first);
    return n;
}

std::map<std::string, std::string> contentsOf(const std::vector<std::pair<std::string, Entry>>& v) {
    std::map<std::string, std::string> m;
    for (const auto& [name, e] : v) m[name] = std::string(e.data.begin(), e.data.end());
    return m;
}

std::vector<std::string> tempLeftovers(const fs::path& dir) {
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".pvtmp", 0) == 0) left.push_back(e.path().string());
    return left;
}

int errorCode(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const E_RAISE& e) {
        return e.ECode;
    }
    return 0;
}

class CompBaseTest : public ::testing::Test {
protected:
    pvtest::TempDir tmp;
    fs::path src() const { return tmp / "src"; }
    fs::path arc() const { return tmp / "out.pvt"; }
    void put(const std::string& rel, const std::string& data) { pvtest::writeFile(src() / rel, data); }

    // Adds everything under src() (recursively) to arc().
    int addAll(TTestWriter& w, TSwitch sw = swAdd) {
        w.SetArchiveFile(arc().string());
        w.SetFileSpecPaths({(src() / "*").string()});
        w.RecurseDirs = true;
        w.Switch = sw;
        return w.Compress();
    }
};

TEST_F(CompBaseTest, AddsAFolderTreeWithoutFollowingSymlinkedFolders) {
    put("a.txt", pvtest::sampleText(30000, 1));
    put("sub/b.txt", "bee");
    put(".dot/c.txt", "in a dot-folder");
    put(".hidden", "a hidden file");
    put("empty", "");
    pvtest::writeFile(tmp / "elsewhere/d.txt", "outside");
    fs::create_directory_symlink(tmp / "elsewhere", src() / "link");
    fs::create_directory_symlink(src(), src() / "sub/loop");

    TTestWriter w;
    w.SetDeflateType(dtDeflateX);
    EXPECT_EQ(addAll(w), 5);
    const auto entries = readArchive(arc());
    EXPECT_EQ(namesOf(entries),
              (std::vector<std::string>{".hidden", "a.txt", "empty", ".dot/c.txt", "sub/b.txt"}));
    const auto c = contentsOf(entries);
    EXPECT_EQ(c.at("a.txt"), pvtest::sampleText(30000, 1));
    EXPECT_EQ(c.at(".dot/c.txt"), "in a dot-folder");
    EXPECT_EQ(c.at("empty"), "");
    EXPECT_TRUE(tempLeftovers(tmp.path()).empty());
    EXPECT_TRUE(fs::exists(src() / "a.txt")) << "an add run keeps its sources";
}

TEST_F(CompBaseTest, ExcludingHiddenFilesSkipsDotFilesAndDotFolders) {
    put("a.txt", "a");
    put(".dot/c.txt", "c");
    put(".hidden", "h");
    TTestWriter w;
    w.FileAttribute.SetftHidden(false);
    EXPECT_EQ(addAll(w), 1);
    EXPECT_EQ(namesOf(readArchive(arc())), std::vector<std::string>{"a.txt"});
}

TEST_F(CompBaseTest, NamesWithoutFolderUseTheDefaultFolderAndExclusionsApply) {
    put("a.txt", "a");
    put("b.log", "b");
    put("c.txt", "c");
    put("sub/d.txt", "d");
    TTestWriter w;
    w.SetArchiveFile(arc().string());
    w.SetDefaultDir(src().string());
    w.SetFileSpec({"*.txt", "b.log"});
    w.SetExcludeSpec({"c.txt"});
    w.RecurseDirs = true;
    EXPECT_EQ(w.Compress(), 3);
    EXPECT_EQ(namesOf(readArchive(arc())), (std::vector<std::string>{"a.txt", "sub/d.txt", "b.log"}));
}

TEST_F(CompBaseTest, NeverAddsTheArchiveOrItsTemporaryCopyToItself) {
    put("a.txt", "a");
    TTestWriter w;
    w.SetArchiveFile((src() / "self.pvt").string());
    w.SetFileSpecPaths({(src() / "*").string()});
    std::vector<std::string> begun;
    w.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) { begun.push_back(fn); };
    EXPECT_EQ(w.Compress(), 1);
    w.SetFileSpecPaths({(src() / "*").string()});
    put("b.txt", "b");
    EXPECT_EQ(w.Compress(), 1);
    EXPECT_EQ(namesOf(readArchive(src() / "self.pvt")), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(begun, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(CompBaseTest, UpdateKeepsReplacesAndAddsOnce) {
    put("a.txt", "alpha");
    put("b.txt", "bravo");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 2);
    }
    put("b.txt", "bravo, longer now");
    put("c.txt", "charlie");
    TTestWriter w;
    std::vector<std::string> asked;
    w.OnReplaceFile = [&](TZipCommon&, const std::string& oldFn, const std::string& fn, TDateTime, TDateTime,
                          int64_t oldSize, int64_t newSize, int, int, bool& replace) {
        asked.push_back(oldFn);
        EXPECT_EQ(fn, (src() / "b.txt").string());
        EXPECT_EQ(oldSize, 5);
        EXPECT_EQ(newSize, 17);
        replace = true;
    };
    w.SetArchiveFile(arc().string());
    // The same files named twice are taken once.
    w.SetFileSpecPaths({(src() / "*.txt").string(), (src() / "c.txt").string(), (src() / "b.txt").string()});
    EXPECT_EQ(w.Compress(), 2); // b replaced, c added
    EXPECT_EQ(asked, std::vector<std::string>{"b.txt"});
    const auto entries = readArchive(arc());
    EXPECT_EQ(namesOf(entries), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(contentsOf(entries),
              (std::map<std::string, std::string>{
                  {"a.txt", "alpha"}, {"b.txt", "bravo, longer now"}, {"c.txt", "charlie"}}));

    // Without OnReplaceFile a changed file is reported and the entry stays as it was.
    put("a.txt", "alpha changed");
    TTestWriter w2;
    std::vector<std::pair<std::string, int>> errors;
    w2.OnError = [&](TZipCommon&, const std::string&, const std::string& msgEx, const std::string&,
                     int code) { errors.emplace_back(msgEx, code); };
    const Bytes before = pvtest::readBytes(arc());
    EXPECT_EQ(addAll(w2), 0);
    EXPECT_EQ(errors, (std::vector<std::pair<std::string, int>>{{"OnReplaceFile", 25270}}));
    EXPECT_EQ(pvtest::readBytes(arc()), before) << "nothing added: the archive is not rewritten";
}

TEST_F(CompBaseTest, KeepsASelfExtractorPrefix) {
    put("a.txt", "alpha");
    TTestWriter w;
    ASSERT_EQ(addAll(w), 1);
    const std::string program = "MZ" + std::string(998, 'P');
    Bytes withPrefix(program.begin(), program.end());
    const Bytes body = pvtest::readBytes(arc());
    withPrefix.insert(withPrefix.end(), body.begin(), body.end());
    pvtest::writeBytes(arc(), withPrefix);

    put("b.txt", "bravo");
    TTestWriter w2;
    w2.SetArchiveFile(arc().string());
    w2.ArcStart = static_cast<int64_t>(program.size()) + 1;
    w2.SetFileSpecPaths({(src() / "b.txt").string()});
    EXPECT_EQ(w2.Compress(), 1);
    const Bytes after = pvtest::readBytes(arc());
    ASSERT_GT(after.size(), program.size());
    EXPECT_EQ(std::string(after.begin(), after.begin() + static_cast<long>(program.size())), program);
    EXPECT_EQ(namesOf(readArchive(arc(), program.size())), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(CompBaseTest, DeleteRuns) {
    put("a.txt", "alpha");
    put("b.txt", "bravo");
    put("c.txt", "charlie");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 3);
    }
    TTestWriter w;
    w.SetArchiveFile(arc().string());
    w.Switch = swDelete;
    w.SetFileSpec({"b.txt"});
    EXPECT_EQ(w.Compress(), 1);
    EXPECT_EQ(contentsOf(readArchive(arc())),
              (std::map<std::string, std::string>{{"a.txt", "alpha"}, {"c.txt", "charlie"}}));

    // Deleting every entry removes the archive rather than leaving an empty file.
    w.SetFileSpec({"*.*"});
    EXPECT_EQ(w.Compress(), 2);
    EXPECT_FALSE(fs::exists(arc()));

    // Deleting from a missing archive: "Nothing to do".
    EXPECT_EQ(errorCode([&] { w.Compress(); }), 26859);
    EXPECT_TRUE(tempLeftovers(tmp.path()).empty());
}

TEST_F(CompBaseTest, MoveDeletesOnlySourcesThatWereAdded) {
    for (auto method : {cmDeflate, cmStore}) {
        SCOPED_TRACE(method == cmDeflate ? "deflate" : "stored");
        fs::remove_all(src());
        fs::remove(arc());
        put("x.txt", pvtest::sampleText(5000, 2));
        put("y.txt", pvtest::sampleText(5000, 3));
        put("z.txt", pvtest::sampleText(5000, 4));
        put("gone.txt", "removed after the scan");
        TTestWriter w;
        w.SetCompressMethod(method);
        w.failReadOf = (src() / "y.txt").string();
        w.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            if (fn == "gone.txt") fs::remove(src() / "gone.txt");
        };
        std::vector<std::string> deleted;
        w.OnDeleteFile = [&](TZipCommon&, const std::string& fn, int, int) { deleted.push_back(fn); };
        EXPECT_EQ(addAll(w, swMove), 2);
        EXPECT_EQ(namesOf(readArchive(arc())), (std::vector<std::string>{"x.txt", "z.txt"}));
        EXPECT_FALSE(fs::exists(src() / "x.txt"));
        EXPECT_FALSE(fs::exists(src() / "z.txt"));
        EXPECT_TRUE(fs::exists(src() / "y.txt")) << "its compression failed: the source stays";
        EXPECT_EQ(pvtest::readFile(src() / "y.txt"), pvtest::sampleText(5000, 3));
        EXPECT_EQ(deleted,
                  (std::vector<std::string>{(src() / "x.txt").string(), (src() / "z.txt").string()}));
    }
}

TEST_F(CompBaseTest, AFailedReplacementKeepsTheOldEntry) {
    put("a.txt", "alpha");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 1);
    }
    put("a.txt", "alpha, but unreadable now");
    put("c.txt", "charlie");
    TTestWriter w;
    w.failReadOf = (src() / "a.txt").string();
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
    EXPECT_EQ(addAll(w), 1);
    EXPECT_EQ(contentsOf(readArchive(arc())),
              (std::map<std::string, std::string>{{"a.txt", "alpha"}, {"c.txt", "charlie"}}));
}

TEST_F(CompBaseTest, CancelOrFailureLeavesTheArchiveUntouched) {
    put("a.txt", "alpha");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 1);
    }
    const Bytes before = pvtest::readBytes(arc());
    put("b.txt", pvtest::sampleText(100000, 5));
    put("c.txt", "charlie");

    TTestWriter cancelled;
    cancelled.OnBegin = [&](TZipCommon& sender, const std::string& fn, int, bool&) {
        if (fn == "b.txt") sender.SetCancel(true);
    };
    EXPECT_EQ(errorCode([&] { addAll(cancelled, swMove); }), 25449);
    EXPECT_EQ(pvtest::readBytes(arc()), before);
    EXPECT_TRUE(fs::exists(src() / "b.txt"));
    EXPECT_TRUE(fs::exists(src() / "c.txt"));

    TTestWriter failing;
    failing.failAfterWrite = true;
    EXPECT_EQ(errorCode([&] { addAll(failing, swMove); }), 25136);
    EXPECT_EQ(pvtest::readBytes(arc()), before);
    EXPECT_TRUE(fs::exists(src() / "c.txt"));
    EXPECT_TRUE(tempLeftovers(tmp.path()).empty());
}

TEST_F(CompBaseTest, TemporaryArchiveLivesBesideTheArchiveAndKeepsItsMode) {
    put("a.txt", "alpha");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 1);
    }
    ASSERT_EQ(::chmod(arc().c_str(), 0640), 0);
    // Where the file system has files without names, the temporary archive is one and
    // nothing shows; elsewhere its named stand-in is in the archive's folder.
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed);
        platform::allowUnnamedPendingFiles(unnamed);
        put(unnamed ? "b.txt" : "c.txt", "bravo");
        TTestWriter w;
        size_t seen = 0;
        w.OnBegin = [&](TZipCommon&, const std::string&, int, bool&) {
            seen = tempLeftovers(tmp.path()).size();
        };
        EXPECT_EQ(addAll(w), 1);
        platform::allowUnnamedPendingFiles(true);
        if (!unnamed) {
            EXPECT_EQ(seen, 1u) << "the temporary archive is made in the archive's folder";
        }
        EXPECT_EQ(platform::fileMode(arc().string()), 0640);
        EXPECT_TRUE(tempLeftovers(tmp.path()).empty());
    }
}

TEST_F(CompBaseTest, NonWriteableArchiveObeysTheAnswer) {
    put("a.txt", "alpha");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 1);
    }
    ASSERT_EQ(::chmod(arc().c_str(), 0444), 0);
    const Bytes before = pvtest::readBytes(arc());
    put("b.txt", "bravo");

    TTestWriter noEvent;
    EXPECT_EQ(errorCode([&] { addAll(noEvent); }), 25136);
    EXPECT_EQ(pvtest::readBytes(arc()), before);

    TTestWriter refused;
    int asked = 0;
    refused.OnNonWriteableArchive = [&](TZipCommon&, const std::string&, bool& write) {
        ++asked;
        EXPECT_FALSE(write);
    };
    EXPECT_EQ(addAll(refused), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(pvtest::readBytes(arc()), before);
    EXPECT_TRUE(tempLeftovers(tmp.path()).empty());

    TTestWriter allowed;
    allowed.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& write) { write = true; };
    EXPECT_EQ(addAll(allowed), 1);
    EXPECT_EQ(namesOf(readArchive(arc())), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(CompBaseTest, ReadRunFiresOnReadPerEntry) {
    put("a.txt", "alpha");
    put("b.txt", "bravo");
    {
        TTestWriter w;
        ASSERT_EQ(addAll(w), 2);
    }
    TTestWriter w;
    w.SetArchiveFile(arc().string());
    w.Switch = swRead;
    std::vector<std::pair<std::string, int>> read;
    w.OnRead = [&](TZipCommon& s, int64_t, int n) { read.emplace_back(s.FileName, n); };
    w.Compress();
    EXPECT_EQ(read, (std::vector<std::pair<std::string, int>>{{"a.txt", 1}, {"b.txt", 2}}));

    TTestWriter noEvent;
    noEvent.SetArchiveFile(arc().string());
    noEvent.Switch = swRead;
    int code = 0;
    noEvent.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int c) {
        code = c;
    };
    noEvent.Compress();
    EXPECT_EQ(code, 25270);
    EXPECT_TRUE(noEvent.readNames.empty());
}

TEST(CompBaseProperties, StoredNames) {
    struct Case {
        TStoredDirNames mode;
        const char* base;
        const char* path;
        const char* stored;
    };
    const Case cases[] = {
        {sdNone, "/data/", "/data/a/b.txt", "b.txt"},
        {sdAbsolute, "/data/", "/data/a/b.txt", "/data/a/b.txt"},
        {sdAbsoluteNoDrv, "/data/", "//server/share/a/b.txt", "/a/b.txt"},
        {sdRelative, "/data/", "/data/a/b.txt", "a/b.txt"},
        {sdRelativeStoreStart, "/data/photos/", "/data/photos/a/b.jpg", "photos/a/b.jpg"},
    };
    for (const auto& c : cases) {
        TTestWriter w;
        w.StoredDirNames = c.mode;
        w.SetBaseDir(c.base);
        w.BuildOutputName(c.path);
        EXPECT_EQ(w.FileName, c.stored) << c.path << " mode " << int(c.mode);
    }
}

TEST(CompBaseProperties, DefaultExtAndMethod) {
    struct Case {
        const char* archive;
        const char* value;
        const char* ext;
        const char* archiveAfter;
    };
    const Case cases[] = {
        {"/t/a", "ABCD", ".abc", "/t/a.abc"},     // four letters without a dot: dot and three
        {"/t/a.pvt", ".Zip", ".zip", "/t/a.zip"}, // the previous default extension is changed
        {"/t/a.doc", "gz", ".gz", "/t/a.doc"},    // any other extension stays
        {"/t/a.pvt", "", ".pvt", "/t/a.pvt"},     // empty: the writer's own
        {"/t/a.pvt", ".", ".pvt", "/t/a.pvt"},
    };
    for (const auto& c : cases) {
        TTestWriter w;
        w.SetArchiveFile(c.archive);
        w.SetDefaultExt(c.value);
        EXPECT_EQ(w.DefaultExt(), c.ext) << c.value;
        EXPECT_EQ(w.ArchiveFile(), c.archiveAfter) << c.value;
    }
    TTestWriter w;
    w.SetCompressMethod(cmFuse);
    EXPECT_EQ(w.CompressMethod(), cmDeflate) << "a method the writer does not allow is ignored";
    w.SetCompressMethod(cmStore);
    EXPECT_EQ(w.CompressMethod(), cmStore);
    EXPECT_EQ(w.DeflateLevel(), 7);
    EXPECT_EQ(DeflateLevelOf(dtDeflateS), 1);
    EXPECT_EQ(DeflateLevelOf(dtDeflateF), 2);
    EXPECT_EQ(DeflateLevelOf(dtDeflateX), 9);
}

// Every writer of header, data and header again ends each file it began with one OnEnd: a
// name its header cannot hold and a source that is gone fail that file alone (OnEnd false),
// the others are written.
TEST(CompBaseWriters, EachBegunFileEndsOnceWhetherWrittenRefusedOrUnreadable) {
    pvtest::TempDir tmp;
    for (const TArcType type : {atZip, atBh, atLzh, atTar}) {
        SCOPED_TRACE(std::string(ArcTypeName(type)));
        const fs::path in = tmp / ("in" + std::to_string(type));
        pvtest::writeFile(in / "long.txt", pvtest::sampleText(5000, 1));
        pvtest::writeFile(in / "gone.txt", pvtest::sampleText(5000, 2));
        pvtest::writeFile(in / "kept.txt", pvtest::sampleText(5000, 3));
        const std::string longName(70000, 'n');
        std::unique_ptr<TCompBase> w = CreateWriter(type);
        ASSERT_TRUE(w);
        std::vector<std::pair<std::string, bool>> ends;
        std::vector<int> errors;
        w->OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            if (fn == "gone.txt") fs::remove(in / fn);
        };
        w->OnRenameCompressedFile = [&](TZipCommon&, std::string& fn) {
            if (fn == "long.txt") fn = longName;
        };
        w->OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { ends.emplace_back(fn, pass); };
        w->OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
            errors.push_back(code);
        };
        w->SetArchiveFile((tmp / ("x" + std::to_string(type) + w->DefaultExt())).string());
        w->SetFileSpecPaths({(in / "*").string()});
        EXPECT_EQ(w->Compress(), 1);
        std::sort(ends.begin(), ends.end());
        const std::vector<std::pair<std::string, bool>> want = {
            {"gone.txt", false}, {"kept.txt", true}, {longName, false}};
        EXPECT_EQ(ends, want);
        EXPECT_NE(std::find(errors.begin(), errors.end(), kMsgInvalidName), errors.end());
    }
}

// A file that ends before the size it was listed with fails alone, and counts as passed in
// the progress: what is still to come drops by its whole listed size, not by what was read.
TEST(CompBaseWriters, AFailedFileLeavesTheProgressAsIfPassed) {
    pvtest::TempDir tmp;
    for (const TArcType type : {atZip, atBh, atLzh}) {
        SCOPED_TRACE(std::string(ArcTypeName(type)));
        const fs::path in = tmp / ("in" + std::to_string(type));
        const std::string text = pvtest::sampleText(300000, 4);
        pvtest::writeFile(in / "short.txt", text);
        pvtest::writeFile(in / "kept.txt", pvtest::sampleText(5000, 5));
        std::unique_ptr<TCompBase> w = CreateWriter(type);
        ASSERT_TRUE(w);
        int64_t atBegin = -1, atEnd = -1;
        w->OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            if (fn != "short.txt") return;
            atBegin = w->BytesLeft;
            fs::resize_file(in / fn, 100000);
        };
        w->OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) {
            if (fn == "short.txt") {
                EXPECT_FALSE(pass);
                atEnd = w->BytesLeft;
            }
        };
        w->SetArchiveFile((tmp / ("p" + std::to_string(type) + w->DefaultExt())).string());
        w->SetFileSpecPaths({(in / "*").string()});
        w->Compress();
        ASSERT_GE(atBegin, 0);
        EXPECT_EQ(atEnd, atBegin - static_cast<int64_t>(text.size()));
    }
}

// A file that grows after it was listed is never kept cut short (and a move never deletes
// it): the writers that take the listed size fail it, the tar writer takes it whole once it
// has data to read (one listed empty has none to take, and fails too).
TEST(CompBaseWriters, AFileThatGrewIsNeverKeptCutShort) {
    pvtest::TempDir tmp;
    for (const TArcType type : {atZip, atBh, atLzh, atTar}) {
        SCOPED_TRACE(std::string(ArcTypeName(type)));
        const fs::path in = tmp / ("in" + std::to_string(type));
        pvtest::writeFile(in / "grows.txt", pvtest::sampleText(70000, 6));
        pvtest::writeFile(in / "empty.txt", "");
        std::unique_ptr<TCompBase> w = CreateWriter(type);
        ASSERT_TRUE(w);
        std::map<std::string, bool> ends;
        w->OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            std::ofstream(in / fn, std::ios::app) << "and more";
        };
        w->OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) { ends[fn] = pass; };
        w->Switch = swMove;
        w->SetArchiveFile((tmp / ("g" + std::to_string(type) + w->DefaultExt())).string());
        w->SetFileSpecPaths({(in / "*").string()});
        w->Compress();
        const bool whole = type == atTar;
        EXPECT_EQ(ends, (std::map<std::string, bool>{{"empty.txt", false}, {"grows.txt", whole}}));
        EXPECT_EQ(fs::exists(in / "grows.txt"), !whole);
        EXPECT_TRUE(fs::exists(in / "empty.txt"));
    }
}

} // namespace
