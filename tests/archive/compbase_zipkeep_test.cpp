// The writer base copies kept zip entries as they stand: local extra fields and data
// descriptors included, local-header offsets moved to the new places. Driven by a writer
// made for the test that only deletes (it rewrites the central directory from the records);
// zips written by Info-ZIP zip (extra fields) and by Python on a pipe (data descriptors)
// must stay valid for unzip.
#include "archive/aeCompBase.h"
#include "support/bytes.h"
#include "support/testutil.h"
#include "platform/fileio.h"

#include <algorithm>

namespace {

namespace fs = std::filesystem;

using pvtest::le16;
using pvtest::le32;
using pvtest::put16;
using pvtest::put32;

class TZipDeleter : public TCompBase {
public:
    TZipDeleter() {
        FArcType = atZip;
        FOwnDefaultExt = FDefaultExt = ".zip";
        DeleteOptions = doFinal;
        Switch = swDelete;
    }
    int LocalHeaderLength() override { return 30; }

    void ScanExisting(int Handle) override {
        const int64_t size = platform::fileSize(Handle);
        const int64_t tail = std::min<int64_t>(size, 65557);
        std::vector<uint8_t> t(static_cast<size_t>(tail));
        ASSERT_TRUE(platform::readAt(Handle, size - tail, t.data(), tail));
        int64_t eocd = -1;
        for (int64_t i = tail - 22; i >= 0; --i)
            if (le32(&t[static_cast<size_t>(i)]) == 0x06054B50) {
                eocd = i;
                break;
            }
        ASSERT_GE(eocd, 0);
        const uint8_t* e = &t[static_cast<size_t>(eocd)];
        int64_t at = le32(e + 16);
        for (unsigned n = le16(e + 10); n > 0; --n) {
            uint8_t c[46];
            ASSERT_TRUE(platform::readAt(Handle, at, c, 46));
            ASSERT_EQ(le32(c), 0x02014B50u);
            std::string name(le16(c + 28), '\0');
            ASSERT_TRUE(platform::readAt(Handle, at + 46, name.data(), static_cast<int64_t>(name.size())));
            const int64_t next = at + 46 + le16(c + 28) + le16(c + 30) + le16(c + 32);
            if (MatchesFileSpec(name, false)) {
                ++FDeletedCount;
            } else {
                auto h = std::make_unique<THeadObject>();
                h->Header.assign(c, c + 46);
                put16(h->Header.data() + 30, 0); // central extra fields are not carried over
                put16(h->Header.data() + 32, 0);
                h->CompressedSize = le32(c + 20);
                h->UncompressedSize = le32(c + 24);
                h->Offset = le32(c + 42);
                h->Action = eaKeep;
                AddListEntry(name, std::move(h));
            }
            at = next;
        }
    }

    void AfterWrite() override {
        if (FTempHandle < 0) return;
        const int64_t start = platform::fileSize(FTempHandle);
        uint16_t n = 0;
        for (size_t i = 0; i < EntryCount(); ++i) {
            const auto& e = Entry(i);
            if (!e.Head || e.Head->Action == eaSkip) continue;
            platform::writeFile(FTempHandle, e.Head->Header.data(), 46);
            platform::writeFile(FTempHandle, e.Name.data(), static_cast<int64_t>(e.Name.size()));
            ++n;
        }
        const int64_t end = platform::fileSize(FTempHandle);
        uint8_t r[22] = {};
        put32(r, 0x06054B50);
        put16(r + 8, n);
        put16(r + 10, n);
        put32(r + 12, static_cast<uint32_t>(end - start));
        put32(r + 16, static_cast<uint32_t>(start));
        platform::writeFile(FTempHandle, r, 22);
    }
};

void deleteFrom(const fs::path& zip, const std::string& name) {
    TZipDeleter w;
    w.SetArchiveFile(zip.string());
    w.SetFileSpec({name});
    ASSERT_EQ(w.Compress(), 1);
}

TEST(CompBaseZipKeep, KeptEntriesStayValidForUnzip) {
    PV_REQUIRE_PEER("unzip");
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("python3");
    pvtest::TempDir tmp;
    const std::string a = pvtest::sampleText(20000, 1), b = "bravo", c = pvtest::sampleText(3000, 2);
    pvtest::writeFile(tmp / "a.txt", a);
    pvtest::writeFile(tmp / "b.txt", b);
    pvtest::writeFile(tmp / "c.txt", c);

    // Info-ZIP: local and central extra fields.
    ASSERT_EQ(pvtest::run("zip -q -X- info.zip a.txt b.txt c.txt", tmp.path()).status, 0);
    // Python on a pipe: every entry has flag bit 3 and a signed data descriptor.
    const std::string py = "import sys,zipfile\n"
                           "z=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_DEFLATED)\n"
                           "[z.write(n) for n in ('a.txt','b.txt','c.txt')]\n"
                           "z.close()\n";
    pvtest::writeFile(tmp / "mk.py", py);
    ASSERT_EQ(pvtest::run("python3 mk.py | cat > piped.zip", tmp.path()).status, 0);

    for (const char* zip : {"info.zip", "piped.zip"}) {
        SCOPED_TRACE(zip);
        deleteFrom(tmp / zip, "a.txt");
        const auto t = pvtest::run("unzip -t " + pvtest::q(zip), tmp.path());
        EXPECT_EQ(t.status, 0) << t.out;
        EXPECT_EQ(pvtest::run("unzip -p " + pvtest::q(zip) + " b.txt", tmp.path()).out, b);
        EXPECT_EQ(pvtest::run("unzip -p " + pvtest::q(zip) + " c.txt", tmp.path()).out, c);
        const auto list = pvtest::run("unzip -Z1 " + pvtest::q(zip), tmp.path());
        EXPECT_EQ(list.out, "b.txt\nc.txt\n");
    }
}

} // namespace
