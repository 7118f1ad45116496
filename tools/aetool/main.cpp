#include "tools/aetool/aetool.h"

#include "archive/aeBase.h"
#include "archive/aeMain.h"
#include "platform/volumes.h"

#include <algorithm>
#include <filesystem>

#include <cstdio>
#include <iostream>

namespace aetool {

std::map<std::string, Verb>& registry() {
    static std::map<std::string, Verb> verbs;
    return verbs;
}

std::string Escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int usageError(const std::string& msg) {
    std::cerr << "aetool: " << Escape(msg) << "\n";
    return kUsage;
}

int failure(const std::string& msg) {
    std::cerr << "aetool: " << Escape(msg) << "\n";
    return kFailed;
}

int cannotTake(int type, const std::string& archive, const std::string& doing) {
    const auto t = static_cast<TArcType>(type);
    if (InArcTypes(UnknownArcTypes, t)) return failure("not an archive, or damaged: " + archive);
    std::string kind(ArcTypeName(t));
    while (!kind.empty() && (kind.back() == ' ' || kind.back() == '\t')) kind.pop_back();
    return failure(kind + " archives cannot be " + doing + ": " + archive);
}

void answerZipDisks(TZipCommon& c, const std::string& archive) {
    const std::string drive = std::filesystem::absolute(archive).parent_path().string();
    auto insert = [drive](const std::string& disk) {
        return !disk.empty() && platform::insertMedium(drive, disk);
    };
    c.OnGetZipLastDisk = [drive, insert](TZipCommon&, bool& cancel) {
        int last = 0;
        for (const platform::Medium& m : platform::knownMedia(drive))
            if (!m.name.empty() && m.name.find_first_not_of("0123456789") == std::string::npos &&
                m.name.size() < 6)
                last = std::max(last, std::stoi(m.name));
        cancel = !insert(last > 0 ? std::to_string(last) : "");
    };
    c.OnGetZipFirstDisk = [insert](TZipCommon&, bool& cancel) { cancel = !insert("1"); };
    c.OnGetZipNextDisk = [insert](TZipCommon&, const std::string& disk, bool& cancel) {
        cancel = !insert(disk);
    };
}

static void printHelp() {
    std::cout << "usage: aetool VERB ARGS...\n";
    for (auto& [name, v] : registry()) std::cout << "  aetool " << name << " " << v.usage << "\n";
}

} // namespace aetool

int main(int argc, char** argv) {
    using namespace aetool;
    if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "-h" ||
        std::string(argv[1]) == "--help") {
        printHelp();
        return argc < 2 ? kUsage : kOk;
    }
    auto it = registry().find(argv[1]);
    if (it == registry().end()) return usageError(std::string("unknown or not supported verb: ") + argv[1]);
    const Verb& verb = it->second;
    Args args;
    for (int i = 2; i < argc; ++i) {
        std::string w = argv[i];
        if (w.size() > 1 && w[0] == '-') {
            std::string opt = w.substr(w[1] == '-' ? 2 : 1);
            if (verb.valueOpts.count(opt)) {
                if (i + 1 >= argc) return usageError("option -" + opt + " needs a value");
                args.options[opt] = argv[++i];
            } else {
                args.options[opt] = "";
            }
        } else {
            args.positional.push_back(w);
        }
    }
    try {
        return verb.run(args);
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}
