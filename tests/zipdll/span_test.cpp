// Spanned sets: WriteSpan onto numbered files of a fixed drive and onto emulated floppies,
// the parts checked against their limits and read by 7zz and zip; ReadSpan joining them back
// byte-exact; listing and extracting a set; and what cancelling or a bad set leaves behind.
#include "support/env.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"
#include "ziptest.h"

#include <unistd.h>

#include <cstring>

using namespace pvtest;
using namespace ziptest;

namespace {

struct Front {
    TZipFront z;
    Events ev;
    Front() { attach(z, ev); }
};

// Several entries smaller than a part, compressible and not, stored and deflated, one in a
// subfolder, so that entries cross part ends at many places.
fs::path inputZip(const TempDir& t, int files = 10) {
    for (int i = 0; i < files; ++i) {
        const std::string name =
            (i == 3 ? "sub/" : "") + ("f" + std::to_string(i)) + (i % 2 ? ".bin" : ".txt");
        if (i % 2)
            writeBytes(t / "in" / name, randomBytes(15000 + 4000 * i, i));
        else
            writeFile(t / "in" / name, sampleText(20000 + 5000 * i, i));
    }
    const fs::path zip = t / "src.zip";
    auto r = run("zip -qr -X " + q(zip.string()) + " .", t / "in");
    EXPECT_EQ(r.status, 0) << r.out;
    return zip;
}

// The same files written by a stream, so every entry has a data descriptor.
fs::path streamedZip(const TempDir& t) {
    inputZip(t, 6);
    auto r = python("import zipfile, os, sys\n"
                    "class W:\n"
                    "    def __init__(s, f): s.f = f\n"
                    "    def write(s, b): return s.f.write(b)\n"
                    "    def flush(s): s.f.flush()\n"
                    "with open('streamed.zip', 'wb') as f:\n"
                    "    with zipfile.ZipFile(W(f), 'w', zipfile.ZIP_DEFLATED) as z:\n"
                    "        for root, dirs, files in os.walk('in'):\n"
                    "            for n in sorted(files):\n"
                    "                p = os.path.join(root, n)\n"
                    "                z.write(p, os.path.relpath(p, 'in'))\n",
                    t.path());
    EXPECT_EQ(r.status, 0) << r.out;
    return t / "streamed.zip";
}

// Checks a set given as its parts in order: the first begins with the spanning signature,
// every central header names the part and offset of a local header that lies whole on
// that part, and the end record's numbers agree.
void checkSet(const std::vector<std::string>& parts) {
    ASSERT_FALSE(parts.empty());
    ASSERT_GE(parts[0].size(), 8u);
    EXPECT_EQ(le32(parts[0], 0), 0x08074b50u);
    EXPECT_EQ(le32(parts[0], 4), 0x04034b50u);
    const std::string& last = parts.back();
    const size_t eocd = last.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(eocd, std::string::npos);
    EXPECT_EQ(le16(last, eocd + 4), parts.size() - 1);
    const size_t cdDisk = le16(last, eocd + 6), total = le16(last, eocd + 10);
    std::string joined;
    std::vector<size_t> starts;
    for (auto& p : parts) {
        starts.push_back(joined.size());
        joined += p;
    }
    size_t at = starts.at(cdDisk) + le32(last, eocd + 16);
    for (size_t i = 0; i < total; ++i) {
        ASSERT_EQ(le32(joined, at), 0x02014b50u) << "central header " << i;
        const size_t nl = le16(joined, at + 28), xl = le16(joined, at + 30), cl = le16(joined, at + 32);
        const size_t disk = le16(joined, at + 34), off = le32(joined, at + 42);
        ASSERT_LT(disk, parts.size());
        const std::string& part = parts[disk];
        ASSERT_LE(off + 30, part.size());
        EXPECT_EQ(le32(part, off), 0x04034b50u);
        EXPECT_LE(off + 30 + le16(part, off + 26) + le16(part, off + 28), part.size())
            << "a local header straddles";
        at += 46 + nl + xl + cl;
    }
}

// The parts as the peers name them (x.z01 ... x.zip), tested with 7zz and with zip -s 0.
void peersAccept(const TempDir& t, const std::vector<std::string>& parts) {
    const fs::path dir = t / "peer";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "x.z%02zu", i + 1);
        writeFile(dir / name, parts[i]);
    }
    writeFile(dir / "x.zip", parts.back());
    if (havePeer("7zz")) {
        auto r = run("7zz t x.zip", dir);
        EXPECT_EQ(r.status, 0) << r.out;
    }
    if (havePeer("zip") && havePeer("unzip")) {
        auto r = run("zip -s 0 x.zip --out j.zip && unzip -tq j.zip", dir);
        EXPECT_EQ(r.status, 0) << r.out;
    }
}

std::vector<std::string> fixedParts(const fs::path& dir, const std::string& stem) {
    std::vector<std::string> parts;
    for (int i = 1;; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%03d.zip", stem.c_str(), i);
        if (!fs::exists(dir / name)) break;
        parts.push_back(readFile(dir / name));
    }
    return parts;
}

class Span : public ::testing::Test {
protected:
    void SetUp() override { cwd_ = fs::current_path(); }
    void TearDown() override { fs::current_path(cwd_); }
    fs::path cwd_;
};

} // namespace

TEST_F(Span, FixedDriveSetsKeepTheirLimitsAndJoinBack) {
    PV_REQUIRE_PEER("zip");
    for (bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "data descriptors" : "plain");
        TempDir t;
        const fs::path zip = streamed ? streamedZip(t) : inputZip(t);
        const std::string original = readFile(zip);
        fs::create_directories(t / "set");
        Front f;
        f.z.MaxVolumeSize = 65536;
        f.z.KeepFreeOnDisk1 = 10000;
        f.z.MinFreeVolumeSize = 4096;
        ASSERT_EQ(f.z.WriteSpan(zip.string(), (t / "set/backup.zip").string()), 0) << f.ev.all();
        EXPECT_TRUE(readFile(zip) == original);
        const auto parts = fixedParts(t / "set", "backup");
        ASSERT_GE(parts.size(), streamed ? 2u : 3u);
        EXPECT_LE(parts[0].size(), 65536u - 10000u);
        for (auto& p : parts) EXPECT_LE(p.size(), 65536u);
        checkSet(parts);
        peersAccept(t, parts);
        // Only the parts are left in the folder.
        size_t files = 0;
        for (auto& e : fs::directory_iterator(t / "set")) files += e.is_regular_file();
        EXPECT_EQ(files, parts.size());

        const std::string last =
            (t / "set" /
             ("backup" + std::string(parts.size() < 10 ? "00" : "0") + std::to_string(parts.size()) + ".zip"))
                .string();
        std::string out = (t / "joined.dat").string();
        Front g;
        ASSERT_EQ(g.z.ReadSpan(last, out), 0) << g.ev.all();
        EXPECT_EQ(out, (t / "joined.zip").string());
        EXPECT_TRUE(readFile(out) == original);
    }
}

// The directory itself spread over parts: List reads it across them, and Extract joins the
// set and extracts it byte-exact.
TEST_F(Span, ListAndExtractASet) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    for (int i = 0; i < 120; ++i)
        writeFile(t / "in" / ("d" + std::to_string(i / 40)) / ("file" + std::to_string(i)),
                  sampleText(300 + i * 7, i));
    ASSERT_EQ(run("zip -qr -X ../src.zip .", t / "in").status, 0);
    fs::create_directories(t / "set");
    Front f;
    f.z.MaxVolumeSize = 4096;
    f.z.MinFreeVolumeSize = 0;
    ASSERT_EQ(f.z.WriteSpan((t / "src.zip").string(), (t / "set/s.zip").string()), 0) << f.ev.all();
    const auto parts = fixedParts(t / "set", "s");
    checkSet(parts);
    char last[32];
    std::snprintf(last, sizeof last, "set/s%03zu.zip", parts.size());
    const std::string& lp = parts.back();
    const size_t eocd = lp.rfind(std::string("PK\x05\x06", 4));
    ASSERT_LT(le16(lp, eocd + 6), le16(lp, eocd + 4)) << "the directory should start on an earlier part";

    Front g;
    g.z.SetZipFileName((t / last).string());
    EXPECT_EQ(g.z.Count(), 120) << g.ev.all();
    EXPECT_EQ(g.z.TotalDisks(), static_cast<int>(parts.size()) - 1);
    fs::create_directories(t / "out");
    g.z.ExtrBaseDir = (t / "out").string();
    g.z.ExtrOptions = {ExtrDirNames};
    g.z.Extract();
    fs::current_path(cwd_);
    EXPECT_EQ(g.z.SuccessCnt, 120) << g.ev.all();
    EXPECT_EQ(tree(t / "out"), tree(t / "in"));

    // On a fixed drive every part is there: a set chosen by its first part, or by one of
    // the middle, lists and joins from its last part.
    Front h;
    std::string fromLast = (t / "fromLast.zip").string();
    ASSERT_EQ(h.z.ReadSpan((t / last).string(), fromLast), 0) << h.ev.all();
    for (const char* part : {"set/s001.zip", "set/s002.zip"}) {
        SCOPED_TRACE(part);
        std::string out = (t / "joined.zip").string();
        EXPECT_EQ(h.z.ReadSpan((t / part).string(), out), 0) << h.ev.all();
        EXPECT_TRUE(readFile(out) == readFile(fromLast));
        h.z.SetZipFileName((t / part).string());
        EXPECT_EQ(h.z.Count(), 120) << h.ev.all();
        EXPECT_EQ(h.z.TotalDisks(), static_cast<int>(parts.size()) - 1);
    }
    std::string out;
    // A part missing in the middle.
    fs::rename(t / "set/s002.zip", t / "s002.keep");
    out = (t / "j.zip").string();
    EXPECT_EQ(h.z.ReadSpan((t / last).string(), out), -7);
    EXPECT_TRUE(h.ev.saw("Input file does not exist")) << h.ev.all();
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(fs::exists(t / "j.zip"));
    // With the parts after it missing, the first part says what it is.
    EXPECT_EQ(h.z.ReadSpan((t / "set/s001.zip").string(), out), -7);
    EXPECT_TRUE(h.ev.saw("This is the first disk in a backup set")) << h.ev.all();
}

// Sets split by zip -s (x.z01, x.z02, ..., x.zip): listed, tested, extracted byte-exact
// and joined from their last part or their first, the directory itself spread over parts
// in the second case.
TEST_F(Span, PeerSplitSetsListTestExtractAndJoin) {
    PV_REQUIRE_PEER("zip");
    PV_REQUIRE_PEER("unzip");
    for (int files : {1, 1500}) {
        SCOPED_TRACE(files);
        TempDir t;
        writeBytes(t / "in/big.bin", randomBytes(300 * 1024, 5));
        for (int i = 1; i < files; ++i)
            writeFile(t / "in/d" / ("a-name-long-enough-to-make-the-directory-grow-" + std::to_string(i)),
                      sampleText(20 + i % 50, i));
        auto r = run("zip -qr -X -s 64k ../x.zip .", t / "in");
        ASSERT_EQ(r.status, 0) << r.out;
        ASSERT_TRUE(fs::exists(t / "x.z04"));
        const std::string last = readFile(t / "x.zip");
        const size_t eocd = last.rfind(std::string("PK\x05\x06", 4));
        ASSERT_NE(eocd, std::string::npos);
        if (files > 1) {
            EXPECT_LT(le16(last, eocd + 6), le16(last, eocd + 4)) << "the directory should span parts";
        }
        Front f;
        f.z.SetZipFileName((t / "x.zip").string());
        ASSERT_EQ(f.z.Count(), files) << f.ev.all();
        f.z.ExtrOptions = {ExtrTest};
        f.z.Extract();
        fs::current_path(cwd_);
        EXPECT_EQ(f.z.SuccessCnt, files) << f.ev.all();
        f.z.ExtrBaseDir = (t / "out").string();
        f.z.ExtrOptions = {ExtrDirNames};
        f.z.Extract();
        fs::current_path(cwd_);
        EXPECT_EQ(f.z.SuccessCnt, files) << f.ev.all();
        EXPECT_TRUE(tree(t / "out") == tree(t / "in"));
        std::string joined = (t / "j.zip").string(), fromFirst = (t / "j1.zip").string();
        ASSERT_EQ(f.z.ReadSpan((t / "x.zip").string(), joined), 0) << f.ev.all();
        EXPECT_EQ(run("unzip -tq " + q(joined)).status, 0);
        ASSERT_EQ(f.z.ReadSpan((t / "x.z01").string(), fromFirst), 0) << f.ev.all();
        EXPECT_TRUE(readFile(joined) == readFile(fromFirst));
    }
}

// Emulated floppies: each disk labelled and within its capacity, the media swapped by the
// disk requests, and the set read back from them.
TEST_F(Span, FloppySetsAreLabelledAndJoinBack) {
    TempDir t;
    const fs::path zip = inputZip(t);
    const std::string original = readFile(zip);
    const std::string drive = (t / "floppy").string();
    ScopedMedia media(drive, "capacity=80000");
    Front f;
    f.z.Unattended = false;
    std::vector<int> asked;
    f.z.OnGetNextDisk = [&](TZipFront&, int seq, int, const std::string& d, bool& abort) {
        asked.push_back(seq);
        abort = !platform::insertMedium(d, std::to_string(seq), true);
    };
    ASSERT_EQ(f.z.WriteSpan(zip.string(), drive + "/b.zip"), 0) << f.ev.all();
    ASSERT_GE(asked.size(), 3u);
    std::vector<std::string> parts;
    for (size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i], static_cast<int>(i) + 1);
        ASSERT_TRUE(platform::insertMedium(drive, std::to_string(i + 1)));
        auto m = platform::insertedMedium(drive);
        ASSERT_TRUE(m);
        char label[32];
        std::snprintf(label, sizeof label, "PKBACK# %03zu", i + 1);
        EXPECT_EQ(m->label, label);
        parts.push_back(readFile(fs::path(drive) / "b.zip"));
        EXPECT_LE(parts.back().size(), 80000u);
    }
    checkSet(parts);
    peersAccept(t, parts);

    // Reading asks for the last disk first, then for each disk by number.
    Front g;
    g.z.Unattended = false;
    const int lastDisk = static_cast<int>(parts.size());
    std::vector<int> wanted;
    g.z.OnGetNextDisk = [&](TZipFront&, int seq, int, const std::string& d, bool& abort) {
        wanted.push_back(seq);
        abort = !platform::insertMedium(d, std::to_string(seq == 0 ? lastDisk : seq));
    };
    ASSERT_TRUE(platform::insertMedium(drive, "1"));
    std::string out = (t / "joined.zip").string();
    ASSERT_EQ(g.z.ReadSpan(drive + "/b.zip", out), 0) << g.ev.all();
    EXPECT_TRUE(readFile(out) == original);
    ASSERT_FALSE(wanted.empty());
    EXPECT_EQ(wanted[0], 0);

    // Cancelled at the second disk: the input stays, the run reports the cancel.
    Front c;
    c.z.Unattended = false;
    c.z.KeepFreeOnDisk1 = 30000;
    c.z.MinFreeVolumeSize = 1000;
    int requests = 0;
    c.z.OnGetNextDisk = [&](TZipFront&, int seq, int, const std::string& d, bool& abort) {
        ++requests;
        abort = seq >= 2 || !platform::insertMedium(d, "c" + std::to_string(seq), true);
    };
    EXPECT_EQ(c.z.WriteSpan(zip.string(), drive + "/c.zip"), -7);
    EXPECT_EQ(requests, 2) << c.ev.all();
    EXPECT_TRUE(c.ev.saw("User canceled operation")) << c.ev.all();
    EXPECT_TRUE(readFile(zip) == original);
    ASSERT_TRUE(platform::insertMedium(drive, "c1"));
    EXPECT_LE(fs::file_size(fs::path(drive) / "c.zip"), 80000u - 30000u);

    // Unattended, no disk is ever exchanged.
    Front u;
    ASSERT_TRUE(platform::insertMedium(drive, "9", true));
    EXPECT_EQ(u.z.WriteSpan(zip.string(), drive + "/c.zip"), -7);
    EXPECT_TRUE(u.ev.saw("Unattended disk spanning not implemented")) << u.ev.all();
}

// Cancelling or failing at any disk: the input and an earlier set stay as they were, and a
// header that no empty disk can hold ends the run instead of making parts without end.
TEST_F(Span, CancelAndFailureLeaveEarlierFilesAlone) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    const fs::path zip = inputZip(t);
    fs::create_directories(t / "set");
    {
        Front f;
        f.z.MaxVolumeSize = 65536;
        f.z.MinFreeVolumeSize = 0;
        ASSERT_EQ(f.z.WriteSpan(zip.string(), (t / "set/b.zip").string()), 0) << f.ev.all();
    }
    const auto before = fixedParts(t / "set", "b");
    for (int i = 0; i < 3; ++i)
        writeBytes(t / "other" / ("x" + std::to_string(i)), randomBytes(50000, 20 + i));
    ASSERT_EQ(run("zip -qr -X ../other.zip .", t / "other").status, 0);
    const std::string otherBytes = readFile(t / "other.zip");
    auto unchanged = [&] {
        EXPECT_TRUE(fixedParts(t / "set", "b") == before);
        EXPECT_TRUE(readFile(t / "other.zip") == otherBytes);
        for (auto& e : fs::directory_iterator(t / "set"))
            EXPECT_NE(e.path().filename().string()[0], '.') << "left behind: " << e.path();
    };
    {
        // The second existing part: cancel.
        Front f;
        f.z.Unattended = false;
        f.z.MaxVolumeSize = 65536;
        f.z.MinFreeVolumeSize = 0;
        int calls = 0;
        f.z.OnStatusDisk = [&](TZipFront&, int, const std::string&, TZipDiskStatus status,
                               TZipDiskAction& a) {
            EXPECT_TRUE(status & 8);
            a = ++calls == 2 ? zdaCancel : zdaOk;
        };
        EXPECT_EQ(f.z.WriteSpan((t / "other.zip").string(), (t / "set/b.zip").string()), -7);
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(f.ev.saw("User canceled operation")) << f.ev.all();
        unchanged();
    }
    {
        // Unattended: an existing part is never overwritten.
        Front f;
        f.z.MaxVolumeSize = 65536;
        EXPECT_EQ(f.z.WriteSpan((t / "other.zip").string(), (t / "set/b.zip").string()), -7);
        EXPECT_TRUE(f.ev.saw("Unattended disk spanning not implemented")) << f.ev.all();
        unchanged();
    }
    for (int64_t size : {3, 40}) {
        // No empty part can hold a local header.
        Front f;
        f.z.MaxVolumeSize = size;
        f.z.MinFreeVolumeSize = 0;
        EXPECT_EQ(f.z.WriteSpan((t / "other.zip").string(), (t / "new/n.zip").string()), -7);
        fs::create_directories(t / "new");
        EXPECT_EQ(f.z.WriteSpan((t / "other.zip").string(), (t / "new/n.zip").string()), -7);
        EXPECT_TRUE(f.ev.saw("This disk has not enough free space available")) << f.ev.all();
        EXPECT_TRUE(fs::is_empty(t / "new"));
        unchanged();
    }
}

// Formatting: one disk at a time, the user asked first when ConfirmErase is set, and only
// an emulated removable drive can be formatted.
TEST_F(Span, FormatThreadFormatsOneDiskAtATime) {
    TempDir t;
    const std::string drive = (t / "floppy").string();
    ScopedMedia media(drive, "capacity=80000");
    writeFile(fs::path(drive) / "old.txt", "old");
    std::vector<std::string> questions;
    int nested = 99;
    platform::UiHooks hooks;
    platform::ModalResult answer = platform::ModalResult::Cancel;
    hooks.messageBox = [&](const std::string&, const std::string& text, platform::MsgType, unsigned buttons) {
        questions.push_back(text);
        EXPECT_EQ(buttons, platform::mbYes | platform::mbCancel);
        return answer;
    };
    hooks.processMessages = [&] {
        if (nested == 99) nested = FormatThread::Run(drive, "NESTED", false);
    };
    platform::ScopedUiHooks scoped(hooks);
    EXPECT_EQ(FormatThread::Run(drive, "PKBACK# 001", true), -2);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_TRUE(fs::exists(fs::path(drive) / "old.txt"));
    answer = platform::ModalResult::Yes;
    EXPECT_EQ(FormatThread::Run(drive, "PKBACK# 001", true), 0);
    EXPECT_EQ(nested, -1) << "a second format while one runs";
    EXPECT_FALSE(fs::exists(fs::path(drive) / "old.txt"));
    EXPECT_EQ(platform::insertedMedium(drive)->label, "PKBACK# 001");
    EXPECT_FALSE(FormatThread::Running());
    EXPECT_EQ(FormatThread::Run(t.str(), "X", false), -1); // a fixed drive
}

// Spanning with AddDiskSpanErase: without a next-disk handler each disk is formatted with
// its label first; a caller that answers the disk requests itself has a disk formatted only
// when its last OnStatusDisk answer allowed it, so the other files on its disks stay.
TEST_F(Span, DisksAreFormattedOnlyAsTheAnswersAllow) {
    TempDir t;
    const fs::path zip = inputZip(t);
    const std::string original = readFile(zip);
    const std::string drive = (t / "floppy").string();
    ScopedMedia media(drive, "capacity=80000");
    ASSERT_TRUE(platform::insertMedium(drive, "blank1"));
    int disks = 0;
    platform::UiHooks hooks;
    hooks.messageBox = [&](const std::string&, const std::string&, platform::MsgType, unsigned) {
        ++disks;
        EXPECT_TRUE(platform::insertMedium(drive, "blank" + std::to_string(disks)));
        return platform::ModalResult::Ok;
    };
    {
        platform::ScopedUiHooks scoped(hooks);
        Front f;
        f.z.Unattended = false;
        f.z.ConfirmErase = false;
        f.z.AddOptions = {AddDiskSpanErase};
        ASSERT_EQ(f.z.WriteSpan(zip.string(), drive + "/b.zip"), 0) << f.ev.all();
    }
    ASSERT_GE(disks, 2);
    std::vector<std::string> parts;
    for (int i = 1; i <= disks; ++i) {
        ASSERT_TRUE(platform::insertMedium(drive, "blank" + std::to_string(i)));
        auto m = platform::insertedMedium(drive);
        EXPECT_TRUE(m->formatted);
        EXPECT_EQ(m->label, "PKBACK# 00" + std::to_string(i));
        parts.push_back(readFile(fs::path(drive) / "b.zip"));
    }
    checkSet(parts);
    std::string joined;
    for (auto& p : parts) joined += p;
    EXPECT_GT(joined.size(), original.size());

    // Formatted disks holding a file of their owner's, and a handler for the next disk only.
    for (int i = 1; i <= disks + 2; ++i) {
        ASSERT_TRUE(platform::insertMedium(drive, "data" + std::to_string(i), true));
        writeFile(fs::path(drive) / "keep.txt", "mine " + std::to_string(i));
    }
    ASSERT_TRUE(platform::insertMedium(drive, "data1"));
    Front g;
    g.z.Unattended = false;
    g.z.ConfirmErase = false;
    g.z.AddOptions = {AddDiskSpanErase};
    int used = 0;
    g.z.OnGetNextDisk = [&](TZipFront&, int seq, int, const std::string& d, bool& abort) {
        used = seq;
        abort = !platform::insertMedium(d, "data" + std::to_string(seq));
    };
    ASSERT_EQ(g.z.WriteSpan(zip.string(), drive + "/b.zip"), 0) << g.ev.all();
    ASSERT_GE(used, 2);
    for (int i = 1; i <= used; ++i) {
        ASSERT_TRUE(platform::insertMedium(drive, "data" + std::to_string(i)));
        EXPECT_EQ(readFile(fs::path(drive) / "keep.txt"), "mine " + std::to_string(i)) << "disk " << i;
        EXPECT_TRUE(fs::exists(fs::path(drive) / "b.zip"));
    }
}
