// TUnZOO against archives built here field by field (no zoo program is at hand): stored,
// LZW from a small test encoder and -lh5- streams taken from lha, each accepted by lsar
// first; folders, long names, deleted entries and damaged archives.
#include <gtest/gtest.h>

#include <optional>

#include "archive/format/aeLhaHeaders.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/aeExtractors.h"
#include "archive/format/aeUnZOO.h"
#include "extract_outcome.h"
#include "format/extract_checks.h"
#include "lister_util.h"
#include "samples.h"
#include "testutil.h"
#include "zoo_encoders.h"

using namespace pvtest;
using zooenc::Bytes;

namespace {

ExtractOutcome runZoo(const fs::path& archive, const fs::path& out, bool test = false) {
    return runExtractor<TUnZOO>(archive, out, test);
}

void expectLsarAccepts(const fs::path& archive) {
    PV_REQUIRE_PEER("lsar");
    const RunResult r = run("lsar -t " + q(archive.string()));
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_NE(r.out.find(" 0 failed"), std::string::npos) << r.out;
}

Bytes text(size_t n, uint32_t seed) {
    const std::string s = sampleText(n, seed);
    return {s.begin(), s.end()};
}

// The -lh5- stream lha makes of `data` (method 2 of ZOO is that stream as it is); none when
// lha chose to store the data.
std::optional<Bytes> lh5Stream(const fs::path& dir, const Bytes& data) {
    writeBytes(dir / "lh5.in", data);
    const RunResult r = run("lha ao5 lh5.lzh lh5.in", dir);
    EXPECT_EQ(r.status, 0) << r.out;
    const std::vector<uint8_t> lzh = readBytes(dir / "lh5.lzh");
    auto h = aehdr::readLhaHeader(
        [&](uint64_t o, size_t n) {
            return aehdr::Bytes(lzh).subspan(
                std::min<size_t>(o, lzh.size()),
                std::min<size_t>(n, lzh.size() - std::min<size_t>(o, lzh.size())));
        },
        0);
    EXPECT_TRUE(h.has_value());
    if (!h || h->method != "-lh5-") return std::nullopt;
    fs::remove(dir / "lh5.lzh");
    const auto start = static_cast<std::ptrdiff_t>(h->headerLength);
    return Bytes(lzh.begin() + start, lzh.begin() + start + static_cast<std::ptrdiff_t>(h->packedSize));
}

zooenc::Entry entry(const std::string& name, int method, const Bytes& data, const Bytes& packed) {
    zooenc::Entry e;
    e.name = name;
    e.method = method;
    e.data = data;
    e.packed = packed;
    return e;
}

// ---- every method ----

TEST(UnZooMethods, StoredLzwAndLh5ExtractAndTestByteExact) {
    TempDir t;
    // Sizes around the buffers; the long text fills the 13-bit table and clears it; the
    // zeros make strings thousands of bytes long.
    const std::vector<Bytes> inputs = {Bytes{},        Bytes{'x'},       text(4091, 1),    text(4093, 2),
                                       text(32769, 3), text(1500000, 4), Bytes(3000000, 0)};
    std::vector<zooenc::Entry> entries;
    std::vector<std::pair<std::string, Bytes>> want;
    for (int m : {0, 1, 2}) {
        if (m == 2 && !havePeer("lha")) continue;
        for (size_t i = 0; i < inputs.size(); ++i) {
            const std::string name = "m" + std::to_string(m) + "_" + std::to_string(i) + ".dat";
            std::optional<Bytes> packed = m == 0 ? inputs[i] : zooenc::lzw(inputs[i]);
            if (m == 2) packed = lh5Stream(t.path(), inputs[i]);
            if (!packed) continue;
            entries.push_back(entry(name, m, inputs[i], *packed));
            want.emplace_back(name, inputs[i]);
        }
    }
    writeBytes(t / "x.zoo", zooenc::archive(entries));
    expectLsarAccepts(t / "x.zoo");
    if (HasFatalFailure() || IsSkipped()) return;

    expectExtractsAndTestsByteExact(runZoo, t / "x.zoo", t.path(), want);
}

// Once the codes are 13 bits wide they stay so until a clear: a stream that clears only
// once its table is full decodes across the clear.
TEST(UnZooMethods, LzwKeeps13BitCodesUntilTheClear) {
    Bytes in = text(600000, 8);
    const Bytes packed = zooenc::lzw(in);
    ae::SpanSource src{packed};
    ae::InputBuffer buf{src};
    ae::VectorSink sink;
    const ae::DecodeResult r = ae::DecodeZooLzw(buf, sink);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(sink.data, in);
    // A code above the next free code is refused.
    const Bytes bad = {0x00, 0x41 << 1 & 0xFF, 0x41 >> 7 | 0xF0, 0xFF, 0xFF};
    ae::SpanSource badSrc{bad};
    ae::InputBuffer badBuf{badSrc};
    ae::VectorSink badSink;
    EXPECT_EQ(ae::DecodeZooLzw(badBuf, badSink).status, ae::DecodeStatus::Corrupt);
}

// ---- names ----

TEST(UnZooNames, FoldersLongNamesAndDeletedEntries) {
    TempDir t;
    std::vector<zooenc::Entry> entries;
    entries.push_back(entry("short.txt", 0, {'s'}, {'s'}));
    zooenc::Entry deep = entry("LONGNA~1.TXT", 1, text(5000, 2), zooenc::lzw(text(5000, 2)));
    deep.longName = "long name.txt";
    deep.folder = "/sub/deep";
    entries.push_back(deep);
    zooenc::Entry gone = entry("gone.txt", 0, {'g'}, {'g'});
    gone.deleted = true;
    entries.push_back(gone);
    writeBytes(t / "x.zoo", zooenc::archive(entries));
    expectLsarAccepts(t / "x.zoo");
    if (HasFatalFailure() || IsSkipped()) return;

    const ExtractOutcome x = runZoo(t / "x.zoo", t / "out");
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(filesIn(t / "out"), (std::vector<std::string>{"short.txt", "sub/deep/long name.txt"}));
    EXPECT_EQ(readBytes(t / "out" / "sub" / "deep" / "long name.txt"), text(5000, 2));
}

// ---- damaged archives ----

TEST(UnZooDamaged, CheckValueThatIsNotTheNegatedOffsetIsABadHeader) {
    TempDir t;
    writeBytes(t / "x.zoo", zooenc::archive({entry("a.txt", 0, {'a'}, {'a'})}, 41));
    const ExtractOutcome o = runZoo(t / "x.zoo", t / "out");
    EXPECT_EQ(o.raised, 25110);
    EXPECT_EQ(countFiles(t / "out"), 0u);
}

struct Damage {
    const char* name;
    std::function<void(Bytes&, size_t second)> spoil;    // `second`: offset of the second entry
    int error;                                           // reported; 0: none expected
    std::vector<std::string> files = {"a.txt", "c.txt"}; // what extracts
};

class UnZooDamage : public ::testing::TestWithParam<Damage> {};

// Three entries; the second is spoiled. It fails (or ends the walk), nothing of it stays.
TEST_P(UnZooDamage, FailsCleanly) {
    const Damage& d = GetParam();
    TempDir t;
    const Bytes lz = text(20000, 5);
    std::vector<zooenc::Entry> entries = {entry("a.txt", 0, {'a'}, {'a'}),
                                          entry("b.txt", 1, lz, zooenc::lzw(lz)),
                                          entry("c.txt", 0, {'c'}, {'c'})};
    Bytes b = zooenc::archive(entries);
    const size_t second = 42 + 66 + 1;
    ASSERT_EQ(aehdr::le32(b.data() + second), zooenc::kTag);
    d.spoil(b, second);
    writeBytes(t / "x.zoo", b);
    expectDamagedEntryFails(runZoo, t / "x.zoo", t.path(), d.error, d.files);
}

const Damage kDamage[] = {
    {"ChainLoopsBack", [](Bytes& b, size_t at) { zooenc::put32(b, at + 6, 42); }, 25110, {"a.txt", "b.txt"}},
    {"ChainPastTheEnd",
     [](Bytes& b, size_t at) { zooenc::put32(b, at + 6, 0x7FFFFFFF); },
     25110,
     {"a.txt", "b.txt"}},
    {"TagMissing", [](Bytes& b, size_t at) { b[at] ^= 0xFF; }, 25110, {"a.txt"}},
    {"UnknownMethod", [](Bytes& b, size_t at) { b[at + 5] = 7; }, 25326},
    {"PackedSizePastTheEnd", [](Bytes& b, size_t at) { zooenc::put32(b, at + 24, 0x10000000); }, 25236},
    {"LzwDataDamaged", [](Bytes& b, size_t at) { b[at + 66 + 300] ^= 0x5A; }, 0},
    {"MoreOutputThanTheSize", [](Bytes& b, size_t at) { zooenc::put32(b, at + 20, 1000); }, 25139},
    {"FolderClimbsOut",
     [](Bytes& b, size_t at) {
         // Turn the long name (none) into a name that climbs: the short name field.
         const std::string up = "../x.txt";
         std::copy(up.begin(), up.end(), b.begin() + static_cast<std::ptrdiff_t>(at + 38));
     },
     25243},
};

INSTANTIATE_TEST_SUITE_P(UnZooDamages, UnZooDamage, ::testing::ValuesIn(kDamage),
                         [](const auto& c) { return std::string(c.param.name); });

} // namespace

namespace {

// The rows the lister shows are the names the extractors match: choosing each row alone
// extracts exactly that entry, for ZOO (folders, long names) and ARC (folder records).
TEST(UnZooNames, ListedNamesChooseTheirEntries) {
    TempDir t;
    std::vector<zooenc::Entry> entries;
    entries.push_back(entry("short.txt", 0, {'s'}, {'s'}));
    zooenc::Entry deep = entry("LONGNA~1.TXT", 0, {'l'}, {'l'});
    deep.longName = "long name.txt";
    deep.folder = "sub\\deep";
    entries.push_back(deep);
    writeBytes(t / "x.zoo", zooenc::archive(entries));
    arcenc::Archive a;
    a.entry(2, "first.txt", {'1'});
    a.folder("SUB");
    a.entry(2, "in.txt", {'2'});
    a.folderEnd();
    writeBytes(t / "x.arc", a.finish());

    for (const char* name : {"x.zoo", "x.arc"}) {
        const listertest::Listing l = listertest::listArchive((t / name).string());
        ASSERT_TRUE(l.ok) << name;
        for (const listertest::Listed& row : l.entries) {
            if (row.name.empty() || row.name.back() == '/') continue; // a folder row
            SCOPED_TRACE(std::string(name) + ": " + row.name);
            std::unique_ptr<TUnBase> u = CreateExtractor(l.type);
            ASSERT_TRUE(u);
            ExtractOutcome o;
            o.listen(*u);
            const fs::path out = t / ("out_" + std::to_string(std::hash<std::string>{}(row.name)));
            u->SetArchiveFile((t / name).string());
            u->SetExtractDir(out.string());
            u->SetFileSpec({row.name});
            u->Extract();
            EXPECT_FALSE(o.failed());
            EXPECT_EQ(filesIn(out), std::vector<std::string>{row.name});
        }
    }
}

} // namespace
