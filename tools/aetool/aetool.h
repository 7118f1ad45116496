// aetool: the engine's command-line harness. Each verb lives in its own source file and
// registers itself with AETOOL_VERB; options are words starting with '-' and may stand
// anywhere after the verb.
#pragma once
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TZipCommon;

namespace aetool {

// Exit statuses shared by every verb.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "-password P" -> options["password"] = "P"
    bool has(const std::string& opt) const { return options.count(opt) != 0; }
    std::string get(const std::string& opt, const std::string& def = "") const {
        auto it = options.find(opt);
        return it == options.end() ? def : it->second;
    }
};

struct Verb {
    std::string name;
    std::string usage;               // e.g. "ARCHIVE DIR [-password P] [-overwrite]"
    std::set<std::string> valueOpts; // options that take the following word as value
    std::function<int(const Args&)> run;
};

std::map<std::string, Verb>& registry();

struct Registrar {
    Registrar(Verb v) { registry()[v.name] = std::move(v); }
};

// A name or message made safe for one output line: control characters are written as
// escapes ("\n", "\r", "\t", else "\xHH"), so a name holding ESC or a newline can
// neither drive the terminal nor split a record.
std::string Escape(std::string_view s);

// Prints "aetool: <msg>" to stderr and returns kUsage, for unsupported verbs or types.
int usageError(const std::string& msg);
// Prints "aetool: <msg>" to stderr and returns kFailed.
int failure(const std::string& msg);
// Refuses `archive` of detected type `type` (an ordinal of TArcType) that the verb cannot
// take: not an archive at all (or too damaged to tell), or a kind the engine only lists.
// `doing` is "extracted", "tested", "converted" or "written". Returns kFailed.
int cannotTake(int type, const std::string& archive, const std::string& doing);
// Answers the disk requests of a zip spanned over an emulated removable drive (the one that
// holds `archive`): the last disk is the highest-numbered one known, the others by number.
void answerZipDisks(TZipCommon& c, const std::string& archive);

} // namespace aetool

#define AETOOL_CAT2(a, b) a##b
#define AETOOL_CAT(a, b) AETOOL_CAT2(a, b)
// AETOOL_VERB("name", "usage", {"valueopt", ...}, [](const aetool::Args& a) { ... });
#define AETOOL_VERB(name, usage, valueOpts, fn)                                                              \
    static aetool::Registrar AETOOL_CAT(aetool_verb_, __LINE__)(aetool::Verb{name, usage, valueOpts, fn})
