#include "app/core/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/IniFile.h"
#include "app/core/MainCore.h"
#include "common/PathParts.h"

namespace fs = std::filesystem;
using pvcommon::FileNamePart;
using pvcommon::FolderPart;
using pvcommon::LowerAscii;

namespace {

// The list file is a handful of paths; anything far bigger is not one.
constexpr std::streamsize kMaxListFile = 4 << 20;
constexpr long kMaxListCount = 100000;

bool isFile(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

bool hasWildcard(const std::string& name) {
    return FileNamePart(name).find_first_of("*?") != std::string::npos;
}

std::string currentFolder() {
    std::error_code ec;
    fs::path p = fs::current_path(ec);
    return ec ? std::string("/") : p.string();
}

void errorBox(const std::string& text) {
    platform::messageBox("Error", text, platform::MsgType::Error, platform::mbOK);
}

// The lines of a text file, line ends (LF or CR LF) removed; false when it cannot be read.
bool readLines(const std::string& file, std::vector<std::string>& lines, std::streamsize maxSize) {
    std::ifstream in(file, std::ios::binary);
    if (!in || !isFile(file)) return false;
    std::string text;
    text.resize(size_t(maxSize) + 1);
    in.read(text.data(), maxSize + 1);
    const std::streamsize got = in.gcount();
    if (in.bad() || got > maxSize) return false;
    text.resize(size_t(got));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- pure parts

std::string AbsoluteName(const std::string& name, const std::string& cwd) {
    fs::path p(name);
    if (!p.is_absolute()) p = fs::path(cwd) / p;
    std::string s = p.lexically_normal().string();
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

const char* BatchUsage() {
    return "Usage: parvex -e [-rou] ARCHIVE [FOLDER] | parvex -a [-rpf] ARCHIVE FILE... | "
           "parvex -a -s[rpf] ARCHIVE LISTFILE";
}

bool ParseBatchCommand(const std::vector<std::string>& params, const std::string& cwd, TBatchCommand& cmd,
                       std::string& error) {
    cmd = TBatchCommand{};
    const std::string verb = params.empty() ? std::string() : LowerAscii(params[0]);
    if (verb != "-e" && verb != "-a") {
        error = "unknown switch \"" + (params.empty() ? std::string() : params[0]) + "\"";
        return false;
    }
    cmd.verb = verb[1];
    size_t next = 1;
    if (params.size() > 1 && !params[1].empty() && params[1][0] == '-') {
        cmd.group = LowerAscii(params[1].substr(1));
        next = 2;
        const std::string allowed = cmd.verb == 'e' ? "rou" : "rpfs";
        for (char c : cmd.group)
            if (allowed.find(c) == std::string::npos) {
                error = std::string("unknown switch letter \"") + c + "\" in \"" + params[1] + "\"";
                return false;
            }
    }
    if (next >= params.size() || params[next].empty()) {
        error = "no archive given";
        return false;
    }
    cmd.archive = AbsoluteName(params[next++], cwd);
    if (cmd.verb == 'e') {
        if (next < params.size()) {
            if (params[next].empty()) {
                error = "empty folder name";
                return false;
            }
            cmd.folder = AbsoluteName(params[next++], cwd);
        }
    } else if (cmd.Has('s')) {
        if (next >= params.size() || params[next].empty()) {
            error = "no list file given";
            return false;
        }
        cmd.listFile = AbsoluteName(params[next++], cwd);
    } else {
        for (; next < params.size(); ++next) {
            if (params[next].empty()) continue;
            cmd.files.push_back(AbsoluteName(params[next], cwd));
        }
        if (cmd.files.empty()) {
            error = "no files to add";
            return false;
        }
    }
    if (next < params.size()) {
        error = "unexpected \"" + params[next] + "\"";
        return false;
    }
    return true;
}

platform::UiHooks BatchUiHooks(std::ostream& err) {
    platform::UiHooks h;
    std::ostream* out = &err;
    h.processMessages = [] {};
    h.messageBox = [out](const std::string& caption, const std::string& text, platform::MsgType,
                         unsigned buttons) {
        *out << caption << ": " << text << '\n';
        out->flush();
        using platform::ModalResult;
        if (buttons & platform::mbOK) return ModalResult::Ok;
        if (buttons & platform::mbNo) return ModalResult::No;
        if (buttons & platform::mbCancel) return ModalResult::Cancel;
        return ModalResult::None;
    };
    h.askText = [](const std::string&, const std::string&, std::string&, bool) { return false; };
    h.askPassword = [out](const platform::PasswordQuestion& q, std::string&) {
        *out << q.caption << ": " << q.prompt << " (no password in a batch run)\n";
        out->flush();
        return false;
    };
    return h;
}

std::string ShellSwitch(const std::string& word) {
    static const char* const switches[] = {"/pvset", "/pvseh", "/pvsef", "/pvsem", "/pvsaz", "/pvsac"};
    const std::string w = LowerAscii(word);
    for (const char* s : switches)
        if (w == s) return w;
    return {};
}

bool ReadShellList(const std::string& file, std::vector<std::string>& names, std::string& error) {
    names.clear();
    std::vector<std::string> lines;
    if (!readLines(file, lines, kMaxListFile)) {
        error = "The file list " + file + " cannot be read.";
        return false;
    }
    const std::string bad = "The file list " + file + " is damaged: ";
    const std::string count = lines.empty() ? std::string() : lines[0];
    long n = 0;
    bool digits = !count.empty() && count.size() <= 9 &&
                  std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) n = std::stol(count);
    if (!digits || n < 1 || n > kMaxListCount) {
        error = bad + "its first line is not a count of names.";
        return false;
    }
    // A last line end leaves one empty line behind; blank lines after the names are harmless.
    size_t used = lines.size();
    while (used > 1 && lines[used - 1].empty()) --used;
    if (used - 1 < size_t(n)) {
        error = bad + "it names fewer files than it says.";
        return false;
    }
    if (used - 1 > size_t(n)) {
        error = bad + "it names more files than it says.";
        return false;
    }
    for (size_t i = 1; i <= size_t(n); ++i) {
        const std::string& name = lines[i];
        if (name.empty() || name[0] != '/' || name.find('\0') != std::string::npos) continue;
        if (exists(name)) names.push_back(AbsoluteName(name, "/"));
    }
    if (names.empty()) {
        error = "None of the files in " + file + " exists.";
        return false;
    }
    return true;
}

std::string FolderBeforeFirstDot(const std::string& archive) {
    const std::string name = FileNamePart(archive);
    const size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0) return {};
    return FolderPart(archive) + name.substr(0, dot);
}

// ---------------------------------------------------------------- the core's side

int TMainCore::CommandLineMode(const std::vector<std::string>& params) {
    FCommandLineMode = true;
    TBatchCommand cmd;
    std::string error;
    if (!ParseBatchCommand(params, currentFolder(), cmd, error)) {
        platform::messageBox("Parvex 2000", error, platform::MsgType::Error, platform::mbOK);
        platform::messageBox("Parvex 2000", BatchUsage(), platform::MsgType::Information, platform::mbOK);
        return esBadCommandLine;
    }
    if (cmd.verb == 'e') {
        if (!isFile(cmd.archive)) {
            errorBox("The archive " + cmd.archive + " does not exist.");
            return esFailed;
        }
        std::string folder = cmd.folder.empty() ? FolderPart(cmd.archive) : cmd.folder;
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            errorBox("The folder " + folder + " cannot be created.");
            return esFailed;
        }
        OpenArchive(cmd.archive);
        if (!FArchiveOpen) return esFailed;
        const bool ok = ExtractCore(false, cmd.Has('r'), AppendSlash(folder), cmd.Has('u'), cmd.Has('o'));
        SayKept();
        return ok ? esDone : esFailed;
    }
    std::vector<std::string> files = cmd.files;
    if (cmd.Has('s')) {
        std::vector<std::string> lines;
        if (!readLines(cmd.listFile, lines, kMaxListFile)) {
            platform::messageBox("Error", "Error opening file !", platform::MsgType::Error, platform::mbOK);
            return esFailed;
        }
        const std::string cwd = currentFolder();
        for (const std::string& line : lines)
            if (!line.empty()) files.push_back(AbsoluteName(line, cwd));
        if (files.empty()) {
            errorBox("No files selected");
            return esFailed;
        }
    }
    // A name that is not there would be left out quietly; say so and add nothing.
    for (const std::string& f : files)
        if (!hasWildcard(f) && !exists(f)) {
            errorBox("The file " + f + " does not exist.");
            return esFailed;
        }
    FHandlerKind = hkZipFront;
    CreateArchive(cmd.archive, 1);
    FAddFiles = files;
    const bool ok =
        AddCore({.hidden = true, .fullPaths = cmd.Has('f'), .relPaths = cmd.Has('p'), .level = 8});
    if (!ok && FBatchSaid.empty()) BatchSay("Nothing was added to " + cmd.archive);
    return ok ? esDone : esFailed;
}

void TMainCore::BatchSay(const std::string& text) {
    if (FCommandLineMode && !text.empty() && FBatchSaid.insert(text).second)
        platform::messageBox("Parvex 2000", text, platform::MsgType::Error, platform::mbOK);
}

void TMainCore::SayKept() {
    if (FBatchKept > 0)
        BatchSay("Kept " + std::to_string(FBatchKept) + " existing file(s) as they were (not overwritten)");
}

void TMainCore::CloseMainWindow(int status) {
    FCloseRequested = true;
    FExitStatus = status;
}

void TMainCore::HandleParams(const std::vector<std::string>& params) {
    if (params.empty()) return;
    const std::string& p1 = params[0];
    const std::string word = ShellSwitch(p1);
    if (word.empty()) {
        if (!p1.empty() && p1[0] == '-') {
            CloseMainWindow(CommandLineMode(params));
        } else if (isFile(AbsoluteName(p1, currentFolder()))) {
            OpenArchive(AbsoluteName(p1, currentFolder()));
        }
        return;
    }
    if (word == "/pvsem") return; // accepted; the window stays as it is
    const std::string p2 = params.size() >= 2 && !params[1].empty() ? params[1] : std::string();
    const std::string shellList = pvConfigFolder() + "shextdat.par";
    if (word == "/pvsaz" || word == "/pvsac") {
        std::vector<std::string> names;
        bool ok = true;
        if (p2 == "shextdat.par") {
            std::string error;
            ok = ReadShellList(shellList, names, error);
            ::unlink(shellList.c_str()); // used up, whatever it held
            if (!ok) errorBox(error);
        } else if (!p2.empty()) {
            names.push_back(AbsoluteName(p2, currentFolder()));
        } else {
            ok = false;
            errorBox("No files selected");
        }
        if (word == "/pvsac") {
            if (!ok) return;
            FShellFiles = names;
            AddDroppedFiles();
            return;
        }
        if (!ok) return CloseMainWindow(esFailed);
        FHandlerKind = hkZipFront;
        CreateArchive(
            FolderPart(names.front()) + pvcommon::WithoutExtension(FileNamePart(names.front())) + ".zip", 1);
        FAddFiles = names;
        ok = AddCore({.hidden = true, .level = 7});
        return CloseMainWindow(ok ? esDone : esFailed);
    }
    // The extracting switches: parameter 2 is the archive.
    const std::string archive = p2.empty() ? std::string() : AbsoluteName(p2, currentFolder());
    if (archive.empty() || !isFile(archive)) {
        errorBox(archive.empty() ? "No archive given after " + p1 + "."
                                 : "The archive " + archive + " does not exist.");
        return CloseMainWindow(esFailed);
    }
    std::string folder = FolderPart(archive);
    if (word == "/pvsef") {
        folder = FolderBeforeFirstDot(archive);
        std::error_code ec;
        if (!folder.empty()) fs::create_directories(folder, ec);
        if (folder.empty() || !fs::is_directory(folder, ec)) {
            platform::messageBox("E", "notcreatedir", platform::MsgType::Error, platform::mbOK);
            return CloseMainWindow(esFailed);
        }
        folder = AppendSlash(folder);
    }
    OpenArchive(archive);
    if (!FArchiveOpen) return CloseMainWindow(esFailed);
    if (word == "/pvset") {
        FCancelled = false;
        const bool ok = ExtractDialogRoad();
        return CloseMainWindow(ok ? esDone : esFailed);
    }
    const bool ok = ExtractCore(false, true, folder, FOptUpdate, FOptOverwrite);
    SayKept();
    CloseMainWindow(ok ? esDone : esFailed);
}
