#include "app/desktop/ftReg.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "app/desktop/DesktopEntry.h"
#include "app/core/IniFile.h"
#include "common/PathParts.h"
#include "platform/fileio.h"
#include "platform/process.h"

namespace ftreg {
namespace {

const char* kEntrySection = "Desktop Entry";
const char* kDefaults = "Default Applications";
const char* kAdded = "Added Associations";
// Types we define ourselves for extensions the shared database does not know.
const char* kOwnTypePrefix = "application/x-parvex-";

std::string g_programFile;

std::string dataHome() {
    return platform::xdgDataHome();
}
std::string configHome() {
    return platform::xdgConfigHome();
}

// "a;b;" -> {a, b}; empty items dropped.
std::vector<std::string> splitList(const std::string& v) {
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(v);
    while (std::getline(in, cur, ';'))
        if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string joinList(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& i : items) out += i + ";";
    return out;
}

// The program's icon: an archive box with a zip fastener down its front.
const char* const kIconSvg = R"(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">
  <rect x="6" y="10" width="36" height="32" rx="3" fill="#c98b3c" stroke="#6b4514" stroke-width="2"/>
  <rect x="4" y="6" width="40" height="9" rx="2" fill="#e0a95a" stroke="#6b4514" stroke-width="2"/>
  <rect x="21" y="6" width="6" height="36" fill="#4a4a4a"/>
  <path d="M21 9h3M24 12h3M21 15h3M24 18h3M21 21h3M24 24h3M21 27h3" stroke="#d8d8d8" stroke-width="1.5"/>
  <rect x="19" y="28" width="10" height="8" rx="2" fill="#9a9a9a" stroke="#333" stroke-width="1.5"/>
  <circle cx="24" cy="32" r="1.5" fill="#333"/>
</svg>
)";

// Puts the icon where the desktop finds it by name (written again only when it differs).
void installIcon() {
    std::ifstream in(IconPath(), std::ios::binary);
    const std::string have((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (have == kIconSvg) return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(IconPath()).parent_path(), ec);
    WriteFileReplacing(IconPath(), kIconSvg);
}

// Writes the desktop entry with the given MIME types (the rest is always the same).
void writeEntry(const std::vector<std::string>& types) {
    installIcon();
    std::filesystem::create_directories(std::filesystem::path(DesktopEntryPath()).parent_path());
    TIniFile f(DesktopEntryPath());
    f.WriteString(kEntrySection, "Type", "Application");
    f.WriteString(kEntrySection, "Name", "Parvex 2000");
    f.WriteString(kEntrySection, "Comment", "Parvex File");
    f.WriteString(kEntrySection, "Icon", kIconName);
    f.WriteString(kEntrySection, "Exec", DesktopExecArgument(ProgramFile()) + " %f");
    f.WriteString(kEntrySection, "Terminal", "false");
    f.WriteString(kEntrySection, "Categories", "Utility;Archiving;Compression;");
    if (types.empty())
        f.DeleteKey(kEntrySection, "MimeType");
    else
        f.WriteString(kEntrySection, "MimeType", joinList(types));
}

std::vector<std::string> entryTypes() {
    if (!std::filesystem::exists(DesktopEntryPath())) return {};
    TIniFile f(DesktopEntryPath());
    return splitList(f.ReadString(kEntrySection, "MimeType", ""));
}

// Our own MIME package: the extensions it defines a type for, in the order they were added.
std::vector<std::string> ownPackageExtensions() {
    std::vector<std::string> exts;
    std::ifstream in(MimePackagePath());
    std::string line;
    while (std::getline(in, line)) {
        auto p = line.find("<glob pattern=\"*");
        if (p == std::string::npos) continue;
        p += 16;
        auto e = line.find('"', p);
        if (e != std::string::npos) exts.push_back(line.substr(p, e - p));
    }
    return exts;
}

std::string ownType(const std::string& ext) {
    return kOwnTypePrefix + ext.substr(1);
}

bool runUpdateMimeDatabase() {
    return platform::runProgram({"update-mime-database", dataHome() + "/mime"}) == 0;
}

// Adds types for `exts` to our MIME package (keeping those already there) and rebuilds the
// user's MIME database.
void addToOwnPackage(const std::vector<std::string>& exts) {
    std::vector<std::string> all = ownPackageExtensions();
    bool changed = false;
    for (const auto& e : exts)
        if (std::find(all.begin(), all.end(), e) == all.end()) {
            all.push_back(e);
            changed = true;
        }
    if (!changed) return;
    std::filesystem::create_directories(std::filesystem::path(MimePackagePath()).parent_path());
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const auto& e : all) {
        const std::string upper = pvcommon::UpperAscii(e.substr(1));
        text += "  <mime-type type=\"" + ownType(e) + "\">\n";
        text += "    <comment>" + upper + " archive</comment>\n";
        text += "    <glob pattern=\"*" + e + "\"/>\n";
        text += "  </mime-type>\n";
    }
    text += "</mime-info>\n";
    if (!WriteFileReplacing(MimePackagePath(), text)) return;
    runUpdateMimeDatabase();
}

// The MIME type of each valid extension of the list; our own package supplies the missing.
std::vector<std::string> typesOf(const std::string& Extensions, bool createMissing) {
    std::vector<std::string> exts = SplitExtensions(Extensions);
    std::vector<std::string> types, missing;
    for (const auto& e : exts) {
        std::string t = MimeTypeForExtension(e);
        if (t.empty()) {
            missing.push_back(e);
            t = ownType(e);
        }
        if (std::find(types.begin(), types.end(), t) == types.end()) types.push_back(t);
    }
    if (createMissing && !missing.empty()) addToOwnPackage(missing);
    return types;
}

void removeFrom(TIniFile& f, const char* section, const std::string& type) {
    if (!f.ValueExists(section, type)) return;
    std::vector<std::string> apps = splitList(f.ReadString(section, type, ""));
    auto it = std::remove(apps.begin(), apps.end(), std::string(kDesktopId));
    if (it == apps.end()) return;
    apps.erase(it, apps.end());
    if (apps.empty())
        f.DeleteKey(section, type);
    else
        f.WriteString(section, type, joinList(apps));
}

} // namespace

std::string ProgramFile() {
    if (!g_programFile.empty()) return g_programFile;
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("parvex") : p.string();
}

void SetProgramFile(const std::string& Path) {
    g_programFile = Path;
}

std::string DesktopEntryPath() {
    return dataHome() + "/applications/" + kDesktopId;
}
std::string MimeAppsListPath() {
    return configHome() + "/mimeapps.list";
}
std::string MimePackagePath() {
    return dataHome() + "/mime/packages/parvex.xml";
}
std::string IconPath() {
    return dataHome() + "/icons/hicolor/scalable/apps/" + kIconName + ".svg";
}

std::vector<std::string> SplitExtensions(const std::string& Extensions) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(Extensions);
    while (std::getline(in, item, ',')) {
        bool ok = item.size() >= 2 && item[0] == '.';
        for (size_t i = 1; ok && i < item.size(); ++i)
            ok = std::isalnum(static_cast<unsigned char>(item[i])) != 0;
        if (ok) out.push_back(pvcommon::LowerAscii(item));
    }
    return out;
}

std::string MimeTypeForExtension(const std::string& Ext) {
    std::vector<std::string> dirs = {dataHome()};
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string sys = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    std::istringstream in(sys);
    for (std::string d; std::getline(in, d, ':');)
        if (!d.empty()) dirs.push_back(d);
    const std::string pattern = "*" + pvcommon::LowerAscii(Ext);
    std::string best;
    int bestWeight = -1;
    for (const auto& d : dirs) {
        std::ifstream g(d + "/mime/globs2");
        for (std::string line; std::getline(g, line);) {
            if (line.empty() || line[0] == '#') continue;
            auto c1 = line.find(':');
            auto c2 = c1 == std::string::npos ? c1 : line.find(':', c1 + 1);
            if (c2 == std::string::npos) continue;
            auto c3 = line.find(':', c2 + 1);
            std::string glob = line.substr(c2 + 1, c3 == std::string::npos ? std::string::npos : c3 - c2 - 1);
            bool caseSensitive = c3 != std::string::npos && line.find("cs", c3) != std::string::npos;
            if (caseSensitive ? glob != pattern : pvcommon::LowerAscii(glob) != pattern) continue;
            int weight = std::atoi(line.substr(0, c1).c_str());
            if (weight > bestWeight) {
                bestWeight = weight;
                best = line.substr(c1 + 1, c2 - c1 - 1);
            }
        }
    }
    return best;
}

void RegisterProgId() {
    writeEntry(entryTypes());
}

void AssociateExtensions(const std::string& Extensions) {
    std::vector<std::string> types = typesOf(Extensions, true);
    std::vector<std::string> listed = entryTypes();
    for (const auto& t : types)
        if (std::find(listed.begin(), listed.end(), t) == listed.end()) listed.push_back(t);
    writeEntry(listed);

    std::filesystem::create_directories(std::filesystem::path(MimeAppsListPath()).parent_path());
    TIniFile f(MimeAppsListPath());
    for (const auto& t : types) {
        std::vector<std::string> apps = splitList(f.ReadString(kDefaults, t, ""));
        apps.erase(std::remove(apps.begin(), apps.end(), std::string(kDesktopId)), apps.end());
        apps.insert(apps.begin(), kDesktopId);
        f.WriteString(kDefaults, t, joinList(apps));
    }
}

void UnassociateExtensions(const std::string& Extensions) {
    std::vector<std::string> types = typesOf(Extensions, false);
    if (types.empty()) return;
    if (std::filesystem::exists(DesktopEntryPath())) {
        std::vector<std::string> listed = entryTypes();
        for (const auto& t : types) listed.erase(std::remove(listed.begin(), listed.end(), t), listed.end());
        writeEntry(listed);
    }
    if (!std::filesystem::exists(MimeAppsListPath())) return;
    TIniFile f(MimeAppsListPath());
    for (const auto& t : types) {
        removeFrom(f, kDefaults, t);
        removeFrom(f, kAdded, t);
    }
}

bool IsAssociated(const std::string& Extensions) {
    std::vector<std::string> exts = SplitExtensions(Extensions);
    if (exts.empty()) return false;
    TIniFile f(MimeAppsListPath());
    for (const auto& e : exts) {
        std::string t = MimeTypeForExtension(e);
        if (t.empty()) return false;
        std::vector<std::string> apps = splitList(f.ReadString(kDefaults, t, ""));
        if (apps.empty() || apps.front() != kDesktopId) return false;
    }
    return true;
}

} // namespace ftreg
