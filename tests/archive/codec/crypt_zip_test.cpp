#include "archive/codec/aeCrypt.h"

#include "archive/aeCommon.h"

#include "support/bytes.h"
#include "support/testutil.h"
#include "support/zipbuild.h"
#include "support/zlibutil.h"

#include <zlib.h>

namespace {

uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return le16(b, at) | uint32_t{le16(b, at + 2)} << 16;
}

// The first entry of a zip written by a peer: the fields the cipher needs.
struct LocalEntry {
    uint16_t flags, method, time;
    uint32_t crc;
    std::vector<uint8_t> data; // encryption header + packed data
};

LocalEntry firstEntry(const std::vector<uint8_t>& zip) {
    // Local header: signature, version, flags, method, time, date, CRC-32, packed size,
    // size, name length, extra length, then name and extra.
    EXPECT_EQ(le32(zip, 0), 0x04034b50u);
    LocalEntry e{le16(zip, 6), le16(zip, 8), le16(zip, 10), le32(zip, 14), {}};
    const size_t start = 30 + le16(zip, 26) + le16(zip, 28);
    uint32_t packed = le32(zip, 18);
    if (e.flags & 0x08) {
        // Sizes follow the data; the central directory has them.
        const size_t eocd = zip.size() - 22;
        const size_t central = le32(zip, eocd + 16);
        packed = le32(zip, central + 20);
        e.crc = le32(zip, central + 16);
    }
    e.data.assign(zip.begin() + static_cast<long>(start), zip.begin() + static_cast<long>(start + packed));
    return e;
}

// Always `outSize` bytes back, zero-filled past what zlib wrote.
std::vector<uint8_t> inflateRaw(const std::vector<uint8_t>& in, size_t outSize) {
    pvtest::ZlibInflated z = pvtest::zlibInflateRaw(in, outSize);
    EXPECT_EQ(z.rc, Z_STREAM_END);
    z.data.resize(outSize);
    return std::move(z.data);
}

// A header made from fixed bytes, so that checks against other passwords are repeatable.
std::array<uint8_t, 24> fixedHeader(const std::string& password, uint32_t check) {
    TZipKeys k;
    k.Init(password);
    std::array<uint8_t, 24> buf{};
    for (size_t i = 0; i < 10; ++i) buf[12 + i] = k.EncryptByte(static_cast<uint8_t>(i * 37));
    buf[22] = k.EncryptByte(static_cast<uint8_t>(check >> 16));
    buf[23] = k.EncryptByte(static_cast<uint8_t>(check >> 24));
    return buf;
}

} // namespace

TEST(CryptZip, HeaderCheck) {
    TZipKeys k;
    auto buf = fixedHeader("secret", 0xAABBCCDD);
    EXPECT_FALSE(ZipCheckHeader(k, buf.data(), 12, 0, "", 0, 0xAABBCCDD)); // empty password
    buf = fixedHeader("secret", 0xAABBCCDD);
    EXPECT_TRUE(ZipCheckHeader(k, buf.data(), 12, 0, "secret", 0, 0xAABBCCDD));
    EXPECT_EQ(buf[11], 0xAA); // plain bytes land in the first half
    EXPECT_EQ(buf[10], 0xBB);
    buf = fixedHeader("secret", 0xAABBCCDD);
    EXPECT_FALSE(ZipCheckHeader(k, buf.data(), 12, 0, "Secret", 0, 0xAABBCCDD));
    buf = fixedHeader("secret", 0xAABBCCDD);
    EXPECT_FALSE(ZipCheckHeader(k, buf.data(), 12, 0, "secret", 0, 0x11BBCCDD));
    // Bit 3: the check byte is the high byte of the DOS time.
    buf = fixedHeader("secret", 0x5A3C0000);
    EXPECT_TRUE(ZipCheckHeader(k, buf.data(), 12, 0x08, "secret", 0x5A3C, 0));
    buf = fixedHeader("secret", 0x5A3C0000);
    EXPECT_FALSE(ZipCheckHeader(k, buf.data(), 12, 0x08, "secret", 0x5B3C, 0));
    EXPECT_FALSE(ZipCheckHeader(k, buf.data(), 0, 0, "secret", 0, 0));

    // Random headers of ZipMakeHeader pass with their password and check value.
    for (int i = 0; i < 20; ++i) {
        TZipKeys w, r;
        const auto h = ZipMakeHeader(w, "pw", 0x12345678u * static_cast<uint32_t>(i));
        std::array<uint8_t, 24> b{};
        std::copy(h.begin(), h.end(), b.begin() + 12);
        EXPECT_TRUE(ZipCheckHeader(r, b.data(), 12, 0, "pw", 0, 0x12345678u * static_cast<uint32_t>(i)));
        EXPECT_EQ(r.key0, w.key0); // both sides are ready for the data
        EXPECT_EQ(r.key2, w.key2);
    }
}

TEST(CryptZip, EncryptThenDecryptGivesTheDataBack) {
    auto data = pvtest::randomBytes(5000, 11);
    auto work = data;
    TZipKeys enc;
    enc.Init("a long password with spaces");
    enc.EncryptBuffer(work.data(), work.size());
    EXPECT_NE(work, data);
    TZipKeys dec;
    dec.Init("a long password with spaces");
    dec.DecryptBuffer(work.data(), work.size());
    EXPECT_EQ(work, data);
    // Only the first 255 password characters count.
    TZipKeys a, b;
    a.Init(std::string(255, 'p') + "x");
    b.Init(std::string(255, 'p') + "y");
    EXPECT_EQ(a.key0, b.key0);
    // The shared key state behaves the same.
    ZipInitKeys("pw");
    TZipKeys own;
    own.Init("pw");
    EXPECT_EQ(ZipEncryptByte(0x41), own.EncryptByte(0x41));
    EXPECT_EQ(ZipStreamByte(), own.StreamByte());
}

TEST(CryptZip, DecryptsWhatZipWrote) {
    PV_REQUIRE_PEER("zip");
    pvtest::TempDir dir;
    const std::string text = pvtest::sampleText(3000, 5);
    pvtest::writeFile(dir / "hello.txt", text);
    struct Variant {
        const char* label;
        std::string cmd;
    } variants[] = {
        {"stored", "zip -q -X -0 -P secret stored.zip hello.txt"},
        {"deflated", "zip -q -X -9 -P secret deflated.zip hello.txt"},
        {"streamed", "cat hello.txt | zip -q -X -0 -P secret streamed.zip -"}, // sets flag bit 3
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.label);
        ASSERT_EQ(pvtest::run(v.cmd, dir.path()).status, 0);
        const auto e = firstEntry(pvtest::readBytes(dir / (std::string(v.label) + ".zip")));
        ASSERT_TRUE(e.flags & 1);
        if (std::string(v.label) == "streamed") {
            ASSERT_TRUE(e.flags & 0x08);
        }
        std::vector<uint8_t> hdr(24);
        std::copy(e.data.begin(), e.data.begin() + 12, hdr.begin() + 12);
        TZipKeys k;
        ASSERT_TRUE(ZipCheckHeader(k, hdr.data(), 12, e.flags, "secret", e.time, e.crc));
        std::vector<uint8_t> body(e.data.begin() + 12, e.data.end());
        k.DecryptBuffer(body.data(), body.size());
        if (e.method == 8) body = inflateRaw(body, text.size());
        EXPECT_EQ(std::string(body.begin(), body.end()), text);
        EXPECT_EQ(Crc32Of(body.data(), body.size()), e.crc);
    }
}

TEST(CryptZip, UnzipAcceptsOurEncryption) {
    PV_REQUIRE_PEER("unzip");
    pvtest::TempDir dir;
    const std::string text = pvtest::sampleText(2000, 9);
    const std::string name = "note.txt";
    const uint32_t crc = Crc32Of(text.data(), text.size());
    const uint32_t dosTime = 0x5A3C6000; // 2025-01-28 12:00:00

    TZipKeys k;
    const auto header = ZipMakeHeader(k, "secret", crc);
    std::vector<uint8_t> body(text.begin(), text.end());
    k.EncryptBuffer(body.data(), body.size());

    // A one-entry stored zip: the encryption header, then the encrypted text.
    std::vector<uint8_t> packed(header.begin(), header.end());
    packed.insert(packed.end(), body.begin(), body.end());
    pvtest::ZipEntryFields f;
    f.flags = 1; // encrypted
    f.dosTime = static_cast<uint16_t>(dosTime);
    f.dosDate = static_cast<uint16_t>(dosTime >> 16);
    f.crc = crc;
    const auto zip = pvtest::oneEntryZip(name, pvtest::bytesOf(text), packed, 0, f);
    pvtest::writeBytes(dir / "ours.zip", zip);

    auto out = pvtest::run("unzip -P secret -p ours.zip note.txt", dir.path());
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.out, text);
    EXPECT_EQ(pvtest::run("unzip -t -P secret ours.zip", dir.path()).status, 0);
    EXPECT_NE(pvtest::run("unzip -t -P wrong ours.zip", dir.path()).status, 0);
}
