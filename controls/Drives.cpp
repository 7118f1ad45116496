#include "controls/Drives.h"

#include <QStorageInfo>
#include <algorithm>
#include <map>

#include "platform/fileio.h"

TDriveInfo DescribeDrive(const std::string& root) {
    TDriveInfo d;
    d.Root = root;
    d.Kind = platform::driveKind(root);
    platform::VolumeInfo info;
    if (platform::volumeInformation(root, info)) {
        d.Readable = true;
        d.Label = info.label;
        d.Serial = info.serial;
        d.Text = info.label.empty() ? "(" + root + ")" : info.label + " (" + root + ")";
    } else {
        d.Text = "(" + root + ")";
    }
    return d;
}

std::vector<TDriveInfo> ListDrives() {
    std::map<std::string, bool> roots; // sorted by root
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid()) continue;
        const std::string root = v.rootPath().toStdString();
        // Bind mounts of single files (containers do that to /etc/hosts) are no drives.
        if (!root.empty() && platform::dirExists(root)) roots[root] = true;
    }
    for (const auto& e : platform::emulatedDrives())
        if (!e.root.empty()) roots[e.root] = true;
    std::vector<TDriveInfo> out;
    for (const auto& [root, _] : roots) out.push_back(DescribeDrive(root));
    return out;
}

bool PathOnRoot(const std::string& path, const std::string& root) {
    if (root.empty() || path.compare(0, root.size(), root) != 0) return false;
    return root == "/" || path.size() == root.size() || path[root.size()] == '/';
}

std::string DriveRootOf(const std::vector<TDriveInfo>& drives, const std::string& path) {
    std::string best;
    for (const auto& d : drives)
        if (PathOnRoot(path, d.Root) && d.Root.size() >= best.size()) best = d.Root;
    return best;
}

int64_t DriveFreeBytes(const std::string& path) {
    platform::VolumeSpace space;
    if (!platform::volumeFreeSpace(path, space)) return -1;
    return space.freeBytes;
}
