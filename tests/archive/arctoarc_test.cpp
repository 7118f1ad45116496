// The converter: every input kind into each of the seven output kinds, each output checked
// by independent peers and extracted by one of them byte for byte; adding to an existing
// output; refusals; damaged input and cancelled phases leave no output and no temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "archive/aeArcToArc.h"
#include "archive/aeCompBase.h"
#include "archive/aeExtractors.h"
#include "archive/aeFormats.h"
#include "archive/aeZipCheck.h"
#include "archive/format/aeBlakHole.h"
#include "archive/format/aeUnBH.h"
#include "peer_archives.h"
#include "platform/ui_hooks.h"
#include "format/ace_encoder.h"
#include "rar_builder.h"
#include "testutil.h"
#include "zoo_encoders.h"

using namespace pvtest;

namespace {

using Files = std::map<std::string, std::string>;

// What a run reported.
struct ConvertOutcome {
    std::vector<int> errors;
    std::vector<std::pair<std::string, bool>> status; // integrity pass
    std::vector<std::string> removed;                 // OnRemoveTempfile
    std::vector<std::string> begun;                   // OnExtractBegin
    int extractEnds = 0, compressEnds = 0;
    bool succeeded = false;
};

void listen(TArc2Arc& c, ConvertOutcome& o) {
    c.OnError = [&o](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        o.errors.push_back(code);
    };
    c.OnIntegrityStatus = [&o](TZipCommon&, const std::string& fn, bool pass) {
        o.status.emplace_back(fn, pass);
    };
    c.OnRemoveTempfile = [&o](TZipCommon&, const std::string& fn) { o.removed.push_back(fn); };
    c.OnExtractBegin = [&o](TZipCommon&, const std::string& fn, int, bool&) { o.begun.push_back(fn); };
    c.OnExtractEnd = [&o](TZipCommon&, const std::string&, bool) { ++o.extractEnds; };
    c.OnCompressEnd = [&o](TZipCommon&, const std::string&, bool) { ++o.compressEnds; };
}

// Message boxes of the converter answered without a window, their texts kept.
struct Boxes {
    std::vector<std::string> texts;
    Boxes() {
        platform::uiHooks().messageBox = [this](const std::string&, const std::string& text,
                                                platform::MsgType, unsigned) {
            texts.push_back(text);
            return platform::ModalResult::Ok;
        };
    }
    ~Boxes() { platform::uiHooks().messageBox = nullptr; }
};

ConvertOutcome convert(const fs::path& in, const fs::path& out, TOutArcType type, const fs::path& temp,
                       const std::function<void(TArc2Arc&)>& setUp = {}) {
    TArc2Arc c;
    ConvertOutcome o;
    listen(c, o);
    c.SetTempDir(temp.string());
    c.SetArchiveFile(in.string());
    c.OutArchiveFile = out.string();
    c.OutArcType = type;
    if (setUp) setUp(c);
    c.Convert();
    o.succeeded = c.Succeeded();
    return o;
}

std::string lower(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// Every file below dir by its path relative to dir (lower case and without folders when
// `flat`).
Files filesBelow(const fs::path& dir, bool flat = false) {
    Files f;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) {
            const std::string rel = fs::relative(e.path(), dir).generic_string();
            f[flat ? lower(e.path().filename().string()) : rel] = readFile(e.path());
        }
    return f;
}

bool emptyFolder(const fs::path& dir) {
    return fs::is_empty(dir);
}

// ---- the input kinds ----

struct InputKind {
    std::string kind;
    std::function<fs::path(const fs::path& dir)> make; // in dir, where threeFiles() are; empty: skip
    std::string skipWhy;                               // set by make when it skips
    bool folders = true;
    bool single = false;
};

Files expectedFiles(const InputKind& k) {
    Files all = threeFiles();
    if (k.single) return {{"readme.txt", all.at("readme.txt")}};
    if (k.folders) return all;
    Files flat;
    for (const auto& [name, data] : all) flat[lower(fs::path(name).filename().string())] = data;
    return flat;
}

std::vector<InputKind> inputKinds() {
    std::vector<InputKind> kinds;
    for (const PeerArchive& p : peerArchives())
        kinds.push_back({p.kind,
                         [p](const fs::path& dir) {
                             if (!havePeer(p.peer)) return fs::path{};
                             return makePeerArchive(dir, p);
                         },
                         "", p.folders, p.single});
    kinds.push_back({"uue",
                     [](const fs::path& dir) {
                         if (!havePeer("uuencode")) return fs::path{};
                         EXPECT_EQ(run("uuencode readme.txt readme.txt > in.uue", dir).status, 0);
                         return dir / "in.uue";
                     },
                     "", true, true});
    kinds.push_back({"bh",
                     [](const fs::path& dir) {
                         TBlakHole w;
                         w.SetArchiveFile((dir / "in.bh").string());
                         w.SetFileSpecPaths({(dir / "*.*").string()});
                         w.RecurseDirs = true;
                         w.Compress();
                         return dir / "in.bh";
                     },
                     ""});
    kinds.push_back({"zoo",
                     [](const fs::path& dir) {
                         std::vector<zooenc::Entry> entries;
                         for (const auto& [name, data] : threeFiles()) {
                             zooenc::Entry e;
                             e.name = fs::path(name).filename().string();
                             e.data.assign(data.begin(), data.end());
                             e.method = e.name == "random.bin" ? 0 : 1;
                             e.packed = e.method == 0 ? e.data : zooenc::lzw(e.data);
                             entries.push_back(e);
                         }
                         writeBytes(dir / "in.zoo", zooenc::archive(entries));
                         return dir / "in.zoo";
                     },
                     "", false});
    kinds.push_back({"cab",
                     [](const fs::path& dir) {
                         if (!HasExtractor(atCab) || !havePeer("gcab")) return fs::path{};
                         EXPECT_EQ(run("gcab -cnz in.cab readme.txt random.bin sub/notes.txt", dir).status,
                                   0);
                         return dir / "in.cab";
                     },
                     // gcab -n keeps no folders: compare files only.
                     "no cabinet extractor yet", false});
    kinds.push_back({"rar",
                     [](const fs::path& dir) {
                         // Built here (no RAR writer exists): stored entries, '\\' separators.
                         std::vector<rarfix::Entry> entries;
                         for (const auto& [name, data] : threeFiles()) {
                             std::string stored = name;
                             for (char& c : stored)
                                 if (c == '/') c = '\\';
                             entries.push_back({stored, std::vector<uint8_t>(data.begin(), data.end())});
                         }
                         writeBytes(dir / "in.rar", rarfix::archive(entries));
                         return dir / "in.rar";
                     },
                     ""});
    kinds.push_back({"ace",
                     [](const fs::path& dir) {
                         // Built by the test writer (no ACE writer exists here): LZ77 entries.
                         std::vector<acetest::File> files;
                         for (const auto& [name, data] : threeFiles()) {
                             std::string stored = name;
                             for (char& c : stored)
                                 if (c == '/') c = '\\';
                             files.push_back({stored, acetest::Bytes(data.begin(), data.end())});
                         }
                         writeBytes(dir / "in.ace", acetest::build(files).front());
                         return dir / "in.ace";
                     },
                     ""});
    return kinds;
}

// ---- the output kinds and their peers ----

struct OutputKind {
    const char* name;
    TOutArcType type;
    const char* file;
    std::vector<std::string> checks; // peer commands, {a} the archive
    std::string extract;             // peer extraction into folder {d}; empty: our extractor
};

const std::vector<OutputKind>& outputKinds() {
    static const std::vector<OutputKind> kinds = {
        {"zip", tyZip, "out.zip", {"unzip -tq {a}", "7zz t {a}"}, "unzip -q {a} -d {d}"},
        {"jar", tyJar, "out.jar", {"unzip -tq {a}", "7zz t {a}"}, "unzip -q {a} -d {d}"},
        {"tar", tyTar, "out.tar", {"tar -tf {a}", "7zz t {a}"}, "tar -xf {a} -C {d}"},
        {"tgz", tyGzipTar, "out.tgz", {"gzip -t {a}", "tar -tzf {a}"}, "tar -xzf {a} -C {d}"},
        {"lzh", tyLzh, "out.lzh", {"lhasa t {a}", "lha t {a}"}, "cd {d} && lhasa xq {a}"},
        {"cab", tyCab, "out.cab", {"cabextract -t {a}", "7zz t {a}"}, "cabextract -q -d {d} {a}"},
        {"bh", tyBh, "out.bh", {}, ""},
    };
    return kinds;
}

std::string fill(std::string cmd, const fs::path& a, const fs::path& d) {
    for (size_t at; (at = cmd.find("{a}")) != std::string::npos;) cmd.replace(at, 3, q(a.string()));
    for (size_t at; (at = cmd.find("{d}")) != std::string::npos;) cmd.replace(at, 3, q(d.string()));
    return cmd;
}

std::string firstWord(const std::string& cmd) {
    return cmd.substr(0, cmd.find(' '));
}

// Our BH extractor stands in for the peer nobody has.
void extractOwn(const fs::path& archive, const fs::path& dir) {
    TUnBH u;
    u.SetArchiveFile(archive.string());
    u.SetExtractDir(dir.string());
    u.SetFileSpec({"*.*"});
    u.UseStoredDirs = true;
    u.Extract();
}

class ConvertMatrix : public ::testing::TestWithParam<std::string> {};

TEST_P(ConvertMatrix, IntoEveryOutputKindCheckedByPeers) {
    std::vector<InputKind> kinds = inputKinds();
    const auto k =
        std::find_if(kinds.begin(), kinds.end(), [](const InputKind& i) { return i.kind == GetParam(); });
    ASSERT_NE(k, kinds.end());
    TempDir t;
    writeThreeFiles(t / "src");
    const fs::path input = k->make(t / "src");
    if (input.empty()) GTEST_SKIP() << (k->skipWhy.empty() ? "peer for " + k->kind + " missing" : k->skipWhy);
    const Files expected = expectedFiles(*k);
    fs::create_directories(t / "tmp");

    for (const OutputKind& out : outputKinds()) {
        SCOPED_TRACE(k->kind + " -> " + out.name);
        if (!TArc2Arc::NewWriter(out.type)) {
            std::printf("no cabinet writer yet: %s -> %s not converted\n", k->kind.c_str(), out.name);
            continue;
        }
        const fs::path archive = t / out.file;
        const ConvertOutcome o = convert(input, archive, out.type, t / "tmp");
        ASSERT_TRUE(o.succeeded) << (o.errors.empty() ? 0 : o.errors.front());
        EXPECT_TRUE(o.errors.empty());
        EXPECT_EQ(o.extractEnds, static_cast<int>(expected.size()));
        EXPECT_EQ(o.compressEnds, static_cast<int>(expected.size()));
        if (out.type != tyCab) {
            // A .tar.gz is tested as the one file it compresses.
            EXPECT_EQ(o.status.size(), out.type == tyGzipTar ? 1u : expected.size());
            EXPECT_TRUE(std::all_of(o.status.begin(), o.status.end(), [](auto& s) { return s.second; }));
        }
        EXPECT_TRUE(emptyFolder(t / "tmp")) << "temporary files left";
        // Once per extracted file and once for the private folder.
        EXPECT_EQ(o.removed.size(), expected.size() + 1);

        for (const std::string& check : out.checks) {
            if (!havePeer(firstWord(check))) continue;
            const RunResult r = run(fill(check, archive, {}));
            EXPECT_EQ(r.status, 0) << check << "\n" << r.out;
        }
        const fs::path x = t / (std::string("x-") + out.name);
        fs::create_directories(x);
        if (out.extract.empty())
            extractOwn(archive, x);
        else if (havePeer(firstWord(out.extract.substr(
                     out.extract.find("&&") == std::string::npos ? 0 : out.extract.find("&&") + 3))))
            ASSERT_EQ(run(fill(out.extract, fs::absolute(archive), x)).status, 0) << out.extract;
        else
            continue;
        EXPECT_EQ(filesBelow(x, !k->folders), expected);
        fs::remove_all(x);
        fs::remove(archive);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, ConvertMatrix,
                         ::testing::Values("zip", "jar", "arj", "lzh", "arc", "tar", "tgz", "gzip",
                                           "compress", "uue", "bh", "zoo", "cab", "rar", "ace"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// ---- the converter's own rules ----

struct Fixture {
    TempDir t;
    fs::path tmp;
    Fixture() : tmp(t / "tmp") {
        writeThreeFiles(t / "src");
        fs::create_directories(tmp);
    }
    fs::path zipOf(const std::string& name, const std::string& files) {
        EXPECT_EQ(run("zip -qr " + q((t / name).string()) + " " + files, t / "src").status, 0);
        return t / name;
    }
};

TEST(ConvertRules, RefusedInputTypesAndUnknownInput) {
    for (TArcType type : {atAceExe, atHa, atJarExe, atMsGZ, atUnknown})
        EXPECT_EQ(TArc2Arc::NewExtractor(type), nullptr) << ArcTypeIdent(type);
    for (TArcType type : {atZip, atZipExe, atZipMV, atJar, atArj, atLha, atArc, atPak, atPakExe, atTar,
                          atGZip, atUue, atBh, atZoo})
        EXPECT_NE(TArc2Arc::NewExtractor(type), nullptr) << ArcTypeIdent(type);

    Fixture f;
    writeFile(f.t / "plain.txt", "no archive\n");
    // An input of no known type: nothing happens at all.
    const ConvertOutcome o = convert(f.t / "plain.txt", f.t / "out.zip", tyZip, f.tmp);
    EXPECT_FALSE(o.succeeded);
    EXPECT_TRUE(o.errors.empty());
    EXPECT_FALSE(fs::exists(f.t / "out.zip"));
    EXPECT_TRUE(emptyFolder(f.tmp));
}

TEST(ConvertRules, AddToAnExistingOutputKeepsItsEntries) {
    PV_REQUIRE_PEER("zip");
    Fixture f;
    const fs::path first = f.zipOf("first.zip", "readme.txt");
    const fs::path second = f.zipOf("second.zip", "random.bin sub");
    for (TOutArcType type : {tyZip, tyTar, tyGzipTar, tyLzh}) {
        SCOPED_TRACE(static_cast<int>(type));
        const fs::path out = f.t / (type == tyGzipTar ? "out.tgz" : "out.arc");
        ASSERT_TRUE(convert(first, out, type, f.tmp).succeeded);
        const ConvertOutcome o =
            convert(second, out, type, f.tmp, [](TArc2Arc& c) { c.OutArcMethod = amAddToArc; });
        ASSERT_TRUE(o.succeeded);
        EXPECT_EQ(o.status.size(), type == tyGzipTar ? 1u : 3u); // the integrity pass sees all
        const fs::path x = f.t / "x";
        fs::create_directories(x);
        const ConvertOutcome back = convert(out, f.t / "back.zip", tyZip, f.tmp);
        ASSERT_TRUE(back.succeeded);
        ASSERT_EQ(run("unzip -q " + q((f.t / "back.zip").string()) + " -d " + q(x.string())).status, 0);
        EXPECT_EQ(filesBelow(x), threeFiles());
        fs::remove_all(x);
        fs::remove(out);
        fs::remove(f.t / "back.zip");
        EXPECT_TRUE(emptyFolder(f.tmp));
    }
}

TEST(ConvertRules, ExistingOutputIsReplacedOnlyWhenAllowedAndOnlyByAFinishedOne) {
    PV_REQUIRE_PEER("zip");
    Fixture f;
    const fs::path in = f.zipOf("in.zip", "readme.txt random.bin sub");
    const fs::path out = f.t / "out.zip";
    writeFile(out, "old output");
    Boxes boxes;

    // The same file under another name is refused, for adding too.
    fs::create_hard_link(in, f.t / "alias.zip");
    for (TOutArcMethod m : {amCreateNew, amAddToArc}) {
        const ConvertOutcome same =
            convert(in, f.t / "alias.zip", tyZip, f.tmp, [m](TArc2Arc& c) { c.OutArcMethod = m; });
        EXPECT_EQ(same.errors, std::vector<int>{kMsgSameInputOutput});
        EXPECT_FALSE(same.succeeded);
    }
    // Reported through OnError once each, never again in a box of the converter's own.
    EXPECT_TRUE(boxes.texts.empty());

    // Without OnFileExists the run ends quietly; with omSkip as well.
    EXPECT_FALSE(convert(in, out, tyZip, f.tmp).succeeded);
    EXPECT_EQ(readFile(out), "old output");
    int asked = 0;
    auto answer = [&asked](TOverwriteMode mode) {
        return [&asked, mode](TArc2Arc& c) {
            c.OnFileExists = [&asked, mode](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) {
                ++asked;
                m = mode;
            };
        };
    };
    EXPECT_FALSE(convert(in, out, tyZip, f.tmp, answer(omSkip)).succeeded);
    EXPECT_EQ(readFile(out), "old output");
    EXPECT_EQ(asked, 1);

    // A damaged input: the extract phase fails, the old output stays, nothing is left over.
    std::vector<uint8_t> bytes = readBytes(in);
    const std::string r = threeFiles().at("random.bin");
    const std::vector<uint8_t> window(r.begin() + 3000, r.begin() + 3032);
    const auto at = std::search(bytes.begin(), bytes.end(), window.begin(), window.end());
    ASSERT_NE(at, bytes.end());
    at[5] ^= 1;
    writeBytes(f.t / "bad.zip", bytes);
    const ConvertOutcome bad = convert(f.t / "bad.zip", out, tyZip, f.tmp, answer(omOverwrite));
    EXPECT_FALSE(bad.succeeded);
    EXPECT_EQ(bad.compressEnds, 0);
    EXPECT_EQ(readFile(out), "old output");
    EXPECT_TRUE(emptyFolder(f.tmp));

    // Allowed: the new output takes the old one's place.
    EXPECT_TRUE(convert(in, out, tyZip, f.tmp, answer(omOverwrite)).succeeded);
    EXPECT_EQ(run("unzip -tq " + q(out.string())).status, 0);
    const auto left = filesBelow(f.t.path());
    EXPECT_EQ(std::count_if(left.begin(), left.end(),
                            [](auto& e) { return e.first.find(".pvconv") != std::string::npos; }),
              0);
}

TEST(ConvertRules, CancelInAnyPhaseLeavesNoOutputAndNoTemporaryFile) {
    PV_REQUIRE_PEER("zip");
    Fixture f;
    const fs::path in = f.zipOf("in.zip", "readme.txt random.bin sub");
    const std::vector<std::pair<const char*, std::function<void(TArc2Arc&)>>> phases = {
        {"extract",
         [](TArc2Arc& c) {
             c.OnExtractBegin = [&c](TZipCommon&, const std::string&, int n, bool&) {
                 if (n == 2) c.SetCancel(true);
             };
         }},
        {"compress",
         [](TArc2Arc& c) {
             c.OnCompressBegin = [&c](TZipCommon&, const std::string&, int, bool&) { c.SetCancel(true); };
         }},
        {"integrity",
         [](TArc2Arc& c) {
             c.OnIntegrityStatus = [&c](TZipCommon&, const std::string&, bool) { c.SetCancel(true); };
         }},
    };
    for (const auto& [phase, setUp] : phases) {
        SCOPED_TRACE(phase);
        for (bool existing : {false, true}) {
            const fs::path out = f.t / "out.zip";
            if (existing) writeFile(out, "old output");
            std::vector<std::string> removed;
            const ConvertOutcome o = convert(in, out, tyZip, f.tmp, [&](TArc2Arc& c) {
                c.ConfirmOverwrites = false;
                setUp(c);
                c.OnRemoveTempfile = [&removed](TZipCommon&, const std::string& fn) {
                    removed.push_back(fn);
                };
            });
            EXPECT_FALSE(o.succeeded);
            if (existing)
                EXPECT_EQ(readFile(out), "old output");
            else
                EXPECT_FALSE(fs::exists(out));
            EXPECT_TRUE(emptyFolder(f.tmp));
            ASSERT_FALSE(removed.empty());
            EXPECT_EQ(removed.back().back(), '/'); // the folder comes last
            fs::remove(out);
        }
    }
}

TEST(ConvertRules, HostileNamesStayInsideThePrivateFolder) {
    PV_REQUIRE_PEER("python3");
    Fixture f;
    // Entries that climb out, are absolute, or go through a link stored before them.
    const std::string script = "import zipfile,sys\n"
                               "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                               "z.writestr('ok.txt','fine\\n')\n"
                               "z.writestr('../escape.txt','out\\n')\n"
                               "z.writestr('/abs.txt','abs\\n')\n"
                               "i=zipfile.ZipInfo('link')\n"
                               "i.external_attr=(0o120777<<16)\n"
                               "z.writestr(i,sys.argv[2])\n"
                               "z.writestr('link/through.txt','through\\n')\n"
                               "z.close()\n";
    writeFile(f.t / "mk.py", script);
    fs::create_directories(f.t / "victim");
    ASSERT_EQ(run("python3 mk.py hostile.zip " + q((f.t / "victim").string()), f.t.path()).status, 0);
    const ConvertOutcome o = convert(f.t / "hostile.zip", f.t / "out" / "o.zip", tyZip, f.tmp,
                                     [](TArc2Arc& c) { c.ConfirmOverwrites = false; });
    EXPECT_TRUE(emptyFolder(f.t / "victim"));
    EXPECT_FALSE(fs::exists(f.t / "escape.txt"));
    EXPECT_FALSE(fs::exists(f.tmp.parent_path() / "escape.txt"));
    EXPECT_TRUE(emptyFolder(f.tmp));
    EXPECT_FALSE(o.succeeded); // the refused names are failures of the extract phase
}

TEST(ConvertRules, RemovingTheTreeFollowsNoLink) {
    TempDir t;
    writeFile(t / "outside" / "keep.txt", "keep");
    writeFile(t / "tree" / "a" / "b" / "f.txt", "x");
    fs::create_directory_symlink(t / "outside", t / "tree" / "a" / "link");
    fs::create_symlink(t / "outside" / "keep.txt", t / "tree" / "filelink");
    EXPECT_TRUE(platform::removeTree((t / "tree").string()));
    EXPECT_FALSE(fs::exists(t / "tree"));
    EXPECT_EQ(readFile(t / "outside" / "keep.txt"), "keep");
}

} // namespace
