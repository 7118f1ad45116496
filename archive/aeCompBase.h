// TCompBase: the common base of the archive writers. It owns a writing run: collecting the
// files the FileSpec names (folders, attributes, exclusions, replacement questions), copying
// the existing archive into a temporary archive while the writer's own operations rewrite,
// keep or drop its entries, replacing the archive by the temporary one, and deleting the
// sources of a move. The writers supply the format through the virtual operations.
//
// Safety: the temporary archive is made in the archive's own folder and is complete (its
// directory included) before one rename puts it in place; after any failure or a cancel the
// original archive is untouched and the temporary one removed. An entry whose compression
// failed is never counted as added, and a move never deletes its source.
//
// Names: paths and stored names are UTF-8 with '/' separators; a writer converts a stored
// name to its format's encoding (EncodeName) when it writes the header, and decodes existing
// names when it lists them in ScanExisting. A found file is looked up, and a delete run's
// names matched, also in the form the archive lists it (ListedName), so that a name the
// format cannot hold exactly is still replaced rather than added again; such a name is
// reported when it is written.
#pragma once
#include "archive/aeBase.h"
#include "archive/codec/aeDeflate.h"
#include "archive/codec/aeLzhEncode.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

enum TCompressMethod : uint8_t {
    cmStore,
    cmDeflate,
    cmFuse,
    cmFrozen5,
    cmFrozen6,
    cmMsZip,
    cmLzx,
    cmQuantum,
    cmUUEncode,
    cmXXEncode,
    cmTarred,
    cmGzipTar,
};
using TCompressMethods = uint16_t; // bit n: method n is allowed
constexpr TCompressMethods MethodBit(TCompressMethod m) {
    return static_cast<TCompressMethods>(1u << m);
}

enum TSwitch : uint8_t { swAdd, swMove, swDelete, swRead };
enum TStoredDirNames : uint8_t { sdNone, sdAbsolute, sdAbsoluteNoDrv, sdRelative, sdRelativeStoreStart };
enum TDeflateType : uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// Deflate level of each effort: 1, 2, 7, 9.
int DeflateLevelOf(TDeflateType Type);

// What the run does with one entry of the new archive.
enum TEntryAction : uint8_t {
    eaNew = 0,     // a file added in this run
    eaReplace = 1, // an existing entry replaced by a newer file
    eaKeep = 2,    // an existing entry copied as it is
    eaSkip = 3,    // dropped: skipped, failed, or left out after a cancel
};

// The record of one entry of the new archive.
struct THeadObject {
    std::vector<uint8_t> Header; // the format's header copy (size by type, see HeaderSizeFor)
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    uint32_t DosDate = 0;
    uint32_t Attr = 0;
    int64_t Offset = 0; // where the entry starts in the old archive (kept and replaced entries)
    // The entry's whole length in the old archive when its format knows it (headers of any
    // length, extended headers): copied as it is. 0: the base works it out.
    int64_t StoredLength = 0;
    uint8_t Action = eaNew;
    std::vector<uint8_t> Comment; // entry comment (zip)
    // The entry as it was in the old archive before a replacement was decided: when the
    // replacement fails, the old entry is kept instead of being lost.
    std::unique_ptr<THeadObject> Previous;

    THeadObject() = default;
    THeadObject(const THeadObject& o);
    THeadObject& operator=(const THeadObject& o);
};

// Header buffer size of an entry record by archive type; 0 for types that keep no records.
int HeaderSizeFor(TArcType Type);

class TCompBase : public TZipCommon {
public:
    TCompBase();
    ~TCompBase() override;

    // Runs the writer: the result is the number of files deleted for swDelete, else the
    // number added (also left in FileCount). Raises E_RAISE on failure; a cancelled run
    // raises 25449 "User canceled" and leaves the archive as it was.
    int Compress();

    // ---- properties ----
    // The name as given, without detection; ArcStart := 1.
    void SetArchiveFile(const std::string& Value) override;
    // Writers pin their own type; the base keeps what it is given.
    void SetArcType(TArcType Value) override;
    TCompressMethod CompressMethod() const { return FCompressMethod; }
    void SetCompressMethod(TCompressMethod Value); // taken only when allowed
    TCompressMethods AllowedMethods() const { return FAllowedMethods; }
    TDeflateType DeflateType() const { return FDeflateType; }
    void SetDeflateType(TDeflateType Value) { FDeflateType = Value; }
    int DeflateLevel() const { return DeflateLevelOf(FDeflateType); }
    const std::string& DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const std::string& Value);
    std::string DefaultDir();
    void SetDefaultDir(const std::string& Value);
    // The writers' FileSpec entries are paths (a folder and a file name or mask), kept as
    // given: unlike the FileSpec setter, nothing is cut to the file-name part.
    void SetFileSpecPaths(const std::vector<std::string>& Paths);
    bool RecurseDirs = false;
    // A file or folder the run leaves out, in words (Why: "cannot open folder d/x: Permission
    // denied"). Failed: something the user asked for is missing from the archive, so the run
    // has failed; otherwise a warning (a named pipe is never read, only named). Unassigned,
    // it goes to OnError as 25235 "Error opening file" with Why as its detail.
    std::function<void(TZipCommon& Sender, const std::string& FN, const std::string& Why, bool Failed)>
        OnSkipped;
    void Skipped(const std::string& FN, const std::string& Why, bool Failed);
    TStoredDirNames StoredDirNames = sdRelative;
    bool StoreAlreadyCompressedFiles = true;
    bool VerifyBeforeDelete = true;
    TSwitch Switch = swAdd;

    // ---- virtual operations, in order ----
    virtual void Run();
    virtual void EntryRead() {}
    // Positions at ArcStart - 1 and reads the first header.
    virtual bool ReadFirstHeader(std::string& Name, int Handle);
    virtual int LocalHeaderLength() { return 0; }
    // Writes one new entry into the temporary archive; false (or the entry's action set to
    // eaSkip) when it failed or was declined.
    virtual bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) { return true; }
    virtual bool ReadHeader(std::string& Name, int Handle, bool Flag) { return false; }
    // Lists the existing entries (keep, replace or drop) from the open archive.
    virtual void ScanExisting(int ArchiveHandle) {}
    // Completes the temporary archive (its directory) before it replaces the original.
    virtual void AfterWrite() {}
    // Runs after the archive was replaced (reports the entries added).
    virtual void WriteDirectory() {}
    virtual bool ReplaceArchive(const std::string& Temp, const std::string& Archive);
    virtual void AfterRun() {}
    // The folder the temporary archive is made in: the archive's own, so that one rename puts
    // it in place. A writer that may write the archive elsewhere (spanned over removable
    // disks) names another; ReplaceArchive then copies across file systems.
    virtual std::string TempArchiveDir();

    // A failed write names the archive being written.
    std::string WrittenFile() const override { return FArchiveFile; }
    // Stored name of a full path by StoredDirNames, into FileName.
    bool BuildOutputName(const std::string& Path) override;
    // The header bytes of a stored name in this format; the base writes names as they are.
    virtual platform::EncodedName EncodeName(const std::string& Stored) const;
    // The name the archive lists for an entry written under Stored: Stored itself when the
    // format holds it exactly.
    std::string ListedName(const std::string& Stored) const;
    // An ExcludeSpec entry, put into stored-name form by BuildOutputName, matches Name. (The
    // extractors' check forms output paths instead, which never match a stored name.)
    bool IsExcluded(const std::string& Name);

    // ---- for the writers ----
    // Lists a found file (or looks up an existing entry): the list index when the name was
    // listed already (asking OnReplaceFile when the file differs), -1 when it was added.
    int AddEntry(int Index, const std::string& Name, bool IsNew, uint32_t Attr, uint32_t DosDate,
                 int64_t Size);
    // OnBegin and OnRenameCompressedFile before each file; false when the file is declined.
    bool BeginFile(std::string& Name, int Count);
    // Opens a source for reading; on failure the current entry is skipped.
    bool OpenSourceFile(int& Handle, const std::string& Name, int64_t Size);
    // Closes a file handle when the work with it ends, however it ends.
    struct THandleGuard {
        int fd = -1;
        ~THandleGuard() {
            if (fd >= 0) platform::closeFile(fd);
        }
    };
    // Copies Count bytes in blocks of 32 KiB through the block reader (CRC mode) and the
    // encrypting writer; the count written, 0 after a failure.
    int64_t CopyBlock(int Source, int64_t Count, int CrcMode, bool Encrypt, int Dest);
    uint32_t StoredDate(uint32_t Date); // the date a new entry gets, by DateAttribute
    // Copies Size bytes of Source from its current position through the block reader (CRC
    // mode) and the encrypting writer, with progress: the count copied, short when the source
    // could not be read or ended early (or a cancel came). A failed write raises 25136.
    int64_t CopySource(int Source, int64_t Size, int CrcMode, bool Encrypt, int Dest);
    // Compresses the next FBytesToRead bytes of Source into Dest at DeflateLevel(): reads
    // through ReadBlock with CRC-32, writes through WriteBlockEncrypted, counts the output in
    // FCompressedSize and reports progress. A read error or a source that ends early raises
    // 25236. When the whole file ended up stored, a zip writer's pending local header
    // (ZipLocalHeader) gets method 0; other writers read the result.
    TDeflateResult DeflateSource(int Source, int Dest, bool Encrypt);
    // The same with the LZH encoder and its parameters (CRC-16 or CRC-32 by Params): a read
    // error or a source that ends early raises 25236; the result says whether the output
    // would not have been smaller than the input (it is then incomplete: store instead).
    ae::LzhEncodeResult LzhEncodeSource(int Source, int Dest, bool Encrypt,
                                        const ae::LzhEncodeParams& Params);

    // ---- one new entry: a header, the data, the header again with the results ----
    // The format's part of a new entry; the road around it (OnBegin, refusals, the source,
    // where the entry begins, failures, OnEnd) is the same for every such writer.
    struct TNewEntry {
        // Checks before the source is opened: a message number and its text refuse the file
        // (0: it may be written).
        std::function<int(const std::string& Stored, int64_t Size, std::string& Why)> Refuse;
        // Writes the provisional header at Offset, the temporary archive's end; its length.
        std::function<int64_t(int Temp, int64_t Offset)> WriteHead;
        // Writes the data (only for a file that is not empty) from the source's start to
        // DataStart. An E_RAISE fails the entry; 25136 (a failed write) ends the run.
        std::function<void(int Source, int Temp, int64_t DataStart)> WriteData;
        // Writes the final header at the entry's start (positioned there) and fills the record.
        std::function<void(int Temp)> WriteFinal;
    };
    // Adds one file through the format's parts. The entry is cut off the temporary archive
    // whenever it failed or a cancel came: it is never recorded with part of its data.
    bool WriteNewEntry(int TempHandle, const std::string& Name, THeadObject& Header, const TNewEntry& Format);
    // The data of a new entry from the source's start, with Method. Code writes them coded
    // and says whether the result is kept; when it is not (not smaller), the temporary
    // archive is cut back to DataStart and the data are stored instead. Start runs before
    // each attempt (an encryption header goes first). cmStore, or a file compressed already
    // (StoreAlreadyCompressedFiles), is stored at once. The method used; the data's length
    // in FCompressedSize.
    struct TEntryData {
        std::string Name; // the source, for messages
        int Source = -1;
        int Dest = -1;
        int64_t Size = 0;
        int64_t DataStart = 0;
        int CrcMode = 32; // 16 or 32: the register that is reset before each attempt
        bool Encrypt = false;
    };
    TCompressMethod WriteEntryData(const TEntryData& Data, TCompressMethod Method,
                                   const std::function<void()>& Start,
                                   const std::function<bool(TCompressMethod)>& Code);
    // The traditional zip encryption header, written to Dest: its check needs the CRC-32
    // register (Crc) over exactly the bytes that will be stored, read in a pass of their own
    // before the data (FileCrc32 with the entry's size).
    void WriteCryptHeader(int Dest, uint32_t Crc);
    // Files whose extension says they are compressed already (".ZIP", ".GZ", ...).
    static bool CompressedByExtension(const std::string& Name);

    // ---- entry list ----
    struct TEntryItem {
        std::string Name;
        std::unique_ptr<THeadObject> Head; // null for entries listed by name only
        int SpecIndex = 0;                 // FileSpec index + 1 of a found file, 0 for existing entries
        std::string PreviousName;          // the name in the old archive of a replaced entry
    };
    size_t EntryCount() const { return FEntries.size(); }
    TEntryItem& Entry(size_t i) { return FEntries.at(i); }
    int IndexOfEntry(const std::string& Name) const;
    int AddListEntry(const std::string& Name, std::unique_ptr<THeadObject> Head, int SpecIndex = 0);
    void RenameEntry(size_t i, const std::string& NewName);

    // ---- existing and added entries ----
    // A delete run drops an existing entry the FileSpec names (counted); false: it is kept.
    bool DeletedBySpec(const std::string& Name);
    // Adds up the totals of the entries the new archive holds and reports each entry this run
    // added through OnRead: Fill sets its properties (FileName is set already, Offset is the
    // one reported) and returns false for an entry it cannot describe. PackedAsUnpacked: the
    // format stores without coding (packed total = unpacked total).
    void ReportAddedEntries(const std::function<bool(const TEntryItem&, int64_t& Offset)>& Fill,
                            bool PackedAsUnpacked = false);

    // Attribute filter for found files (FileAttribute); folders are never taken.
    bool AttributeFilter(uint32_t Attr) const;

protected:
    // The writer's own default extension (".zip", ...), set by its constructor.
    std::string FOwnDefaultExt;
    TCompressMethods FAllowedMethods = 0;
    TCompressMethod FCompressMethod = cmStore;
    TDeflateType FDeflateType = dtDeflateN;
    std::string FDefaultExt;
    std::string FDefaultDir;

    // ---- run state ----
    std::vector<TEntryItem> FEntries;
    std::unordered_map<std::string, size_t> FEntryIndex; // name -> first index with it
    std::vector<std::string> FMoveList;
    int FAddedCount = 0;
    int FDeletedCount = 0;
    uint32_t FNewestDate = 0;
    std::string FTempFileName; // a path that opens the temporary archive while the run lasts
    bool FNewArchive = false;
    bool FNoRewrite = false; // the archive was written in place: nothing to replace
    bool FReplaced = false;  // the move phase: the archive has been replaced
    std::string FBaseDir;    // folder of the current FileSpec entry
    int64_t FTotalSize = 0;  // uncompressed bytes of the files to add
    int64_t FBytesToRead = 0;
    int64_t FNextHeader = 0; // swRead: where the next header starts (ReadFirstHeader sets it)
    int64_t FCompressedSize = 0;
    int FCurrentEntry = -1;
    int FTempHandle = -1;
    int FArcHandle = -1;

    void AddFiles();
    void ExpandSpec(size_t Index);
    void FindFiles(size_t Index, const std::string& Mask, const std::string& Folder);
    void ReadArchive();
    bool HiddenExcluded() const;
    // After FindFirstDos in Folder gave Found: false (the folder reported as not taken) when
    // the folder exists but cannot be listed. Call it straight after the search (errno).
    bool FolderReadable(const std::string& Folder, int Found);
    // A named pipe, socket or device at Path: reported as not taken, and true.
    bool SkippedAsSpecial(const std::string& Path);
    // A read-only existing archive: OnNonWriteableArchive decides (false: leave it alone).
    bool checkWriteable();
    // The start every writer's run shares: whether the archive is new, a read run reads it, a
    // delete from a missing archive has nothing to do, an existing one must be writable.
    // False when the run ends here.
    bool BeginWriteRun();
    // Files the run writes besides the archive and its temporary copy: never added.
    std::vector<std::string> FOwnFiles;

private:
    template <class Io> friend class TCompBaseEncoderIo;
    void freeRunState();
    void makeTempArchive();
    void finishRun();
    void deleteWholeArchive();
    void deleteMovedSources();
    void copyKeptEntry(THeadObject& Head, const std::string& Name);
    bool copyIntoPlace(const std::string& Archive, int Mode);
    bool addOneFile(TEntryItem& Item);
    void closeRunFiles();
    bool isOwnFile(const std::string& Path) const;
    void eraseIndex(const std::string& Name, size_t i);
    std::string FArchiveAbs; // the archive and temporary archive as absolute, normal paths
    // The temporary archive: nobody sees it before it is put in place, and a killed run
    // leaves nothing of it.
    platform::PendingFile FTemp;
};
