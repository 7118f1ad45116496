// aetool verbs for the zip front-end's self-extractors, spanned sets and renaming.
#include "platform/fileio.h"
#include "platform/volumes.h"
#include "tools/aetool/aetool.h"
#include "zipdll/ZipFront.h"

#include <cstdio>
#include <iostream>
#include <set>

namespace {

// A component for batch use: no message boxes, every message on stderr.
struct Front {
    TZipFront z;
    Front() {
        z.Unattended = true;
        z.HowToDelete = htdFinal;
        z.OnMessage = [](TZipFront&, int, const std::string& msg) { std::cerr << msg << "\n"; };
    }
};

int64_t number(const aetool::Args& a, const std::string& opt, int64_t def) {
    if (!a.has(opt)) return def;
    try {
        size_t used = 0;
        const long long v = std::stoll(a.get(opt), &used);
        if (used == a.get(opt).size() && v >= 0) return v;
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("-" + opt + " needs a number");
}

// Disk requests on an emulated removable drive are answered by putting in the medium of
// the standard name: the disk's number ("1", "2", ...; the last disk of a set when the
// number is not known). Existing parts are overwritten only with -overwrite.
void answerDisks(TZipFront& z, bool overwrite, int lastDisk) {
    z.Unattended = false;
    z.OnGetNextDisk = [lastDisk](TZipFront&, int seq, int, const std::string& drive, bool& abort) {
        const int n = seq > 0 ? seq : lastDisk;
        abort = n <= 0 || !platform::insertMedium(drive, std::to_string(n), true);
    };
    z.OnStatusDisk = [overwrite](TZipFront&, int, const std::string& file, TZipDiskStatus,
                                 TZipDiskAction& a) {
        if (!overwrite) std::cerr << "exists: " << file << " (use -overwrite)\n";
        a = overwrite ? zdaOk : zdaCancel;
    };
}

int span(const aetool::Args& a) {
    if (a.positional.size() != 2 || !a.has("size"))
        return aetool::usageError("zip-span ARCHIVE OUT -size N [-keepfree N] [-minfree N] [-overwrite]");
    Front f;
    try {
        f.z.MaxVolumeSize = number(a, "size", 0);
        f.z.KeepFreeOnDisk1 = number(a, "keepfree", 0);
        f.z.MinFreeVolumeSize = number(a, "minfree", 1);
    } catch (const std::invalid_argument& e) {
        return aetool::usageError(e.what());
    }
    answerDisks(f.z, a.has("overwrite"), 0);
    const int r = f.z.WriteSpan(a.positional[0], a.positional[1]);
    if (r != 0) return aetool::failure("spanning failed with code " + std::to_string(r));
    std::cout << "spanned\t" << a.positional[1] << "\n";
    return aetool::kOk;
}

int join(const aetool::Args& a) {
    if (a.positional.size() != 2) return aetool::usageError("zip-join PART OUT [-last N]");
    Front f;
    int last = 0;
    try {
        last = static_cast<int>(number(a, "last", 0));
    } catch (const std::invalid_argument& e) {
        return aetool::usageError(e.what());
    }
    answerDisks(f.z, false, last);
    std::string out = a.positional[1];
    const int r = f.z.ReadSpan(a.positional[0], out);
    if (r != 0) return aetool::failure("joining failed with code " + std::to_string(r));
    std::cout << "joined\t" << out << "\n";
    return aetool::kOk;
}

int renameEntry(const aetool::Args& a) {
    if (a.positional.size() != 3) return aetool::usageError("zip-rename ARCHIVE OLD NEW [-date YYYY-MM-DD]");
    Front f;
    if (!platform::fileExists(a.positional[0]))
        return aetool::failure("Input file does not exist: " + a.positional[0]);
    f.z.SetZipFileName(a.positional[0]);
    ZipRenameRec rec;
    rec.Source = a.positional[1];
    rec.Dest = a.positional[2];
    int dosDate = 0;
    if (a.has("date")) {
        unsigned y = 0, m = 0, d = 0;
        if (std::sscanf(a.get("date").c_str(), "%u-%u-%u", &y, &m, &d) != 3 || y < 1980 || y > 2107 ||
            m < 1 || m > 12 || d < 1 || d > 31)
            return aetool::usageError("-date needs YYYY-MM-DD");
        dosDate = static_cast<int>(((y - 1980) << 9 | m << 5 | d) << 16);
    }
    const int r = f.z.Rename({&rec}, dosDate);
    if (r != 0) return aetool::failure("renaming failed with code " + std::to_string(r));
    std::cout << "renamed\t" << rec.Source << "\t" << rec.Dest << "\n";
    return aetool::kOk;
}

// Keeps the input untouched unless -move is given; with it the component deletes the input
// once the new file is complete.
int convert(const aetool::Args& a, bool toSfx) {
    if (a.positional.size() != 1)
        return aetool::usageError(toSfx ? "zip-sfx ARCHIVE.zip" : "zip-unsfx ARCHIVE.exe");
    const std::string in = a.positional[0];
    if (!platform::fileExists(in)) return aetool::failure("Input file does not exist: " + in);
    Front f;
    if (a.has("caption")) f.z.SFXCaption = a.get("caption");
    if (a.has("dir")) f.z.SFXDefaultDir = a.get("dir");
    if (a.has("command")) f.z.SFXCommandLine = a.get("command");
    if (a.has("message")) f.z.SFXMessage = a.get("message");
    if (a.has("stub")) f.z.SFXPath = a.get("stub");
    if (a.has("overwrite")) f.z.SFXOverWriteMode = OvrAlways;
    if (a.has("autorun")) f.z.SFXOptions.include(SFXAutoRun);
    f.z.ConvertKeepsInput = !a.has("move");
    f.z.SetZipFileName(in);
    const int r = toSfx ? f.z.ConvertSFX() : f.z.ConvertZIP();
    if (r != 0) return aetool::failure("conversion failed with code " + std::to_string(r));
    std::cout << f.z.ZipFileName() << "\n";
    if (!toSfx) {
        std::cout << "caption\t" << f.z.SFXCaption << "\ndir\t" << f.z.SFXDefaultDir << "\ncommand\t"
                  << f.z.SFXCommandLine << "\nmessage\t" << f.z.SFXMessage << "\n";
    }
    return aetool::kOk;
}

} // namespace

AETOOL_VERB("zip-sfx",
            "ARCHIVE.zip [-caption T] [-dir D] [-command C] [-message M] [-stub PATH] [-overwrite] "
            "[-autorun] [-move]",
            (std::set<std::string>{"caption", "dir", "command", "message", "stub"}),
            [](const aetool::Args& a) { return convert(a, true); });
AETOOL_VERB("zip-span", "ARCHIVE OUT -size N [-keepfree N] [-minfree N] [-overwrite]",
            (std::set<std::string>{"size", "keepfree", "minfree"}), span);
AETOOL_VERB("zip-join", "PART OUT [-last N]", {"last"}, join);
AETOOL_VERB("zip-rename", "ARCHIVE OLD NEW [-date YYYY-MM-DD]", {"date"}, renameEntry);
AETOOL_VERB("zip-unsfx", "ARCHIVE.exe [-move]", {}, [](const aetool::Args& a) { return convert(a, false); });
