// Explode, unshrink and unreduce: streams from the test encoders round-trip; the same
// streams wrapped in a zip are accepted by unzip/7zz where those read the method; and
// damaged streams end with their verdict, never a crash or a runaway output.
#include "archive/codec/aeExplode.h"
#include "archive/codec/aeUnshrink.h"
#include "legacy_encoders.h"
#include "testutil.h"
#include "zipbuild.h"
#include "zlibutil.h"

#include <zlib.h>

#include <functional>
#include <iostream>

namespace {

using legacy::Bytes;

ae::DecodeResult decode(int method, std::uint16_t flags, const Bytes& packed, std::uint64_t size,
                        Bytes& out) {
    ae::SpanSource src{packed};
    ae::InputBuffer in{src};
    ae::VectorSink sink;
    ae::DecodeResult r;
    if (method == 1)
        r = ae::Unshrink(in, sink, size);
    else if (method >= 2 && method <= 5)
        r = ae::Unreduce(in, sink, static_cast<unsigned>(method - 1), size);
    else
        r = ae::Explode(in, sink, flags, size);
    out = std::move(sink.data);
    return r;
}

Bytes textInput(std::size_t n, std::uint32_t seed) {
    const std::string t = pvtest::sampleText(n, seed);
    Bytes b(t.begin(), t.end());
    // Some 0x90 bytes (the reduce escape), a run, and a few random bytes.
    for (std::size_t i = 100; i < b.size(); i += 977) b[i] = 0x90;
    if (b.size() > 3000) std::fill(b.begin() + 2000, b.begin() + 2700, 'r');
    auto r = pvtest::randomBytes(300, seed);
    b.insert(b.begin() + static_cast<long>(b.size() / 2), r.begin(), r.end());
    return b;
}

struct Method {
    const char* label;
    int method;
    std::uint16_t flags;
    std::function<Bytes(const Bytes&)> encode;
    std::size_t inputSize;
};

std::vector<Method> methods() {
    return {
        {"shrink", 1, 0, [](const Bytes& b) { return legacy::shrink(b); }, 60000},
        {"reduce1", 2, 0, [](const Bytes& b) { return legacy::reduce(b, 1); }, 5000},
        {"reduce2", 3, 0, [](const Bytes& b) { return legacy::reduce(b, 2); }, 5000},
        {"reduce3", 4, 0, [](const Bytes& b) { return legacy::reduce(b, 3, false); }, 5000},
        {"reduce4", 5, 0, [](const Bytes& b) { return legacy::reduce(b, 4); }, 6000},
        {"implode_4k_2trees", 6, 0, [](const Bytes& b) { return legacy::implode(b, 0); }, 30000},
        {"implode_8k_2trees", 6, 2, [](const Bytes& b) { return legacy::implode(b, 2); }, 30000},
        {"implode_4k_3trees", 6, 4, [](const Bytes& b) { return legacy::implode(b, 4); }, 30000},
        {"implode_8k_3trees", 6, 6, [](const Bytes& b) { return legacy::implode(b, 6); }, 30000},
    };
}

TEST(DecodersLegacy, RoundTripsTestEncoderStreams) {
    for (const auto& m : methods()) {
        for (std::uint32_t seed : {1u, 2u}) {
            const Bytes plain = textInput(m.inputSize, seed);
            const Bytes packed = m.encode(plain);
            Bytes got;
            auto r = decode(m.method, m.flags, packed, plain.size(), got);
            ASSERT_TRUE(r.ok()) << m.label << " status " << int(r.status) << " msg " << r.msg;
            ASSERT_EQ(got.size(), plain.size()) << m.label;
            EXPECT_TRUE(got == plain) << m.label;
        }
    }
}

TEST(DecodersLegacy, ShrinkWidensAndPartiallyClears) {
    // Random bytes fill the 8192-entry table quickly: widening to 13 bits and several
    // partial clears happen; the stream must still decode exactly.
    Bytes plain = pvtest::randomBytes(120000, 4);
    for (std::size_t i = 0; i < plain.size(); i += 3) plain[i] = 'a';
    const Bytes packed = legacy::shrink(plain);
    Bytes got;
    auto r = decode(1, 0, packed, plain.size(), got);
    ASSERT_TRUE(r.ok()) << r.msg;
    EXPECT_TRUE(got == plain);
    // A repeated byte makes the encoder use each code right as it is defined (KwKwK).
    const Bytes run(5000, 'k');
    ASSERT_TRUE(decode(1, 0, legacy::shrink(run), run.size(), got).ok());
    EXPECT_TRUE(got == run);
}

TEST(DecodersLegacy, EmptyAndCutStreams) {
    for (const auto& m : methods()) {
        const Bytes plain = textInput(m.inputSize / 4, 3);
        const Bytes packed = m.encode(plain);
        Bytes got;
        EXPECT_TRUE(decode(m.method, m.flags, {}, 0, got).ok()) << m.label;
        for (std::size_t keep : {std::size_t{0}, std::size_t{1}, packed.size() / 2, packed.size() - 1}) {
            const Bytes cut(packed.begin(), packed.begin() + static_cast<long>(keep));
            auto r = decode(m.method, m.flags, cut, plain.size(), got);
            EXPECT_EQ(r.status, ae::DecodeStatus::Truncated) << m.label << " keep " << keep;
            EXPECT_LE(got.size(), plain.size());
        }
        // A declared size below the real one stops output there.
        auto r = decode(m.method, m.flags, packed, plain.size() / 3, got);
        EXPECT_TRUE(r.ok()) << m.label;
        EXPECT_EQ(got.size(), plain.size() / 3);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin())) << m.label;
    }
}

TEST(DecodersLegacy, HostileStreams) {
    struct Case {
        const char* label;
        int method;
        std::uint16_t flags;
        Bytes stream;
        int msg;
    };
    Bytes implodeOverfull; // a length tree of 64 one-bit codes
    implodeOverfull.push_back(3);
    for (int i = 0; i < 4; ++i) implodeOverfull.push_back(0xF0);
    Bytes implodeShort = {0, 0x00};   // tree of one symbol only: 63 are missing
    legacy::LsbWriter unshrinkFuture; // code 300 before any string was defined
    unshrinkFuture.bits('a', 9);
    unshrinkFuture.bits(300, 9);
    legacy::LsbWriter unshrinkCtl; // control code 256 followed by 7
    unshrinkCtl.bits('a', 9);
    unshrinkCtl.bits(256, 9);
    unshrinkCtl.bits(7, 9);
    legacy::LsbWriter reduceBigSet; // a follower set of 40 bytes
    reduceBigSet.bits(40, 6);
    const std::vector<Case> cases = {
        {"implode_oversubscribed", 6, 0, implodeOverfull, ae::kMsgAmbiguousTree},
        {"implode_missing_symbols", 6, 0, implodeShort, ae::kMsgInvalidTree},
        {"unshrink_undefined_code", 1, 0, unshrinkFuture.finish(), ae::kMsgBadBlock},
        {"unshrink_bad_control", 1, 0, unshrinkCtl.finish(), ae::kMsgBadBlock},
        {"reduce_big_follower_set", 2, 0, reduceBigSet.finish(), ae::kMsgBadBlock},
    };
    for (const auto& c : cases) {
        Bytes got;
        auto r = decode(c.method, c.flags, c.stream, 1000, got);
        EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt) << c.label;
        EXPECT_EQ(r.msg, c.msg) << c.label;
    }
}

TEST(DecodersLegacy, AmbiguousImplodeTree) {
    // 64 symbols: 2 of length 1 and the rest of length 6 over-fill the code space; the
    // code assignment then gives a 6-bit code below a 1-bit one.
    Bytes t = {1, 0x10, 0xF5};
    for (int i = 0; i < 2; ++i) t.push_back(0xF5);
    t[0] = static_cast<std::uint8_t>(t.size() - 2);
    t.push_back(0xD5); // 14 more: 2 + 16*3 + 14 = 64
    t[0] = static_cast<std::uint8_t>(t.size() - 2);
    Bytes got;
    auto r = decode(6, 0, t, 100, got);
    EXPECT_EQ(r.status, ae::DecodeStatus::Corrupt);
    EXPECT_EQ(r.msg, ae::kMsgAmbiguousTree);
}

// ---- Peers ---------------------------------------------------------------------------
// A one-entry zip holding `packed` as method `method`.
Bytes zipOf(const std::string& name, const Bytes& plain, const Bytes& packed, int method,
            std::uint16_t flags) {
    pvtest::ZipEntryFields f;
    f.version = 10;
    f.flags = flags;
    f.dosDate = 0x21; // 1980-01-01
    return pvtest::oneEntryZip(name, plain, packed, method, f);
}

TEST(DecodersLegacy, PeersAcceptTheTestStreams) {
    PV_REQUIRE_PEER("unzip");
    pvtest::TempDir dir;
    std::size_t checked = 0;
    for (const auto& m : methods()) {
        const Bytes plain = textInput(m.inputSize, 5);
        const auto zip = dir / (std::string(m.label) + ".zip");
        pvtest::writeBytes(zip, zipOf("data.txt", plain, m.encode(plain), m.method, m.flags));
        // unzip reads shrink and implode; reduce only in some builds, 7zz fills in.
        auto r = pvtest::run("unzip -t " + pvtest::q(zip.string()));
        bool unsupported = r.out.find("unsupported") != std::string::npos ||
                           r.out.find("not supported") != std::string::npos;
        if (unsupported && pvtest::havePeer("7zz")) {
            r = pvtest::run("7zz t " + pvtest::q(zip.string()));
            unsupported = r.out.find("Unsupported") != std::string::npos;
        }
        if (unsupported) {
            std::cout << "no peer reads " << m.label << "\n";
            continue;
        }
        EXPECT_EQ(r.status, 0) << m.label << "\n" << r.out;
        ++checked;
    }
    EXPECT_GE(checked, 5u);
}

TEST(DecodersLegacy, UnzipReadsShrinkWithPartialClears) {
    PV_REQUIRE_PEER("unzip");
    pvtest::TempDir dir;
    Bytes plain = pvtest::randomBytes(120000, 4);
    for (std::size_t i = 0; i < plain.size(); i += 3) plain[i] = 'a';
    const auto zip = dir / "clears.zip";
    pvtest::writeBytes(zip, zipOf("data.bin", plain, legacy::shrink(plain), 1, 0));
    auto r = pvtest::run("unzip -t " + pvtest::q(zip.string()));
    EXPECT_EQ(r.status, 0) << r.out;
}

} // namespace

namespace {

// ---- aetool decode -----------------------------------------------------------------------
TEST(DecodersAetool, DecodesRawStreamsAndRefusesDamage) {
    pvtest::TempDir dir;
    const Bytes plain = textInput(20000, 8);
    struct Case {
        int method;
        unsigned flags;
        Bytes packed;
    };
    const Bytes deflated = pvtest::zlibDeflateRaw(plain, 9);
    const std::vector<Case> cases = {{0, 0, plain},
                                     {1, 0, legacy::shrink(plain)},
                                     {6, 6, legacy::implode(plain, 6)},
                                     {6, 0, legacy::implode(plain, 0)},
                                     {8, 0, deflated}};
    const std::string tool = pvtest::q(pvtest::aetool().string());
    for (const auto& c : cases) {
        const auto in = dir / "in.bin", out = dir / "out.bin";
        pvtest::writeBytes(in, c.packed);
        const std::string args = " -method " + std::to_string(c.method) + " -flags " +
                                 std::to_string(c.flags) + " -size " + std::to_string(plain.size()) + " " +
                                 pvtest::q(in.string()) + " " + pvtest::q(out.string());
        auto r = pvtest::run(tool + " decode" + args);
        ASSERT_EQ(r.status, 0) << c.method << ": " << r.out;
        EXPECT_EQ(r.out, "size\t" + std::to_string(plain.size()) + "\n");
        EXPECT_EQ(pvtest::readBytes(out), plain) << c.method;
        // Cut short: a failure, and no half output left behind.
        pvtest::writeBytes(
            in, Bytes(c.packed.begin(), c.packed.begin() + static_cast<long>(c.packed.size() / 2)));
        r = pvtest::run(tool + " decode" + args);
        EXPECT_EQ(r.status, 1) << c.method << ": " << r.out;
        EXPECT_FALSE(pvtest::fs::exists(out));
    }
    EXPECT_EQ(pvtest::run(tool + " decode -method 7 -size 1 a b").status, 2);
    EXPECT_EQ(pvtest::run(tool + " decode -method 8 a b").status, 2);
}

} // namespace
