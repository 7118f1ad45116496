#include "platform/volumes.h"

#include "platform/fileio.h"

#include "support/env.h"
#include "support/testutil.h"

#include <cerrno>
#include <cstdlib>

using namespace platform;

using pvtest::ScopedEnv;

TEST(Volumes, RealFolderIsAFixedDrive) {
    pvtest::TempDir dir;
    ScopedEnv none("PARVEX_MEDIA", "");
    EXPECT_EQ(driveKind(dir.str()), DriveKind::Fixed);
    EXPECT_EQ(driveKind((dir / "missing").string()), DriveKind::NoRootDir);
    EXPECT_EQ(driveKind(""), DriveKind::NoRootDir);
    VolumeInfo info;
    ASSERT_TRUE(volumeInformation(dir.str(), info)) << lastVolumeError();
    EXPECT_FALSE(info.fileSystemName.empty());
    EXPECT_FALSE(info.root.empty());
    EXPECT_GT(info.maxComponentLength, 0u);
    VolumeSpace space;
    ASSERT_TRUE(volumeFreeSpace(dir.str(), space));
    EXPECT_GT(space.totalBytes, 0);
    EXPECT_LE(space.freeBytes, space.totalBytes);
    EXPECT_EQ(removableMediaForm(dir.str()), 0);
    EXPECT_FALSE(setVolumeLabel(dir.str(), "X"));
    EXPECT_FALSE(volumeInformation((dir / "missing").string(), info));
    EXPECT_FALSE(lastVolumeError().empty());
}

TEST(Volumes, EmulatedDriveConfiguration) {
    pvtest::TempDir dir;
    const std::string a = (dir / "a").string(), b = (dir / "b").string();
    ScopedEnv media("PARVEX_MEDIA", a + ",capacity=10240,label=FIRST,serial=1234ABCD,form=5.25; " + b +
                                        ",type=remote,store=" + (dir / "bstore").string());
    auto drives = emulatedDrives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].capacity, 10240);
    EXPECT_EQ(drives[1].kind, DriveKind::Remote);
    EXPECT_EQ(drives[1].store, (dir / "bstore").string());
    std::filesystem::create_directories(a + "/sub");
    EXPECT_EQ(driveKind(a + "/sub/file.zip"), DriveKind::Removable); // any path on the drive
    EXPECT_EQ(removableMediaForm(a), 8);
    EXPECT_EQ(volumeRoot(a + "/sub"), a);
    EXPECT_FALSE(emulatedDriveFor(a + "x")); // a sibling with a longer name is not on it

    VolumeInfo info;
    ASSERT_TRUE(volumeInformation(a + "/sub", info)) << lastVolumeError();
    EXPECT_EQ(info.label, "FIRST");
    EXPECT_EQ(info.serial, 0x1234ABCDu);
    EXPECT_EQ(info.fileSystemName, "FAT");
}

TEST(Volumes, EmulatedMediaSwapFormatAndSpace) {
    pvtest::TempDir dir;
    const std::string drive = (dir / "floppy").string();
    pvtest::ScopedMedia media(drive, "capacity=8192");

    VolumeSpace space;
    ASSERT_TRUE(volumeFreeSpace(drive, space));
    EXPECT_EQ(space.totalBytes, 8192);
    EXPECT_EQ(space.freeBytes, 8192);
    pvtest::writeFile(std::filesystem::path(drive) / "data.bin", std::string(1000, 'x')); // two sectors
    ASSERT_TRUE(volumeFreeSpace(drive, space));
    EXPECT_EQ(space.freeBytes, 8192 - 1024);
    EXPECT_EQ(space.freeClusters * space.bytesPerSector * space.sectorsPerCluster, uint64_t(8192 - 1024));

    ASSERT_TRUE(setVolumeLabel(drive, "PKBACK# 001"));
    VolumeInfo info;
    ASSERT_TRUE(volumeInformation(drive, info));
    EXPECT_EQ(info.label, "PKBACK# 001");
    const uint32_t firstSerial = info.serial;

    // A new blank medium: unformatted, so nothing on it can be read.
    ASSERT_TRUE(insertMedium(drive, "2"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(drive) / "data.bin"));
    EXPECT_FALSE(volumeInformation(drive, info));
    EXPECT_EQ(errno, EMEDIUMTYPE);
    EXPECT_FALSE(volumeFreeSpace(drive, space));
    ASSERT_TRUE(formatMedium(drive, "PKBACK# 002"));
    ASSERT_TRUE(volumeInformation(drive, info));
    EXPECT_EQ(info.label, "PKBACK# 002");
    EXPECT_NE(info.serial, firstSerial);

    // An empty drive, then the first disk again with its files and label.
    ASSERT_TRUE(ejectMedium(drive));
    EXPECT_FALSE(insertedMedium(drive));
    EXPECT_FALSE(volumeInformation(drive, info));
    EXPECT_EQ(errno, ENOMEDIUM);
    ASSERT_TRUE(insertMedium(drive, "1"));
    EXPECT_EQ(pvtest::readFile(std::filesystem::path(drive) / "data.bin"), std::string(1000, 'x'));
    ASSERT_TRUE(volumeInformation(drive, info));
    EXPECT_EQ(info.label, "PKBACK# 001");
    EXPECT_EQ(info.serial, firstSerial);
    EXPECT_EQ(knownMedia(drive).size(), 2u);

    // Formatting empties the disk.
    ASSERT_TRUE(formatMedium(drive, ""));
    EXPECT_TRUE(listDir(drive)->empty());
    EXPECT_FALSE(insertMedium(drive, "../escape"));
}
