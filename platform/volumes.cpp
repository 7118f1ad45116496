// Volumes of real paths (statvfs and the mount table) and the emulated removable drives
// of PARVEX_MEDIA (a folder, a store of swappable media, per-medium label and serial).
#include "platform/volumes.h"
#include "common/PathParts.h"

#include "platform/fileio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

thread_local std::string gLastError;

bool fail(int err) {
    gLastError = std::strerror(err);
    errno = err;
    return false;
}

constexpr uint32_t kCaseSensitive = 0x1, kCasePreserved = 0x2, kReadOnlyVolume = 0x80000;
constexpr int64_t kSector = 512;
constexpr size_t kMaxLabel = 32;

// An absolute path with "." and ".." resolved lexically and no trailing '/'. Symlinks in
// the existing part are resolved too, so that both spellings of a folder compare equal.
std::string normalise(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    fs::path p = fs::path(path).is_absolute() ? fs::path(path) : fs::path(currentDir()) / path;
    p = p.lexically_normal();
    // Resolve the longest existing prefix.
    fs::path existing = p, rest;
    while (!existing.empty() && !fs::exists(existing, ec)) {
        rest = existing.filename() / rest;
        existing = existing.parent_path();
    }
    fs::path canon = existing.empty() ? p : fs::canonical(existing, ec);
    if (ec) canon = existing;
    fs::path full = rest.empty() ? canon : (canon / rest).lexically_normal();
    std::string s = full.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool isUnder(const std::string& path, const std::string& root) {
    if (root == "/") return !path.empty() && path[0] == '/';
    return path == root ||
           (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

uint32_t hashSerial(const std::string& s) {
    uint32_t h = 2166136261u; // FNV-1a
    for (char c : s) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h ? h : 1;
}

uint32_t randomSerial() {
    static std::mt19937 gen{std::random_device{}()};
    uint32_t v;
    do v = static_cast<uint32_t>(gen());
    while (v == 0);
    return v;
}

std::string trim(std::string s) {
    const auto b = s.find_first_not_of(" \t");
    const auto e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::optional<EmulatedDrive> parseDrive(const std::string& entry) {
    std::vector<std::string> parts;
    std::stringstream ss(entry);
    for (std::string part; std::getline(ss, part, ',');) parts.push_back(trim(part));
    if (parts.empty() || parts[0].empty()) return std::nullopt;
    EmulatedDrive d;
    d.root = normalise(parts[0]);
    d.store = d.root + ".media";
    for (size_t i = 1; i < parts.size(); ++i) {
        const auto eq = parts[i].find('=');
        if (eq == std::string::npos) continue;
        const std::string key = parts[i].substr(0, eq), value = parts[i].substr(eq + 1);
        if (key == "capacity") {
            char* end = nullptr;
            const long long v = std::strtoll(value.c_str(), &end, 10);
            if (end && *end == '\0' && v > 0) d.capacity = v;
        } else if (key == "label") {
            d.label = value.substr(0, kMaxLabel);
        } else if (key == "serial") {
            char* end = nullptr;
            const unsigned long v = std::strtoul(value.c_str(), &end, 16);
            if (end && *end == '\0' && !value.empty()) d.serial = static_cast<uint32_t>(v);
        } else if (key == "type") {
            static const std::map<std::string, DriveKind> kinds = {{"removable", DriveKind::Removable},
                                                                   {"fixed", DriveKind::Fixed},
                                                                   {"remote", DriveKind::Remote},
                                                                   {"cdrom", DriveKind::CdRom},
                                                                   {"ram", DriveKind::RamDisk}};
            if (auto it = kinds.find(value); it != kinds.end()) d.kind = it->second;
        } else if (key == "form") {
            d.form = value == "5.25" ? 8 : value == "3.5" ? 7 : 0;
        } else if (key == "store") {
            d.store = normalise(value);
        }
    }
    return d;
}

// ---- media state: "<store>/state" says which medium is in; "<store>/<name>.medium" holds
// its label, serial and formatted flag; "<store>/<name>/" its files while it is out.

using KeyValues = std::map<std::string, std::string>;

KeyValues readKeyValues(const std::string& file) {
    KeyValues kv;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return kv;
}

bool writeKeyValues(const std::string& file, const KeyValues& kv) {
    std::string text;
    for (const auto& [k, v] : kv) text += k + "=" + v + "\n";
    const std::string tmp = file + ".new";
    return writeWholeFile(tmp, text.data(), text.size()) && renameFile(tmp, file);
}

bool validMediumName(const std::string& name) {
    return pvcommon::IsSingleName(name) && name.find('\n') == std::string::npos && name != "state";
}

struct MediaStore {
    EmulatedDrive drive;
    std::string stateFile() const { return drive.store + "/state"; }
    std::string metaFile(const std::string& n) const { return drive.store + "/" + n + ".medium"; }
    std::string contents(const std::string& n) const { return drive.store + "/" + n; }

    // Writes the initial state the first time anything about the media is asked.
    bool ensure() const {
        if (fileExists(stateFile())) return true;
        if (!makeDirs(drive.store)) return fail(errno ? errno : EIO);
        Medium first{"1", drive.label, drive.serial.value_or(hashSerial(drive.root)), true};
        return saveMedium(first) && writeKeyValues(stateFile(), {{"inserted", "1"}});
    }
    std::optional<std::string> insertedName() const {
        if (!ensure()) return std::nullopt;
        const auto kv = readKeyValues(stateFile());
        auto it = kv.find("inserted");
        if (it == kv.end() || it->second.empty()) return std::nullopt;
        return it->second;
    }
    std::optional<Medium> loadMedium(const std::string& name) const {
        if (!fileExists(metaFile(name))) return std::nullopt;
        const auto kv = readKeyValues(metaFile(name));
        Medium m;
        m.name = name;
        if (auto it = kv.find("label"); it != kv.end()) m.label = it->second;
        if (auto it = kv.find("serial"); it != kv.end())
            m.serial = static_cast<uint32_t>(std::strtoul(it->second.c_str(), nullptr, 16));
        if (auto it = kv.find("formatted"); it != kv.end()) m.formatted = it->second == "1";
        return m;
    }
    bool saveMedium(const Medium& m) const {
        char serial[16];
        std::snprintf(serial, sizeof serial, "%08X", m.serial);
        return writeKeyValues(
            metaFile(m.name),
            {{"label", m.label}, {"serial", serial}, {"formatted", m.formatted ? "1" : "0"}});
    }
    bool setInserted(const std::string& name) const {
        return writeKeyValues(stateFile(), {{"inserted", name}});
    }
};

// Moves every entry of folder `from` into folder `to` (same file system: the store sits
// beside the drive).
bool moveContents(const std::string& from, const std::string& to) {
    if (!makeDirs(to)) return fail(errno ? errno : EIO);
    const auto entries = listDir(from);
    if (!entries) return fail(errno ? errno : EIO);
    for (const auto& e : *entries)
        if (!renameFile(from + "/" + e.name, to + "/" + e.name)) return fail(errno ? errno : EIO);
    return true;
}

int64_t usedBytes(const std::string& root) {
    int64_t used = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const auto st = it->symlink_status(ec);
        if (ec) break;
        int64_t size = kSector; // a folder or link takes at least one cluster
        if (fs::is_regular_file(st)) {
            const auto n = static_cast<int64_t>(it->file_size(ec));
            size = ec ? 0 : (n + kSector - 1) / kSector * kSector;
            ec.clear();
        }
        used += size;
    }
    return used;
}

// A medium must be in and formatted before anything on it can be read.
std::optional<Medium> readyMedium(const EmulatedDrive& d) {
    if (!dirExists(d.root)) return fail(ENOENT), std::nullopt;
    MediaStore store{d};
    const auto name = store.insertedName();
    if (!name) return fail(ENOMEDIUM), std::nullopt;
    auto m = store.loadMedium(*name);
    if (!m) return fail(ENOMEDIUM), std::nullopt;
    if (!m->formatted) return fail(EMEDIUMTYPE), std::nullopt;
    return m;
}

// ---- real mounts ----

struct MountEntry {
    std::string mountPoint, fsType, source;
};

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

std::string unescapeMount(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        // The mount table writes space, tab, newline and backslash as three octal digits.
        if (s[i] == '\\' && i + 3 < s.size() && isOctal(s[i + 1]) && isOctal(s[i + 2]) && isOctal(s[i + 3])) {
            out += static_cast<char>(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::optional<MountEntry> mountFor(const std::string& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::optional<MountEntry> best;
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        std::string id, parent, devno, root, mountPoint;
        ls >> id >> parent >> devno >> root >> mountPoint;
        std::string tok;
        while (ls >> tok && tok != "-") {
        }
        MountEntry e;
        ls >> e.fsType >> e.source;
        e.mountPoint = unescapeMount(mountPoint);
        e.source = unescapeMount(e.source);
        if (!isUnder(path, e.mountPoint)) continue;
        if (!best || e.mountPoint.size() >= best->mountPoint.size()) best = e;
    }
    return best;
}

// The name under /dev/disk/<folder> whose link resolves to `device`.
std::string diskLinkName(const std::string& folder, const std::string& device) {
    if (device.empty() || device[0] != '/') return {};
    std::error_code ec;
    const fs::path dev = fs::canonical(device, ec);
    if (ec) return {};
    for (auto it = fs::directory_iterator("/dev/disk/" + folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code ec2;
        if (fs::canonical(it->path(), ec2) == dev && !ec2)
            return unescapeMount(it->path().filename().string());
    }
    return {};
}

uint32_t serialFromUuid(const std::string& uuid) {
    std::string hex;
    for (char c : uuid)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (hex.size() < 8) return 0;
    return static_cast<uint32_t>(std::strtoul(hex.substr(0, 8).c_str(), nullptr, 16));
}

} // namespace

std::vector<EmulatedDrive> emulatedDrives() {
    std::vector<EmulatedDrive> out;
    const char* env = std::getenv("PARVEX_MEDIA");
    if (!env || !*env) return out;
    std::stringstream ss(env);
    for (std::string entry; std::getline(ss, entry, ';');)
        if (auto d = parseDrive(trim(entry))) out.push_back(std::move(*d));
    return out;
}

std::optional<EmulatedDrive> emulatedDriveFor(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const std::string p = normalise(path);
    std::optional<EmulatedDrive> best;
    for (auto& d : emulatedDrives())
        if (isUnder(p, d.root) && (!best || d.root.size() > best->root.size())) best = d;
    return best;
}

std::string volumeRoot(const std::string& path) {
    if (auto d = emulatedDriveFor(path)) return d->root;
    if (path.empty() || !pathExists(path)) return {};
    const auto m = mountFor(normalise(path));
    return m ? m->mountPoint : std::string("/");
}

DriveKind driveKind(const std::string& path) {
    if (path.empty()) return DriveKind::NoRootDir;
    if (auto d = emulatedDriveFor(path)) return dirExists(d->root) ? d->kind : DriveKind::NoRootDir;
    return pathExists(path) ? DriveKind::Fixed : DriveKind::NoRootDir;
}

bool volumeInformation(const std::string& path, VolumeInfo& info) {
    info = VolumeInfo{};
    if (path.empty()) return fail(ENOENT);
    if (auto d = emulatedDriveFor(path)) {
        const auto m = readyMedium(*d);
        if (!m) return false;
        info.root = d->root;
        info.label = m->label;
        info.serial = m->serial;
        info.maxComponentLength = 255;
        info.fileSystemFlags = kCaseSensitive | kCasePreserved;
        info.fileSystemName = "FAT";
        return true;
    }
    const std::string p = normalise(path);
    struct statvfs sv {};
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0 || ::statvfs(p.c_str(), &sv) != 0) return fail(errno);
    const auto m = mountFor(p);
    info.root = m ? m->mountPoint : "/";
    info.fileSystemName = m ? m->fsType : "";
    info.device = m ? m->source : "";
    info.maxComponentLength = static_cast<uint32_t>(sv.f_namemax);
    info.fileSystemFlags = kCaseSensitive | kCasePreserved | ((sv.f_flag & ST_RDONLY) ? kReadOnlyVolume : 0);
    info.label = diskLinkName("by-label", info.device);
    info.serial = serialFromUuid(diskLinkName("by-uuid", info.device));
    if (info.serial == 0) {
        const auto fsid = static_cast<uint64_t>(sv.f_fsid);
        info.serial = static_cast<uint32_t>(fsid ^ (fsid >> 32));
    }
    if (info.serial == 0) info.serial = static_cast<uint32_t>(st.st_dev);
    return true;
}

bool volumeFreeSpace(const std::string& path, VolumeSpace& space) {
    space = VolumeSpace{};
    if (path.empty()) return fail(ENOENT);
    if (auto d = emulatedDriveFor(path)) {
        if (!readyMedium(*d)) return false;
        space.bytesPerSector = static_cast<uint32_t>(kSector);
        space.sectorsPerCluster = 1;
        space.totalClusters = static_cast<uint64_t>(d->capacity / kSector);
        const int64_t used = usedBytes(d->root);
        const int64_t total = static_cast<int64_t>(space.totalClusters) * kSector;
        space.totalBytes = total;
        space.freeBytes = std::max<int64_t>(0, total - used);
        space.freeClusters = static_cast<uint64_t>(space.freeBytes / kSector);
        return true;
    }
    struct statvfs sv {};
    if (::statvfs(normalise(path).c_str(), &sv) != 0) return fail(errno);
    const uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
    space.bytesPerSector = static_cast<uint32_t>(std::min<uint64_t>(unit, kSector));
    space.sectorsPerCluster = static_cast<uint32_t>(unit / space.bytesPerSector);
    space.freeClusters = sv.f_bavail;
    space.totalClusters = sv.f_blocks;
    space.freeBytes = static_cast<int64_t>(std::min<uint64_t>(sv.f_bavail * unit, INT64_MAX));
    space.totalBytes = static_cast<int64_t>(std::min<uint64_t>(sv.f_blocks * unit, INT64_MAX));
    return true;
}

bool setVolumeLabel(const std::string& path, const std::string& label) {
    auto d = emulatedDriveFor(path);
    if (!d) return fail(EPERM);
    if (label.size() > kMaxLabel || label.find('\n') != std::string::npos) return fail(EINVAL);
    auto m = readyMedium(*d);
    if (!m) return false;
    m->label = label;
    return MediaStore{*d}.saveMedium(*m) || fail(EIO);
}

int removableMediaForm(const std::string& path) {
    auto d = emulatedDriveFor(path);
    return d && d->kind == DriveKind::Removable ? d->form : 0;
}

std::string lastVolumeError() {
    return gLastError;
}

std::optional<Medium> insertedMedium(const std::string& drive) {
    auto d = emulatedDriveFor(drive);
    if (!d) return std::nullopt;
    MediaStore store{*d};
    const auto name = store.insertedName();
    return name ? store.loadMedium(*name) : std::nullopt;
}

std::vector<Medium> knownMedia(const std::string& drive) {
    std::vector<Medium> out;
    auto d = emulatedDriveFor(drive);
    if (!d) return out;
    MediaStore store{*d};
    if (!store.ensure()) return out;
    if (auto entries = listDir(d->store)) {
        for (const auto& e : *entries) {
            const std::string suffix = ".medium";
            if (e.name.size() > suffix.size() && e.name.ends_with(suffix))
                if (auto m = store.loadMedium(e.name.substr(0, e.name.size() - suffix.size())))
                    out.push_back(*m);
        }
    }
    std::sort(out.begin(), out.end(), [](const Medium& a, const Medium& b) { return a.name < b.name; });
    return out;
}

bool ejectMedium(const std::string& drive) {
    auto d = emulatedDriveFor(drive);
    if (!d) return fail(ENODEV);
    MediaStore store{*d};
    const auto name = store.insertedName();
    if (!name) return true;
    if (!moveContents(d->root, store.contents(*name))) return false;
    return store.setInserted("") || fail(EIO);
}

bool insertMedium(const std::string& drive, const std::string& name, bool formatted,
                  const std::string& label) {
    auto d = emulatedDriveFor(drive);
    if (!d) return fail(ENODEV);
    if (!validMediumName(name) || label.size() > kMaxLabel) return fail(EINVAL);
    MediaStore store{*d};
    const auto current = store.insertedName();
    if (current && *current == name) return true;
    if (!ejectMedium(drive)) return false;
    if (!makeDirs(d->root)) return fail(errno ? errno : EIO);
    if (store.loadMedium(name)) {
        const std::string from = store.contents(name);
        if (dirExists(from)) {
            if (!moveContents(from, d->root)) return false;
            removeDir(from);
        }
    } else if (!store.saveMedium(Medium{name, label, randomSerial(), formatted})) {
        return fail(EIO);
    }
    return store.setInserted(name) || fail(EIO);
}

bool formatMedium(const std::string& drive, const std::string& label) {
    auto d = emulatedDriveFor(drive);
    if (!d) return fail(ENODEV);
    if (label.size() > kMaxLabel) return fail(EINVAL);
    MediaStore store{*d};
    const auto name = store.insertedName();
    if (!name) return fail(ENOMEDIUM);
    std::error_code ec;
    if (auto entries = listDir(d->root))
        for (const auto& e : *entries) fs::remove_all(d->root + "/" + e.name, ec);
    if (ec) return fail(ec.value());
    auto m = store.loadMedium(*name).value_or(Medium{*name, {}, 0, false});
    uint32_t serial;
    do serial = randomSerial();
    while (serial == m.serial);
    m.serial = serial;
    m.label = label;
    m.formatted = true;
    return store.saveMedium(m) || fail(EIO);
}

} // namespace platform
