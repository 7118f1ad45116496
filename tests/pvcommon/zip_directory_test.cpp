// The zip directory walk every layer shares: central records with their zip64 widening, the
// end of the directory, damaged directories, and the end record behind a comment that holds
// an end signature of its own.
#include "common/ZipDirectory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace pvcommon;
using namespace pvcommon::zip;

struct Image {
    std::vector<uint8_t> bytes;
    Fetch fetch() const {
        return [this](uint64_t o, size_t n) -> Bytes {
            if (o >= bytes.size()) return {};
            return Bytes(bytes).subspan(static_cast<size_t>(o), std::min<size_t>(n, bytes.size() - o));
        };
    }
    void add(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void add(const std::string& s) { add(s.data(), s.size()); }
};

void AddCentral(Image& img, ZipCentralHeader h, const std::string& name, const std::string& extra,
                const std::string& comment) {
    h.nameLength = static_cast<uint16_t>(name.size());
    h.extraLength = static_cast<uint16_t>(extra.size());
    h.commentLength = static_cast<uint16_t>(comment.size());
    uint8_t fixed[ZipCentralHeader::kSize];
    putZipCentral(h, fixed);
    img.add(fixed, sizeof fixed);
    img.add(name);
    img.add(extra);
    img.add(comment);
}

std::string Zip64Extra(uint64_t size, uint64_t packed) {
    uint8_t b[20];
    PutLE16(b, kExtraZip64);
    PutLE16(b + 2, 16);
    PutLE64(b + 4, size);
    PutLE64(b + 12, packed);
    return std::string(reinterpret_cast<char*>(b), sizeof b);
}

TEST(ZipDirectoryWalk, ReadsRecordsWidensZip64AndStopsAtTheTrailer) {
    Image img;
    ZipCentralHeader a;
    a.method = 8;
    a.crc32 = 0x12345678;
    a.packedSize = 10;
    a.size = 20;
    a.localOffset = 0;
    AddCentral(img, a, "dir/a.txt", "", "first");
    ZipCentralHeader b;
    b.packedSize = k32Max;
    b.size = k32Max;
    b.localOffset = 77;
    AddCentral(img, b, "big.bin", Zip64Extra(0x100000000ull, 0x80000000ull), "");
    uint8_t sig[4];
    PutLE32(sig, kDigitalSignatureSig);
    img.add(sig, 4);

    ZipCentralRecord r;
    ASSERT_EQ(ReadZipCentral(img.fetch(), 0, r, 3), ZipCentralRead::Record);
    EXPECT_EQ(r.rawName, "dir/a.txt");
    EXPECT_EQ(r.comment, "fir"); // cut to the wanted length
    EXPECT_EQ(r.header.crc32, 0x12345678u);
    EXPECT_FALSE(r.zip64);
    EXPECT_EQ(r.next, ZipCentralHeader::kSize + 9 + 5);

    const uint64_t second = r.next;
    ASSERT_EQ(ReadZipCentral(img.fetch(), second, r), ZipCentralRead::Record);
    EXPECT_EQ(r.rawName, "big.bin");
    EXPECT_TRUE(r.zip64);
    EXPECT_EQ(r.header.size, 0x100000000ull);
    EXPECT_EQ(r.header.packedSize, 0x80000000ull);
    EXPECT_EQ(r.header.localOffset, 77u); // not deferred: kept as stored
    EXPECT_TRUE(r.comment.empty());
    EXPECT_EQ(ReadZipCentral(img.fetch(), r.next, r), ZipCentralRead::Trailer);
}

TEST(ZipDirectoryWalk, DamagedDirectoriesSayHow) {
    Image img;
    AddCentral(img, {}, "name.txt", "", "");
    const std::vector<uint8_t> whole = img.bytes;
    ZipCentralRecord r;
    struct Case {
        const char* what;
        size_t keep; // bytes kept of the record
        bool foreign;
        ZipCentralRead want;
    };
    const Case cases[] = {
        {"nothing left", 0, false, ZipCentralRead::Short},
        {"fixed part cut", 20, false, ZipCentralRead::Short},
        {"name cut", ZipCentralHeader::kSize + 3, false, ZipCentralRead::VarShort},
        {"local header where a central one belongs", whole.size(), true, ZipCentralRead::Foreign},
    };
    for (const Case& c : cases) {
        img.bytes.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.keep));
        if (c.foreign) PutLE32(img.bytes.data(), kLocalSig);
        EXPECT_EQ(ReadZipCentral(img.fetch(), 0, r), c.want) << c.what;
    }
}

TEST(ZipDirectoryEnd, TheRecordWhoseCommentRunsToTheEndOfTheFile) {
    Image img;
    img.add(std::string(100, 'x'));
    ZipEndRecord e;
    e.entries = e.entriesThisDisk = 3;
    e.centralOffset = 42;
    // The comment holds a complete end record of its own that does not reach the end.
    std::string comment(ZipEndRecord::kSize, '\0');
    ZipEndRecord fake;
    fake.centralOffset = 7;
    putZipEnd(fake, reinterpret_cast<uint8_t*>(comment.data()));
    comment += "tail";
    e.commentLength = static_cast<uint16_t>(comment.size());
    uint8_t fixed[ZipEndRecord::kSize];
    putZipEnd(e, fixed);
    img.add(fixed, sizeof fixed);
    img.add(comment);

    auto found = FindZipEnd(img.fetch(), img.bytes.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 100u);
    EXPECT_EQ(found->record.centralOffset, 42u);
    EXPECT_EQ(found->record.entries, 3);
    EXPECT_EQ(found->comment, comment);
    EXPECT_EQ(FindZipEnd(img.fetch(), img.bytes.size(), 4)->comment, comment.substr(0, 4));

    img.bytes.pop_back(); // the comment no longer reaches its stated length
    EXPECT_FALSE(FindZipEnd(img.fetch(), img.bytes.size()));
    EXPECT_FALSE(FindZipEnd(img.fetch(), 0));
}

// Bytes appended after a zip hide its end record from the strict search; the stand-ins'
// search (bytesAfter) still finds it.
TEST(ZipDirectoryEnd, BytesAfterTheZipOnlyWhenAllowed) {
    Image img;
    img.add(std::string(10, 'x'));
    ZipEndRecord e;
    e.entries = 1;
    uint8_t fixed[ZipEndRecord::kSize];
    putZipEnd(e, fixed);
    img.add(fixed, sizeof fixed);
    img.add("appended");
    EXPECT_FALSE(FindZipEnd(img.fetch(), img.bytes.size()));
    auto found = FindZipEnd(img.fetch(), img.bytes.size(), kMaxEndComment, true);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 10u);
    EXPECT_EQ(found->record.entries, 1);
}

// The local-header walk: a record with its zip64 sizes, then the answers for what else can
// stand at an offset.
TEST(ZipDirectoryLocal, ReadsRecordsAndTellsWhatElseStandsThere) {
    Image img;
    ZipLocalHeader h;
    h.method = 8;
    h.crc32 = 0xCAFEBABE;
    h.packedSize = k32Max;
    h.size = k32Max;
    const std::string name = "dir/a.txt", extra = Zip64Extra(5'000'000'000ull, 4'000'000'000ull);
    h.nameLength = static_cast<uint16_t>(name.size());
    h.extraLength = static_cast<uint16_t>(extra.size());
    uint8_t fixed[ZipLocalHeader::kSize];
    putZipLocal(h, fixed);
    img.add(fixed, sizeof fixed);
    img.add(name);
    img.add(extra);
    const size_t central = img.bytes.size();
    uint8_t sig[4];
    PutLE32(sig, kCentralSig);
    img.add(sig, 4);
    img.add("JUNK");

    ZipLocalRecord r;
    ASSERT_EQ(ReadZipLocal(img.fetch(), 0, r), ZipLocalRead::Record);
    EXPECT_EQ(r.rawName, name);
    EXPECT_TRUE(r.zip64);
    EXPECT_EQ(r.size, 5'000'000'000ull);
    EXPECT_EQ(r.packedSize, 4'000'000'000ull);
    EXPECT_EQ(r.header.crc32, 0xCAFEBABEu);
    EXPECT_EQ(r.data, central);
    EXPECT_EQ(ReadZipLocal(img.fetch(), central, r), ZipLocalRead::Trailer);
    EXPECT_EQ(ReadZipLocal(img.fetch(), central + 4, r), ZipLocalRead::Foreign);
    EXPECT_EQ(ReadZipLocal(img.fetch(), img.bytes.size() - 2, r), ZipLocalRead::End);

    Image cut; // the header whole, the name cut; then the header itself cut
    cut.add(fixed, sizeof fixed);
    cut.add(name.substr(0, 3));
    EXPECT_EQ(ReadZipLocal(cut.fetch(), 0, r), ZipLocalRead::VarShort);
    cut.bytes.resize(20);
    EXPECT_EQ(ReadZipLocal(cut.fetch(), 0, r), ZipLocalRead::Short);
}

} // namespace

// The zip64 end record in front of the end record: found where the locator says, or right
// in front of the locator when bytes in front of the zip moved everything; a locator
// without its record is a damaged end. Without a locator the end record's numbers stand,
// even when a count happens to be 0xFFFF.
TEST(ZipDirectoryEnd, Zip64EndRecordWidensTheNumbers) {
    auto build = [](size_t prefix, uint64_t storedAt, bool withRecord) {
        Image img;
        img.add(std::string(prefix + 300, 'd')); // entry data and directory stand-in
        const uint64_t recordAt = img.bytes.size();
        uint8_t rec[kEnd64Size] = {};
        PutLE32(rec, kEnd64Sig);
        PutLE64(rec + 4, kEnd64Size - 12);
        PutLE64(rec + 24, 70000);
        PutLE64(rec + 32, 70000);
        PutLE64(rec + 40, 200);
        PutLE64(rec + 48, 100);
        if (withRecord) img.add(rec, sizeof rec);
        uint8_t loc[kEnd64LocatorSize] = {};
        PutLE32(loc, kEnd64LocatorSig);
        PutLE64(loc + 8, storedAt == 0 ? recordAt - prefix : storedAt);
        PutLE32(loc + 16, 1);
        img.add(loc, sizeof loc);
        ZipEndRecord e;
        e.entries = e.entriesThisDisk = 0xFFFF;
        e.centralSize = 200;
        e.centralOffset = 100;
        uint8_t end[ZipEndRecord::kSize];
        putZipEnd(e, end);
        img.add(end, sizeof end);
        return std::make_pair(img, recordAt);
    };
    for (size_t prefix : {size_t{0}, size_t{1000}}) {
        SCOPED_TRACE(prefix);
        auto [img, recordAt] = build(prefix, 0, true);
        auto found = FindZipEnd(img.fetch(), img.bytes.size());
        ASSERT_TRUE(found);
        auto d = ResolveZipEnd(img.fetch(), *found);
        ASSERT_TRUE(d);
        EXPECT_TRUE(d->zip64);
        EXPECT_EQ(d->entries, 70000u);
        EXPECT_EQ(d->centralSize, 200u);
        EXPECT_EQ(d->centralOffset, 100u);
        EXPECT_EQ(d->directoryEnd, recordAt);
        EXPECT_FALSE(d->beyond32());
    }
    auto [broken, at] = build(0, 0, false);
    auto found = FindZipEnd(broken.fetch(), broken.bytes.size());
    ASSERT_TRUE(found);
    EXPECT_FALSE(ResolveZipEnd(broken.fetch(), *found));

    // No locator: the end record as it is.
    Image plain;
    plain.add(std::string(50, 'd'));
    ZipEndRecord e;
    e.entries = 0xFFFF;
    e.centralSize = 20;
    uint8_t end[ZipEndRecord::kSize];
    putZipEnd(e, end);
    plain.add(end, sizeof end);
    auto d = ResolveZipEnd(plain.fetch(), *FindZipEnd(plain.fetch(), plain.bytes.size()));
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->zip64);
    EXPECT_EQ(d->entries, 0xFFFFu);
    EXPECT_EQ(d->directoryEnd, 50u);
}
