// TDiskManager: the disk in one drive — label, serial number, file system, drive type,
// kind of removable medium, free and total space, and the disk number of a spanned zip set
// read from the label ("PKBACK# 003" is disk 3). Works on the volume service: a real path
// is a fixed drive, an emulated drive of PARVEX_MEDIA a removable one. When a drive cannot
// be read it asks, through the UI hooks, whether to retry.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Windows drive types, as DriveType holds them.
enum : uint8_t {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};
// Removable-medium kinds, as MediaType holds them.
enum : uint8_t { MEDIA_UNKNOWN = 0, MEDIA_FLOPPY_35 = 7, MEDIA_FLOPPY_525 = 8 };

struct TDiskSpaceRec {
    uint32_t SectorsPerCluster = 0, BytesPerSector = 0;
    uint64_t FreeClusters = 0, TotalClusters = 0;
    int64_t FreeBytes = 0, TotalBytes = 0;
};

class TDiskManager {
public:
    using TNotifyEvent = std::function<void(TDiskManager& Sender)>;

    std::string Drive;       // the drive as given: any path on it
    std::string VolumeLabel; // empty when the drive was not readable
    int DiskNumber = 0;      // from the label, 0 when none
    std::string SerialText;  // 8 hexadecimal digits
    uint32_t SerialNumber = 0;
    uint32_t MaxComponentLength = 0;
    uint32_t FileSystemFlags = 0;
    std::string FileSystemName;
    uint8_t DriveType = DRIVE_UNKNOWN;
    uint8_t MediaType = MEDIA_UNKNOWN;
    std::string MediaName;
    bool Ready = false;
    TDiskSpaceRec DiskSpace;
    bool Polling = false;
    int PollingInterval = 2000; // milliseconds

    TNotifyEvent OnChange;      // after each SetDrive
    TNotifyEvent OnDiskChanged; // when a poll sees another serial number

    // The drive to describe; refreshes (unless polling is on) and fires OnChange.
    void SetDrive(const std::string& Root);
    bool Refresh(); // Ready
    bool SetVolumeLabel(const std::string& Label);
    // A remote drive gives True without being asked (Record untouched).
    bool GetFreeSpace(const std::string& Root, TDiskSpaceRec& Record);
    // Removable drives only: waits (asking to retry) until the disk's free space can be read.
    bool WaitForDisk(const std::string& Root);
    static int DiskNumberFromLabel(const std::string& Label);
    // Polling needs a removable or CD-ROM drive and an interval above 0; the engine has no
    // timer of its own, so whoever runs the event loop calls PollTick every PollingInterval
    // milliseconds while PollingActive() is true.
    void SetPolling(bool On);
    bool PollingActive() const { return Polling && timerRunning_; }
    void PollTick();

    // The name of a drive type or medium kind ("Fixed", "3½ Floppy", ...).
    static std::string MediaNameOf(int Index);

private:
    // "<root>/ is not accessible." with the system's reason; True for Retry.
    bool AskRetry(const std::string& Root) const;
    void ClearVolume();

    bool timerRunning_ = false;
    std::string polledSerial_;
};
