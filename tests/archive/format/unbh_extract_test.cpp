// TUnBH. No tool writes BH, so the archives are built here: 37-byte headers with the
// CRC-32 around stored data, a -lh5- stream cut out of a jlha archive (Fuse uses the -lh5-
// settings), a raw deflate stream cut out of gzip's output, each also encrypted with the
// traditional zip cipher (ZipMakeHeader, packed size counting the 12-byte header).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "archive/aeCommon.h"
#include "archive/codec/aeCrypt.h"
#include "archive/format/aeBhHeaders.h"
#include "archive/format/aeLhaHeaders.h"
#include "archive/format/aeUnBH.h"
#include "bytes.h"
#include "extract_outcome.h"
#include "testutil.h"

using namespace pvtest;

namespace {

struct Outcome : ExtractOutcome {
    int asked = 0; // OnGetPassword
};

Outcome runBh(TUnBH& u, const fs::path& archive, const fs::path& out, bool test = false,
              std::vector<std::string> passwords = {}, std::vector<std::string> answers = {}) {
    Outcome o;
    o.listen(u);
    u.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
        again = o.asked < static_cast<int>(answers.size());
        if (again) pw = answers[static_cast<size_t>(o.asked)];
        ++o.asked;
    };
    u.Passwords = std::move(passwords);
    o.run(u, archive, out, test);
    return o;
}

Outcome runBh(const fs::path& archive, const fs::path& out, bool test = false,
              std::vector<std::string> passwords = {}, std::vector<std::string> answers = {}) {
    TUnBH u;
    return runBh(u, archive, out, test, std::move(passwords), std::move(answers));
}

// One entry: header, name, optional encryption header, data (encrypted in place).
void appendEntry(std::vector<uint8_t>& arc, const std::string& name, uint8_t method,
                 const std::vector<uint8_t>& plain, std::vector<uint8_t> packed,
                 const std::string& password = {}, uint8_t version = 3, uint32_t marker = 1) {
    const uint32_t crc = Crc32Of(plain.data(), plain.size());
    std::vector<uint8_t> h(37, 0);
    put32(&h[0], aehdr::kBhSig);
    put16(&h[4], marker ? 37 + static_cast<uint32_t>(name.size()) : 0);
    h[6] = marker ? 37 : 0;
    h[7] = version;
    h[8] = 14;
    h[9] = password.empty() ? 0 : 1;
    h[10] = method;
    put32(&h[11], 0x5A2B6C00); // 2025-01-11 13:32
    std::vector<uint8_t> crypt;
    if (!password.empty()) {
        // The header's one check byte lets a wrong password through one time in 256; the
        // tests' wrong passwords must be turned away, so draw headers until they are.
        TZipKeys k;
        TZipCryptHeader ch;
        const auto letsThrough = [&](const std::string& wrong) {
            TZipKeys w;
            uint8_t plainHeader[kZipHeaderSize];
            return ZipCheckHeader(w, ch.data(), plainHeader, ch.size(), 0, wrong, 0, crc);
        };
        do ch = ZipMakeHeader(k, password, crc);
        while (letsThrough("x") || letsThrough("wrong"));
        crypt.assign(ch.begin(), ch.end());
        if (version < 3) k.Init(password);
        if (method != 0 || version >= 3) k.EncryptBuffer(packed.data(), packed.size());
    }
    put32(&h[15], static_cast<uint32_t>(packed.size() + crypt.size()));
    put32(&h[19], static_cast<uint32_t>(plain.size()));
    put32(&h[23], crc);
    put16(&h[27], 32);
    put16(&h[33], static_cast<uint32_t>(name.size()));
    arc.insert(arc.end(), h.begin(), h.end());
    arc.insert(arc.end(), name.begin(), name.end());
    arc.insert(arc.end(), crypt.begin(), crypt.end());
    arc.insert(arc.end(), packed.begin(), packed.end());
}

class UnBhFixtures : public ::testing::Test {
protected:
    void SetUp() override {
        plain = bytesOf(sampleText(40000, 11));
        writeBytes(t / "in" / "p.txt", plain);
        if (havePeer("gzip")) {
            ASSERT_EQ(run("gzip -n -9 -c p.txt > p.gz", t / "in").status, 0);
            const auto gz = readBytes(t / "in" / "p.gz");
            ASSERT_GT(gz.size(), 18u);
            deflated.assign(gz.begin() + 10, gz.end() - 8);
        }
        if (havePeer("jlha")) {
            ASSERT_EQ(run("jlha a0o5 p.lzh p.txt", t / "in").status, 0);
            const auto lzh = readBytes(t / "in" / "p.lzh");
            aehdr::Fetch fetch = [&](uint64_t o, size_t n) {
                if (o >= lzh.size()) return aehdr::Bytes{};
                return aehdr::Bytes(lzh.data() + o, std::min<size_t>(n, lzh.size() - o));
            };
            auto h = aehdr::readLhaHeader(fetch, 0);
            ASSERT_TRUE(h);
            ASSERT_EQ(h->method, "-lh5-");
            fused.assign(lzh.begin() + static_cast<std::ptrdiff_t>(h->headerLength),
                         lzh.begin() + static_cast<std::ptrdiff_t>(h->headerLength + h->packedSize));
        }
    }
    TempDir t;
    std::vector<uint8_t> plain, deflated, fused;
};

TEST_F(UnBhFixtures, EveryMethodPlainAndEncrypted) {
    if (deflated.empty() || fused.empty()) GTEST_SKIP() << "gzip and jlha are needed for the fixtures";
    for (const std::string pw : {"", "s3cret"}) {
        SCOPED_TRACE(pw.empty() ? "plain" : "encrypted");
        std::vector<uint8_t> arc;
        appendEntry(arc, "stored.txt", 0, plain, plain, pw);
        appendEntry(arc, "dir/fused.txt", 1, plain, fused, pw);
        appendEntry(arc, "deflate8.txt", 8, plain, deflated, pw);
        appendEntry(arc, "deflate2.txt", 2, plain, deflated, pw);
        appendEntry(arc, "empty.txt", 0, {}, {});
        const fs::path file = t / (pw.empty() ? "plain.bh" : "crypt.bh");
        writeBytes(file, arc);
        const fs::path out = t / (pw.empty() ? "o-plain" : "o-crypt");
        const Outcome x = runBh(file, out, false,
                                pw.empty() ? std::vector<std::string>{} : std::vector<std::string>{"x", pw});
        EXPECT_FALSE(x.failed());
        EXPECT_EQ(x.asked, 0); // found in Passwords
        ASSERT_EQ(x.ends.size(), 5u);
        for (const char* n : {"stored.txt", "dir/fused.txt", "deflate8.txt", "deflate2.txt"})
            EXPECT_EQ(readBytes(out / n), plain) << n;
        EXPECT_TRUE(readBytes(out / "empty.txt").empty());

        const Outcome tested = runBh(file, t / "tested", true, {pw});
        EXPECT_FALSE(tested.failed());
        EXPECT_FALSE(fs::exists(t / "tested"));
    }
}

TEST_F(UnBhFixtures, OldVersionEncryptionStartsTheKeysAfresh) {
    if (deflated.empty()) GTEST_SKIP() << "gzip is needed for the fixture";
    std::vector<uint8_t> arc;
    appendEntry(arc, "old-stored.txt", 0, plain, plain, "pw", 2);
    appendEntry(arc, "old-deflated.txt", 8, plain, deflated, "pw", 2);
    writeBytes(t / "old.bh", arc);
    const Outcome x = runBh(t / "old.bh", t / "out", false, {"pw"});
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(readBytes(t / "out" / "old-stored.txt"), plain);
    EXPECT_EQ(readBytes(t / "out" / "old-deflated.txt"), plain);
}

TEST_F(UnBhFixtures, WrongPasswordsAndMarkerZero) {
    std::vector<uint8_t> arc;
    appendEntry(arc, "skip.txt", 0, bytesOf("not an entry"), bytesOf("not an entry"), {}, 3, 0);
    appendEntry(arc, "a.txt", 0, plain, plain, "right");
    appendEntry(arc, "b.txt", 0, plain, plain, "right");
    writeBytes(t / "p.bh", arc);

    TUnBH u;
    const Outcome ok = runBh(u, t / "p.bh", t / "ok", false, {}, {"wrong", "right"});
    EXPECT_EQ(ok.asked, 2);
    EXPECT_TRUE(ok.hasError(26517));
    EXPECT_EQ(ok.ends.size(), 2u);
    ASSERT_FALSE(u.Passwords.empty());
    EXPECT_EQ(u.Passwords.front(), "right");
    EXPECT_FALSE(fs::exists(t / "ok" / "skip.txt"));
    EXPECT_EQ(readBytes(t / "ok" / "b.txt"), plain);

    const Outcome bad = runBh(t / "p.bh", t / "bad", false, {}, {"wrong"});
    EXPECT_TRUE(bad.hasError(26522));
    ASSERT_EQ(bad.ends.size(), 1u);
    EXPECT_FALSE(bad.ends[0].second);
    EXPECT_FALSE(fs::exists(t / "bad" / "a.txt"));
}

TEST_F(UnBhFixtures, WrongCrcAndTruncationFail) {
    if (deflated.empty()) GTEST_SKIP() << "gzip is needed for the fixture";
    std::vector<uint8_t> arc;
    appendEntry(arc, "d.txt", 8, plain, deflated, "pw");
    writeBytes(t / "good.bh", arc);
    auto wrong = arc;
    wrong[23] ^= 1;
    writeBytes(t / "crc.bh", wrong);
    const Outcome x = runBh(t / "crc.bh", t / "crc", false, {"pw"});
    ASSERT_EQ(x.ends.size(), 1u);
    EXPECT_FALSE(x.ends[0].second);
    EXPECT_FALSE(fs::exists(t / "crc" / "d.txt"));
    for (size_t n = 0; n < arc.size(); n += 37) {
        writeBytes(t / "cut.bh",
                   std::vector<uint8_t>(arc.begin(), arc.begin() + static_cast<std::ptrdiff_t>(n)));
        fs::remove_all(t / "cut");
        const Outcome c = runBh(t / "cut.bh", t / "cut", false, {"pw"});
        EXPECT_FALSE(fs::exists(t / "cut" / "d.txt")) << "cut at " << n;
        for (const auto& e : c.ends) EXPECT_FALSE(e.second) << "cut at " << n;
    }
}

TEST_F(UnBhFixtures, HostileNamesStayInside) {
    std::vector<uint8_t> arc;
    appendEntry(arc, "../up.txt", 0, bytesOf("up"), bytesOf("up"));
    appendEntry(arc, "C:\\win\\x.txt", 0, bytesOf("x"), bytesOf("x"));
    writeBytes(t / "h.bh", arc);
    const fs::path out = t / "a" / "out";
    const Outcome x = runBh(t / "h.bh", out);
    EXPECT_TRUE(x.failed());
    EXPECT_FALSE(fs::exists(t / "a" / "up.txt"));
    EXPECT_EQ(readFile(out / "win" / "x.txt"), "x");
}

} // namespace
