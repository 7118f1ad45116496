// aetool verbs over the zip front-end TZipFront and its two libraries.
#include "platform/dosdate.h"
#include "platform/fileio.h"
#include "tools/aetool/aetool.h"
#include "zipdll/ZipFront.h"

#include <cstdio>
#include <iostream>
#include <set>

namespace {

// A component set up for batch use: no message boxes, every message on stderr, and a
// count of the messages that report a failure.
struct ZipRun {
    TZipFront z;
    int failures = 0;
    int skipped = 0;
    // The warning that an unattended run may leave entries behind: it is said only when
    // the run did leave something behind, not before every run.
    std::string heldWarning;

    ZipRun() {
        z.Unattended = true;
        z.OnMessage = [this](TZipFront& sender, int code, const std::string& msg) {
            // Warnings of the component itself; every other numbered message is a failure.
            static const std::set<int> warnings = {10203, 10204, 10502, 10601, 10701};
            if (code == 0 && sender.ErrCode == 10502) {
                heldWarning = msg;
                sender.ErrCode = 0;
                return;
            }
            std::cerr << aetool::Escape(msg) << "\n";
            if (code != 0 || (sender.ErrCode != 0 && !warnings.count(sender.ErrCode))) ++failures;
            sender.ErrCode = 0; // so the next message is judged on its own
        };
        // Entries that freshening or updating passes over are left out on purpose.
        z.OnExtractSkipped = [this](TZipFront&, const std::string&, UnZipSkipTypes why, int) {
            if (why != stOnFreshen) ++skipped;
        };
    }

    bool open(const std::string& archive, bool mustExist) {
        if (mustExist && !platform::fileExists(archive)) {
            std::cerr << "Input file does not exist: " << aetool::Escape(archive) << "\n";
            return false;
        }
        z.SetZipFileName(archive);
        return failures == 0;
    }

    int fileEntries() const {
        int n = 0;
        for (auto& e : z.ZipContents)
            if (e->FileName.empty() || e->FileName.back() != '/') ++n;
        return n;
    }
};

std::string dosDateTime(uint16_t date, uint16_t time) {
    const platform::DosFields f = platform::dosFields(date, time); // an invalid one is 1980-01-01
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return buf;
}

int zipList(const aetool::Args& a) {
    if (a.positional.size() != 1) return aetool::usageError("zip-list ARCHIVE");
    ZipRun r;
    if (!r.open(a.positional[0], true)) return aetool::kFailed;
    for (auto& e : r.z.ZipContents) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", e->CRC32);
        std::cout << aetool::Escape(e->FileName) << "\t" << e->UncompressedSize << "\t" << e->CompressedSize
                  << "\t" << e->CompressionMethod << "\t" << crc << "\t"
                  << dosDateTime(e->FileDate, e->FileTime) << "\t" << (e->Encrypted ? 1 : 0) << "\n";
    }
    return aetool::kOk;
}

int zipAdd(const aetool::Args& a) {
    if (a.positional.size() < 2)
        return aetool::usageError("zip-add ARCHIVE [-level N] [-password P] FILES...");
    ZipRun r;
    if (platform::fileExists(a.positional[0]) && !r.open(a.positional[0], true)) return aetool::kFailed;
    if (!platform::fileExists(a.positional[0])) r.z.SetZipFileName(a.positional[0]);
    if (a.has("level")) {
        try {
            r.z.AddCompLevel = std::stoi(a.get("level"));
        } catch (const std::exception&) {
            return aetool::usageError("-level needs a number 0-9");
        }
        if (r.z.AddCompLevel < 0 || r.z.AddCompLevel > 9)
            return aetool::usageError("-level needs a number 0-9");
    }
    AddOpts o{AddDirNames};
    if (a.has("nopaths")) o.exclude(AddDirNames);
    if (a.has("recurse")) o.include(AddRecurseDirs);
    if (a.has("move")) o.include(AddMove);
    if (a.has("freshen")) o.include(AddFreshen);
    if (a.has("update")) o.include(AddUpdate);
    if (a.has("hidden")) o.include(AddHiddenFiles);
    if (a.has("dirs")) o.include(AddSeparateDirs);
    if (a.has("password")) {
        r.z.Password = a.get("password");
        o.include(AddEncrypt);
    }
    r.z.AddOptions = o;
    if (a.has("root")) r.z.SetRootDir(a.get("root"));
    if (a.has("exclude")) r.z.FSpecArgsExcl = {a.get("exclude")};
    r.z.FSpecArgs.assign(a.positional.begin() + 1, a.positional.end());
    r.z.Add();
    std::cout << "added\t" << r.z.SuccessCnt << "\n";
    return r.failures ? aetool::kFailed : aetool::kOk;
}

int zipExtract(const aetool::Args& a, bool test) {
    if (a.positional.size() < (test ? 1u : 2u))
        return aetool::usageError(test ? "zip-test ARCHIVE [-password P]"
                                       : "zip-extract ARCHIVE DIR [-password P]");
    ZipRun r;
    if (!r.open(a.positional[0], true)) return aetool::kFailed;
    ExtrOpts o;
    if (test) {
        o.include(ExtrTest);
    } else {
        const std::string dir = a.positional[1];
        if (!platform::makeDirs(dir)) return aetool::failure("cannot create " + dir);
        r.z.ExtrBaseDir = dir;
        if (!a.has("nopaths")) o.include(ExtrDirNames);
        if (a.has("overwrite")) o.include(ExtrOverWrite);
        if (a.has("freshen")) o.include(ExtrFreshen);
        if (a.has("update")) o.include(ExtrUpdate);
        r.z.FSpecArgs.assign(a.positional.begin() + 2, a.positional.end());
    }
    r.z.ExtrOptions = o;
    if (a.has("password")) r.z.Password = a.get("password");
    const int expected = r.fileEntries();
    r.z.Extract();
    if (!r.heldWarning.empty() && (r.failures || r.skipped)) std::cerr << r.heldWarning << "\n";
    std::cout << (test ? "tested\t" : "extracted\t") << r.z.SuccessCnt << "\n";
    if (r.failures) return aetool::kFailed;
    if (test && r.z.SuccessCnt != expected) return aetool::failure("not every entry passed the test");
    return aetool::kOk;
}

int zipDelete(const aetool::Args& a) {
    if (a.positional.size() < 2) return aetool::usageError("zip-delete ARCHIVE SPECS...");
    ZipRun r;
    if (!r.open(a.positional[0], true)) return aetool::kFailed;
    r.z.FSpecArgs.assign(a.positional.begin() + 1, a.positional.end());
    r.z.Delete();
    std::cout << "deleted\t" << r.z.SuccessCnt << "\n";
    return r.failures || r.z.SuccessCnt == 0 ? aetool::kFailed : aetool::kOk;
}

} // namespace

AETOOL_VERB("zip-list", "ARCHIVE", {}, zipList);
AETOOL_VERB("zip-add",
            "ARCHIVE [-level N] [-password P] [-recurse] [-nopaths] [-move] [-freshen] [-update] [-hidden] "
            "[-dirs] [-root DIR] [-exclude SPEC] FILES...",
            (std::set<std::string>{"level", "password", "root", "exclude"}), zipAdd);
AETOOL_VERB("zip-extract",
            "ARCHIVE DIR [-password P] [-overwrite] [-nopaths] [-freshen] [-update] [SPECS...]", {"password"},
            [](const aetool::Args& a) { return zipExtract(a, false); });
AETOOL_VERB("zip-test", "ARCHIVE [-password P]", {"password"},
            [](const aetool::Args& a) { return zipExtract(a, true); });
AETOOL_VERB("zip-delete", "ARCHIVE SPECS...", {}, zipDelete);
