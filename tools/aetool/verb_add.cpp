// aetool add ARCHIVE PATH... [-type T] [-method store|deflate|lh5|lh6|fuse|mszip|lzx] [-level S|F|N|X]
// [-password P]
// [-move] aetool delete ARCHIVE SPEC... [-type T] Writes through the engine's writer of the archive's type:
// -type names it, else the archive's extension does (for delete, an existing archive's detected type). A
// folder adds the files below it under the folder's own name; a file is added under its own name. One record
// per file added ("<stored name>\tok", or "\tfailed" when it could not be written), then "total\t<count>"
// (files added, or entries deleted). Exit status 0 when everything asked for was done, 1 when a file failed
// or the writer reported an error (messages on stderr), 2 for bad usage or a type that has no writer yet.
// Disk requests of a spanned archive on an emulated drive are answered by inserting the disk of that number.
// -type gz writes one .gz file per input file into ARCHIVE when that is a folder, else into the
// folder part of ARCHIVE; an output this run wrote already is not overwritten by a later input
// of the same name ("\tskipped", exit status 1). Files and folders left out are said on stderr:
// named pipes, sockets and devices as warnings, unreadable folders and the archive itself as
// failures (exit status 1). A delete that matches nothing fails too.
//
// Each written type is one row of Writers() below; the writer itself comes from the engine's
// format rows (CreateWriter).
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/aeCompBase.h"
#include "archive/aeFormats.h"
#include "archive/aeMsgs.h"
#include "platform/fileio.h"
#include "platform/volumes.h"
#include "tools/aetool/aetool.h"

namespace {

struct WriterRow {
    const char* type;                    // the -type word
    std::vector<const char*> extensions; // lower case, with the dot
    std::vector<TArcType> detected;      // types detection gives for its archives
    TArcType writes;                     // the engine's writer (CreateWriter) of this type
    // ARCHIVE names the folder the outputs go to (one output per input), not an archive.
    bool outputFolder = false;
    // Settles the writer beyond its type (a tar written gzip-compressed).
    void (*adjust)(TCompBase&) = nullptr;
};

const std::vector<WriterRow>& Writers() {
    static const std::vector<WriterRow> rows = {
        {"zip", {".zip"}, {atZip, atZipMV}, atZip},
        {"jar", {".jar"}, {atJar}, atJar},
        {"tar", {".tar"}, {atTar}, atTar},
        {"tgz",
         {".tgz", ".tar.gz"},
         {atGZip},
         atTar,
         false,
         [](TCompBase& w) { w.SetCompressMethod(cmGzipTar); }},
        {"gz", {}, {}, atGZip, true},
        {"lzh", {".lzh", ".lha"}, {atLha, atLzh}, atLzh},
        {"bh", {".bh"}, {atBh}, atBh},
        {"cab", {".cab"}, {atCab}, atCab},
    };
    return rows;
}

std::unique_ptr<TCompBase> MakeWriter(const WriterRow& r) {
    std::unique_ptr<TCompBase> w = CreateWriter(r.writes);
    if (w && r.adjust) r.adjust(*w);
    return w;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The row for -type, else by the archive's extension, else by its detected type.
// Without a row: `why` says why, or `detected` holds the type of an archive no writer takes.
const WriterRow* FindWriter(const aetool::Args& a, const std::string& archive, bool detect, std::string& why,
                            int& detected) {
    if (a.has("type")) {
        for (const WriterRow& r : Writers())
            if (a.get("type") == r.type) return &r;
        why = "cannot write " + a.get("type") + " archives";
        return nullptr;
    }
    const std::string name = Lower(archive);
    for (const WriterRow& r : Writers())
        for (const std::string e : r.extensions)
            if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0) return &r;
    if (detect && platform::fileExists(archive)) {
        const TArcType t = DetectFile(archive).ArcType;
        for (const WriterRow& r : Writers())
            for (TArcType d : r.detected)
                if (t == d) return &r;
        detected = t;
        return nullptr;
    }
    why = "cannot tell the archive type of " + archive + " (use -type)";
    return nullptr;
}

struct Outcome {
    std::string records;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    int failed = 0;
    // gzip outputs: those this run wrote, and whether the file that is ending was skipped
    // because its output was one of them.
    std::set<std::string> written;
    bool skipping = false;
};

std::string Absolute(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

void Wire(TCompBase& w, Outcome& o, const std::string& archive) {
    w.OnEnd = [&o](TZipCommon& sender, const std::string& fn, bool pass) {
        if (o.skipping) {
            o.skipping = false;
            ++o.failed;
            o.records += fn + "\tskipped\n";
            return;
        }
        if (!pass) ++o.failed;
        // A gzip run names each output in ArchiveFile while it writes it.
        if (pass) o.written.insert(Absolute(sender.ArchiveFile()));
        o.records += fn + (pass ? "\tok\n" : "\tfailed\n");
    };
    w.OnSkipped = [&o](TZipCommon&, const std::string&, const std::string& why, bool failed) {
        (failed ? o.errors : o.warnings).push_back(why);
        if (failed) ++o.failed;
    };
    w.OnError = [&o](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                     int code) {
        std::string text = AeMessageString(code);
        if (!msgEx.empty()) text += " (" + msgEx + ")";
        o.errors.push_back(fn.empty() ? text : fn + ": " + text);
    };
    // Adding a file that the archive holds already replaces its entry, as zip does.
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
    // An existing output is replaced, unless this run wrote it from another input of the same
    // name: the first one's output stays.
    w.OnFileExists = [&o](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& mode) {
        mode = omOverwrite;
        if (!o.written.count(Absolute(fn))) return;
        mode = omSkip;
        o.skipping = true;
        o.errors.push_back(fn + ": written by this run from another file of that name; not overwritten");
    };
    const std::string drive = std::filesystem::absolute(archive).parent_path().string();
    w.OnInsertDiskette = [drive](TZipCommon& sender, const std::string& volume, int64_t, int64_t,
                                 bool& cancel) {
        cancel = !platform::emulatedDriveFor(drive) || !platform::insertMedium(drive, volume, true);
        if (!cancel) sender.SetCancel(false);
    };
}

int Finish(const Outcome& o, int count, const std::string& runError) {
    std::fwrite(o.records.data(), 1, o.records.size(), stdout);
    std::printf("total\t%d\n", count);
    std::fflush(stdout);
    for (const std::string& w : o.warnings)
        std::fprintf(stderr, "aetool: warning: %s\n", aetool::Escape(w).c_str());
    for (const std::string& e : o.errors) std::fprintf(stderr, "aetool: %s\n", aetool::Escape(e).c_str());
    if (!runError.empty()) {
        const bool told = !o.errors.empty() && o.errors.back().find(runError) != std::string::npos;
        return told ? aetool::kFailed : aetool::failure(runError);
    }
    if (o.failed > 0) return aetool::failure(std::to_string(o.failed) + " files could not be added");
    return o.errors.empty() ? aetool::kOk : aetool::kFailed;
}

int RunAdd(const aetool::Args& a) {
    const char* usage =
        "usage: aetool add ARCHIVE PATH... [-type T] [-method store|deflate|lh5|lh6|fuse|mszip|lzx] "
        "[-level S|F|N|X] [-password P] [-move]";
    if (a.positional.size() < 2) return aetool::usageError(usage);
    for (const auto& [opt, value] : a.options)
        if (opt != "type" && opt != "method" && opt != "level" && opt != "password" && opt != "move")
            return aetool::usageError(usage);
    std::string archive = a.positional[0];
    std::string why;
    int detected = -1;
    const WriterRow* row = FindWriter(a, archive, false, why, detected);
    if (!row) return aetool::usageError(why);
    // The outputs go to the folder ARCHIVE names, or else to the folder part of ARCHIVE.
    if (row->outputFolder && archive.back() != '/' && platform::dirExists(archive)) archive += '/';

    // Without -method each writer keeps its own default; a method its format does not
    // have is bad usage.
    bool haveMethod = false;
    TCompressMethod method = cmDeflate;
    if (a.has("method")) {
        static const std::pair<const char*, TCompressMethod> kMethods[] = {
            {"store", cmStore}, {"deflate", cmDeflate}, {"lh5", cmFrozen5}, {"lh6", cmFrozen6},
            {"fuse", cmFuse},   {"mszip", cmMsZip},     {"lzx", cmLzx}};
        for (const auto& [word, m] : kMethods)
            if (a.get("method") == word) {
                method = m;
                haveMethod = true;
            }
        if (!haveMethod || !(MakeWriter(*row)->AllowedMethods() & MethodBit(method)))
            return aetool::usageError(usage);
    }
    TDeflateType level = dtDeflateN;
    if (a.has("level")) {
        const std::string l = a.get("level");
        if (l == "S")
            level = dtDeflateS;
        else if (l == "F")
            level = dtDeflateF;
        else if (l == "X")
            level = dtDeflateX;
        else if (l != "N")
            return aetool::usageError(usage);
    }

    // Folders keep their own name in front of their files; files are stored by name. Each
    // group is one run of the writer.
    std::vector<std::string> folders, files;
    for (size_t i = 1; i < a.positional.size(); ++i) {
        std::string p = a.positional[i];
        while (p.size() > 1 && p.back() == '/') p.pop_back();
        if (platform::dirExists(p))
            folders.push_back(p + "/*");
        else if (platform::pathExists(p))
            files.push_back(p);
        else
            return aetool::failure("not found: " + p);
    }

    Outcome o;
    int added = 0;
    std::string runError;
    for (int group = 0; group < 2 && runError.empty(); ++group) {
        const auto& specs = group == 0 ? folders : files;
        if (specs.empty()) continue;
        std::unique_ptr<TCompBase> w = MakeWriter(*row);
        Wire(*w, o, archive);
        w->SetArchiveFile(archive);
        if (haveMethod) w->SetCompressMethod(method);
        w->SetDeflateType(level);
        w->Password = a.get("password");
        w->Switch = a.has("move") ? swMove : swAdd;
        w->DeleteOptions = doFinal;
        w->RecurseDirs = group == 0;
        w->StoredDirNames = group == 0 ? sdRelativeStoreStart : sdRelative;
        w->SetFileSpecPaths(specs);
        try {
            added += w->Compress();
        } catch (const std::exception& e) {
            runError = e.what();
        }
    }
    return Finish(o, added, runError);
}

int RunDelete(const aetool::Args& a) {
    const char* usage = "usage: aetool delete ARCHIVE SPEC... [-type T]";
    if (a.positional.size() < 2) return aetool::usageError(usage);
    for (const auto& [opt, value] : a.options)
        if (opt != "type") return aetool::usageError(usage);
    const std::string& archive = a.positional[0];
    std::string why;
    int detected = -1;
    const WriterRow* row = FindWriter(a, archive, true, why, detected);
    if (!row && detected >= 0) return aetool::cannotTake(detected, archive, "written");
    if (!row) return aetool::usageError(why);
    std::unique_ptr<TCompBase> w = MakeWriter(*row);
    Outcome o;
    Wire(*w, o, archive);
    w->SetArchiveFile(archive);
    w->Switch = swDelete;
    w->SetFileSpecPaths(std::vector<std::string>(a.positional.begin() + 1, a.positional.end()));
    int deleted = 0;
    std::string runError;
    try {
        deleted = w->Compress();
    } catch (const std::exception& e) {
        runError = e.what();
    }
    // Nothing deleted is a delete that was not done.
    if (deleted == 0 && runError.empty() && o.errors.empty())
        o.errors.push_back("no entry of " + archive + " matches what was given; nothing deleted");
    return Finish(o, deleted, runError);
}

} // namespace

AETOOL_VERB("add",
            "ARCHIVE PATH... [-type T] [-method store|deflate|lh5|lh6|fuse|mszip|lzx] [-level S|F|N|X] "
            "[-password P] [-move]",
            (std::set<std::string>{"type", "method", "level", "password"}), RunAdd);
AETOOL_VERB("delete", "ARCHIVE SPEC... [-type T]", (std::set<std::string>{"type"}), RunDelete);
