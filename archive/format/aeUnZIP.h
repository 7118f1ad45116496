// TUnZIP: extracts or tests zip archives, self-extracting zip programs, spanned zip sets
// and jar files; TUnJar is the same extractor under the jar name. A scan chooses the
// entries (from the central directory when it was found, else from the local headers)
// and checks room on removable targets; then each chosen entry's local header is read,
// its encryption settled (Password, Passwords, OnGetPassword) and its data decoded
// through DecodeZipEntry. Names ending in '/' are folders: created when writing files,
// never written as files. Entries whose data the engine cannot decode (Deflate64, bzip2,
// ... and Zip64 sizes) are reported as unsupported and fail; they are never taken for
// corruption. A symbolic link stored by a Unix zip is made as a link when it points inside
// the extraction folder and passed over with a message otherwise; never written as a file.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "archive/aeHeaders.h"
#include "archive/aeUnBase.h"

// The password of a traditionally encrypted entry, by the one policy (TUnBase::PasswordStep):
// Password, then Passwords, then OnGetPassword up to PasswordAttempts times, each tried
// against the 12-byte encryption header Header (check byte by Flags bit 3: the high byte of
// FileTime, else of Crc). On esGo Password holds the one that passed and the run's keys are
// ready for the data. Shared by the zip and BH extractors.
TUnBase::TEntryStep ZipPasswordStep(TUnBase& Ex, const std::string& Name,
                                    const std::array<uint8_t, 12>& Header, uint32_t Flags, uint32_t FileTime,
                                    uint32_t Crc);

class TUnZIP : public TUnBase {
public:
    TUnZIP() = default;

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    // A chosen entry as the scan records it.
    struct TZipChosen {
        uint16_t Flags = 0, Method = 0;
        int64_t LocalOffset = 0; // file offset of its local header
        int64_t PackedSize = 0, UnpackedSize = 0;
        uint32_t Crc32 = 0, Attr = 32, DosDate = 0;
        bool Zip64 = false;    // sizes or offset only the Zip64 extension holds
        bool Known = true;     // sizes and CRC known before the data are read
        int Disk = 0;          // 0-based disk of a spanned set
        bool Symlink = false;  // a Unix symbolic link: its data are the target
        uint16_t UnixMode = 0; // permission bits stored by a Unix zip, 0 when none
        // Index in FCentralNames of the central directory's name for it, -1 when the
        // entries were found by their local headers.
        int32_t CentralName = -1;
    };
    // The central directory's name of a chosen entry: the one listed and chosen (and so
    // the one extracted), and its bytes as stored with the UTF-8 flag, for comparing with
    // the local header's (the same bytes and flag need no decoding to compare).
    struct TCentralName {
        std::string Name, Raw;
        bool Utf8 = false;
    };
    // The same for one entry, in place.
    struct TCentralRef {
        const std::string& Name;
        std::string_view Raw;
        bool Utf8 = false;
    };
    // Where an entry's local record lies at least: its header and its packed data.
    struct TZipSpan {
        int64_t Begin = 0, End = 0;
        int32_t Disk = 0;
        bool Shared = false; // another entry's record shares bytes with this one
        bool operator<(const TZipSpan& o) const { return Disk != o.Disk ? Disk < o.Disk : Begin < o.Begin; }
    };
    // Gets each central record as an entry (its CentralName the record's index), its
    // listed name and the record; false ends the walk.
    using TCentralVisit =
        std::function<bool(TZipChosen&, const std::string&, const pvcommon::zip::ZipCentralRecord&)>;
    void WalkCentral(int Handle, int64_t Offset, const TCentralVisit& Visit);
    // True when another entry's local record lies within this one's, or this one's within
    // another's: entries that share data (the overlapping-entries bomb) are refused.
    bool Overlaps(const TZipChosen& Entry) const;
    bool OpenSpanned(int& Handle);
    std::optional<aehdr::ZipEndRecord> FindEnd(int Handle);
    bool RequestFirstDisk(int& Handle);
    void ScanCentral(int Handle, int64_t Offset);
    bool KeepsChosen() const;
    void ScanLocal(int Handle, int64_t Offset);
    // True when the entry is to be extracted (a file: folders are made at once).
    bool Choose(const TZipChosen& Entry, const std::string& Name, bool& Stop);
    bool RoomFor(const TZipChosen& Entry, const std::string& Name);
    // The end of a streamed entry's data found by its data descriptor: fills the sizes and
    // CRC and gives the offset after the descriptor, or -1 when none is found.
    int64_t FindDescriptor(int Handle, int64_t DataStart, TZipChosen& Entry);
    // The archive's bytes around the entries being extracted (aeUnZIP.cpp).
    class TReadAhead;
    // False when the run must end.
    bool ExtractEntry(int& Handle, const TZipChosen& Entry, TReadAhead& Ahead, const TCentralRef* Central);
    // A plain zip's chosen entries, each read again from the directory as it comes.
    void ExtractChosenCentral(int& Handle, int64_t Offset);
    // A symbolic-link entry: made only when it stays inside the folder; false when passed over.
    bool ExtractLink(int& Handle, const TZipChosen& Entry, int64_t DataStart, const std::string& Name,
                     const std::string& Output);
    bool SwitchDisk(int& Handle, int Disk);

    std::vector<TZipSpan> FSpans;      // every central entry's span, sorted
    mutable std::size_t FSpanHint = 0; // where Overlaps looks first
    // A spanned set keeps its chosen entries and their names from the one read of its
    // directory (whose disk may not be in the drive later); a plain zip keeps one bit per
    // directory record and reads the directory again while it extracts, so that a million
    // entries cost a few megabytes.
    std::vector<TCentralName> FCentralNames;
    std::vector<bool> FChosen;
    int FDisk = 0; // 0-based disk of a spanned set now in the drive
    bool FSpanned = false;
};

class TUnJar : public TUnZIP {
public:
    TUnJar() = default;
};
