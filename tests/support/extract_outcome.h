// What an extractor reported during one Extract or Test run: the per-file results, the
// error codes and the code of an E_RAISE that ended the run. Only for test executables
// that link the engine, hence header-only.
#pragma once

#include "archive/aeUnBase.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace pvtest {

struct ExtractOutcome {
    std::vector<std::pair<std::string, bool>> ends; // OnEnd (name, CRC_PASS)
    std::vector<int> errors;                        // OnError codes
    int raised = 0;                                 // E_RAISE that left the run

    bool failed() const {
        return raised != 0 || !errors.empty() ||
               std::any_of(ends.begin(), ends.end(), [](const auto& e) { return !e.second; });
    }
    bool hasError(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
    int passed() const {
        return static_cast<int>(
            std::count_if(ends.begin(), ends.end(), [](const auto& e) { return e.second; }));
    }

    // Records `u`'s OnEnd and OnError here (this outcome must outlive the run).
    void listen(TZipCommon& u) {
        u.OnEnd = [this](TZipCommon&, const std::string& fn, bool pass) { ends.emplace_back(fn, pass); };
        u.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                           int code) { errors.push_back(code); };
    }

    // Extracts (or tests) every entry of `archive` into `out`, keeping the code of an E_RAISE.
    void run(TUnBase& u, const std::filesystem::path& archive, const std::filesystem::path& out, bool test) {
        u.SetArchiveFile(archive.string());
        u.SetExtractDir(out.string());
        u.SetFileSpec({"*.*"});
        try {
            test ? u.Test() : u.Extract();
        } catch (const E_RAISE& e) {
            raised = e.ECode;
        }
    }
};

} // namespace pvtest
