// RAR 2.0 and 1.5 compression: streams written here (every kind of LZ symbol, table changes
// kept or fresh, multimedia blocks of 1 to 4 channels, switches between the modes, solid
// entries reusing or replacing tables; for 1.5 literals, short, long, far and repeated
// matches, old distances and the literal-only mode) are first extracted by unar, proving the
// writers right, then decoded here to the same bytes. Damaged streams end in an error, never
// a crash or a hang.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "rar20_encoder.h"
#include "stubs/unrar/RarUnpack.h"
#include "testutil.h"
#include "rar_builder.h"

using namespace pvtest;
using rarenc::lit;
using rarenc::match;
using rarenc::Tok;

namespace {

std::vector<Tok> literals(const std::vector<std::uint8_t>& d) {
    std::vector<Tok> t;
    for (auto b : d) t.push_back(lit(b));
    return t;
}
std::vector<std::uint8_t> text(std::size_t n, std::uint32_t seed) {
    const std::string s = sampleText(n, seed);
    return {s.begin(), s.end()};
}
void append(std::vector<Tok>& to, const std::vector<Tok>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// unar extracts exactly each entry's data (no peer: skipped by the caller).
void unarGives(const std::vector<rarfix::Entry>& entries, std::uint16_t mainFlags) {
    TempDir t;
    const fs::path arc = t / "t.rar";
    writeBytes(arc, rarfix::archive(entries, mainFlags));
    const fs::path out = t / "out";
    const RunResult r = run("unar -q -f -D -o " + q(out.string()) + " " + q(arc.string()));
    ASSERT_EQ(r.status, 0) << r.out;
    for (const auto& e : entries) {
        const auto got = readBytes(out / e.name);
        ASSERT_EQ(got.size(), e.data.size()) << e.name;
        EXPECT_TRUE(got == e.data) << e.name << ": unar extracts other bytes";
    }
}

struct Decoded {
    rar::TResult Result = rar::TResult::Ok;
    std::vector<std::vector<std::uint8_t>> Data;
};

Decoded ours(const std::vector<rarfix::Entry>& entries) {
    Decoded d;
    rar::TUnpacker u;
    for (const auto& e : entries) {
        std::size_t at = 0;
        auto src = [&](std::uint8_t* buf, std::size_t n) -> std::ptrdiff_t {
            n = std::min(n, e.packed.size() - at);
            if (n) std::memcpy(buf, e.packed.data() + at, n);
            at += n;
            return static_cast<std::ptrdiff_t>(n);
        };
        d.Data.emplace_back();
        auto& out = d.Data.back();
        auto sink = [&](const std::uint8_t* p, std::size_t n) {
            out.insert(out.end(), p, p + n);
            return true;
        };
        d.Result = u.Unpack(e.version, (e.flags & 0x10) != 0, e.data.size(), src, sink);
        if (d.Result != rar::TResult::Ok) break;
    }
    return d;
}

// The peer first, then us: the same bytes for every entry.
void RoundTrip(const std::vector<rarfix::Entry>& entries, bool solid) {
    if (havePeer("unar"))
        unarGives(entries, solid ? 0x08 : 0);
    else
        std::printf("unar missing (tools/deps.sh: unar): streams not checked by a peer\n");
    const Decoded d = ours(entries);
    ASSERT_EQ(d.Result, rar::TResult::Ok);
    ASSERT_EQ(d.Data.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(d.Data[i].size(), entries[i].data.size()) << entries[i].name;
        EXPECT_TRUE(d.Data[i] == entries[i].data) << entries[i].name;
    }
}

rarfix::Entry entry(const std::string& name, std::uint8_t version, std::vector<std::uint8_t> packed,
                    std::vector<std::uint8_t> data, bool solid = false) {
    rarfix::Entry e;
    e.name = name;
    e.data = std::move(data);
    e.version = version;
    e.method = '3';
    e.packed = std::move(packed);
    if (solid) e.flags = 0x10;
    return e;
}

// Every LZ symbol of 2.0: literals, each short-distance class, the four old distances with
// their length bonuses, the repeat, lengths of every class and distances up to the largest,
// with the length bonuses of far distances.
std::vector<Tok> Coverage20() {
    std::vector<Tok> t = literals(text(2000, 3));
    for (std::uint32_t d : {1u, 3u, 4u, 8u, 15u, 16u, 40u, 64u, 100u, 128u, 192u, 256u})
        t.push_back(match(2, d));
    t.push_back(match(5, 300));
    t.push_back(match(5, 300)); // repeat
    t.push_back(match(7, 1000));
    t.push_back(match(9, 300));  // old distance 2 back
    t.push_back(match(3, 1500)); // new
    t.push_back(match(4, 200));  // new
    t.push_back(match(6, 1000)); // 3 back
    t.push_back(match(11, 300)); // 3 back
    t.push_back(match(2, 200));  // 3 back, short
    for (unsigned len : {3u, 4u, 10u, 11u, 12u, 17u, 18u, 30u, 40u, 70u, 100u, 150u, 200u, 258u})
        t.push_back(match(len, 57));
    append(t, literals(randomBytes(0x100100, 4)));
    for (std::uint32_t d : {0x1FFFu, 0x2000u, 0x3FFFFu, 0x40000u, 0x80000u, 0xFFFFFu, 0x100000u})
        t.push_back(match(24, d));
    t.push_back(match(20, 0x40000)); // old distance with three bonus bytes
    t.push_back(match(5, 0x2000));
    t.push_back(match(259, 0x2000)); // longest with one bonus
    append(t, literals(text(500, 5)));
    return t;
}

} // namespace

TEST(RarUnpack20, EverySymbolKindAndTableChanges) {
    rarenc::Rar20Writer w;
    std::vector<rarenc::Block20> blocks(4);
    blocks[0].Toks = Coverage20();
    blocks[1].Toks = rarenc::greedy(text(30000, 7), 0x100000, 255);
    blocks[1].Keep = true; // lengths as changes of the previous table
    const auto t = text(5000, 8);
    blocks[2].Toks = literals(t); // a literal-only table (all distances unused)
    blocks[3].Toks = rarenc::greedy(text(20000, 9), 0xFFFF, 255);
    std::vector<std::uint8_t> data;
    const auto packed = w.file(blocks, false, data);
    RoundTrip({entry("lz.bin", 20, packed, data)}, false);
}

TEST(RarUnpack20, Multimedia) {
    struct Case {
        unsigned channels;
        bool lzAround; // LZ before and after the multimedia block
    };
    for (const Case c : {Case{1, false}, Case{2, false}, Case{3, true}, Case{4, false}, Case{2, true}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels" << (c.lzAround ? ", between LZ" : ""));
        // A smooth wave per channel with some noise: the predictor's coefficients move.
        std::vector<std::uint8_t> wave;
        std::mt19937 rng(c.channels);
        for (unsigned i = 0; i < 20000; ++i)
            wave.push_back(static_cast<std::uint8_t>(128 + 90 * std::sin(i / (7.0 + i % c.channels)) +
                                                     static_cast<double>(rng() % 9)));
        std::vector<rarenc::Block20> blocks;
        if (c.lzAround)
            blocks.push_back({false, 1, false, false, false, rarenc::greedy(text(3000, 1), 0xFFFF, 255), {}});
        blocks.push_back({true, c.channels, false, false, false, {}, wave});
        if (c.lzAround) {
            blocks.push_back({true,
                              c.channels,
                              true,
                              false,
                              false,
                              {},
                              std::vector<std::uint8_t>(wave.begin(), wave.begin() + 999)});
            blocks.push_back({false, 1, false, false, false, rarenc::greedy(text(3000, 2), 0xFFFF, 255), {}});
        }
        rarenc::Rar20Writer w;
        std::vector<std::uint8_t> data;
        const auto packed = w.file(blocks, false, data);
        RoundTrip({entry("audio.wav", 20, packed, data)}, false);
    }
}

TEST(RarUnpack20, SolidEntriesKeepOrReplaceTables) {
    rarenc::Rar20Writer w;
    std::vector<rarfix::Entry> entries;
    std::vector<std::uint8_t> data;
    auto a = text(8000, 21);
    rarenc::Block20 first;
    first.Toks = rarenc::greedy(a, 0xFFFF, 255);
    first.Dense = true; // the next entry codes with these tables
    auto p = w.file({first}, false, data);
    entries.push_back(entry("a.txt", 20, p, data));
    // Continues with the same tables, its matches reaching into the first entry.
    std::vector<std::uint8_t> b(a.begin() + 100, a.begin() + 3000);
    auto more = text(2000, 22);
    b.insert(b.end(), more.begin(), more.end());
    rarenc::Block20 reuse;
    reuse.Reuse = true;
    reuse.Dense = true;
    auto all = a;
    all.insert(all.end(), b.begin(), b.end());
    auto toks = rarenc::greedy(all, 0xFFFF, 255);
    // Keep only the tokens that make b (the greedy run crosses the boundary at a token edge).
    std::vector<Tok> tail;
    std::size_t pos = 0;
    for (const Tok& t : toks) {
        const std::size_t n = t.Len ? t.Len : 1;
        if (pos >= a.size())
            tail.push_back(t);
        else if (pos + n > a.size()) // split a token crossing into b
            for (std::size_t i = a.size(); i < pos + n; ++i) tail.push_back(lit(all[i]));
        pos += n;
    }
    reuse.Toks = tail;
    p = w.file({reuse}, true, data);
    ASSERT_TRUE(data == b);
    entries.push_back(entry("b.txt", 20, p, data, true));
    // Then new tables (kept as changes), and a multimedia entry.
    rarenc::Block20 fresh;
    fresh.Keep = true;
    fresh.Toks = rarenc::greedy(text(4000, 23), 0xFFFF, 255);
    p = w.file({fresh}, true, data);
    entries.push_back(entry("c.txt", 26, p, data, true));
    rarenc::Block20 audio;
    audio.Audio = true;
    audio.Channels = 2;
    for (unsigned i = 0; i < 5000; ++i) audio.Bytes.push_back(static_cast<std::uint8_t>(i * i / 97));
    p = w.file({audio}, true, data);
    entries.push_back(entry("d.raw", 20, p, data, true));
    RoundTrip(entries, true);
}

// Multimedia codes up to the longest, 15 bits, over a long noisy wave.
TEST(RarUnpack20, MultimediaLongCodes) {
    std::vector<std::uint8_t> wave;
    std::mt19937 rng(1);
    for (unsigned i = 0; i < 40000; ++i)
        wave.push_back(
            static_cast<std::uint8_t>(128 + 90 * std::sin(i / 7.0) + static_cast<double>(rng() % 9)));
    rarenc::Rar20Writer w;
    rarenc::Block20 b;
    b.Audio = true;
    b.Bytes = wave;
    std::vector<std::uint8_t> data;
    const auto packed = w.file({b}, false, data);
    ASSERT_TRUE(data == wave);
    RoundTrip({entry("long.wav", 20, packed, data)}, false);
}

// ---------------------------------------------------------------- 1.5

TEST(RarUnpack15, EveryPathOfTheAdaptiveCoder) {
    rarenc::Rar15Writer w;
    std::vector<Tok> t = rarenc::greedy(text(6000, 31), 0x7FFF, 255);
    append(t, literals(randomBytes(40, 32))); // a literal run: the literal-only mode
    t.push_back(match(3, 10));                // its short matches
    t.push_back(match(4, 5000));
    append(t, literals(randomBytes(5, 33)));
    t.push_back(match(20, 500)); // leaves that mode
    t.push_back(match(6, 40));
    t.push_back(match(6, 40)); // repeats
    t.push_back(match(6, 40));
    t.push_back(match(6, 40));
    t.push_back(match(6, 40));
    t.push_back(match(9, 41));
    t.push_back(match(5, 3000));
    t.push_back(match(7, 40)); // old distances
    t.push_back(match(8, 3000));
    for (unsigned len : {2u, 3u, 5u, 10u}) t.push_back(match(len, 17));
    for (unsigned len : {11u, 12u, 40u, 200u}) t.push_back(match(len, 200));
    append(t, literals(randomBytes(70000, 34)));
    t.push_back(match(10, 0x9000)); // far: needs the switch of the code table first
    t.push_back(match(30, 0xFFFF));
    t.push_back(match(100, 0x7FFF));
    append(t, rarenc::greedy(text(20000, 35), 0x7FFF, 255));
    std::vector<std::uint8_t> data;
    const auto packed = w.file(t, false, data);
    const auto& s = w.Seen;
    EXPECT_GT(s.Lit, 0u);
    EXPECT_GT(s.StLit, 0u);
    EXPECT_GT(s.StMatch, 0u);
    EXPECT_GT(s.StExit, 0u);
    EXPECT_GT(s.Short, 0u);
    EXPECT_GT(s.Repeat, 0u);
    EXPECT_GT(s.Repeat2, 0u);
    EXPECT_GT(s.OldDist, 0u);
    EXPECT_GT(s.Far, 0u);
    EXPECT_GT(s.Buf60, 0u);
    EXPECT_GT(s.Long, 0u);
    RoundTrip({entry("v15.bin", 15, packed, data)}, false);
}

TEST(RarUnpack15, SolidEntriesContinueTheState) {
    rarenc::Rar15Writer w;
    std::vector<rarfix::Entry> entries;
    std::vector<std::uint8_t> data;
    const auto a = text(10000, 41);
    auto p = w.file(rarenc::greedy(a, 0x7FFF, 255), false, data);
    entries.push_back(entry("a.txt", 15, p, data));
    std::vector<Tok> t = {match(50, 9000), match(30, 5000)}; // reaching into the first entry
    append(t, rarenc::greedy(text(3000, 42), 0x7FFF, 255));
    p = w.file(t, true, data);
    entries.push_back(entry("b.txt", 15, p, data, true));
    p = w.file(literals(randomBytes(300, 43)), true, data);
    entries.push_back(entry("c.bin", 15, p, data, true));
    RoundTrip(entries, true);
}

// ---------------------------------------------------------------- damage

TEST(RarUnpack20, DamagedStreamsEndInAnError) {
    std::vector<std::pair<std::string, rarfix::Entry>> samples;
    {
        rarenc::Rar20Writer w;
        std::vector<rarenc::Block20> b(2);
        b[0].Toks = rarenc::greedy(text(6000, 51), 0xFFFF, 255);
        b[1].Audio = true;
        b[1].Channels = 2;
        b[1].Bytes = randomBytes(3000, 52);
        std::vector<std::uint8_t> data;
        auto p = w.file(b, false, data);
        samples.push_back({"2.0", entry("x", 20, p, data)});
    }
    {
        rarenc::Rar15Writer w;
        std::vector<std::uint8_t> data;
        auto p = w.file(rarenc::greedy(text(6000, 53), 0x7FFF, 255), false, data);
        samples.push_back({"1.5", entry("x", 15, p, data)});
    }
    for (const auto& [name, good] : samples) {
        SCOPED_TRACE(name);
        struct Damage {
            const char* what;
            std::function<void(std::vector<std::uint8_t>&)> apply;
        };
        std::vector<Damage> damages = {
            {"empty", [](auto& p) { p.clear(); }},
            {"one byte", [](auto& p) { p.resize(1); }},
            {"half", [](auto& p) { p.resize(p.size() / 2); }},
            {"last byte gone", [](auto& p) { p.pop_back(); }},
            {"all ones", [](auto& p) { std::fill(p.begin(), p.end(), 0xFF); }},
            {"all zeros", [](auto& p) { std::fill(p.begin(), p.end(), 0x00); }},
        };
        for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{20},
                               good.packed.size() / 3, good.packed.size() - 2})
            damages.push_back({"flipped byte", [at](auto& p) { p[at] ^= 0x5A; }});
        for (std::uint32_t seed = 1; seed <= 12; ++seed)
            damages.push_back({"random bytes", [seed](auto& p) {
                                   std::mt19937 rng(seed);
                                   if (seed % 2)
                                       for (auto& b : p) b = static_cast<std::uint8_t>(rng());
                                   else
                                       for (int i = 0; i < 8; ++i)
                                           p[rng() % p.size()] = static_cast<std::uint8_t>(rng());
                               }});
        for (const Damage& d : damages) {
            SCOPED_TRACE(d.what);
            rarfix::Entry bad = good;
            d.apply(bad.packed);
            const Decoded r = ours({bad});
            if (r.Result == rar::TResult::Ok)
                EXPECT_EQ(r.Data[0].size(), good.data.size()); // a flip may decode to other bytes
            else
                EXPECT_EQ(r.Result, rar::TResult::BadData);
        }
        // A sink that refuses stops the run as a write error.
        rar::TUnpacker u;
        std::size_t at = 0;
        const auto& pk = good.packed;
        const rar::TResult r = u.Unpack(
            good.version, false, good.data.size(),
            [&](std::uint8_t* buf, std::size_t n) {
                n = std::min(n, pk.size() - at);
                if (n) std::memcpy(buf, pk.data() + at, n);
                at += n;
                return static_cast<std::ptrdiff_t>(n);
            },
            [](const std::uint8_t*, std::size_t) { return false; });
        EXPECT_EQ(r, rar::TResult::WriteError);
    }
}
