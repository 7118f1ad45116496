#include "archive/aeCommon.h"

#include "platform/fileio.h"

#include "support/testutil.h"

#include <zlib.h>

namespace {

struct Report {
    std::string fn;
    int code;
};

class RecordingSink : public TErrorSink {
public:
    void ReportError(const std::string& FN, const std::string&, const std::string&, int ECode) override {
        reports.push_back({FN, ECode});
    }
    std::vector<Report> reports;
};

std::string fileWith(const pvtest::TempDir& dir, const std::string& name, const std::string& bytes) {
    pvtest::writeFile(dir / name, bytes);
    return (dir / name).string();
}

} // namespace

TEST(AeCommonIo, OpenFailuresAreReportedNotThrown) {
    pvtest::TempDir dir;
    RecordingSink sink;
    const std::string missing = (dir / "missing.zip").string();
    EXPECT_EQ(OpenForRead(&sink, missing), INVALID_HANDLE_VALUE);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].fn, missing);
    EXPECT_EQ(sink.reports[0].code, 25235);
    EXPECT_EQ(OpenForQuery(nullptr, missing), INVALID_HANDLE_VALUE); // no sink: nothing reported

    const std::string existing = fileWith(dir, "a.bin", "abc");
    EXPECT_EQ(CreateOutputFile(&sink, existing, false), INVALID_HANDLE_VALUE); // never overwrites
    const int h = CreateOutputFile(&sink, existing, true);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSize64(h), 0);
    CloseFileHandle(h);
    EXPECT_EQ(FileSize32(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(FileSize64(INVALID_HANDLE_VALUE), -1);
    EXPECT_FALSE(SeekFileHandle(INVALID_HANDLE_VALUE, 0, FILE_BEGIN));
}

TEST(AeCommonIo, ReadZStringStopsAtTheBufferAndTheFile) {
    pvtest::TempDir dir;
    RecordingSink sink;
    const std::string path = fileWith(dir, "z.bin", std::string("abc\0\0def\0ghi", 12));
    const int h = OpenForRead(&sink, path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    int64_t off = 0;
    std::string s;
    ASSERT_TRUE(ReadZString(h, off, s, &sink));
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(off, 4);
    ASSERT_TRUE(ReadZString(h, off, s, &sink)); // the empty string
    EXPECT_EQ(s, "");
    EXPECT_EQ(off, 5);
    ASSERT_TRUE(ReadZString(h, off, s, &sink));
    EXPECT_EQ(s, "def");
    EXPECT_EQ(off, 9);
    // "ghi" has no terminator before the end of the file: an error, not a result.
    EXPECT_FALSE(ReadZString(h, off, s, &sink));
    EXPECT_EQ(off, 9);
    EXPECT_EQ(s, "");
    int64_t past = 100;
    EXPECT_FALSE(ReadZString(h, past, s, &sink));
    ASSERT_EQ(sink.reports.size(), 2u);
    EXPECT_EQ(sink.reports[0].code, 25236);
    CloseFileHandle(h);

    // 300 bytes without a zero: no terminator within the 256 bytes read.
    const int h2 = OpenForRead(nullptr, fileWith(dir, "long.bin", std::string(300, 'x')));
    int64_t off2 = 0;
    EXPECT_FALSE(ReadZString(h2, off2, s));
    CloseFileHandle(h2);
    // 255 characters and the terminator fit.
    const int h3 = OpenForRead(nullptr, fileWith(dir, "max.bin", std::string(255, 'y') + '\0'));
    int64_t off3 = 0;
    ASSERT_TRUE(ReadZString(h3, off3, s));
    EXPECT_EQ(s.size(), 255u);
    EXPECT_EQ(off3, 256);
    CloseFileHandle(h3);
}

TEST(AeCommonIo, ReadFixedString) {
    pvtest::TempDir dir;
    RecordingSink sink;
    const int h = OpenForRead(nullptr, fileWith(dir, "f.bin", std::string("A\0B", 3)));
    int64_t off = 0;
    std::string s;
    ASSERT_TRUE(ReadFixedString(h, off, 3, s, &sink));
    EXPECT_EQ(s, "A B");
    EXPECT_EQ(off, 3);
    off = 1;
    EXPECT_FALSE(ReadFixedString(h, off, 3, s, &sink)); // two bytes left
    EXPECT_EQ(off, 1);
    EXPECT_FALSE(ReadFixedString(h, off, 256, s, &sink));
    EXPECT_FALSE(ReadFixedString(h, off, -1, s, &sink));
    ASSERT_TRUE(ReadFixedString(h, off, 0, s, &sink));
    EXPECT_EQ(s, "");
    EXPECT_EQ(sink.reports.size(), 3u);
    for (const auto& r : sink.reports) EXPECT_EQ(r.code, 25236);
    CloseFileHandle(h);
}

TEST(AeCommonIo, FileCrc32ReportsReadErrors) {
    pvtest::TempDir dir;
    const auto data = pvtest::randomBytes(250001, 3); // more than two blocks of 100000
    pvtest::writeBytes(dir / "c.bin", data);
    const std::string path = (dir / "c.bin").string();
    const int h = OpenForRead(nullptr, path);
    SeekFileHandle(h, 1234, FILE_BEGIN);
    uint32_t crc = 0;
    ASSERT_TRUE(FileCrc32(h, crc));
    EXPECT_EQ(~crc, crc32(0, data.data(), static_cast<uInt>(data.size())));
    EXPECT_EQ(FilePosition(h), 0);
    // With a size: exactly that many bytes, across a block boundary; a file that holds
    // fewer fails.
    for (const int64_t size : {int64_t{0}, int64_t{100001}, int64_t{250001}}) {
        ASSERT_TRUE(FileCrc32(h, crc, nullptr, {}, size)) << size;
        EXPECT_EQ(~crc, crc32(0, data.data(), static_cast<uInt>(size))) << size;
        EXPECT_EQ(FilePosition(h), 0);
    }
    EXPECT_FALSE(FileCrc32(h, crc, nullptr, {}, 250002));
    CloseFileHandle(h);

    // A handle that cannot be read: the failure is reported and returned, never taken for
    // the checksum of an empty file.
    RecordingSink sink;
    const int w = CreateOutputFile(nullptr, (dir / "w.bin").string(), true);
    ASSERT_TRUE(WriteFileHandle(w, "data", 4) == 4);
    EXPECT_FALSE(FileCrc32(w, crc, &sink, "w.bin"));
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].code, 25236);
    EXPECT_EQ(sink.reports[0].fn, "w.bin");
    CloseFileHandle(w);
    EXPECT_FALSE(FileCrc32(INVALID_HANDLE_VALUE, crc));
}

TEST(AeCommonIo, FindDosSkipsExcludedAttributes) {
    pvtest::TempDir dir;
    pvtest::writeFile(dir / "a.txt", "12345");
    pvtest::writeFile(dir / "b.doc", "1");
    pvtest::writeFile(dir / ".hid", "1");
    pvtest::writeFile(dir / "sub/x", "1");
    platform::setFileTimes((dir / "a.txt").string(), 1000000000, 1000000000);

    const auto names = [&](const std::string& mask, uint32_t attrs) {
        std::vector<std::string> out;
        TSearchRecDos r;
        for (int rc = FindFirstDos(mask, attrs, r); rc == 0; rc = FindNextDos(r)) out.push_back(r.Name);
        FindCloseDos(r);
        return out;
    };
    EXPECT_EQ(names(dir.str() + "/*.*", 0), (std::vector<std::string>{"a.txt", "b.doc"}));
    EXPECT_EQ(names(dir.str() + "/*.*", platform::faHidden | platform::faDirectory),
              (std::vector<std::string>{".hid", "a.txt", "b.doc", "sub"}));
    EXPECT_EQ(names(dir.str() + "/*.TXT", 0), (std::vector<std::string>{"a.txt"}));

    TSearchRecDos r;
    ASSERT_EQ(FindFirstDos(dir.str() + "/a.txt", 0, r), 0);
    EXPECT_EQ(r.Size, 5);
    EXPECT_EQ(r.Time, FileTimeToDosLocal(1000000000));
    EXPECT_EQ(r.Attr, uint32_t{platform::faArchive});
    EXPECT_EQ(FindNextDos(r), ERROR_NO_MORE_FILES);
    FindCloseDos(r);
    EXPECT_EQ(FindFirstDos(dir.str() + "/*.zip", 0, r), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstDos(dir.str() + "/none/*.*", 0, r), ERROR_PATH_NOT_FOUND);
}

TEST(AeCommonIo, OpenFileHandleDispositions) {
    pvtest::TempDir dir;
    const std::string path = fileWith(dir, "d.bin", "old contents");
    // Created always with read access: truncated, and readable.
    int h = OpenFileHandle(nullptr, path, faccReadWrite, 0, fdCreateAlways, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileSize64(h), 0);
    EXPECT_EQ(WriteFileHandle(h, "abc", 3), 3);
    ASSERT_TRUE(SeekFileHandle(h, 0));
    char buf[4] = {};
    EXPECT_EQ(ReadFileHandle(h, buf, 4), 3);
    CloseFileHandle(h);
    EXPECT_EQ(OpenFileHandle(nullptr, path, faccReadWrite, 0, fdCreateNew, 0), INVALID_HANDLE_VALUE);
    h = OpenFileHandle(nullptr, path, faccReadWrite, 0, fdTruncateExisting, 0);
    EXPECT_EQ(FileSize64(h), 0);
    CloseFileHandle(h);
    h = OpenFileHandle(nullptr, (dir / "new.bin").string(), faccWrite, 0, fdOpenAlways, 0);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseFileHandle(h);
    EXPECT_EQ(OpenFileHandle(nullptr, (dir / "gone.bin").string(), faccReadWrite, 0, fdTruncateExisting, 0),
              INVALID_HANDLE_VALUE);
}
