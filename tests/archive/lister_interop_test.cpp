// The lister against archives that the independent peer tools make at test time: the names,
// unpacked sizes and dates it reports must equal what the peer itself lists for the same
// archive, and so must the CRCs where the peer shows them.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
// GCC 12 warns of a "maybe uninitialized" std::function inside <regex>'s own code when it is
// optimised; the warning is about the library, not this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <sstream>

#include "support/testutil.h"
#include "tests/archive/lister_util.h"

namespace {

using namespace pvtest;
using namespace listertest;

// One entry as the peer lists it; a date part the peer does not show stays -1.
struct PeerEntry {
    PeerEntry(std::string n, int64_t sz, std::optional<uint32_t> c = {})
        : name(std::move(n)), size(sz), crc(c) {}
    std::string name;
    int64_t size = 0;
    std::optional<uint32_t> crc;
    int y = -1, mo = -1, d = -1, h = -1, mi = -1, s = -1;
    std::string method; // as the peer names it, where checked
    int level = -1;     // LHA header level
};
using Parser = std::function<std::vector<PeerEntry>(const std::string&)>;

int monthOf(const std::string& m) {
    static const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (m == names[i]) return i + 1;
    return -1;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// unzip -v:  Length Method Size Cmpr Date Time CRC-32 Name
std::vector<PeerEntry> parseUnzip(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(
        R"(^\s*(\d+)\s+\S+\s+\d+\s+\S+\s+(\d{4})-(\d\d)-(\d\d)\s+(\d\d):(\d\d)\s+([0-9a-f]{8})\s+(.*)$)");
    for (auto& l : lines(out)) {
        std::smatch m;
        if (!std::regex_match(l, m, re) || m[8].str().ends_with("/")) continue;
        PeerEntry e{m[8], std::stoll(m[1]), static_cast<uint32_t>(std::stoul(m[7], nullptr, 16))};
        e.y = std::stoi(m[2]), e.mo = std::stoi(m[3]), e.d = std::stoi(m[4]), e.h = std::stoi(m[5]),
        e.mi = std::stoi(m[6]);
        r.push_back(e);
    }
    return r;
}

// gzip -lvN:  method crc date time compressed uncompressed ratio name
std::vector<PeerEntry> parseGzip(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(R"(^\S+\s+([0-9a-f]+)\s+(\w{3})\s+(\d+)\s+(\d\d):(\d\d)\s+\d+\s+(\d+)\s+\S+\s+(.*)$)");
    for (auto& l : lines(out)) {
        std::smatch m;
        if (!std::regex_match(l, m, re)) continue;
        PeerEntry e{m[7], std::stoll(m[6])};
        if (m[1].length() == 8) e.crc = static_cast<uint32_t>(std::stoul(m[1], nullptr, 16));
        e.mo = monthOf(m[2]), e.d = std::stoi(m[3]), e.h = std::stoi(m[4]), e.mi = std::stoi(m[5]);
        r.push_back(e);
    }
    return r;
}

// tar tv:  mode owner size date time name
std::vector<PeerEntry> parseTar(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(R"(^-\S+\s+\S+\s+(\d+)\s+(\d{4})-(\d\d)-(\d\d)\s+(\d\d):(\d\d)\s+(.*)$)");
    for (auto& l : lines(out)) {
        std::smatch m;
        if (!std::regex_match(l, m, re)) continue;
        PeerEntry e{m[7], std::stoll(m[1])};
        e.y = std::stoi(m[2]), e.mo = std::stoi(m[3]), e.d = std::stoi(m[4]), e.h = std::stoi(m[5]),
        e.mi = std::stoi(m[6]);
        r.push_back(e);
    }
    return r;
}

// lhasa vv: the name on its own line, then
//   [os] packed size ratio method crc Mon day year [level]
std::vector<PeerEntry> parseLhasa(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(
        R"(^\[\S+\]\s+\d+\s+(\d+)\s+\S+\s+(-\w+-)\s+([0-9a-f]{4})\s+(\w{3})\s+(\d+)\s+(\d{4})\s+\[(\d)\]$)");
    auto ls = lines(out);
    for (size_t i = 1; i < ls.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(ls[i], m, re)) continue;
        PeerEntry e{ls[i - 1], std::stoll(m[1]), static_cast<uint32_t>(std::stoul(m[3], nullptr, 16))};
        e.method = m[2];
        e.mo = monthOf(m[4]), e.d = std::stoi(m[5]), e.y = std::stoi(m[6]);
        e.level = std::stoi(m[7]);
        r.push_back(e);
    }
    return r;
}

// arj v: "001) name", then "rev host size packed ratio yy-mm-dd hh:mm:ss ...". A file split
// over volumes is listed once per volume with that part's sizes: they are summed.
std::vector<PeerEntry> parseArj(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex head(R"(^\d{3}\) (.*)$)");
    std::regex info(R"(^\s*\d+\s+\S+\s+(\d+)\s+\d+\s+\S+\s+(\d\d)-(\d\d)-(\d\d)\s+(\d\d):(\d\d):(\d\d).*$)");
    std::string name;
    for (auto& l : lines(out)) {
        std::smatch m;
        if (std::regex_match(l, m, head)) {
            name = m[1];
        } else if (!name.empty() && std::regex_match(l, m, info)) {
            if (!r.empty() && r.back().name == name && l.find('<') != std::string::npos) {
                r.back().size += std::stoll(m[1]);
            } else {
                PeerEntry e{name, std::stoll(m[1])};
                e.y = 2000 + std::stoi(m[2]), e.mo = std::stoi(m[3]), e.d = std::stoi(m[4]);
                e.h = std::stoi(m[5]), e.mi = std::stoi(m[6]), e.s = std::stoi(m[7]);
                r.push_back(e);
            }
            name.clear();
        }
    }
    return r;
}

// arc v:  name length stowage SF size-now day Mon yy h:mm[ap] crc
std::vector<PeerEntry> parseArc(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(
        R"(^(\S+)\s+(\d+)\s+\S+\s+\d+%\s+\d+\s+(\d+)\s+(\w{3})\s+(\d\d)\s+(\d+):(\d\d)([ap])\s+([0-9a-f]{4})$)");
    for (auto& l : lines(out)) {
        std::smatch m;
        if (!std::regex_match(l, m, re)) continue;
        PeerEntry e{m[1], std::stoll(m[2]), static_cast<uint32_t>(std::stoul(m[9], nullptr, 16))};
        e.d = std::stoi(m[3]), e.mo = monthOf(m[4]), e.y = 2000 + std::stoi(m[5]);
        e.h = std::stoi(m[6]) % 12 + (m[8] == "p" ? 12 : 0), e.mi = std::stoi(m[7]);
        r.push_back(e);
    }
    return r;
}

// cabextract -l:  size | dd.mm.yyyy hh:mm:ss | name
std::vector<PeerEntry> parseCab(const std::string& out) {
    std::vector<PeerEntry> r;
    std::regex re(R"(^\s*(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\d\d):(\d\d):(\d\d) \| (.*)$)");
    for (auto& l : lines(out)) {
        std::smatch m;
        if (!std::regex_match(l, m, re)) continue;
        PeerEntry e{m[8], std::stoll(m[1])};
        e.d = std::stoi(m[2]), e.mo = std::stoi(m[3]), e.y = std::stoi(m[4]);
        e.h = std::stoi(m[5]), e.mi = std::stoi(m[6]), e.s = std::stoi(m[7]);
        r.push_back(e);
    }
    return r;
}

// "name<TAB>size" lines, for peers whose list we form from their own output.
std::vector<PeerEntry> parsePlain(const std::string& out) {
    std::vector<PeerEntry> r;
    for (auto& l : lines(out)) {
        const size_t tab = l.find('\t');
        if (tab == std::string::npos) continue;
        r.push_back(PeerEntry{l.substr(0, tab), std::stoll(l.substr(tab + 1))});
    }
    return r;
}

struct PeerCase {
    PeerCase(const char* lb, const char* pr, const char* ls, std::string mk, std::string ar, std::string li,
             Parser pa, std::string me = {}, int lv = -1)
        : label(lb), peer(pr), lister(ls), make(std::move(mk)), archive(std::move(ar)), list(std::move(li)),
          parse(std::move(pa)), method(std::move(me)), level(lv) {}
    const char* label;
    const char* peer;    // the program that writes the archive
    const char* lister;  // the program that lists it
    std::string make;    // shell command run in the work folder
    std::string archive; // what it makes
    std::string list;    // the peer's listing command
    Parser parse;
    std::string method; // LHA: the method and header level the fixture must have
    int level = -1;
};

// Inputs: small text, a compressible file, a file in a folder, and (where the format holds
// it) a path of more than 256 bytes.
const std::string kLongDir = std::string(120, 'x') + "/" + std::string(100, 'y');
const std::string kLongPath = kLongDir + "/" + std::string(60, 'z') + ".txt"; // 286 bytes
const std::string kUstarPath = std::string(120, 'u') + "/" + std::string(90, 'v') + ".txt";

void makeInputs(const fs::path& dir) {
    writeFile(dir / "a.txt", "hello\n");
    writeFile(dir / "b.txt", sampleText(40000, 7));
    writeBytes(dir / "r.bin", randomBytes(70000, 3));
    writeFile(dir / "d/c.txt", "in a folder\n");
    writeFile(dir / kLongPath, "long name\n");
    writeFile(dir / kUstarPath, "prefix name\n");
    // Even seconds: DOS date-times keep two-second steps.
    run("find . -exec touch -h -d '2024-05-06 07:08:10' {} +", dir);
}

std::string lhaCase(const std::string& opts) {
    return "jlha " + opts + " x.lzh a.txt b.txt r.bin d/c.txt >/dev/null";
}

std::vector<PeerCase> cases() {
    const std::string files = "a.txt b.txt r.bin d/c.txt ";
    std::vector<PeerCase> v = {
        {"zip0", "zip", "unzip", "zip -q -0 x.zip " + files, "x.zip", "unzip -v x.zip", parseUnzip},
        {"zip1", "zip", "unzip", "zip -q -1 x.zip " + files, "x.zip", "unzip -v x.zip", parseUnzip},
        {"zip9_longname", "zip", "unzip", "zip -q -9 x.zip " + files + q(kLongPath), "x.zip",
         "unzip -v x.zip", parseUnzip},
        {"zip_password", "zip", "unzip", "zip -q -P secret x.zip " + files, "x.zip", "unzip -v x.zip",
         parseUnzip},
        {"zip_comment", "zip", "unzip", "echo 'an archive comment' | zip -q -z x.zip " + files, "x.zip",
         "unzip -v x.zip", parseUnzip},
        {"zip_7zz", "7zz", "unzip", "7zz a -tzip x.zip " + files + ">/dev/null", "x.zip", "unzip -v x.zip",
         parseUnzip},
        {"jar", "fastjar", "unzip", "fastjar cf x.jar " + files, "x.jar", "unzip -v x.jar", parseUnzip},
        {"gzip_named", "gzip", "gzip", "gzip -c b.txt > b.txt.gz", "b.txt.gz", "gzip -lvN b.txt.gz",
         parseGzip},
        {"compress", "compress", "gzip", "compress -c b.txt > b.txt.Z", "b.txt.Z", "gzip -lvN b.txt.Z",
         parseGzip},
        {"tar_ustar_prefix", "tar", "tar", "tar --format=ustar -cf x.tar " + files + q(kUstarPath), "x.tar",
         "tar tvf x.tar", parseTar},
        {"tar_gnu_longname", "tar", "tar", "tar --format=gnu -cf x.tar " + files + q(kLongPath), "x.tar",
         "tar tvf x.tar", parseTar},
        {"arc", "arc", "arc", "arc a x.arc a.txt b.txt r.bin >/dev/null", "x.arc", "arc v x.arc", parseArc},
        {"cab_stored", "gcab", "cabextract", "gcab -c x.cab " + files, "x.cab", "cabextract -l x.cab",
         parseCab},
        {"cab_mszip", "gcab", "cabextract", "gcab -c -z x.cab " + files, "x.cab", "cabextract -l x.cab",
         parseCab},
        {"uuencode", "uuencode", "uudecode", "uuencode b.txt b.txt > x.uue", "x.uue",
         "printf 'b.txt\\t%s\\n' $(uudecode -o /dev/stdout x.uue | wc -c)", parsePlain},
        {"arj_multivolume", "arj", "arj", "arj a -y -v50K x.arj r.bin b.txt a.txt >/dev/null", "x.arj",
         "yes | arj v -v -y x.arj", parseArj},
    };
    for (int m = 0; m <= 4; ++m)
        v.push_back({"arj_m", "arj", "arj",
                     "arj a -y -m" + std::to_string(m) + " x.arj " + files + ">/dev/null", "x.arj",
                     "arj v x.arj", parseArj});
    // jlha writes (the option order matters: a wrong one silently gives -lh5-), lhasa checks.
    for (int level = 0; level <= 2; ++level) {
        const std::string l = std::to_string(level);
        v.push_back({"lh0_level", "jlha", "lhasa", lhaCase("a" + l + "z"), "x.lzh", "lhasa vv x.lzh",
                     parseLhasa, "-lh0-", level});
        for (const char* m : {"5", "6", "7"})
            v.push_back({"lh_level", "jlha", "lhasa", lhaCase("a" + l + "o" + m), "x.lzh", "lhasa vv x.lzh",
                         parseLhasa, std::string("-lh") + m + "-", level});
    }
    // Level 2 keeps long names in its extended headers.
    v.push_back({"lh5_level2_longname", "jlha", "lhasa",
                 "jlha a2o5 x.lzh b.txt " + q(kLongPath) + " >/dev/null", "x.lzh", "lhasa vv x.lzh",
                 parseLhasa, "-lh5-", 2});
    return v;
}

void PrintTo(const PeerCase& c, std::ostream* os) {
    *os << c.label << " (" << c.make << ")";
}

class ListerInterop : public ::testing::TestWithParam<PeerCase> {};

TEST_P(ListerInterop, MatchesWhatThePeerLists) {
    const PeerCase& c = GetParam();
    PV_REQUIRE_PEER(c.peer);
    PV_REQUIRE_PEER(c.lister);
    TempDir dir;
    makeInputs(dir.path());
    auto made = run(c.make, dir.path());
    ASSERT_EQ(made.status, 0) << c.make << "\n" << made.out;
    auto listed = run(c.list, dir.path());
    const std::vector<PeerEntry> peer = c.parse(listed.out);
    ASSERT_FALSE(peer.empty()) << c.list << "\n" << listed.out;

    const Listing ours = listArchive((dir / c.archive).string());
    ASSERT_TRUE(ours.ok) << c.label;
    ASSERT_EQ(ours.entries.size(), peer.size()) << listed.out;
    for (size_t i = 0; i < peer.size(); ++i) {
        const PeerEntry& p = peer[i];
        const Listed& o = ours.entries[i];
        SCOPED_TRACE(c.label + std::string(": ") + p.name);
        if (!c.method.empty()) {
            // The fixture must really be what it claims, or the case proves nothing: the
            // compressible file has the method asked for (tiny and random ones are stored).
            if (p.name == "b.txt") {
                EXPECT_EQ(p.method, c.method);
            }
            EXPECT_TRUE(p.method == c.method || p.method == "-lh0-") << p.method;
            EXPECT_EQ(p.level, c.level);
        }
        EXPECT_EQ(o.name, p.name);
        EXPECT_EQ(o.size, p.size);
        if (p.crc) {
            EXPECT_EQ(o.crc, *p.crc);
        }
        // Compare the parts of the date the peer shows.
        const Civil t = civil(o.date);
        const std::pair<int, int> parts[] = {{p.y, t.y}, {p.mo, t.mo}, {p.d, t.d},
                                             {p.h, t.h}, {p.mi, t.mi}, {p.s, t.s}};
        for (size_t k = 0; k < std::size(parts); ++k) {
            if (parts[k].first < 0) continue;
            EXPECT_EQ(parts[k].second, parts[k].first) << "date part " << k;
        }
        EXPECT_EQ(o.filenum, static_cast<int>(i + 1));
    }
    EXPECT_EQ(ours.totalsFired, static_cast<int>(peer.size()));
}

INSTANTIATE_TEST_SUITE_P(ListerPeers, ListerInterop, ::testing::ValuesIn(cases()), [](const auto& c) {
    std::string n = c.param.label;
    if (!c.param.method.empty()) n += "_" + c.param.method.substr(1, 3) + "_" + std::to_string(c.param.level);
    if (n == "arj_m") n += std::to_string(c.index);
    return n;
});

} // namespace
