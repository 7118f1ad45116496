// aetool extract ARCHIVE DIR [-password P] [-overwrite]
// aetool test ARCHIVE [-password P]
// Extracts every entry through the extractor of the archive's type, with the stored folders
// below DIR, or tests every entry through the tester (which writes nothing). One record per entry:
//   <name>\tok | <name>\tfailed | <name>\tskipped        (failed: the CRC check did not pass)
//   total\t<entries>\t<passed>\t<failed>
// Exit status 0 only when every entry handled passed its check and nothing went wrong; 1 when
// an entry failed, the extractor reported an error (its messages on stderr), or the file is no
// archive (or one too damaged to tell) or of a kind that is only listed; 2 for bad usage.
// Next-volume requests are answered with the standard volume names, the disks of a zip spanned
// over an emulated drive by their numbers; an existing file is replaced only with -overwrite.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/aeExtractors.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnBase.h"
#include "archive/aeZipCheck.h"
#include "tools/aetool/aetool.h"

namespace {

struct Outcome {
    std::vector<std::string> errors;
    std::string missingVolume;
    int entries = 0, passed = 0, failed = 0;
};

std::string Relative(const std::string& name, const std::string& dir) {
    if (dir.empty() || name.compare(0, dir.size(), dir) != 0) return name;
    std::string rest = name.substr(dir.size());
    while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
    return rest.empty() ? name : rest;
}

// One line per entry, written as it comes: a run over a million entries keeps none of them.
void Line(const std::string& fn, const std::string& dir, const char* what) {
    const std::string line = aetool::Escape(Relative(fn, dir)) + what;
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// One entry's result.
void Record(Outcome& o, const std::string& fn, bool pass, const std::string& dir) {
    ++o.entries;
    ++(pass ? o.passed : o.failed);
    Line(fn, dir, pass ? "\tok\n" : "\tfailed\n");
}

void Wire(TUnBase& u, Outcome& o, const aetool::Args& a, const std::string& dir) {
    const bool overwrite = a.has("overwrite");
    const bool havePassword = a.has("password");
    const std::string password = a.get("password");
    u.OnEnd = [&o, dir](TZipCommon&, const std::string& fn, bool pass) { Record(o, fn, pass, dir); };
    u.OnError = [&o](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                     int code) {
        std::string text = AeMessageString(code);
        if (!msgEx.empty()) text += " (" + msgEx + ")";
        o.errors.push_back(fn.empty() ? text : fn + ": " + text);
    };
    u.OnFileExists = [overwrite, dir](TZipCommon&, const std::string& fn, TDateTime, TOverwriteMode& mode) {
        mode = overwrite ? omOverwrite : omSkip;
        if (!overwrite) Line(fn, dir, "\tskipped\n");
    };
    // The password is handed out once; asked again, the answer is to stop.
    auto given = std::make_shared<bool>(false);
    u.OnGetPassword = [=](TZipCommon&, const std::string&, std::string& pw, bool& tryAgain) {
        if (havePassword && !*given) {
            pw = password;
            *given = true;
            tryAgain = true;
        } else {
            tryAgain = false;
        }
    };
    u.OnNextVolume = [&o](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
        cancel = !exists;
        if (!exists) o.missingVolume = name;
    };
}

int Finish(TUnBase& u, Outcome& o, const std::string& runError) {
    std::printf("total\t%d\t%d\t%d\n", o.entries, o.passed, o.failed);
    std::fflush(stdout);
    for (const std::string& e : o.errors) std::fprintf(stderr, "aetool: %s\n", aetool::Escape(e).c_str());
    // An error that ended the run has been reported through OnError already (with its reason).
    const bool told = std::any_of(o.errors.begin(), o.errors.end(), [&](const std::string& e) {
        return e.find(runError) != std::string::npos;
    });
    if (!runError.empty()) return told ? aetool::kFailed : aetool::failure(runError);
    if (!o.missingVolume.empty()) return aetool::failure("next volume not found: " + o.missingVolume);
    if (u.Cancel()) return aetool::failure("cancelled (a password may be needed: -password P)");
    if (o.failed > 0) return aetool::failure(std::to_string(o.failed) + " entries failed their check");
    if (!o.errors.empty()) return aetool::kFailed;
    return aetool::kOk;
}

int Run(const aetool::Args& a, bool test) {
    const size_t want = test ? 1 : 2;
    const char* usage = test ? "usage: aetool test ARCHIVE [-password P]"
                             : "usage: aetool extract ARCHIVE DIR [-password P] [-overwrite]";
    if (a.positional.size() != want) return aetool::usageError(usage);
    for (const auto& [opt, value] : a.options)
        if (opt != "password" && (test || opt != "overwrite")) return aetool::usageError(usage);

    const std::string& archive = a.positional[0];
    // Detected as a component sees it: on a removable drive, a spanned zip is told by its disk.
    TZipCommon d;
    d.SetArchiveFile(archive);
    const TArcType type = d.ArcType();
    if (type == atFileOpenErr) return aetool::failure("cannot open " + archive);
    // A test runs through the tester, which makes the extractor of the type itself.
    std::unique_ptr<TUnBase> u;
    if (!test)
        u = CreateExtractor(type);
    else if (TZipCheck::Handles(type))
        u = std::make_unique<TZipCheck>();
    else
        u = CreateExtractor(type); // a kind the tester does not take (uue): its own test run
    if (!u) return aetool::cannotTake(type, archive, test ? "tested" : "extracted");
    std::string dir;
    if (!test) {
        dir = a.positional[1];
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    }
    Outcome o;
    Wire(*u, o, a, dir);
    aetool::answerZipDisks(*u, archive);
    auto* check = dynamic_cast<TZipCheck*>(u.get());
    if (check) {
        check->TZipCommon::OnEnd = nullptr;
        check->OnStatus = [&o](TZipCommon&, const std::string& fn, bool pass) { Record(o, fn, pass, {}); };
    }
    u->SetArchiveFile(archive);
    if (!test) u->SetExtractDir(dir);
    u->SetFileSpec({"*.*"});
    u->UseStoredDirs = true;
    u->ConfirmOverwrites = true;
    std::string runError;
    try {
        if (check)
            check->Run();
        else if (test)
            u->Test();
        else
            u->Extract();
    } catch (const std::exception& e) {
        runError = e.what();
    }
    return Finish(*u, o, runError);
}

} // namespace

AETOOL_VERB("extract", "ARCHIVE DIR [-password P] [-overwrite]", {"password"},
            [](const aetool::Args& a) { return Run(a, false); });
AETOOL_VERB("test", "ARCHIVE [-password P]", {"password"},
            [](const aetool::Args& a) { return Run(a, true); });
