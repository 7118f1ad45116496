// Hostile and damaged archives through aetool extract: every entry is reported under the
// name that is listed, a refused entry fails with a message that says why and the run goes
// on, the exit status is 1, and nothing lands outside the target folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "archive/aeCommon.h"
#include "testutil.h"

using namespace pvtest;

namespace {

RunResult aetoolRun(const std::string& args) {
    return run(q(aetool().string()) + " " + args);
}

void put16(std::vector<uint8_t>& z, unsigned v) {
    z.push_back(static_cast<uint8_t>(v));
    z.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& z, uint32_t v) {
    put16(z, v & 0xFFFF);
    put16(z, v >> 16);
}

// A stored zip made by hand: local records, then central records that may name another
// name than their local header, or point at another entry's local record.
struct HandZip {
    struct Local {
        std::string name, data;
    };
    struct Central {
        std::string name;
        size_t local; // index of the local record it points at
    };
    std::vector<Local> locals;
    std::vector<Central> centrals;

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> z;
        std::vector<uint32_t> offsets;
        auto fields = [&](const Local& l, const std::string& name) {
            put16(z, 20);     // version needed
            put16(z, 0);      // flags
            put16(z, 0);      // stored
            put16(z, 0);      // time
            put16(z, 0x5821); // 2024-01-01
            put32(z, Crc32Of(l.data.data(), l.data.size()));
            put32(z, static_cast<uint32_t>(l.data.size()));
            put32(z, static_cast<uint32_t>(l.data.size()));
            put16(z, static_cast<unsigned>(name.size()));
            put16(z, 0); // extra
        };
        for (const Local& l : locals) {
            offsets.push_back(static_cast<uint32_t>(z.size()));
            put32(z, 0x04034b50);
            fields(l, l.name);
            z.insert(z.end(), l.name.begin(), l.name.end());
            z.insert(z.end(), l.data.begin(), l.data.end());
        }
        const auto cd = static_cast<uint32_t>(z.size());
        for (const Central& c : centrals) {
            put32(z, 0x02014b50);
            put16(z, 20); // made by
            fields(locals[c.local], c.name);
            put16(z, 0); // comment
            put16(z, 0); // disk
            put16(z, 0); // internal attributes
            put32(z, 0); // external attributes
            put32(z, offsets[c.local]);
            z.insert(z.end(), c.name.begin(), c.name.end());
        }
        const auto cdSize = static_cast<uint32_t>(z.size()) - cd;
        put32(z, 0x06054b50);
        put16(z, 0);
        put16(z, 0);
        put16(z, static_cast<unsigned>(centrals.size()));
        put16(z, static_cast<unsigned>(centrals.size()));
        put32(z, cdSize);
        put32(z, cd);
        put16(z, 0);
        return z;
    }
};

// Every name below `root` (relative), folders included, sorted.
std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> names;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        names.push_back(fs::relative(it->path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Case {
    const char* title;
    // Makes the archive in the folder given; returns its path (empty: skip, peer missing).
    std::function<fs::path(const fs::path&)> make;
    std::vector<std::string> records;  // lines expected in the output, in order
    std::string total;                 // the total line
    std::vector<std::string> messages; // texts the refusals must show
    std::vector<std::string> written;  // what the target folder holds afterwards
};

const std::string kLong(300, 'L');

std::vector<Case> Cases() {
    return {
        {"tar with refused entries in the middle",
         [](const fs::path& dir) {
             const fs::path arc = dir / "mixed.tar";
             // A refused name, a file below a symlink, a name too long for the file system.
             const std::string py =
                 "import io,tarfile,sys\n"
                 "t=tarfile.open(sys.argv[1],'w',format=tarfile.PAX_FORMAT)\n"
                 "def f(n,d):\n"
                 "  i=tarfile.TarInfo(n);i.size=len(d);t.addfile(i,io.BytesIO(d))\n"
                 "f('a.txt',b'first\\n')\n"
                 "f('../evil.txt',b'evil\\n')\n"
                 "i=tarfile.TarInfo('ln');i.type=tarfile.SYMTYPE;i.linkname='sub';t.addfile(i)\n"
                 "f('ln/x.txt',b'through the link\\n')\n"
                 "f('" +
                 kLong +
                 "',b'long\\n')\n"
                 "f('b.txt',b'last\\n')\n"
                 "t.close()\n";
             writeFile(dir / "mk.py", py);
             EXPECT_EQ(run("/usr/bin/python3 " + q((dir / "mk.py").string()) + " " + q(arc.string())).status,
                       0);
             return arc;
         },
         {"a.txt\tok", "../evil.txt\tfailed", "ln\tok", "ln/x.txt\tfailed", kLong + "\tfailed", "b.txt\tok"},
         "total\t6\t3\t3",
         {"../evil.txt: Invalid file name", "symbolic link", "File name too long"},
         {"a.txt", "b.txt", "ln"}},
        {"zip whose central and local names disagree",
         [](const fs::path& dir) {
             HandZip z;
             z.locals = {
                 {"a.txt", "hidden by its local name\n"}, {"x.txt", "listed as c\n"}, {"b.txt", "plain\n"}};
             z.centrals = {{"../evil.txt", 0}, {"c.txt", 1}, {"b.txt", 2}};
             writeBytes(dir / "names.zip", z.bytes());
             return dir / "names.zip";
         },
         {"../evil.txt\tfailed", "c.txt\tok", "b.txt\tok"},
         "total\t3\t2\t1",
         {"../evil.txt: Invalid file name", "the local header names it a.txt; extracted as ../evil.txt",
          "the local header names it x.txt; extracted as c.txt"},
         {"b.txt", "c.txt"}},
        {"zip whose entries overlap",
         [](const fs::path& dir) {
             HandZip z;
             z.locals = {{"first.txt", "before\n"}, {"bomb.txt", std::string(4096, 'b')}};
             z.centrals = {{"first.txt", 0}, {"bomb1.txt", 1}, {"bomb2.txt", 1}, {"bomb3.txt", 1}};
             writeBytes(dir / "overlap.zip", z.bytes());
             return dir / "overlap.zip";
         },
         {"first.txt\tok", "bomb1.txt\tfailed", "bomb2.txt\tfailed", "bomb3.txt\tfailed"},
         "total\t4\t1\t3",
         {"bomb1.txt: Bad file header (its data overlap another entry's, not extracted)"},
         {"first.txt"}},
        {"zip listing its entries out of order, two of them overlapping",
         [](const fs::path& dir) {
             HandZip z;
             z.locals = {
                 {"first.txt", "before\n"}, {"bomb.txt", std::string(4096, 'b')}, {"last.txt", "after\n"}};
             z.centrals = {{"last.txt", 2}, {"bomb1.txt", 1}, {"first.txt", 0}, {"bomb2.txt", 1}};
             writeBytes(dir / "unordered.zip", z.bytes());
             return dir / "unordered.zip";
         },
         {"last.txt\tok", "bomb1.txt\tfailed", "first.txt\tok", "bomb2.txt\tfailed"},
         "total\t4\t2\t2",
         {"bomb2.txt: Bad file header (its data overlap another entry's, not extracted)"},
         {"first.txt", "last.txt"}},
        {"arj stored entry claiming an impossible size",
         [](const fs::path& dir) -> fs::path {
             if (!havePeer("arj")) return {};
             writeFile(dir / "in" / "small.txt", "seventeen bytes!\n");
             writeFile(dir / "in" / "ok.txt", "fine\n");
             EXPECT_EQ(run("arj a -m0 -y ../size.arj small.txt ok.txt", dir / "in").status, 0);
             std::vector<uint8_t> a = readBytes(dir / "size.arj");
             // The second header is small.txt's: set its original size and fix the header CRC.
             size_t at = 0;
             for (int seen = 0; at + 4 < a.size(); ++at)
                 if (a[at] == 0x60 && a[at + 1] == 0xEA && seen++ == 1) break;
             const size_t basic = a[at + 2] | a[at + 3] << 8;
             const uint32_t claim = 4294967280u;
             for (int i = 0; i < 4; ++i) a[at + 20 + i] = static_cast<uint8_t>(claim >> (8 * i));
             const uint32_t crc = Crc32Of(a.data() + at + 4, basic);
             for (int i = 0; i < 4; ++i) a[at + 4 + basic + i] = static_cast<uint8_t>(crc >> (8 * i));
             writeBytes(dir / "size.arj", a);
             return dir / "size.arj";
         },
         {"small.txt\tfailed", "ok.txt\tok"},
         "total\t2\t1\t1",
         {"size given 4294967280"},
         {"ok.txt"}},
    };
}

TEST(HostileArchives, EveryEntryReportedRefusalsExplainedNothingOutside) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.title);
        TempDir t;
        const fs::path arc = c.make(t.path());
        if (arc.empty()) {
            std::cout << "[  SKIPPED ] " << c.title << ": peer tool missing\n";
            continue;
        }
        // The target sits alone in a box: anything written beside it escaped.
        const fs::path box = t / "box";
        fs::create_directories(box);
        const fs::path out = box / "out";
        const RunResult r = aetoolRun("extract " + q(arc.string()) + " " + q(out.string()));
        EXPECT_EQ(r.status, 1) << r.out;
        size_t from = 0;
        for (const std::string& rec : c.records) {
            const size_t at = r.out.find(rec + "\n", from);
            EXPECT_NE(at, std::string::npos) << "record " << rec << " missing or out of order in\n" << r.out;
            if (at != std::string::npos) from = at;
        }
        EXPECT_NE(r.out.find(c.total + "\n"), std::string::npos) << r.out;
        for (const std::string& m : c.messages)
            EXPECT_NE(r.out.find(m), std::string::npos) << m << "\n" << r.out;
        EXPECT_EQ(tree(box).size(), 1 + tree(out).size()) << "something was written beside the target";
        EXPECT_EQ(tree(out), c.written);
        // The listing names the same files (links are not listed).
        const RunResult l = aetoolRun("list " + q(arc.string()));
        for (const std::string& rec : c.records) {
            const std::string name = rec.substr(0, rec.find('\t'));
            if (name != "ln") {
                EXPECT_NE(l.out.find("\n" + name + "\t"), std::string::npos) << name << "\n" << l.out;
            }
        }
    }
}

// aetool writes one record per line whatever an entry's name holds.
TEST(HostileArchives, ControlCharactersInNamesAreEscaped) {
    TempDir t;
    HandZip z;
    z.locals = {{"esc\x1b[31mred.txt", "x"}, {"two\nlines.txt", "y"}};
    z.centrals = {{z.locals[0].name, 0}, {z.locals[1].name, 1}};
    writeBytes(t / "ctl.zip", z.bytes());
    const RunResult l = aetoolRun("list " + q((t / "ctl.zip").string()));
    EXPECT_EQ(l.status, 0) << l.out;
    EXPECT_NE(l.out.find("\nesc\\x1b[31mred.txt\t1\t"), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("\ntwo\\nlines.txt\t1\t"), std::string::npos) << l.out;
    EXPECT_EQ(l.out.find('\x1b'), std::string::npos);
    const RunResult x = aetoolRun("test " + q((t / "ctl.zip").string()));
    EXPECT_EQ(x.status, 0) << x.out;
    EXPECT_EQ(x.out, "esc\\x1b[31mred.txt\tok\ntwo\\nlines.txt\tok\ntotal\t2\t2\t0\n");
}

// The zip library stand-in refuses overlapping entries too, and will not copy them into
// an updated archive.
TEST(HostileArchives, ZipLibraryRefusesOverlappingEntries) {
    TempDir t;
    HandZip z;
    z.locals = {{"first.txt", "before\n"}, {"bomb.txt", std::string(4096, 'b')}};
    z.centrals = {{"first.txt", 0}, {"bomb1.txt", 1}, {"bomb2.txt", 1}};
    const std::vector<uint8_t> bytes = z.bytes();
    writeBytes(t / "overlap.zip", bytes);
    const RunResult x =
        aetoolRun("zip-extract " + q((t / "overlap.zip").string()) + " " + q((t / "out").string()));
    EXPECT_EQ(x.status, 1) << x.out;
    EXPECT_NE(x.out.find("overlap another entry's"), std::string::npos) << x.out;
    EXPECT_EQ(tree(t / "out"), std::vector<std::string>{"first.txt"});

    writeFile(t / "new.txt", "added\n");
    const RunResult a =
        aetoolRun("zip-add " + q((t / "overlap.zip").string()) + " " + q((t / "new.txt").string()));
    EXPECT_EQ(a.status, 1) << a.out;
    EXPECT_NE(a.out.find("overlap another entry's"), std::string::npos) << a.out;
    EXPECT_EQ(readBytes(t / "overlap.zip"), bytes);
}

} // namespace
