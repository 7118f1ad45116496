#include "archive/aeDiskMan.h"

#include "platform/ui_hooks.h"
#include "platform/volumes.h"

#include "support/env.h"
#include "support/testutil.h"

#include <cstdlib>

using pvtest::ScopedEnv;
using pvtest::ScopedMedia;

namespace {

// Records every question and answers from a script (Cancel when it runs out).
struct ScriptedQuestions {
    std::vector<platform::ModalResult> answers;
    std::vector<std::string> texts, captions;
    std::function<void()> onAsk;
    platform::UiHooks hooks() {
        platform::UiHooks h;
        h.messageBox = [this](const std::string& caption, const std::string& text, platform::MsgType,
                              unsigned) {
            captions.push_back(caption);
            texts.push_back(text);
            if (onAsk) onAsk();
            const size_t i = texts.size() - 1;
            return i < answers.size() ? answers[i] : platform::ModalResult::Cancel;
        };
        return h;
    }
};

} // namespace

TEST(DiskManLabel, DiskNumberFromLabel) {
    const std::pair<const char*, int> cases[] = {
        {"PKBACK# 003", 3},
        {"PKBACK# 120", 120},
        {"PKBACK# A1", 0},
        {"BACKUP", 0},
        {"PKBACK# ", 0},
        {"PKBACK#003", 0},
        {"X PKBACK# 1 PKBACK# 12", 12},
        {"PKBACK# 99999999999", 0},
        {"", 0},
    };
    for (const auto& [label, number] : cases)
        EXPECT_EQ(TDiskManager::DiskNumberFromLabel(label), number) << label;
}

TEST(DiskManMedia, EmulatedRemovableDrive) {
    pvtest::TempDir dir;
    const std::string drive = (dir / "floppy").string();
    ScopedMedia media(drive, "capacity=1457664,label=PKBACK# 003,serial=1A2B3C4D");
    pvtest::writeFile(std::filesystem::path(drive) / "part.zip", std::string(2048, 'z'));

    TDiskManager dm;
    int changes = 0;
    dm.OnChange = [&](TDiskManager&) { ++changes; };
    dm.SetDrive(drive);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(dm.Ready);
    EXPECT_EQ(dm.DriveType, DRIVE_REMOVABLE);
    EXPECT_EQ(dm.MediaType, MEDIA_FLOPPY_35);
    EXPECT_EQ(dm.MediaName, "3½ Floppy");
    EXPECT_EQ(dm.VolumeLabel, "PKBACK# 003");
    EXPECT_EQ(dm.DiskNumber, 3);
    EXPECT_EQ(dm.SerialNumber, 0x1A2B3C4Du);
    EXPECT_EQ(dm.SerialText, "1A2B3C4D");
    EXPECT_EQ(dm.FileSystemName, "FAT");
    EXPECT_EQ(dm.DiskSpace.TotalBytes, 1457664);
    EXPECT_EQ(dm.DiskSpace.FreeBytes, 1457664 - 2048);

    ASSERT_TRUE(dm.SetVolumeLabel("PKBACK# 004"));
    EXPECT_EQ(dm.DiskNumber, 4);
    EXPECT_EQ(platform::insertedMedium(drive)->label, "PKBACK# 004");
}

TEST(DiskManMedia, RealFolderIsFixed) {
    pvtest::TempDir dir;
    ScopedEnv media("PARVEX_MEDIA", "");
    TDiskManager dm;
    dm.SetDrive(dir.str());
    EXPECT_TRUE(dm.Ready);
    EXPECT_EQ(dm.DriveType, DRIVE_FIXED);
    EXPECT_EQ(dm.MediaName, "Fixed");
    EXPECT_EQ(dm.SerialText.size(), 8u);
    EXPECT_GT(dm.DiskSpace.TotalBytes, 0);
    EXPECT_FALSE(dm.WaitForDisk(dir.str())); // only for removable drives
    dm.SetPolling(true);                     // a fixed drive is not polled
    EXPECT_FALSE(dm.Polling);
    EXPECT_FALSE(dm.PollingActive());
}

TEST(DiskManMedia, UnreadableDiskAsksToRetry) {
    pvtest::TempDir dir;
    const std::string drive = (dir / "floppy").string();
    ScopedMedia media(drive, "label=OLD");
    ASSERT_TRUE(platform::insertMedium(drive, "blank")); // not formatted

    // Cancel: not ready, and nothing of an earlier disk stays in the fields.
    {
        ScriptedQuestions q;
        platform::ScopedUiHooks scoped(q.hooks());
        TDiskManager dm;
        dm.VolumeLabel = "PKBACK# 007";
        dm.DiskNumber = 7;
        EXPECT_FALSE((dm.SetDrive(drive), dm.Ready));
        ASSERT_EQ(q.texts.size(), 1u);
        EXPECT_EQ(q.texts[0].rfind(drive + "/ is not accessible.\n\n", 0), 0u) << q.texts[0];
        EXPECT_EQ(q.captions[0], "Parvex 2000");
        EXPECT_EQ(dm.DiskNumber, 0);
        EXPECT_EQ(dm.VolumeLabel, "");
    }
    // Retry after the user formatted the disk: ready with the new label.
    {
        ScriptedQuestions q;
        q.answers = {platform::ModalResult::Retry};
        q.onAsk = [&] { platform::formatMedium(drive, "PKBACK# 001"); };
        platform::ScopedUiHooks scoped(q.hooks());
        TDiskManager dm;
        dm.SetDrive(drive);
        EXPECT_EQ(q.texts.size(), 1u);
        EXPECT_TRUE(dm.Ready);
        EXPECT_EQ(dm.DiskNumber, 1);
    }
    // Without hooks the default answer never blocks.
    platform::ejectMedium(drive);
    TDiskManager dm;
    dm.SetDrive(drive);
    EXPECT_FALSE(dm.Ready);
}

TEST(DiskManMedia, RemoteDriveSpaceIsNotQueried) {
    pvtest::TempDir dir;
    const std::string drive = (dir / "net").string();
    ScopedMedia media(drive, "type=remote");
    ASSERT_TRUE(platform::ejectMedium(drive)); // its space could not be read
    TDiskManager dm;
    TDiskSpaceRec rec;
    rec.FreeBytes = 42;
    EXPECT_TRUE(dm.GetFreeSpace(drive, rec));
    EXPECT_EQ(rec.FreeBytes, 42);
}

TEST(DiskManMedia, PollingSeesADiskChange) {
    pvtest::TempDir dir;
    const std::string drive = (dir / "floppy").string();
    ScopedMedia media(drive);
    TDiskManager dm;
    dm.SetDrive(drive);
    int changed = 0;
    dm.OnDiskChanged = [&](TDiskManager&) { ++changed; };
    dm.SetPolling(true);
    ASSERT_TRUE(dm.PollingActive());
    dm.PollTick();
    EXPECT_EQ(changed, 0);
    ASSERT_TRUE(platform::insertMedium(drive, "second", true, "NEXT"));
    dm.PollTick();
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(dm.VolumeLabel, "NEXT");
    dm.PollTick();
    EXPECT_EQ(changed, 1);
    dm.SetPolling(false);
    EXPECT_FALSE(dm.PollingActive());
}
