// TZip and TJar: the zip and jar writers. They add files to a new or existing archive
// (stored or deflated, optionally with the traditional zip encryption), keep or delete the
// entries an existing archive has, and write the central directory; on a removable disk too
// small for the finished archive they span it over several disks ("PKBACK# 001", ...).
//
// Existing entries are carried as they stand: their local headers and data are copied by the
// writer base, and their central records keep their extra fields and comments; the archive
// comment stays in the new end record. Zip64 is not written: a file of 4 GiB or more, an
// archive growing past 4 GiB or more than 65,535 entries give a clear message, never a
// wrapped field.
//
// A non-ASCII name is written as UTF-8 with the UTF-8 flag and "made by Unix", its mode in
// the external attributes: that is the form unzip, 7zz, bsdtar and python all extract under
// its own name (unzip converts a name "made by MS-DOS" from the OEM code page even when the
// flag says UTF-8). ASCII names are made by MS-DOS, their attributes DOS attributes.
#pragma once
#include "archive/aeCompBase.h"
#include "archive/aeHeaders.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class TZip : public TCompBase {
public:
    TZip();

    // Pinned to the writer's own type.
    void SetArcType(TArcType Value) override;

    // ---- the writer base's operations ----
    void Run() override;
    // Finds the end record and reads the first central header.
    bool ReadFirstHeader(std::string& Name, int Handle) override;
    int LocalHeaderLength() override { return 30; }
    // Writes one new entry into the temporary archive; false when it failed or was declined
    // (the temporary archive is cut back to where the entry began).
    bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) override;
    // Reads the next central header (Flag false) or local header (Flag true) and its name.
    bool ReadHeader(std::string& Name, int Handle, bool Flag) override;
    // Walks the old central directory: kept entries are listed, deleted ones counted.
    void ScanExisting(int ArchiveHandle) override;
    // The central directory and end record, or the whole archive spanned over disks.
    void AfterWrite() override;
    // OnRead for every entry added in this run.
    void WriteDirectory() override;
    // On a removable drive the temporary archive is made in TempDir: the disk may be
    // spanned, and its own room is for the archive.
    std::string TempArchiveDir() override;

    // ASCII names as they are, every other name as UTF-8 with the UTF-8 flag, '/' between
    // folders.
    platform::EncodedName EncodeName(const std::string& Stored) const override;

    // Zip limits without Zip64.
    static constexpr int64_t kMaxFieldValue = 0xFFFFFFFE; // 0xFFFFFFFF means "see Zip64"
    static constexpr size_t kMaxEntries = 0xFFFF;

protected:
    TArcType FOwnType = atZip;

private:
    // An entry's name and central extra field as stored in the archive.
    struct TRawEntry {
        std::string Name;
        std::vector<uint8_t> Extra;
    };
    struct TCentralWalk {
        int64_t Pos = 0;  // next central header
        int64_t End = 0;  // end of the central directory
        int64_t Bias = 0; // added to stored offsets (bytes in front of the archive)
        size_t Left = 0;  // entries still to read
    };
    // Locates the end record; false when there is none (Strict: raises 25110 instead).
    bool locateEnd(int Handle, bool Strict);
    bool readCentral(int Handle, std::string& Name, TRawEntry& Raw, std::vector<uint8_t>& Comment,
                     aehdr::ZipCentralHeader& H);
    bool readLocal(int Handle, std::string& Name);
    void setEntryProperties(const std::string& Name, const aehdr::ZipCentralHeader& H);
    [[noreturn]] void raiseLimit(const std::string& FN, const std::string& What);

    int64_t centralDirectorySize(size_t& Count);
    void writeCentralFixed();
    void spanArchive();

    std::unordered_map<const THeadObject*, TRawEntry> FRaw;
    TCentralWalk FWalk;
    std::vector<uint8_t> FArchiveComment; // the old archive's comment, kept in the end record
};

class TJar : public TZip {
public:
    TJar();
};
