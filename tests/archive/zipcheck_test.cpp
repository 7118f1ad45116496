// The tester against archives of every testable kind made by peers: each entry passes, a
// copy with one damaged byte fails exactly the damaged entry, nothing is written; its
// refusals, the missing OnStatus, passwords typed in during a test, and cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "archive/aeZipCheck.h"
#include "archive/format/aeBlakHole.h"
#include "peer_archives.h"
#include "format/ace_encoder.h"
#include "rar_builder.h"
#include "testutil.h"

using namespace pvtest;

namespace {

struct CheckOutcome {
    std::vector<std::pair<std::string, bool>> status; // OnStatus
    std::vector<std::string> ends;                    // OnEnd
    std::vector<std::pair<int, std::string>> errors;  // OnError (code, extra text)
    int activations = 0;

    int failed() const {
        return static_cast<int>(
            std::count_if(status.begin(), status.end(), [](auto& s) { return !s.second; }));
    }
    bool failedEntry(const std::string& suffix) const {
        for (const auto& [n, pass] : status)
            if (!pass && n.size() >= suffix.size() &&
                n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
        return false;
    }
};

void listen(TZipCheck& c, CheckOutcome& o) {
    c.OnStatus = [&o](TZipCommon&, const std::string& fn, bool pass) { o.status.emplace_back(fn, pass); };
    c.OnEnd = [&o](TZipCommon&, const std::string& fn) { o.ends.push_back(fn); };
    c.OnError = [&o](TZipCommon&, const std::string&, const std::string& extra, const std::string&,
                     int code) { o.errors.emplace_back(code, extra); };
    c.OnActivate = [&o](TZipCommon&) { ++o.activations; };
}

CheckOutcome check(const fs::path& archive, const std::string& password = {}) {
    TZipCheck c;
    CheckOutcome o;
    listen(c, o);
    if (!password.empty())
        c.OnGetPassword = [password](TZipCommon&, const std::string&, std::string& pw, bool& again) {
            pw = password;
            again = true;
        };
    c.SetArchiveFile(archive.string());
    c.Run();
    return o;
}

// Every path below dir, for "nothing was written".
std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> s;
    for (const auto& e : fs::recursive_directory_iterator(dir)) s.insert(e.path().string());
    return s;
}

// Flips one byte of `random.bin` inside the archive when its bytes are stored as they are;
// else (a compressed single file) one byte in the middle. The entry that must fail.
std::string damageCopy(const fs::path& from, const fs::path& to, const PeerArchive& p) {
    std::vector<uint8_t> a = readBytes(from);
    if (p.kind == "tar") {
        // Tar keeps no check value of the data: the entry's header is damaged instead.
        const std::string name = "random.bin";
        const auto h = std::search(a.begin(), a.end(), name.begin(), name.end());
        EXPECT_NE(h, a.end());
        h[101] ^= 0x01; // its mode field, under the header's checksum
        writeBytes(to, a);
        return "random.bin";
    }
    const std::string r = threeFiles().at("random.bin");
    const std::vector<uint8_t> window(r.begin() + 3000, r.begin() + 3032);
    const auto at = std::search(a.begin(), a.end(), window.begin(), window.end());
    if (at != a.end()) {
        at[16] = static_cast<uint8_t>(at[16] ^ 0x5A);
        writeBytes(to, a);
        return "random.bin";
    }
    EXPECT_TRUE(p.single || p.kind == "tgz") << p.kind << ": the incompressible file is not stored as it is";
    a[a.size() / 2] ^= 0x5A;
    writeBytes(to, a);
    return {};
}

TEST(ZipCheckPeers, EveryKindPassesEntryByEntryAndOneDamagedByteFailsThatEntry) {
    for (const PeerArchive& p : peerArchives()) {
        SCOPED_TRACE(p.kind);
        if (!havePeer(p.peer)) {
            std::printf("peer %s missing: %s not tested\n", p.peer.c_str(), p.kind.c_str());
            continue;
        }
        TempDir t;
        writeThreeFiles(t.path());
        const fs::path archive = makePeerArchive(t.path(), p);
        ASSERT_FALSE(archive.empty());

        const std::set<std::string> before = listing(t.path());
        const CheckOutcome good = check(archive);
        EXPECT_TRUE(good.errors.empty()) << good.errors.front().first;
        EXPECT_EQ(good.status.size(), p.single || p.kind == "tgz" ? 1u : 3u);
        EXPECT_EQ(good.failed(), 0);
        EXPECT_EQ(good.ends.size(), good.status.size()); // OnEnd follows each OnStatus
        EXPECT_EQ(good.activations, 1);

        if (p.kind == "compress") continue; // .Z keeps no check value: damage cannot be told
        const fs::path bad = t / ("bad-" + p.file);
        const std::string victim = damageCopy(archive, bad, p);
        const CheckOutcome damaged = check(bad);
        if (victim.empty()) {
            EXPECT_TRUE(damaged.failed() == 1 || !damaged.errors.empty());
        } else if (p.kind == "tar") {
            EXPECT_FALSE(damaged.errors.empty() && damaged.failed() == 0);
            EXPECT_FALSE(damaged.failedEntry("readme.txt"));
        } else {
            EXPECT_EQ(damaged.status.size(), good.status.size());
            EXPECT_EQ(damaged.failed(), 1);
            EXPECT_TRUE(damaged.failedEntry(victim));
        }
        fs::remove(bad);
        EXPECT_EQ(listing(t.path()), before) << "a test wrote a file";
    }
}

TEST(ZipCheckPeers, OwnBhArchivePasses) {
    TempDir t;
    writeThreeFiles(t / "in");
    TBlakHole w;
    w.SetArchiveFile((t / "x.bh").string());
    w.SetFileSpecPaths({(t / "in" / "*.*").string()});
    w.RecurseDirs = true;
    w.Compress();
    const CheckOutcome o = check(t / "x.bh");
    EXPECT_EQ(o.status.size(), 3u);
    EXPECT_EQ(o.failed(), 0);
}

// An archive of threeFiles() written by our own test writer, random.bin stored as it is:
// every entry passes; one damaged byte of random.bin fails exactly that entry; nothing is
// written.
void expectOwnArchivePassesAndOneDamagedByteFailsThatEntry(std::vector<uint8_t> a, const std::string& ext) {
    TempDir t;
    writeBytes(t / ("x" + ext), a);
    const CheckOutcome good = check(t / ("x" + ext));
    EXPECT_TRUE(good.errors.empty());
    EXPECT_EQ(good.status.size(), 3u);
    EXPECT_EQ(good.failed(), 0);

    const std::string r = threeFiles().at("random.bin");
    const std::vector<uint8_t> window(r.begin() + 3000, r.begin() + 3032);
    const auto at = std::search(a.begin(), a.end(), window.begin(), window.end());
    ASSERT_NE(at, a.end());
    at[16] ^= 0x5A;
    writeBytes(t / ("bad" + ext), a);
    const std::set<std::string> before = listing(t.path());
    const CheckOutcome bad = check(t / ("bad" + ext));
    EXPECT_EQ(bad.status.size(), 3u);
    EXPECT_EQ(bad.failed(), 1);
    EXPECT_TRUE(bad.failedEntry("random.bin"));
    EXPECT_EQ(listing(t.path()), before) << "a test wrote a file";
}

// RAR through unrar.dll: the data the library hands back go through the tester's routine,
// whose check value decides.
TEST(ZipCheckPeers, OwnRarArchivePassesAndOneDamagedByteFailsThatEntry) {
    std::vector<rarfix::Entry> entries;
    for (const auto& [name, data] : threeFiles())
        entries.push_back({name, std::vector<uint8_t>(data.begin(), data.end())});
    expectOwnArchivePassesAndOneDamagedByteFailsThatEntry(rarfix::archive(entries), ".rar");
}

// ACE through unace.dll, the same way: LZ77 entries from the test writer.
TEST(ZipCheckPeers, OwnAceArchivePassesAndOneDamagedByteFailsThatEntry) {
    std::vector<acetest::File> files;
    for (const auto& [name, data] : threeFiles())
        // random.bin stored, so that its bytes can be found and damaged.
        files.push_back({name, acetest::Bytes(data.begin(), data.end()), name != "random.bin"});
    expectOwnArchivePassesAndOneDamagedByteFailsThatEntry(acetest::build(files).front(), ".ace");
}

TEST(ZipCheckPasswords, EncryptedZipPassesWithThePasswordTypedInAndKeepsIt) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    writeThreeFiles(t.path());
    ASSERT_EQ(run("zip -q -P s3cret x.zip readme.txt random.bin", t.path()).status, 0);

    TZipCheck c;
    CheckOutcome o;
    listen(c, o);
    int asked = 0;
    c.OnGetPassword = [&asked](TZipCommon&, const std::string&, std::string& pw, bool& again) {
        ++asked;
        pw = "s3cret";
        again = true;
    };
    c.SetArchiveFile((t / "x.zip").string());
    c.Run();
    EXPECT_EQ(o.status.size(), 2u);
    EXPECT_EQ(o.failed(), 0);
    EXPECT_GE(asked, 1);
    EXPECT_NE(std::find(c.Passwords.begin(), c.Passwords.end(), "s3cret"), c.Passwords.end());

    // Without the password every entry fails (or the run is refused), none passes.
    TZipCheck d;
    CheckOutcome none;
    listen(d, none);
    d.SetArchiveFile((t / "x.zip").string());
    d.Run();
    EXPECT_EQ(std::count_if(none.status.begin(), none.status.end(), [](auto& s) { return s.second; }), 0);
}

TEST(ZipCheckRefusals, TypesWithoutATesterAndAMissingOnStatus) {
    for (TArcType t : {atAceExe, atJarExe, atZipMV, atHa, atMsGZ, atUnknown, atNA})
        EXPECT_FALSE(TZipCheck::Handles(t)) << ArcTypeIdent(t);
    for (TArcType t : {atZip, atZipExe, atJar, atArj, atLha, atLzh, atArc, atPak, atTar, atGZip, atBh, atZoo})
        EXPECT_TRUE(TZipCheck::Handles(t)) << ArcTypeIdent(t);

    TempDir t;
    writeFile(t / "plain.txt", "not an archive at all\n");
    for (const std::string& name :
         {std::string(), (t / "plain.txt").string(), (t / "missing.zip").string()}) {
        const CheckOutcome o = check(name);
        ASSERT_FALSE(o.errors.empty()) << name;
        EXPECT_EQ(o.errors.back().first, kMsgBadArcType) << name;
        EXPECT_TRUE(o.status.empty());
    }

    PV_REQUIRE_PEER("zip");
    writeThreeFiles(t.path());
    ASSERT_EQ(run("zip -q x.zip readme.txt", t.path()).status, 0);
    TZipCheck c;
    CheckOutcome o;
    listen(c, o);
    c.OnStatus = nullptr;
    c.SetArchiveFile((t / "x.zip").string());
    c.Run(); // the error is reported, not thrown
    ASSERT_EQ(o.errors.size(), 1u);
    EXPECT_EQ(o.errors[0].first, kMsgEventMissing);
    EXPECT_EQ(o.errors[0].second, "OnStatus");
    EXPECT_TRUE(o.ends.empty());
}

TEST(ZipCheckCancel, CancelDuringATestStopsTheRunningExtractor) {
    PV_REQUIRE_PEER("zip");
    TempDir t;
    for (int i = 0; i < 6; ++i) writeFile(t / ("f" + std::to_string(i) + ".txt"), sampleText(20000, i));
    ASSERT_EQ(run("zip -q x.zip f0.txt f1.txt f2.txt f3.txt f4.txt f5.txt", t.path()).status, 0);

    TZipCheck c;
    CheckOutcome o;
    listen(c, o);
    bool cancelledExtractor = false;
    c.OnStatus = [&](TZipCommon& sender, const std::string& fn, bool pass) {
        o.status.emplace_back(fn, pass);
        c.SetCancel(true);
        cancelledExtractor = &sender != &c && sender.Cancel();
    };
    c.SetArchiveFile((t / "x.zip").string());
    c.Run();
    EXPECT_TRUE(cancelledExtractor);
    EXPECT_EQ(o.status.size(), 1u);
    EXPECT_TRUE(c.Cancel());
}

} // namespace
