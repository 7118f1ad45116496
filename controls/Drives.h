// The machine's drives as every explorer widget shows them. A drive is its mount point:
// the mounted volumes plus the emulated drives of PARVEX_MEDIA, in the order of their
// roots. What a widget keeps per drive (last visited folder, last seen serial) it keeps
// per root.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/volumes.h"

struct TDriveInfo {
    std::string Root; // the mount point, no trailing '/' except for "/" itself
    platform::DriveKind Kind = platform::DriveKind::Unknown;
    bool Readable = false; // volume information could be read (a medium is in and formatted)
    std::string Label;
    int64_t Serial = -1; // -1 when unreadable
    std::string Text;    // label + " (" + root + ")", or "(" + root + ")" when unreadable
};

// Every drive now present.
std::vector<TDriveInfo> ListDrives();
// One drive described afresh (label, serial, readability); Kind from platform::driveKind.
TDriveInfo DescribeDrive(const std::string& root);
// The root of the drive that holds `path` among `drives` (the deepest one); "" when none.
std::string DriveRootOf(const std::vector<TDriveInfo>& drives, const std::string& path);
// Whether `path` lies on the drive `root` (the root itself included).
bool PathOnRoot(const std::string& path, const std::string& root);
// Free bytes of the drive that holds `path`; negative when it cannot be read.
int64_t DriveFreeBytes(const std::string& path);
