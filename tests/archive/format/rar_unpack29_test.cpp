// The RAR 2.9/3.x decoder: streams from our own packer (every symbol class, several table
// blocks, solid pairs) are first extracted by unar to prove the packer right, then decoded by
// rar::TUnpacker to the same bytes, fed whole and in small pieces; the standard filters'
// transforms against small known cases and test-side forward transforms; a filter program of
// no packer is refused as not supported; damaged streams give a clear result, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "rar29_encoder.h"
#include "rar_builder.h"
#include "stubs/unrar/RarFilters.h"
#include "stubs/unrar/RarUnpack.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using pvtest::q;
using pvtest::TempDir;

struct Decoded {
    rar::TResult result;
    Bytes data;
};

// One entry through u, the packed bytes handed over `chunk` bytes at a time.
Decoded unpack(rar::TUnpacker& u, const Bytes& packed, size_t size, bool solid = false,
               size_t chunk = size_t{1} << 20, uint8_t version = 29) {
    size_t at = 0;
    Decoded d;
    d.result = u.Unpack(
        version, solid, size,
        [&](uint8_t* buf, size_t n) -> ptrdiff_t {
            const size_t k = std::min({n, chunk, packed.size() - at});
            if (k) std::memcpy(buf, packed.data() + at, k);
            at += k;
            return static_cast<ptrdiff_t>(k);
        },
        [&](const uint8_t* p, size_t n) {
            d.data.insert(d.data.end(), p, p + n);
            return true;
        });
    return d;
}

Bytes text(size_t n, uint32_t seed) {
    const std::string s = pvtest::sampleText(n, seed);
    return Bytes(s.begin(), s.end());
}

// Rows of 48 bytes that mostly repeat the row above: matches at multiples of 48, whose low
// distance bits repeat, and at the old distances.
Bytes records(size_t rows) {
    Bytes b;
    const char* names[] = {"alpha   ", "bravo   ", "charlie ", "delta   "};
    for (size_t i = 0; i < rows; ++i) {
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(i >> (8 * k)));
        for (int k = 0; k < 4; ++k) b.insert(b.end(), names[(i / 7 + k) % 4], names[(i / 7 + k) % 4] + 8);
        for (int k = 0; k < 12; ++k) b.push_back(static_cast<uint8_t>((i % 5) * 3 + (k % 3)));
    }
    return b;
}

// Random blocks repeated far apart: matches in the top distance slots, with the length bonus
// of distances from 8 KiB and from 256 KiB.
Bytes far() {
    const Bytes a = pvtest::randomBytes(64 * 1024, 7), b = pvtest::randomBytes(300 * 1024, 8);
    Bytes d = a;
    d.insert(d.end(), b.begin(), b.end());
    d.insert(d.end(), a.begin(), a.end());
    d.insert(d.end(), b.begin() + 5000, b.begin() + 15000);
    const Bytes t = text(20000, 9);
    d.insert(d.end(), t.begin(), t.end());
    d.insert(d.end(), b.begin() + 290000, b.begin() + 290100);
    return d;
}

// A repeat over 1 MiB back: the distance slots of 18 extra bits.
Bytes farthest() {
    Bytes d = pvtest::randomBytes(1200 * 1024, 10);
    d.insert(d.end(), d.begin() + 100, d.begin() + 3000);
    return d;
}

// Long runs: distance 1 and 2 matches of every length and the repeat-last-match symbol.
Bytes runs() {
    Bytes d(5000, 'a');
    for (int i = 0; i < 3000; ++i) d.push_back(i % 2 ? 'b' : 'a');
    d.insert(d.end(), 70000, 0);
    for (int i = 0; i < 300; ++i) d.insert(d.end(), {'x', 'y', 'z', 'x', 'y', 'z', 'w'});
    return d;
}

struct StreamCase {
    const char* name;
    Bytes data;
    rar29enc::Options options;
};

std::vector<StreamCase> streamCases() {
    rar29enc::Options small, plain, literal;
    small.blockTokens = 97;
    plain.lowRepeat = plain.repeatLast = plain.oldDistances = plain.keepOld = false;
    literal.matches = false;
    return {
        {"text", text(120000, 1), {}},
        {"text in blocks of 97 symbols", text(30000, 2), small},
        {"records", records(3000), {}},
        {"records in small blocks", records(800), small},
        {"far repeats", far(), {}},
        {"farthest repeat", farthest(), {}},
        {"runs", runs(), {}},
        {"text, plain codes only", text(40000, 3), plain},
        {"records, plain codes only", records(1000), plain},
        {"random literals", pvtest::randomBytes(20000, 4), literal},
        {"one byte", {'x'}, {}},
        {"two bytes", {'x', 'y'}, {}},
    };
}

// What unar extracts from a one-volume archive of the entries, by name.
std::map<std::string, Bytes> unarExtract(const std::vector<rarfix::Entry>& entries, uint16_t mainFlags) {
    TempDir t;
    pvtest::writeBytes(t / "in.rar", rarfix::archive(entries, mainFlags));
    const auto r =
        pvtest::run("unar -q -f -D -o " + q((t / "out").string()) + " " + q((t / "in.rar").string()));
    EXPECT_EQ(r.status, 0) << r.out;
    std::map<std::string, Bytes> out;
    for (const rarfix::Entry& e : entries)
        if (pvtest::fs::exists(t / "out" / e.name)) out[e.name] = pvtest::readBytes(t / "out" / e.name);
    return out;
}

rarfix::Entry packedEntry(const std::string& name, const Bytes& data, const Bytes& packed,
                          bool solid = false) {
    rarfix::Entry e;
    e.name = name;
    e.data = data;
    e.version = 29;
    e.method = '3';
    e.packed = packed;
    if (solid) e.flags = 0x10;
    return e;
}

TEST(RarUnpack29, PackerStreamsAreReadByUnar) {
    PV_REQUIRE_PEER("unar");
    for (const StreamCase& c : streamCases()) {
        rar29enc::Encoder enc(c.options);
        const auto e = packedEntry("f.bin", c.data, enc.entry(c.data));
        const auto got = unarExtract({e}, 0);
        ASSERT_TRUE(got.count("f.bin")) << c.name;
        EXPECT_TRUE(got.at("f.bin") == c.data) << c.name << ": unar reads our packer differently";
    }
}

TEST(RarUnpack29, DecodesPackerStreams) {
    for (const StreamCase& c : streamCases()) {
        rar29enc::Encoder enc(c.options);
        const Bytes packed = enc.entry(c.data);
        for (size_t chunk : {size_t{1} << 20, size_t{7}, size_t{1}}) {
            if (chunk == 1 && c.data.size() > 200000) continue;
            rar::TUnpacker u;
            const Decoded d = unpack(u, packed, c.data.size(), false, chunk);
            EXPECT_EQ(d.result, rar::TResult::Ok) << c.name << ", chunk " << chunk;
            EXPECT_TRUE(d.data == c.data) << c.name << ", chunk " << chunk;
        }
    }
}

TEST(RarUnpack29, Version36UsesTheSameDecoder) {
    const Bytes data = text(5000, 5);
    rar29enc::Encoder enc;
    rar::TUnpacker u;
    const Decoded d = unpack(u, enc.entry(data), data.size(), false, size_t{1} << 20, 36);
    EXPECT_EQ(d.result, rar::TResult::Ok);
    EXPECT_TRUE(d.data == data);
}

// A solid archive: the second entry matches into the first one's window and continues its
// distances; it starts with new tables (coded as differences) or reuses the first's.
TEST(RarUnpack29, SolidEntriesContinueTheWindowAndTables) {
    const Bytes first = text(40000, 11);
    Bytes second(first.begin() + 1000, first.begin() + 9000);
    const Bytes more = records(300);
    second.insert(second.end(), more.begin(), more.end());
    const Bytes third = text(3000, 11);
    for (bool tablesNext : {true, false}) {
        rar29enc::Encoder enc;
        const auto e1 = packedEntry("one.txt", first, enc.entry(first, false, tablesNext));
        const auto e2 = packedEntry("two.txt", second, enc.entry(second, true, !tablesNext), true);
        const auto e3 = packedEntry("three.txt", third, enc.entry(third, true), true);
        const std::string what = tablesNext ? "new tables" : "tables kept";
        if (pvtest::havePeer("unar")) {
            const auto got = unarExtract({e1, e2, e3}, 0x08);
            EXPECT_TRUE(got.count("two.txt") && got.at("two.txt") == second) << what;
            EXPECT_TRUE(got.count("three.txt") && got.at("three.txt") == third) << what;
        } else {
            std::printf("unar missing: the solid streams are not checked by a peer\n");
        }
        rar::TUnpacker u;
        for (const auto* e : {&e1, &e2, &e3}) {
            const Decoded d = unpack(u, e->packed, e->data.size(), e != &e1);
            EXPECT_EQ(d.result, rar::TResult::Ok) << what << ": " << e->name;
            EXPECT_TRUE(d.data == e->data) << what << ": " << e->name;
        }
    }
}

// A solid entry without its predecessor decoded first has no window to match into: it must
// not decode to the right bytes by chance, and must not crash.
TEST(RarUnpack29, SolidEntryAloneDoesNotCrash) {
    const Bytes first = text(20000, 12);
    const Bytes second(first.begin() + 100, first.begin() + 5000);
    rar29enc::Encoder enc;
    enc.entry(first);
    const Bytes packed = enc.entry(second, true);
    rar::TUnpacker u;
    const Decoded d = unpack(u, packed, second.size(), true);
    EXPECT_FALSE(d.result == rar::TResult::Ok && d.data == second);
}

// ---- Filters ----

uint32_t get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// What the packer does to x86 code: relative call targets within the first 16 MiB become
// absolute (those just below it negative), so repeated calls to one function look alike.
void e8Encode(Bytes& d, uint32_t fileOffset, bool e9) {
    constexpr int64_t kSpan = 0x1000000;
    for (size_t pos = 0; pos + 4 < d.size();) {
        const uint8_t b = d[pos++];
        if (b != 0xE8 && !(e9 && b == 0xE9)) continue;
        const int64_t off = pos + fileOffset;
        const int64_t rel = static_cast<int32_t>(get32(&d[pos]));
        if (rel >= -off && rel < kSpan - off)
            put32(&d[pos], static_cast<uint32_t>(rel + off));
        else if (rel >= kSpan - off && rel < kSpan)
            put32(&d[pos], static_cast<uint32_t>(rel - kSpan));
        pos += 4;
    }
}

TEST(RarFilters, E8AndE9RoundTrip) {
    std::mt19937 rng(5);
    Bytes code(5000);
    for (size_t i = 0; i < code.size(); ++i) {
        const auto r = static_cast<uint32_t>(rng());
        code[i] = r % 5 == 0 ? 0xE8 : r % 7 == 0 ? 0xE9 : static_cast<uint8_t>(r >> 8);
        // Targets near the interesting edges: small, negative, and around 16 MiB.
        if (i % 23 == 0 && i + 5 < code.size()) {
            const int32_t targets[] = {10, -10, -4000, 0xFFFFF0, 0x1000010, -0x2000000, 3000};
            code[i] = 0xE8;
            put32(&code[i + 1], static_cast<uint32_t>(targets[(i / 23) % 7]));
            i += 4;
        }
    }
    for (bool e9 : {false, true})
        for (uint32_t offset : {0u, 1000u, 0xFFFF00u}) {
            Bytes d = code;
            e8Encode(d, offset, e9);
            EXPECT_FALSE(d == code);
            rar::E8Decode(d.data(), static_cast<uint32_t>(d.size()), offset, e9);
            EXPECT_TRUE(d == code) << "e9 " << e9 << " offset " << offset;
        }
    // Known case: an absolute target 0x10 seen at file offset 1 is the relative target 0x0F;
    // the last four bytes are never taken as an address.
    Bytes k = {0xE8, 0x10, 0, 0, 0, 0xE8, 1, 2, 3};
    rar::E8Decode(k.data(), static_cast<uint32_t>(k.size()), 0, false);
    EXPECT_EQ(k, (Bytes{0xE8, 0x0F, 0, 0, 0, 0xE8, 1, 2, 3}));
}

uint32_t bundleBits(const uint8_t* d, unsigned pos, unsigned n) {
    return (get32(d + pos / 8) >> (pos % 8)) & ((1u << n) - 1);
}
void setBundleBits(uint8_t* d, uint32_t v, unsigned pos, unsigned n) {
    const uint32_t mask = ((1u << n) - 1) << (pos % 8);
    put32(d + pos / 8, (get32(d + pos / 8) & ~mask) | (v << (pos % 8)));
}

TEST(RarFilters, ItaniumBranchTargets) {
    // Bundles of template 0x10 (a branch in slot 2) with opcode 5: the 20-bit target gets
    // the bundle's number (counting from the file's start, in 16-byte units) subtracted.
    Bytes d(16 * 8 + 4, 0); // room for the last bundle's 32-bit field access
    std::vector<uint32_t> targets;
    for (unsigned b = 0; b < 8; ++b) {
        uint8_t* p = &d[16 * b];
        p[0] = b == 3 ? 0x04 : 0x10; // bundle 3 has no branch slot
        setBundleBits(p, 5, 2 * 41 + 5 + 37, 4);
        const uint32_t t = 0x12345u + b * 0x1111u;
        setBundleBits(p, t, 2 * 41 + 5 + 13, 20);
        targets.push_back(t);
    }
    const Bytes before = d;
    rar::ItaniumDecode(d.data(), 16 * 8, 0x200);
    // Only bundles with 21 bytes from their start to the block's end are looked at.
    for (unsigned b = 0; b < 8; ++b) {
        const uint32_t want = (b == 3 || b == 7) ? targets[b] : ((targets[b] - (0x20 + b)) & 0xFFFFF);
        EXPECT_EQ(bundleBits(&d[16 * b], 2 * 41 + 5 + 13, 20), want) << "bundle " << b;
        EXPECT_EQ(bundleBits(&d[16 * b], 2 * 41 + 5 + 37, 4), 5u);
        EXPECT_EQ(d[16 * b], before[16 * b]);
    }
}

TEST(RarFilters, DeltaKnownAndRoundTrip) {
    const Bytes src = {1, 2, 3, 4, 5, 6};
    Bytes dst(6);
    rar::DeltaDecode(src.data(), dst.data(), 6, 2);
    EXPECT_EQ(dst, (Bytes{255, 252, 253, 247, 250, 241}));

    const Bytes orig = pvtest::randomBytes(999, 3);
    for (uint32_t channels : {1u, 3u, 4u, 7u}) {
        Bytes enc; // channel after channel, each byte as the difference from the previous
        for (uint32_t c = 0; c < channels; ++c) {
            uint8_t prev = 0;
            for (size_t i = c; i < orig.size(); i += channels) {
                enc.push_back(static_cast<uint8_t>(prev - orig[i]));
                prev = orig[i];
            }
        }
        Bytes out(orig.size());
        rar::DeltaDecode(enc.data(), out.data(), static_cast<uint32_t>(orig.size()), channels);
        EXPECT_TRUE(out == orig) << channels << " channels";
    }
}

// The packer's side of the image filter: green taken from red and blue, then each byte as
// its difference from the prediction made from its left, upper and upper-left neighbours.
Bytes rgbEncode(const Bytes& img, uint32_t width, uint32_t posR) {
    Bytes y = img;
    for (size_t i = posR; i + 2 < y.size(); i += 3) {
        y[i] = static_cast<uint8_t>(y[i] - y[i + 1]);
        y[i + 2] = static_cast<uint8_t>(y[i + 2] - y[i + 1]);
    }
    Bytes out;
    const size_t up = width - 3;
    for (size_t c = 0; c < 3; ++c)
        for (size_t i = c; i < y.size(); i += 3) {
            const int prev = i >= 3 ? y[i - 3] : 0;
            int pred = prev;
            if (i >= up + 3) {
                const int u = y[i - up], ul = y[i - up - 3];
                const int p = prev + u - ul;
                const int pa = std::abs(p - prev), pb = std::abs(p - u), pc = std::abs(p - ul);
                pred = (pa <= pb && pa <= pc) ? prev : pb <= pc ? u : ul;
            }
            out.push_back(static_cast<uint8_t>(pred - y[i]));
        }
    return out;
}

TEST(RarFilters, RgbKnownAndRoundTrip) {
    // One pixel: no neighbours, green added back to red and blue.
    const Bytes src = {251, 236, 249};
    Bytes dst(3);
    ASSERT_TRUE(rar::RgbDecode(src.data(), dst.data(), 3, 30, 0));
    EXPECT_EQ(dst, (Bytes{25, 20, 27}));

    // A gradient image 20 pixels wide, rows 60 bytes: the filter's width is 63.
    Bytes img;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            img.insert(img.end(), {static_cast<uint8_t>(x * 9 + y), static_cast<uint8_t>(y * 13),
                                   static_cast<uint8_t>(x * y + (x ^ y))});
    for (uint32_t posR : {0u, 1u, 2u}) {
        const Bytes enc = rgbEncode(img, 63, posR);
        Bytes out(img.size());
        ASSERT_TRUE(rar::RgbDecode(enc.data(), out.data(), static_cast<uint32_t>(img.size()), 63, posR));
        EXPECT_TRUE(out == img) << "posR " << posR;
    }
    Bytes out(img.size());
    EXPECT_FALSE(rar::RgbDecode(img.data(), out.data(), 30, 2, 0));  // width below one pixel
    EXPECT_FALSE(rar::RgbDecode(img.data(), out.data(), 30, 63, 3)); // red beyond the pixel
}

// The packer's side of the audio filter: each byte as its difference from the prediction,
// the predictor adapting on the differences exactly as the decoder's does.
Bytes audioEncode(const Bytes& in, uint32_t channels) {
    Bytes out;
    for (uint32_t c = 0; c < channels; ++c) {
        uint32_t prevByte = 0, prevDelta = 0, dif[7] = {};
        int d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
        for (uint32_t i = c, n = 0; i < in.size(); i += channels, ++n) {
            d3 = d2;
            d2 = static_cast<int>(prevDelta - static_cast<uint32_t>(d1));
            d1 = static_cast<int>(prevDelta);
            const uint32_t pred =
                ((8 * prevByte + static_cast<uint32_t>(k1 * d1 + k2 * d2 + k3 * d3)) >> 3) & 0xFF;
            const uint8_t cur = static_cast<uint8_t>(pred - in[i]);
            out.push_back(cur);
            const uint32_t value = pred - cur;
            prevDelta = static_cast<uint32_t>(static_cast<int8_t>(value - prevByte));
            prevByte = value;
            const int d = static_cast<int8_t>(cur) * 8;
            const int e[7] = {d, d - d1, d + d1, d - d2, d + d2, d - d3, d + d3};
            for (int j = 0; j < 7; ++j) dif[j] += static_cast<uint32_t>(std::abs(e[j]));
            if (n % 32) continue;
            unsigned best = 0;
            for (unsigned j = 1; j < 7; ++j)
                if (dif[j] < dif[best]) best = j;
            std::memset(dif, 0, sizeof dif);
            int* k[3] = {&k1, &k2, &k3};
            if (best && best % 2 == 1 && *k[(best - 1) / 2] >= -16) --*k[(best - 1) / 2];
            if (best && best % 2 == 0 && *k[(best - 1) / 2] < 16) ++*k[(best - 1) / 2];
        }
    }
    return out;
}

TEST(RarFilters, AudioKnownAndRoundTrip) {
    const Bytes src = {3};
    Bytes dst(1);
    rar::AudioDecode(src.data(), dst.data(), 1, 1);
    EXPECT_EQ(dst[0], 253); // nothing to predict from: 0 - 3

    Bytes wave; // two channels of a slow sine-like wave with noise
    std::mt19937 rng(9);
    for (int i = 0; i < 3000; ++i) {
        wave.push_back(
            static_cast<uint8_t>(128 + 100 * ((i % 200) < 100 ? i % 100 : 100 - i % 100) / 100 + rng() % 5));
        wave.push_back(static_cast<uint8_t>(i * 3 + rng() % 3));
    }
    for (uint32_t channels : {1u, 2u, 5u}) {
        const Bytes enc = audioEncode(wave, channels);
        Bytes out(wave.size());
        rar::AudioDecode(enc.data(), out.data(), static_cast<uint32_t>(wave.size()), channels);
        EXPECT_TRUE(out == wave) << channels << " channels";
    }
}

TEST(RarFilters, StandardProgramsAreKnownByLengthAndCrc) {
    const Bytes other(53, 0x11);
    EXPECT_EQ(rar::IdentifyFilter(other.data(), other.size()), rar::TFilterType::None);
    EXPECT_EQ(rar::Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

// A filter record whose program is none of the standard ones: the entry is not supported.
TEST(RarUnpack29, UnknownFilterProgramIsNotSupported) {
    rar29enc::BitWriter r;
    r.put(0b00'0001, 6);                            // filter number 1, the first one: new
    r.put(0b00'0000, 6);                            // block start: here
    r.put(0b01'00010000, 10);                       // block length 16
    r.put(0b00'0011, 6);                            // program of 3 bytes
    r.put(0x03, 8), r.put(0x01, 8), r.put(0x02, 8); // its check byte is right
    const Bytes rec = r.finish();                   // 7 bytes
    rar29enc::Options o;
    o.filterAtStart = {0x80 | 0x20 | 6, 0}; // number and length follow; record of 0 + 7 bytes
    o.filterAtStart.insert(o.filterAtStart.end(), rec.begin(), rec.end());
    const Bytes data = text(3000, 6);
    rar29enc::Encoder enc(o);
    rar::TUnpacker u;
    EXPECT_EQ(unpack(u, enc.entry(data), data.size()).result, rar::TResult::NotSupported);
}

// ---- Damaged streams ----

TEST(RarUnpack29, DamagedStreamsFailCleanly) {
    const Bytes data = text(30000, 21);
    rar29enc::Options o;
    o.blockTokens = 500;
    rar29enc::Encoder enc(o);
    const Bytes good = enc.entry(data);
    struct Damage {
        const char* what;
        std::function<Bytes()> make;
    };
    std::mt19937 rng(77);
    std::vector<Damage> cases = {
        {"empty", [] { return Bytes{}; }},
        {"first 10 bytes", [&] { return Bytes(good.begin(), good.begin() + 10); }},
        {"first half",
         [&] { return Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(good.size() / 2)); }},
        {"last byte gone", [&] { return Bytes(good.begin(), good.end() - 1); }},
        {"all zeros", [] { return Bytes(500, 0); }},
        {"all ones", [] { return Bytes(500, 0xFF); }},
    };
    for (size_t at :
         {size_t{0}, size_t{1}, size_t{3}, size_t{20}, good.size() / 3, good.size() / 2, good.size() - 2})
        cases.push_back({"flipped byte", [&good, at] {
                             Bytes b = good;
                             b[at] ^= 0x5A;
                             return b;
                         }});
    for (uint32_t seed = 1; seed <= 12; ++seed)
        cases.push_back({"random bytes", [seed] { return pvtest::randomBytes(seed * 97, seed); }});
    for (int i = 0; i < 12; ++i) {
        const size_t at = rng() % good.size();
        const Bytes junk = pvtest::randomBytes(40, static_cast<uint32_t>(100 + i));
        cases.push_back({"random run", [&good, at, junk] {
                             Bytes b = good;
                             for (size_t k = 0; k < junk.size() && at + k < b.size(); ++k)
                                 b[at + k] = junk[k];
                             return b;
                         }});
    }
    for (const Damage& c : cases) {
        const Bytes bad = c.make();
        rar::TUnpacker u;
        const Decoded d = unpack(u, bad, data.size());
        EXPECT_TRUE(d.result == rar::TResult::BadData || d.result == rar::TResult::Ok ||
                    d.result == rar::TResult::NotSupported)
            << c.what << ": " << static_cast<int>(d.result);
        EXPECT_LE(d.data.size(), data.size()) << c.what;
        if (d.result == rar::TResult::Ok) {
            EXPECT_EQ(d.data.size(), data.size()) << c.what;
        }
        // The same archive goes on working after a damaged entry.
        rar29enc::Encoder again;
        const Decoded next = unpack(u, again.entry(data), data.size());
        EXPECT_TRUE(next.result == rar::TResult::Ok && next.data == data) << c.what;
    }
}

// A refusing sink stops the run with a write error.
TEST(RarUnpack29, SinkRefusalIsAWriteError) {
    const Bytes data = text(600000, 31);
    rar29enc::Encoder enc;
    const Bytes packed = enc.entry(data);
    rar::TUnpacker u;
    size_t at = 0, got = 0;
    const rar::TResult r = u.Unpack(
        29, false, data.size(),
        [&](uint8_t* b, size_t n) -> ptrdiff_t {
            const size_t k = std::min(n, packed.size() - at);
            std::memcpy(b, packed.data() + at, k);
            at += k;
            return static_cast<ptrdiff_t>(k);
        },
        [&](const uint8_t*, size_t n) {
            got += n;
            return got < 100000;
        });
    EXPECT_EQ(r, rar::TResult::WriteError);
}

} // namespace
