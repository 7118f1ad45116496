// Drives and volumes. A real path is on a fixed drive: statvfs gives its space and the
// mount table its file system, device, label and serial. An emulated removable drive,
// configured by PARVEX_MEDIA, stands in for a floppy drive: a folder with a capacity, a
// volume label and serial number per medium, media that are swapped in and out, and
// media that are not formatted yet.
//
// PARVEX_MEDIA holds one or more drives separated by ';', each
//     FOLDER[,capacity=BYTES][,label=TEXT][,serial=HEX][,type=removable|fixed|remote|cdrom|ram]
//           [,form=3.5|5.25][,store=FOLDER]
// FOLDER is the drive's mount point: the inserted medium's files are the files in it.
// Media that are not inserted, and the state of every medium, are kept in the store
// (default FOLDER + ".media", beside the drive so that it never shows on the disk).
// Without any state the drive holds one formatted medium named "1" with the configured
// label and serial. Capacity (default 1457664, a 3.5-inch high-density disk) is what free
// space is computed from; writes beyond it are not stopped, callers check the free space
// as they would on a real disk.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The Windows drive types (their numbers are stored and compared by callers).
enum class DriveKind : uint8_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6
};

struct VolumeInfo {
    std::string root;    // the drive's root folder (mount point)
    std::string label;   // volume label, may be empty
    uint32_t serial = 0; // volume serial number
    uint32_t maxComponentLength = 255;
    uint32_t fileSystemFlags =
        0; // Windows FILE_* flags: 1 case-sensitive, 2 case-preserving, 0x80000 read-only
    std::string fileSystemName; // "ext4", "vfat", ... ("FAT" for an emulated drive)
    std::string device;         // the mounted device or source ("" for an emulated drive)
};

struct VolumeSpace {
    uint32_t sectorsPerCluster = 0, bytesPerSector = 0;
    uint64_t freeClusters = 0, totalClusters = 0;
    int64_t freeBytes = 0, totalBytes = 0;
};

// The root (mount point) of the drive that holds `path`; empty when `path` does not exist.
std::string volumeRoot(const std::string& path);
// NoRootDir for an empty or missing path.
DriveKind driveKind(const std::string& path);
// False when the drive cannot be read (missing path, no medium, medium not formatted);
// lastVolumeError() then says why in the system's words.
bool volumeInformation(const std::string& path, VolumeInfo& info);
bool volumeFreeSpace(const std::string& path, VolumeSpace& space);
// Only emulated drives keep labels that can be changed (at most 32 bytes); false elsewhere.
bool setVolumeLabel(const std::string& path, const std::string& label);
// The kind of removable medium: 7 for a 3.5-inch, 8 for a 5.25-inch drive, 0 unknown.
int removableMediaForm(const std::string& path);
std::string lastVolumeError();

// ---- Emulated drives ----
struct EmulatedDrive {
    std::string root;  // absolute, without a trailing '/'
    std::string store; // where media and their state are kept
    int64_t capacity = 1457664;
    DriveKind kind = DriveKind::Removable;
    int form = 7;                   // removableMediaForm
    std::string label;              // label of the first medium
    std::optional<uint32_t> serial; // serial of the first medium (default derived from the path)
};
// The drives PARVEX_MEDIA describes (read afresh each call).
std::vector<EmulatedDrive> emulatedDrives();
// The emulated drive that holds `path`, if any.
std::optional<EmulatedDrive> emulatedDriveFor(const std::string& path);

struct Medium {
    std::string name;
    std::string label;
    uint32_t serial = 0;
    bool formatted = true;
};
// The medium in the drive; std::nullopt when the drive is empty. `drive` is any path on it.
std::optional<Medium> insertedMedium(const std::string& drive);
std::vector<Medium> knownMedia(const std::string& drive);
// Takes the medium out (its files go to the store). True when the drive is empty afterwards.
bool ejectMedium(const std::string& drive);
// Puts medium `name` in, ejecting the one inside first; an unknown name is a new blank
// medium, unformatted unless `formatted`.
bool insertMedium(const std::string& drive, const std::string& name, bool formatted = false,
                  const std::string& label = {});
// Formats the inserted medium: every file goes, a new serial number, the given label.
bool formatMedium(const std::string& drive, const std::string& label = {});

} // namespace platform
