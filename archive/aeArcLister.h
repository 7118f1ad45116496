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
#include "common/ZipDirectory.h"

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

    // The message of the error that ended the last run (empty after a successful one).
    const std::string& LastError() const { return FLastError; }
    int LastErrorCode() const { return FLastErrorCode; }

    // ---- what a format's directory walk works with ----
    // A walk is a pair of functions in the format's registration row (aeFormats.h): Prepare
    // sets up the scan and returns the offset of the first header (-1: nothing to list), Step
    // reads the header at an offset, reports its entry and returns the offset of the next
    // header (-1 ends the scan). The lister itself knows no format.

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
    enum class Filter { Spec, SpecOrBlankDir, SpecBlankDirUncounted, None };

    void Report(Entry& e, Filter filter, bool isDir, bool namesOnly = true);
    [[noreturn]] void Corrupt(int ECode);
    std::string DecodeName(const std::string& raw, bool utf8 = false) const;
    TDateTime ArchiveFileDate() const;
    TArcInput& In() { return FIn; }

    // The walks of the formats whose walk still lives in the lister.
    int64_t ListZip(int64_t offset);
    int64_t ListGzip(int64_t offset);
    int64_t ListTar(int64_t offset);
    int64_t ListLha(int64_t offset);
    int64_t ListArj(int64_t offset);
    int64_t ListRar(int64_t offset);
    int64_t ListAce(int64_t offset);
    int64_t ListCab(int64_t offset);
    int64_t ListZoo(int64_t offset);
    int64_t ListHa(int64_t offset);
    int64_t ListArc(int64_t offset);
    int64_t ListBh(int64_t offset);
    int64_t ListMsgz(int64_t offset);
    int64_t PrepareZip(int64_t start);
    int64_t PrepareArj(int64_t start);
    int64_t PrepareRar(int64_t start);
    int64_t PrepareAce(int64_t start);
    int64_t PrepareCab(int64_t start);
    int64_t PrepareZoo(int64_t start);
    int64_t PrepareMsgz(int64_t start);
    int64_t PrepareHa(int64_t start);
    int64_t PrepareLha(int64_t start);
    int64_t PrepareUue(int64_t start);

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

    int64_t ListZipCentral(int64_t offset);
    int64_t ListZipLocal(int64_t offset);
    void ListUue();
    int64_t UuDecodedSize(uint64_t bodyStart);
    void ReadZipArchiveComment();
    std::optional<aehdr::ZipEndRecord> FindZipEnd();
    int64_t PrepareZipSpanned();
    bool SwitchZipDisk(int Index);
    void ReopenZipDisk();
    static constexpr int kMaxDiskRequests = 100; // a handler that never inserts the disk

    bool NextVolume();
    bool OpenCabinet(const std::string& path);

    TArcInput FIn;
    int FHandle = -1;
    std::string FVolumeName; // the volume open now
    int FVolumeSwitches = 0; // lets an offset go back to the start of a new volume
    std::string FLastError;
    int FLastErrorCode = 0;
    pvcommon::PumpThrottle FLastPump;

    // per-format scan state
    bool FZipCentral = false;
    pvcommon::zip::ZipCentralRecord FZipRecord; // reused from record to record
    bool FZipSpanned = false;
    int FZipDisk = 0, FZipLastDisk = 0; // 0-based disk numbers of a spanned set
    bool FArjVolumeArchive = false;
    int64_t FPackedSum = 0, FUnpackedSum = 0;
    std::vector<std::string> FArcFolders;
    std::vector<uint16_t> FCabFolderMethods;
    int FCabFilesLeft = 0;
    aehdr::CabHeader FCab;
    std::vector<std::string> FCabVisited;
    std::vector<std::string> FMsgzFolders;
    int FHaLeft = 0;
    uint8_t FAceVersion = 0;
};
