// aetool type FILE...: the detected archive type of each file, one record per file:
//   <path>\t<TArcType name>\t<ArcStart>\t<display name, trimmed>
// A file that cannot be opened is still listed (as atFileOpenErr) and makes the run fail.
#include <iostream>
#include <string>
#include <string_view>

#include "archive/aeBase.h"
#include "archive/aeMsgs.h"
#include "tools/aetool/aetool.h"

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int RunType(const aetool::Args& a) {
    if (a.positional.empty()) return aetool::usageError("usage: aetool type FILE...");
    int status = aetool::kOk;
    for (const std::string& path : a.positional) {
        TZipCommon c;
        c.SetZipCmntBufSize(32000); // the lister's window for zip comments
        std::string error;
        c.OnError = [&](TZipCommon&, const std::string& fn, const std::string&, const std::string&,
                        int code) { error = fn + ": " + AeMessageString(code); };
        c.SetArchiveFile(path);
        std::cout << path << '\t' << ArcTypeIdent(c.ArcType()) << '\t' << c.ArcStart << '\t'
                  << Trim(ArcTypeName(c.ArcType())) << '\n';
        if (!error.empty()) {
            std::cout.flush();
            std::cerr << "aetool: " << error << '\n';
            status = aetool::kFailed;
        }
    }
    return status;
}

} // namespace

AETOOL_VERB("type", "FILE...", {}, RunType);
