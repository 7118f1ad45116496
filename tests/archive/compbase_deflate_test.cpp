// The writer base feeding the deflate encoder: reads through the block reader (CRC-32),
// writes through the encrypting writer, counts the output, and fails an entry whose source
// ends early instead of storing it cut short.
#include "archive/aeCompBase.h"
#include "support/testutil.h"
#include "support/zlibutil.h"
#include "platform/fileio.h"

#include <zlib.h>

namespace {

class TZipLike : public TCompBase {
public:
    TZipLike() { FArcType = atZip; }
    int64_t& BytesToRead() { return FBytesToRead; }
    int64_t CompressedSize() const { return FCompressedSize; }
};

std::vector<uint8_t> inflateRaw(const std::vector<uint8_t>& packed, size_t size) {
    pvtest::ZlibInflated z = pvtest::zlibInflateRaw(packed, size + 16);
    EXPECT_EQ(z.rc, Z_STREAM_END);
    return std::move(z.data);
}

struct Files {
    int src = -1, dst = -1;
    ~Files() {
        if (src >= 0) platform::closeFile(src);
        if (dst >= 0) platform::closeFile(dst);
    }
};

TEST(CompBaseDeflate, EncryptsCountsAndChecksums) {
    pvtest::TempDir tmp;
    const std::string text = pvtest::sampleText(100000, 9);
    const std::vector<uint8_t> data(text.begin(), text.end());
    pvtest::writeBytes(tmp / "in", data);
    Files f{platform::openFile((tmp / "in").string(), platform::OpenMode::Read),
            platform::openFile((tmp / "out").string(), platform::OpenMode::Create)};
    ASSERT_GE(f.src, 0);
    ASSERT_GE(f.dst, 0);

    TZipLike w;
    w.SetDeflateType(dtDeflateF);
    w.Ctx().Keys.Init("secret");
    w.Ctx().Crc32Value = 0xFFFFFFFF;
    w.BytesToRead() = static_cast<int64_t>(data.size());
    const TDeflateResult r = w.DeflateSource(f.src, f.dst, true);
    EXPECT_FALSE(r.Stored);
    EXPECT_EQ(w.BytesToRead(), 0);
    EXPECT_EQ(w.Ctx().Crc32Value ^ 0xFFFFFFFFu, crc32(0, data.data(), static_cast<uInt>(data.size())));

    std::vector<uint8_t> packed = pvtest::readBytes(tmp / "out");
    EXPECT_EQ(w.CompressedSize(), static_cast<int64_t>(packed.size()));
    EXPECT_EQ(r.Bytes, static_cast<int64_t>(packed.size()));
    TZipKeys keys;
    keys.Init("secret");
    keys.DecryptBuffer(packed.data(), packed.size());
    EXPECT_EQ(inflateRaw(packed, data.size()), data);
}

TEST(CompBaseDeflate, WholeFileStoredMarksTheLocalHeader) {
    pvtest::TempDir tmp;
    const std::vector<uint8_t> noise = pvtest::randomBytes(1500, 4);
    pvtest::writeBytes(tmp / "in", noise);
    Files f{platform::openFile((tmp / "in").string(), platform::OpenMode::Read),
            platform::openFile((tmp / "out").string(), platform::OpenMode::Create)};
    TZipLike w;
    w.ZipLocalHeader[8] = 8;
    w.BytesToRead() = static_cast<int64_t>(noise.size());
    const TDeflateResult r = w.DeflateSource(f.src, f.dst, false);
    EXPECT_TRUE(r.Stored);
    EXPECT_EQ(w.ZipLocalHeader[8], 0);
    EXPECT_EQ(pvtest::readBytes(tmp / "out"), noise);
}

TEST(CompBaseDeflate, ASourceThatEndsEarlyFails) {
    pvtest::TempDir tmp;
    pvtest::writeFile(tmp / "in", pvtest::sampleText(5000, 1));
    Files f{platform::openFile((tmp / "in").string(), platform::OpenMode::Read),
            platform::openFile((tmp / "out").string(), platform::OpenMode::Create)};
    TZipLike w;
    int reported = 0;
    w.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        reported = code;
    };
    w.BytesToRead() = 8000; // the file was listed larger than it is now
    try {
        w.DeflateSource(f.src, f.dst, false);
        ADD_FAILURE() << "a cut-short source must not compress as if complete";
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.ECode, 25236);
    }
    EXPECT_EQ(reported, 25236);
}

} // namespace
