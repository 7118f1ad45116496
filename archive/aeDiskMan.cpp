#include "archive/aeDiskMan.h"

#include "archive/aeCommon.h"
#include "archive/aeMsgs.h"
#include "platform/ui_hooks.h"
#include "platform/volumes.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kAppTitle = "Parvex 2000";
constexpr std::string_view kSpanMarker = "PKBACK# ";

constexpr std::array<const char*, 9> kMediaNames = {"Unknown", "None", "Floppy",    "Fixed",    "Network",
                                                    "CD-ROM",  "RAM",  "3½ Floppy", "5¼ Floppy"};

std::string hex8(uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

} // namespace

std::string TDiskManager::MediaNameOf(int Index) {
    return Index >= 0 && static_cast<size_t>(Index) < kMediaNames.size()
               ? kMediaNames[static_cast<size_t>(Index)]
               : kMediaNames[0];
}

int TDiskManager::DiskNumberFromLabel(const std::string& Label) {
    const size_t at = Label.rfind(kSpanMarker);
    if (at == std::string::npos) return 0;
    const std::string digits = Label.substr(at + kSpanMarker.size());
    // An empty tail or one too long for an int is no disk number either.
    if (digits.empty() || !IsAllDigits(digits) || digits.size() > 9) return 0;
    return std::stoi(digits);
}

bool TDiskManager::AskRetry(const std::string& Root) const {
    const std::string text = AppendDirTail(Root) + " " + std::string(AeMessageText(kMsgNotAccessible)) +
                             "\n\n" + platform::lastVolumeError();
    return platform::messageBox(kAppTitle, text, platform::MsgType::Error,
                                platform::mbRetry | platform::mbCancel) == platform::ModalResult::Retry;
}

void TDiskManager::ClearVolume() {
    VolumeLabel.clear();
    DiskNumber = 0;
    SerialNumber = 0;
    SerialText.clear();
    FileSystemName.clear();
    MaxComponentLength = 0;
    FileSystemFlags = 0;
    MediaName.clear();
    DiskSpace = TDiskSpaceRec{};
}

bool TDiskManager::Refresh() {
    Ready = true;
    for (;;) {
        platform::VolumeInfo info;
        if (!Drive.empty() && platform::volumeInformation(Drive, info)) {
            VolumeLabel = info.label;
            DiskNumber = DiskNumberFromLabel(info.label);
            SerialNumber = info.serial;
            SerialText = hex8(info.serial);
            MaxComponentLength = info.maxComponentLength;
            FileSystemName = info.fileSystemName;
            DriveType = static_cast<uint8_t>(platform::driveKind(Drive));
            if (DriveType == DRIVE_REMOVABLE) {
                Ready = WaitForDisk(Drive);
                MediaName = MediaNameOf(MediaType);
                FileSystemFlags = info.fileSystemFlags;
                return Ready;
            }
            for (;;) {
                if (GetFreeSpace(Drive, DiskSpace)) {
                    MediaName = MediaNameOf(DriveType);
                    FileSystemFlags = info.fileSystemFlags;
                    return Ready;
                }
                // A disk whose space cannot be read is not ready either.
                if (!AskRetry(Drive)) {
                    Ready = false;
                    return Ready;
                }
            }
        }
        if (Drive.empty()) DriveType = DRIVE_NO_ROOT_DIR;
        if (!AskRetry(Drive)) {
            // Nothing of the previous disk may pass for this one's.
            ClearVolume();
            DriveType = static_cast<uint8_t>(platform::driveKind(Drive));
            Ready = false;
            return Ready;
        }
    }
}

bool TDiskManager::WaitForDisk(const std::string& Root) {
    if (platform::driveKind(Root) != platform::DriveKind::Removable) return false;
    MediaType = static_cast<uint8_t>(platform::removableMediaForm(Root));
    for (;;) {
        if (GetFreeSpace(Root, DiskSpace)) return true;
        if (!AskRetry(Root)) return false;
    }
}

bool TDiskManager::GetFreeSpace(const std::string& Root, TDiskSpaceRec& Record) {
    if (platform::driveKind(Root) == platform::DriveKind::Remote) return true;
    Record = TDiskSpaceRec{};
    platform::VolumeSpace s;
    if (!platform::volumeFreeSpace(Root, s)) return false;
    Record.SectorsPerCluster = s.sectorsPerCluster;
    Record.BytesPerSector = s.bytesPerSector;
    Record.FreeClusters = s.freeClusters;
    Record.TotalClusters = s.totalClusters;
    Record.FreeBytes = s.freeBytes;
    Record.TotalBytes = s.totalBytes;
    return true;
}

bool TDiskManager::SetVolumeLabel(const std::string& Label) {
    if (Label != VolumeLabel && !platform::setVolumeLabel(Drive, Label)) return false;
    Refresh();
    return true;
}

void TDiskManager::SetDrive(const std::string& Root) {
    Drive = Root;
    if (!Polling) {
        Refresh();
        timerRunning_ = false;
    }
    if (auto handler = OnChange) handler(*this);
}

void TDiskManager::SetPolling(bool On) {
    if (On == Polling) return;
    Polling = On;
    Refresh();
    if (!On) {
        timerRunning_ = false;
        return;
    }
    if (PollingInterval > 0 && (DriveType == DRIVE_REMOVABLE || DriveType == DRIVE_CDROM)) {
        polledSerial_ = SerialText;
        timerRunning_ = true;
    } else {
        Polling = false;
        timerRunning_ = false;
    }
}

void TDiskManager::PollTick() {
    if (!PollingActive()) return;
    Refresh();
    if (SerialText != polledSerial_) {
        polledSerial_ = SerialText;
        if (auto handler = OnDiskChanged) handler(*this);
    }
}
