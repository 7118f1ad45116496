// RAR 2.9 PPM blocks: streams written by the test encoder (text, binary, small memory with
// model restarts, orders 2 to 64, new escape characters, runs and matches, several blocks,
// a solid entry going on with the model) are first extracted by unar byte-exact, then
// decoded by rar::TPpmd with a loop that handles the escapes as the LZ decoder does; block
// headers that cannot start a model are refused, and damaged streams (cut, flipped, random
// tails) end in an error or other bytes, never a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "rar_builder.h"
#include "rar_ppmd_encoder.h"
#include "stubs/unrar/RarPpmd.h"
#include "testutil.h"

using namespace pvtest;
using ppmdtest::Block;
using ppmdtest::Bytes;

namespace {

rar::TSource sourceOf(const Bytes& packed) {
    auto pos = std::make_shared<std::size_t>(0);
    return [&packed, pos](std::uint8_t* buf, std::size_t n) -> std::ptrdiff_t {
        const std::size_t k = std::min(n, packed.size() - *pos);
        if (k) std::memcpy(buf, packed.data() + *pos, k);
        *pos += k;
        return static_cast<std::ptrdiff_t>(k);
    };
}

// Decodes one entry of Size bytes from a stream of PPM blocks onto Out (the entries before
// it stay there as the window), handling the escapes as the LZ decoder does, up to and with
// the end-of-file escape.
bool decodeEntry(rar::TPpmd& ppm, int& esc, const Bytes& packed, std::size_t size, Bytes& out) {
    rar::TBitInput in(sourceOf(packed));
    const std::size_t end = out.size() + size;
    const auto header = [&] {
        in.Align();
        return (in.Peek16() & 0x8000) != 0 && ppm.Init(in, esc);
    };
    const auto copy = [&](std::size_t len, std::size_t dist) {
        if (dist > out.size()) return false;
        for (; len && out.size() < end; --len) out.push_back(out[out.size() - dist]);
        return true;
    };
    if (!header()) return false;
    while (out.size() < end) {
        const int c = ppm.DecodeChar(in);
        if (c < 0) return false;
        if (c == esc) {
            const int n = ppm.DecodeChar(in);
            if (n == 0) {
                if (!header()) return false;
                continue;
            }
            if (n == 4) {
                int v[4];
                for (int& x : v)
                    if ((x = ppm.DecodeChar(in)) < 0) return false;
                if (!copy(static_cast<std::size_t>(v[3]) + 32,
                          (static_cast<std::size_t>(v[0]) << 16 | static_cast<std::size_t>(v[1]) << 8 |
                           static_cast<std::size_t>(v[2])) +
                              2))
                    return false;
                continue;
            }
            if (n == 5) {
                const int len = ppm.DecodeChar(in);
                if (len < 0 || !copy(static_cast<std::size_t>(len) + 4, 1)) return false;
                continue;
            }
            if (n != 1) return false; // 2 (end of file) before all bytes came, or unknown
        }
        out.push_back(static_cast<std::uint8_t>(c));
    }
    // The entry's last symbols are the end-of-file escape: the model takes them in too, and a
    // solid entry after this one goes on from there.
    return ppm.DecodeChar(in) == esc && ppm.DecodeChar(in) == 2;
}

Bytes decodeAlone(const Bytes& packed, std::size_t size, bool* ok) {
    rar::TPpmd ppm;
    int esc = 2;
    Bytes out;
    *ok = decodeEntry(ppm, esc, packed, size, out);
    return out;
}

// unar extracts the archive's entries as exactly their data.
void unarExtracts(const std::vector<rarfix::Entry>& entries, std::uint16_t mainFlags = 0) {
    if (!havePeer("unar")) {
        std::printf("unar missing (tools/deps.sh: unar): stream not checked by a peer\n");
        return;
    }
    TempDir t;
    const auto rar = t / "ppm.rar";
    writeBytes(rar, rarfix::archive(entries, mainFlags));
    const auto dir = t / "out";
    const RunResult r = run("unar -q -f -D -o " + q(dir.string()) + " " + q(rar.string()));
    ASSERT_EQ(r.status, 0) << r.out;
    for (const auto& e : entries) {
        const Bytes got = readBytes(dir / e.name);
        ASSERT_EQ(got.size(), e.data.size()) << e.name;
        EXPECT_TRUE(got == e.data) << e.name << ": unar extracts other bytes";
    }
}

rarfix::Entry entry(const std::string& name, const Bytes& data, const Bytes& packed,
                    std::uint16_t flags = 0) {
    rarfix::Entry e;
    e.name = name;
    e.data = data;
    e.version = 29;
    e.method = '3';
    e.packed = packed;
    e.flags = flags;
    return e;
}

Bytes textBytes(std::size_t n, std::uint32_t seed) {
    const std::string s = sampleText(n, seed);
    return Bytes(s.begin(), s.end());
}

// Text, random stretches, runs and repeats: exercises every path of the model.
Bytes mixed(std::size_t n, std::uint32_t seed) {
    Bytes d;
    std::mt19937 g(seed);
    const auto seedOf = [&g] { return static_cast<std::uint32_t>(g()); };
    while (d.size() < n) {
        switch (g() % 4) {
        case 0: {
            const Bytes t = textBytes(2000 + g() % 6000, seedOf());
            d.insert(d.end(), t.begin(), t.end());
            break;
        }
        case 1: {
            const Bytes r = randomBytes(500 + g() % 3000, seedOf());
            d.insert(d.end(), r.begin(), r.end());
            break;
        }
        case 2:
            d.insert(d.end(), 10 + g() % 600, static_cast<std::uint8_t>(g()));
            break;
        default:
            if (d.size() > 1000) {
                const std::size_t from = g() % (d.size() - 500), len = 40 + g() % 400;
                for (std::size_t k = 0; k < len; ++k) d.push_back(d[from + k]);
            }
        }
    }
    d.resize(n);
    return d;
}

struct StreamCase {
    const char* name;
    Bytes data;
    Block block;
    bool matches = false, runs = false;
    bool restarts = false; // the model must run out of memory on the way
};

std::vector<StreamCase> streamCases() {
    Bytes escapes = textBytes(30000, 5);
    for (std::size_t i = 0; i < escapes.size(); i += 7)
        escapes[i] = static_cast<std::uint8_t>(i % 3 ? 2 : 0xE1);
    return {
        {"text order 6", textBytes(60000, 1), {6, 1}},
        {"random order 2", randomBytes(20000, 2), {2, 1}},
        {"all byte values order 4",
         [] {
             Bytes b;
             for (int r = 0; r < 40; ++r)
                 for (int v = 0; v < 256; ++v) b.push_back(static_cast<std::uint8_t>(v * (r + 1)));
             return b;
         }(),
         {4, 1}},
        {"escape characters, default and new", escapes, {8, 2, true, 0xE1}},
        {"mixed 300 KB in 1 MB, order 16", mixed(300000, 3), {16, 1}, false, false, true},
        {"mixed 250 KB in 1 MB, order 64", mixed(250000, 4), {64, 1}, false, false, true},
        {"runs and matches, order 40", mixed(120000, 6), {40, 3}, true, true},
        {"empty", {}, {6, 1}},
    };
}

TEST(RarPpmd, UnarThenOursDecodeOneBlockStreams) {
    for (const StreamCase& c : streamCases()) {
        SCOPED_TRACE(c.name);
        ppmdtest::Writer w;
        w.begin(c.block);
        w.data(c.data, c.matches, c.runs);
        w.endFile();
        if (c.restarts) {
            EXPECT_GT(w.restarts(), 0u);
        }
        unarExtracts({entry("a.bin", c.data, w.out)});
        bool ok = false;
        const Bytes got = decodeAlone(w.out, c.data.size(), &ok);
        ASSERT_TRUE(ok);
        EXPECT_TRUE(got == c.data);
    }
}

// Three blocks in one stream: a new model, another new model (in less memory) with its own
// escape character, then the same model going on.
TEST(RarPpmd, BlocksResetOrContinueTheModel) {
    const Bytes a = textBytes(20000, 7), b = mixed(40000, 8), c = textBytes(30000, 9);
    ppmdtest::Writer w;
    w.begin({4, 3});
    w.data(a);
    w.endBlock();
    w.begin({10, 2, true, 'e'});
    w.data(b, true, true);
    w.endBlock();
    w.begin({10, 2, false});
    w.data(c);
    w.endFile();
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    unarExtracts({entry("blocks.txt", all, w.out)});
    bool ok = false;
    EXPECT_TRUE(decodeAlone(w.out, all.size(), &ok) == all);
    EXPECT_TRUE(ok);
}

// A solid archive: the second entry's block continues the first entry's model (and its
// escape character), its matches reach into the first entry.
TEST(RarPpmd, SolidEntryContinuesTheModel) {
    const Bytes a = mixed(50000, 10);
    Bytes b = textBytes(30000, 11);
    b.insert(b.end(), a.begin() + 1000, a.begin() + 1300);
    ppmdtest::Writer w;
    w.begin({12, 1, true, 0x7F});
    w.data(a);
    w.endFile();
    const Bytes packedA = w.out;
    w.out.clear();
    w.begin({12, 1, false});
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    w.data(b, false, true);
    w.match(static_cast<unsigned>(both.size() - 1000), 100);
    const Bytes tail(a.begin() + 1000, a.begin() + 1100);
    b.insert(b.end(), tail.begin(), tail.end());
    w.endFile();
    const Bytes packedB = w.out;
    unarExtracts({entry("a.bin", a, packedA), entry("b.txt", b, packedB, 0x10)}, 0x08);

    rar::TPpmd ppm;
    int esc = 2;
    Bytes out;
    ASSERT_TRUE(decodeEntry(ppm, esc, packedA, a.size(), out));
    ASSERT_TRUE(decodeEntry(ppm, esc, packedB, b.size(), out));
    EXPECT_TRUE(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(a.size())) == a);
    EXPECT_TRUE(Bytes(out.begin() + static_cast<std::ptrdiff_t>(a.size()), out.end()) == b);
}

// Block headers that cannot start: no model to continue, order 1, nothing at all.
TEST(RarPpmd, InitRefusesWhatCannotStart) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"continues a model never made", {0x85, 0, 0, 0, 0}},
        {"order 1", {0xA0, 0, 0, 0, 0, 0}},
        {"new escape but no model", {0xC5, 7, 0, 0, 0, 0}},
        {"empty (reads as zeros: no PPM block)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rar::TPpmd ppm;
        rar::TBitInput in(sourceOf(c.bytes));
        int esc = 2;
        EXPECT_FALSE(ppm.Init(in, esc));
        EXPECT_EQ(esc, 2);
        EXPECT_EQ(ppm.DecodeChar(in), -1);
    }
    // The most memory a block can ask for, 256 MiB, is granted; the block that follows may
    // continue that model.
    {
        rar::TPpmd ppm;
        int esc = 2;
        const Bytes big = {0xA5, 0xFF, 0, 0, 0, 0, 0xC5, 9, 0, 0, 0, 0};
        rar::TBitInput in(sourceOf(big));
        EXPECT_TRUE(ppm.Init(in, esc));
        EXPECT_TRUE(ppm.Init(in, esc));
        EXPECT_EQ(esc, 9);
    }
    // A model that failed to start cannot be continued either.
    rar::TPpmd ppm;
    int esc = 2;
    const Bytes bad = {0xA0, 0, 0, 0, 0, 0, 0x85, 0, 0, 0, 0};
    rar::TBitInput in(sourceOf(bad));
    EXPECT_FALSE(ppm.Init(in, esc));
    EXPECT_FALSE(ppm.Init(in, esc));
}

// Damaged streams end in an error or in other bytes; never a crash, a hang or a read out of
// bounds (the sanitizers watch).
TEST(RarPpmd, DamagedStreamsFailCleanly) {
    const Bytes data = mixed(60000, 12);
    ppmdtest::Writer w;
    w.begin({8, 1, true, 0x41});
    w.data(data, true, true);
    w.endFile();
    const Bytes good = w.out;
    struct Damage {
        const char* name;
        Bytes packed;
        bool mustFail;
    };
    std::vector<Damage> cases;
    for (std::size_t cut : {std::size_t{1}, std::size_t{3}, std::size_t{7}, good.size() / 3, good.size() / 2,
                            good.size() - 200})
        cases.push_back({"cut", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), true});
    for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5},
                           std::size_t{40}, good.size() / 4, good.size() / 2, good.size() - 40}) {
        for (std::uint8_t mask : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0x5A}}) {
            Bytes b = good;
            b[at] ^= mask;
            cases.push_back({"flip", b, false});
        }
    }
    std::mt19937 g(99);
    for (std::size_t from : {std::size_t{3}, std::size_t{64}, good.size() / 5, good.size() / 2}) {
        Bytes b = good;
        for (std::size_t i = from; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(g());
        cases.push_back({"random tail", b, false});
    }
    for (int k = 0; k < 4; ++k) {
        Bytes b(2000);
        for (auto& x : b) x = static_cast<std::uint8_t>(g());
        b[0] = static_cast<std::uint8_t>(0xA0 | (b[0] & 0x5F)); // a PPM block with a new model
        b[1] = static_cast<std::uint8_t>(b[1] & 0x0F);          // in at most 16 MiB
        cases.push_back({"random block", b, false});
    }
    for (const Damage& d : cases) {
        SCOPED_TRACE(std::string(d.name) + " of " + std::to_string(d.packed.size()) + " bytes");
        bool ok = false;
        const Bytes got = decodeAlone(d.packed, data.size(), &ok);
        if (d.mustFail) {
            EXPECT_FALSE(ok);
        }
        EXPECT_TRUE(!ok || got.size() == data.size());
    }
}

} // namespace
