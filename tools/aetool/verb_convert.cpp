// aetool convert IN OUT -to bh|cab|lzh|zip|tar|tgz|jar [-add] [-password P] [-nocheck] [-overwrite]
// Converts IN into OUT through the engine's converter: IN is extracted into a private
// folder, packed into OUT, and OUT is tested (unless -nocheck). -add adds to an existing OUT
// instead of replacing it; an existing OUT is replaced only with -overwrite. One record per
// entry of the integrity pass, as `aetool test` prints them:
//   <name>\tok | <name>\tfailed
//   total\t<entries>\t<passed>\t<failed>
// Exit status 0 only when every phase succeeded; 1 when one failed (messages on stderr) or IN
// is no archive the engine can extract; 2 for bad usage.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeArcToArc.h"
#include "archive/aeCompBase.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnBase.h"
#include "platform/fileio.h"
#include "tools/aetool/aetool.h"

namespace {

const char* const kUsage = "usage: aetool convert IN OUT -to bh|cab|lzh|zip|tar|tgz|jar [-add] [-password P] "
                           "[-nocheck] [-overwrite]";

const std::map<std::string, TOutArcType>& Kinds() {
    static const std::map<std::string, TOutArcType> kinds = {
        {"bh", tyBh},   {"cab", tyCab},     {"lzh", tyLzh}, {"zip", tyZip},
        {"tar", tyTar}, {"tgz", tyGzipTar}, {"jar", tyJar},
    };
    return kinds;
}

int Run(const aetool::Args& a) {
    if (a.positional.size() != 2 || !a.has("to")) return aetool::usageError(kUsage);
    for (const auto& [opt, value] : a.options)
        if (opt != "to" && opt != "add" && opt != "password" && opt != "nocheck" && opt != "overwrite")
            return aetool::usageError(kUsage);
    const auto kind = Kinds().find(a.get("to"));
    if (kind == Kinds().end()) return aetool::usageError(kUsage);
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];

    if (!TArc2Arc::NewWriter(kind->second))
        return aetool::usageError("cannot write " + a.get("to") + " archives");
    // Detected as the converter sees it: on a removable drive, a spanned zip is told by its disk.
    TArc2Arc c;
    c.SetArchiveFile(in);
    if (c.ArcType() == atFileOpenErr) return aetool::failure("cannot open " + in);
    if (!TArc2Arc::NewExtractor(c.ArcType())) return aetool::cannotTake(c.ArcType(), in, "converted");
    aetool::answerZipDisks(c, in);
    std::string records;
    std::vector<std::string> errors;
    int entries = 0, passed = 0, failed = 0;
    bool exists = false;
    c.OnIntegrityStatus = [&](TZipCommon&, const std::string& fn, bool pass) {
        ++entries;
        ++(pass ? passed : failed);
        records += aetool::Escape(fn) + (pass ? "\tok\n" : "\tfailed\n");
    };
    c.OnError = [&errors](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                          int code) {
        std::string text = AeMessageString(code);
        if (!msgEx.empty()) text += " (" + msgEx + ")";
        errors.push_back(fn.empty() ? text : fn + ": " + text);
    };
    const bool overwrite = a.has("overwrite");
    c.OnFileExists = [&exists, overwrite](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& mode) {
        exists = !overwrite;
        mode = overwrite ? omOverwrite : omSkip;
    };
    const bool havePassword = a.has("password");
    const std::string password = a.get("password");
    auto given = std::make_shared<bool>(false);
    c.OnGetPassword = [=](TZipCommon&, const std::string&, std::string& pw, bool& tryAgain) {
        tryAgain = havePassword && !*given;
        if (tryAgain) pw = password;
        *given = true;
    };
    c.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool fileExists, bool& cancel) {
        cancel = !fileExists;
    };
    c.OutArchiveFile = out;
    c.OutArcType = kind->second;
    c.OutArcMethod = a.has("add") ? amAddToArc : amCreateNew;
    c.IntegrityCheck = !a.has("nocheck");
    c.Convert();

    std::fwrite(records.data(), 1, records.size(), stdout);
    if (c.IntegrityCheck) std::printf("total\t%d\t%d\t%d\n", entries, passed, failed);
    std::fflush(stdout);
    for (const std::string& e : errors) std::fprintf(stderr, "aetool: %s\n", aetool::Escape(e).c_str());
    if (exists) return aetool::failure(out + " exists (use -overwrite or -add)");
    if (c.Cancel()) return aetool::failure("cancelled (a password may be needed: -password P)");
    if (!c.Succeeded())
        return errors.empty() ? aetool::failure("the conversion did not complete") : aetool::kFailed;
    return aetool::kOk;
}

} // namespace

AETOOL_VERB("convert", "IN OUT -to bh|cab|lzh|zip|tar|tgz|jar [-add] [-password P] [-nocheck] [-overwrite]",
            (std::set<std::string>{"to", "password"}), Run);
