// TArcLister: reads the directory of an archive of any detected type, without extracting
// anything, and hands each entry to the application. For every entry it fills the current
// entry's fields of TZipCommon (FileName, sizes, CRC, method, date, attributes, comment) and
// fires OnReadFile, then OnReadBegin, OnRead(Offset, Filenum) and OnReadEnd; OnTotals once at
// the end. Multi-volume archives (ACE, ARJ, RAR, CAB sets, split zip) are followed through
// OnNextVolume.
#pragma once
#include "common/Pump.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/aeBase.h"
#include "archive/aeHeaders.h"

// Buffered random access to the open archive volume for header parsing: a window of the file
// is kept, so walking thousands of small headers costs few reads.
class TArcInput {
public:
    void Attach(int Handle, int64_t Size);
    void Detach() { Attach(-1, 0); }
    int Handle() const { return handle_; }
    int64_t Size() const { return size_; }
    // Up to Count bytes at Offset; fewer at the end of the file (or on a read error).
    aehdr::Bytes Fetch(uint64_t Offset, size_t Count);
    aehdr::Fetch Fetcher() {
        return [this](uint64_t o, size_t n) { return Fetch(o, n); };
    }

private:
    int handle_ = -1;
    int64_t size_ = 0;
    std::vector<uint8_t> buf_;
    uint64_t bufOffset_ = 0;
    size_t bufLength_ = 0;
};

class TArcLister;

// One format's directory walk, with its own scan state; a new one serves each listing.
class TFormatWalk {
public:
    virtual ~TFormatWalk() = default;
    // Sets up the scan and returns the offset of the first header (-1: nothing to list).
    virtual int64_t Prepare(TArcLister& L, int64_t Start) {
        (void)L;
        return Start;
    }
    // Reads the header at Offset, reports its entry and returns the offset of the next
    // header (-1 ends the scan).
    virtual int64_t Step(TArcLister& L, int64_t Offset) = 0;
};

class TArcLister : public TZipCommon {
public:
    TArcLister();

    // Lists ArchiveFile. True when the directory was read to its end (also after a cancel);
    // false when an error ended the run (it was reported through OnError first). Entries
    // listed before a corrupt header have been reported already.
    bool Activate();

    bool ShowBlankDirs = false;

    TOnReadFile OnReadFile;
    TNotifyEvent OnReadBegin;
    TNotifyEvent OnReadEnd;
    TOnTotals OnTotals;

    // The message of the error that ended the last run (empty after a successful one), with
    // its detail in brackets when it has one.
    const std::string& LastError() const { return FLastError; }
    int LastErrorCode() const { return FLastErrorCode; }

    // ---- what a format's directory walk works with ----
    // The walk of a format (TFormatWalk, made by its registration row) reads the headers and
    // reports the entries through these; the lister itself knows no format.

    // One entry ready to be reported; the formats fill it from their headers.
    struct Entry {
        std::string Name; // decoded, '/' separators
        int64_t Packed = 0, Unpacked = 0;
        uint32_t Crc = 0;
        int Method = 0;
        uint32_t MethodFlags = 0;
        TDateTime Date = kDosEpochDateTime;
        uint32_t Attr = 32, ExtAttr = 32;
        uint8_t VerMade = 0, VerNeeded = 0;
        bool Encrypted = false;
        bool NoMethod = false; // formats that name no method (UUE, MsGZ)
        uint8_t TypeByte = 0;
        std::string Comment;
        int64_t Offset = 0;
    };
    // Which entries are shown: by FileSpec; by FileSpec or blank folders on request; by
    // FileSpec with folders shown on request but neither counted nor totalled; files only,
    // by FileSpec; every entry.
    enum class Filter { Spec, SpecOrBlankDir, SpecBlankDirUncounted, SpecFilesOnly, None };

    void Report(Entry& e, Filter filter, bool isDir, bool namesOnly = true);
    [[noreturn]] void Corrupt(int ECode);
    std::string DecodeName(const std::string& raw, bool utf8 = false) const;
    TDateTime ArchiveFileDate() const;
    TArcInput& In() { return FIn; }
    // The volume open now (the base's VolumeName(Name, Number) names the others).
    const std::string& VolumeName() const { return FVolumeName; }
    using TZipCommon::VolumeName;
    // Opens the next volume of a multi-volume set (asking for it); false when the user cancels.
    bool NextVolume();
    // The same for a format whose volumes the type's naming rule does not name: Name is the
    // next volume's name by the set's own rule.
    bool NextVolume(std::string Name);
    // Opens Path as the volume to read on (the old one is closed); raises an error when it
    // cannot be opened.
    void OpenVolume(const std::string& Path);
    // Opens the archive again after the user changed the disk in its drive.
    void ReopenVolume();
    // Keeps the detail of the error that ends the run for LastError.
    [[noreturn]] void RaiseError(const std::string& FN, const std::string& MsgEx, const std::string& VolumeID,
                                 int ECode) override;
    // Largest variable header read in one piece: a 16-bit length plus its fixed part.
    static constexpr size_t kMaxVarHeader = 65536 + 64;
    static constexpr int kMaxDiskRequests = 100; // a handler that never inserts the disk

protected:
    // Sets up the scan for ArcType through its format's walk and returns the offset of the
    // first header (-1: nothing to list).
    int64_t PrepareListing();
    // Reads the header at Offset through the format's walk, reports its entry, and returns
    // the offset of the next header; -1 ends the scan.
    int64_t ParseHeader(int64_t Offset);

private:
    void Run();
    void Emit(Entry& e, bool countIt);
    void Pump();
    void AttachVolume();

    TArcInput FIn;
    int FHandle = -1;
    std::string FVolumeName; // the volume open now
    int FVolumeSwitches = 0; // lets an offset go back to the start of a new volume
    std::string FLastError;
    std::string FLastErrorDetail;
    int FLastErrorCode = 0;
    pvcommon::PumpThrottle FLastPump;
    std::unique_ptr<TFormatWalk> FWalk; // the walk of the archive's format, with its scan state
};
