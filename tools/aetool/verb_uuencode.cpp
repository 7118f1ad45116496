// aetool uuencode IN OUT [-xx] [-kb N] [-table]
// UU-encodes (XX-encodes with -xx) IN into OUT, split into parts of N kilobytes with -kb N
// (OUT's extension then ends in the part number: x.uue, x.uu1, ...), with the alphabet
// written first with -table. An existing OUT is replaced. One record per file written:
//   file\t<name>
//   total\t<files>
// Exit status 0 when every part was written, 1 on failure (the message on stderr).
#include <cstdio>
#include <string>
#include <vector>

#include "archive/aeMsgs.h"
#include "archive/format/aeUUEncode.h"
#include "tools/aetool/aetool.h"

namespace {

int runUuencode(const aetool::Args& a) {
    const char* usage = "usage: aetool uuencode IN OUT [-xx] [-kb N] [-table]";
    if (a.positional.size() != 2) return aetool::usageError(usage);
    for (const auto& [opt, value] : a.options)
        if (opt != "xx" && opt != "kb" && opt != "table") return aetool::usageError(usage);
    int kb = 0;
    if (a.has("kb")) {
        try {
            kb = std::stoi(a.get("kb"));
        } catch (const std::exception&) {
            kb = -1;
        }
        if (kb < 0) return aetool::usageError("-kb takes a number of kilobytes (0: one file)");
    }
    TUUEncode e;
    std::vector<std::string> errors;
    bool passed = false;
    e.OnError = [&errors](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                          int code) {
        std::string text = AeMessageString(code);
        if (!msgEx.empty()) text += " (" + msgEx + ")";
        errors.push_back(fn.empty() ? text : fn + ": " + text);
    };
    e.OnEnd = [&passed](TZipCommon&, const std::string&, bool ok) { passed = ok; };
    e.SetArchiveFile(a.positional[0]);
    e.SetCompressMethod(a.has("xx") ? cmXXEncode : cmUUEncode);
    e.SetOutFilename(a.positional[1]);
    e.KBytesPerVolume = kb;
    e.WriteTableToFile = a.has("table");
    e.ConfirmOverwrites = false;
    e.OverwriteMode = omOverwrite;
    e.Compress();
    for (const std::string& f : e.WrittenFiles()) std::printf("file\t%s\n", f.c_str());
    std::printf("total\t%zu\n", e.WrittenFiles().size());
    std::fflush(stdout);
    for (const std::string& m : errors) std::fprintf(stderr, "aetool: %s\n", m.c_str());
    if (!passed) return errors.empty() ? aetool::failure("nothing was encoded") : aetool::kFailed;
    return aetool::kOk;
}

} // namespace

AETOOL_VERB("uuencode", "IN OUT [-xx] [-kb N] [-table]", {"kb"}, runUuencode);
