// Reading a zip directory, the archive comment, the message table and the properties.
#include "platform/volumes.h"
#include "zipdll/ZipMsgs.h"
#include "ziptest.h"

#include "support/env.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace pvtest;
using namespace ziptest;

namespace {

// A small archive made by the zip peer: a.txt, d/ (folder entry), d/b.txt.
fs::path makeZip(const TempDir& t, const std::string& name = "t.zip", const std::string& extra = {}) {
    writeFile(t / "in/a.txt", "alpha\n");
    writeFile(t / "in/d/b.txt", sampleText(3000));
    auto r = run("zip -q -r " + extra + " " + q((t / name).string()) + " a.txt d", t / "in");
    EXPECT_EQ(r.status, 0) << r.out;
    return t / name;
}

} // namespace

TEST(ZipList, MissingFileGivesEmptyListWithoutMessage) {
    TempDir t;
    TZipFront z;
    Events ev;
    attach(z, ev);
    int updates = 0;
    z.OnDirUpdate = [&](TZipFront&) { ++updates; };
    z.SetZipFileName((t / "none.zip").string());
    EXPECT_EQ(z.Count(), 0);
    EXPECT_EQ(updates, 1);
    EXPECT_TRUE(ev.messages.empty()) << ev.all();
}

TEST(ZipList, EndRecordOnlyArchiveIsEmpty) {
    TempDir t;
    writeFile(t / "e.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "e.zip").string());
    EXPECT_EQ(z.Count(), 0);
    EXPECT_EQ(z.SFXOffset, 0);
    EXPECT_TRUE(ev.messages.empty()) << ev.all();
}

TEST(ZipList, FolderEntriesAreDroppedButKeepTheirSequenceNumber) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    TZipFront z;
    Events ev;
    attach(z, ev);
    std::vector<std::pair<int, std::string>> seen;
    z.OnNewName = [&](TZipFront&, int seq, const ZipDirEntry& e) { seen.emplace_back(seq, e.FileName); };
    z.SetZipFileName(zip.string());
    ASSERT_EQ(z.Count(), 2) << ev.all();
    EXPECT_EQ(z.DirOnlyCount, 1);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{1, "a.txt"}, {3, "d/b.txt"}}));
    EXPECT_EQ(z[1].UncompressedSize, 3000u);
    EXPECT_EQ(z[0].HostVersionNo, 3); // made on Unix
    EXPECT_FALSE(z[0].Encrypted);
    EXPECT_TRUE(z[0].ExtraData.has_value()); // the peer writes time and uid fields

    z.UseDirOnlyEntries = true;
    z.List();
    EXPECT_EQ(z.Count(), 3);
    EXPECT_EQ(z[1].FileName, "d/");
}

TEST(ZipList, GarbageRuleAcceptsZeroPaddingToASectorOnly) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    std::string data = readFile(zip);
    // Zeros up to the next multiple of 512 are a copy's sector padding, not garbage.
    const size_t pad = (512 - data.size() % 512) % 512;
    ASSERT_GT(pad, 0u);
    writeFile(t / "pad.zip", data + std::string(pad, '\0'));
    std::string bad = data + std::string(pad, '\0');
    bad[bad.size() - 5] = 'x';
    writeFile(t / "bad.zip", bad);
    writeFile(t / "odd.zip", data + std::string(3, '\0')); // zeros, but not up to a sector

    for (auto [file, warn] :
         {std::pair{"pad.zip", false}, std::pair{"bad.zip", true}, std::pair{"odd.zip", true}}) {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.SetZipFileName((t / file).string());
        EXPECT_EQ(z.Count(), 2) << file;
        EXPECT_EQ(ev.saw("Warning - Garbage at the end of the zipfile!"), warn) << file << ev.all();
    }
}

TEST(ZipList, ForeignStubWithUnmovedOffsetsWarnsAndStillLists) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    writeFile(t / "stub.zip", "MZ" + std::string(998, 'S') + readFile(zip));
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "stub.zip").string());
    EXPECT_EQ(z.Count(), 2);
    EXPECT_TRUE(z.WrongZipStruct());
    EXPECT_TRUE(ev.saw("Warning - Error in zip structure!")) << ev.all();

    // With the offsets moved (zip -A) the stub is the self-extractor prefix.
    ASSERT_EQ(run("zip -q -A " + q((t / "stub.zip").string())).status, 0);
    Events ev2;
    attach(z, ev2);
    z.List();
    EXPECT_EQ(z.Count(), 2);
    EXPECT_FALSE(z.WrongZipStruct());
    EXPECT_EQ(z.SFXOffset, 1000);
    EXPECT_TRUE(ev2.messages.empty()) << ev2.all();
}

TEST(ZipList, NotAZipReportsAndKeepsListEmpty) {
    TempDir t;
    writeFile(t / "x.zip", sampleText(5000));
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "x.zip").string());
    EXPECT_EQ(z.Count(), 0);
    EXPECT_EQ(z.ErrCode, 11036);
    EXPECT_TRUE(ev.saw("This archive is not a valid Zip archive")) << ev.all();
}

// A name that exists but cannot be opened as a file (here a socket, which even root
// cannot open): listing counts it as missing input.
TEST(ZipList, UnopenableFileReportsMissingInput) {
    TempDir t;
    const std::string path = (t / "s.zip").string();
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName(path);
    ::close(sock);
    EXPECT_EQ(z.Count(), 0);
    EXPECT_EQ(z.ErrCode, 11001);
    EXPECT_TRUE(ev.saw("Input file does not exist")) << ev.all();
}

TEST(ZipList, TruncatedDirectoryKeepsEntriesReadBefore) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    std::string d = readFile(zip);
    const size_t eocd = d.rfind(std::string("PK\x05\x06", 4));
    // Claim more entries than the directory holds: the walk runs into the end record.
    d[eocd + 10] = 9;
    d[eocd + 8] = 9;
    writeFile(t / "more.zip", d);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "more.zip").string());
    EXPECT_EQ(z.Count(), 2);
    EXPECT_TRUE(ev.saw("A central header signature is wrong") ||
                ev.saw("Error while reading a central header"))
        << ev.all();
}

TEST(ZipList, CodePageRuleFollowsHostByte) {
    TempDir t;
    // Host 0 (FAT): the name is code page 437; 0x81 is u with diaeresis.
    auto r = python("import zipfile\n"
                    "z=zipfile.ZipFile('cp.zip','w')\n"
                    "i=zipfile.ZipInfo('x'); i.create_system=0; z.writestr(i,b'data')\n"
                    "z.close()\n"
                    "d=open('cp.zip','rb').read().replace(b'x',b'\\x81')\n"
                    "open('cp.zip','wb').write(d)\n",
                    t.path());
    ASSERT_EQ(r.status, 0) << r.out;
    struct Case {
        CodePageOpts cp;
        std::string want;
    };
    for (auto c : {Case{cpAuto, "\xC3\xBC"}, Case{cpOEM, "\xC3\xBC"}, Case{cpNone, "\x81"}}) {
        TZipFront z;
        Events ev;
        attach(z, ev);
        z.CodePage = c.cp;
        z.SetZipFileName((t / "cp.zip").string());
        ASSERT_EQ(z.Count(), 1) << ev.all();
        EXPECT_EQ(z[0].FileName, c.want) << c.cp;
    }
}

TEST(ZipComment, ReadsSetsClearsAndRefusesTooLong) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    ASSERT_EQ(run("echo 'first comment' | zip -q -z " + q(zip.string())).status, 0);
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName(zip.string());
    EXPECT_EQ(z.Comment(), "first comment");

    z.SetComment("a new comment");
    auto r = run("unzip -z " + q(zip.string()));
    EXPECT_NE(r.out.find("a new comment"), std::string::npos) << r.out;
    EXPECT_EQ(run("unzip -tq " + q(zip.string())).status, 0);
    z.List();
    EXPECT_EQ(z.Comment(), "a new comment");

    const std::string before = readFile(zip);
    z.SetComment(std::string(70000, 'c'));
    EXPECT_EQ(readFile(zip), before); // refused, never cut to fit
    EXPECT_FALSE(ev.messages.empty());

    z.SetComment("");
    const std::string d = readFile(zip);
    const size_t eocd = d.rfind(std::string("PK\x05\x06", 4));
    EXPECT_EQ(d.size(), eocd + 22);
    EXPECT_EQ(le16(d, eocd + 20), 0u);
    EXPECT_EQ(run("unzip -tq " + q(zip.string())).status, 0);
}

TEST(ZipFrontProps, SettersKeepTheirRules) {
    TZipFront z;
    z.SetPasswordReqCount(40);
    EXPECT_EQ(z.PasswordReqCount(), 15u);
    z.SetRootDir("/data");
    EXPECT_EQ(z.RootDir(), "/data/");
    z.SetRootDir("/data/");
    EXPECT_EQ(z.RootDir(), "/data/");
    z.SetDLLDirectory("/libs/");
    EXPECT_EQ(z.DLLDirectory(), "/libs");
    z.SetVersionInfo("9.99");
    EXPECT_EQ(z.VersionInfo(), "1.60 L");
    EXPECT_EQ(z.AddCompLevel, 9);
    EXPECT_TRUE(z.SFXOptions.has(SFXCheckSize));
    EXPECT_FALSE(z.AddStoreSuffixes.has(assEXE));
    EXPECT_EQ(StoreSuffixList(z.AddStoreSuffixes), ".gif:.png:.z:.zip:.zoo:.arc:.lzh:.arj:.taz:.tgz:.lha");
    EXPECT_EQ(StoreSuffixList({}), "");
    EXPECT_EQ(z.SFXPath, "ZipSFX.bin");
    EXPECT_EQ(z.MinFreeVolumeSize, 65536);
}

TEST(ZipMessages, TextsAndFormats) {
    EXPECT_EQ(ZipLoadStr(10204), "Warning - Garbage at the end of the zipfile!");
    EXPECT_EQ(ZipLoadStr(11047), "Central directory");
    EXPECT_EQ(ZipLoadStr(12345),
              "The message table is probably not linked to the executable\nMissing String ID is: 12345");
    EXPECT_EQ(EZipFront(11038, 3).Message,
              "This is the 3th disk in a backup set,\nplease insert the last disk of this set");
    EXPECT_EQ(EZipFront(11003, std::string("Q:/")).Message, "Not a valid drive: Q:/");
    EXPECT_EQ(EZipFront(10304, -3).Message, "Error -3 occurred during Auto SFX creation.");
    EXPECT_FALSE(EZipFront(11036, false).DisplayMsg);
    // A value of the other kind than the text expects is still filled in safely.
    EXPECT_EQ(EZipFront(11003, 7).Message, "Not a valid drive: 7");
    EXPECT_EQ(EZipFront(11046, std::string("%s%n")).Message, "Please insert disk volume %s%n");
    int n = 0;
    for (int id = 11001; id <= 11047; ++id) n += zipfront::ZipMsgText(id) != nullptr;
    EXPECT_EQ(n, 47);
}

TEST(ZipFrontFiles, EraseFileGoesToTheTrashOrForGood) {
    TempDir t;
    ScopedEnv data("XDG_DATA_HOME", (t / "data").string());
    writeFile(t / "undo.zip", "u");
    writeFile(t / "final.zip", "f");
    TZipFront z;
    EXPECT_EQ(z.EraseFile((t / "undo.zip").string()), 0);
    EXPECT_FALSE(fs::exists(t / "undo.zip"));
    EXPECT_TRUE(fs::exists(t / "data/Trash/files/undo.zip"));
    z.HowToDelete = htdFinal;
    EXPECT_EQ(z.EraseFile((t / "final.zip").string()), 0);
    EXPECT_FALSE(fs::exists(t / "final.zip"));
    EXPECT_FALSE(fs::exists(t / "data/Trash/files/final.zip"));
    EXPECT_EQ(z.EraseFile((t / "final.zip").string()), -1);
}

// On a removable drive the label tells which disk of a spanned set is inserted.
TEST(ZipList, SpannedSetDisksAreToldApartByLabel) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    fs::path zip = makeZip(t);
    ScopedMedia media(t / "floppy", "label=PKBACK# 002");
    // A middle disk: zip data without an end record.
    std::string d = readFile(zip);
    writeFile(t / "floppy/set.zip", d.substr(0, d.rfind(std::string("PK\x01\x02", 4))));
    TZipFront z;
    Events ev;
    attach(z, ev);
    z.SetZipFileName((t / "floppy/set.zip").string());
    EXPECT_EQ(z.VolumeName(), "PKBACK# 002");
    EXPECT_EQ(z.ErrCode, 11038);
    EXPECT_TRUE(ev.saw("This is the 2th disk in a backup set")) << ev.all();

    // The first disk starts with the spanning signature.
    writeFile(t / "floppy/set.zip", std::string("PK\x07\x08", 4) + d.substr(0, 100));
    platform::setVolumeLabel((t / "floppy").string(), "PKBACK# 001");
    z.List();
    EXPECT_TRUE(ev.saw("This is the first disk in a backup set")) << ev.all();

    // The last disk lists, and is known as part of a spanned set.
    writeFile(t / "floppy/set.zip", d);
    platform::setVolumeLabel((t / "floppy").string(), "PKBACK# 003");
    z.List();
    EXPECT_EQ(z.Count(), 2);
}
