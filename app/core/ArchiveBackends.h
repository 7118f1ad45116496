// The two back ends the main window lists archives with, as the window sees them: the zip
// front-end for ".zip"/".exe" and the engine's lister for everything else. The window's
// core talks only to these interfaces; LiveBackends.cpp puts the real components behind
// them and tests may put scripted ones.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// One entry as the list needs it.
struct TListEntry {
    std::string FileName; // stored name, '/' between folders
    int64_t PackedSize = 0;
    int64_t UnpackedSize = 0;
    uint32_t FileCRC = 0;
    double FileDate = 0;   // TDateTime
    uint32_t FileAttr = 0; // DOS attribute bits
    bool Encrypted = false;
};

// What the window needs to know about the lister's detected type.
struct TListerTypeInfo {
    bool Known = false;    // a type the lister can read
    bool Uue = false;      // an encoded (uue/xxe) file
    bool Writable = false; // a packer exists for it
    bool Cabinet = false;  // no CRC column
    int CrcDigits = 8;     // 4 for ARC, LHA and LZH; 0 for cabinets
    int PackerKind = 0;    // its packer: 1 bh, 2 cab, 3 gzip, 4 jar, 5 lha, 6 tar; 0 none
    int ArcType = 0;       // the engine's type ordinal
    std::string TypeName;
};

class TListerBackend {
public:
    virtual ~TListerBackend() = default;
    // Events, raised during Activate in the lister's order.
    std::function<void()> OnActivate;
    std::function<void(const TListEntry&)> OnRead;
    std::function<void(int numFiles)> OnTotals;
    std::function<void()> OnDeactivate;
    // An error of the run: the engine's message number and text.
    std::function<void(const std::string& fileName, int code, const std::string& text)> OnError;
    // The next volume of a multi-volume archive is wanted: `volumeName` comes in as the
    // expected name and goes back as the one to read; `cancel` gives the volume up.
    std::function<void(std::string& volumeName, const std::string& volumeID, bool exists, bool& cancel)>
        OnNextVolume;

    // Sets the archive (detects its type); "" forgets it.
    virtual void SetArchiveFile(const std::string& path) = 0;
    virtual std::string ArchiveFile() const = 0;
    virtual TListerTypeInfo TypeInfo() const = 0;
    virtual void SetFileSpec(const std::string& spec) = 0;
    // Reads the directory; false when an error ended the run (reported through OnError).
    virtual bool Activate() = 0;
    virtual int64_t TotalPackedSize() const = 0;
    virtual int64_t TotalUnpackedSize() const = 0;
};

class TZipBackend {
public:
    virtual ~TZipBackend() = default;
    // Raised after every directory read, whatever happened.
    std::function<void()> OnDirUpdate;
    // A message of the component (error number or 0, text).
    std::function<void(int errCode, const std::string& message)> OnMessage;

    // Sets the archive and reads its directory; "" empties the list.
    virtual void SetZipFileName(const std::string& path) = 0;
    virtual std::string ZipFileName() const = 0;
    virtual int Count() const = 0;
    virtual TListEntry Entry(int index) const = 0;
    // The number of the last message the component reported (0 none).
    virtual int ErrCode() const = 0;

    // The folder searched first for "zipdll.dll"/"unzdll.dll", and loading them.
    virtual void SetDLLDirectory(const std::string& dir) = 0;
    virtual void LoadZipDll() = 0;
    virtual void LoadUnzDll() = 0;
    virtual void UnloadDlls() = 0;
    virtual void SetAddCompLevel(int level) = 0;

    // A password is needed (or the one given was wrong): `newPassword` goes back empty to
    // give the entry up.
    std::function<void(std::string& newPassword, const std::string& forFile, uint32_t& repeatCount)>
        OnPasswordError;
    // An entry's data does not match its CRC: `doExtract` false keeps its file from being
    // written.
    std::function<void(const std::string& forFile, uint32_t foundCRC, uint32_t expectedCRC, bool& doExtract)>
        OnCRC32Error;
    // The component's own disk request is left in place: there is deliberately no
    // OnGetNextDisk here.

    // ---- Spanning ----
    virtual void SetMaxVolumeSize(int64_t bytes) { (void)bytes; }
    // The size of the archive as the last listing found it (the physical file).
    virtual int64_t ArchiveSize() const { return 0; }
    // Writes `inFile` as a spanned set named `outFile`; 0 on success.
    virtual int WriteSpan(const std::string& inFile, const std::string& outFile) {
        (void)inFile;
        (void)outFile;
        return -1;
    }

    // ---- Extraction ----
    // The component's progress (ProgressType numbers: 0 new file, 1 progress, 2 end of
    // batch, 3 total files, 4 total size).
    std::function<void(int type, const std::string& name, int64_t size)> OnProgress;
    // An existing file: doOverwrite comes in as the library's default and goes back as
    // the answer.
    std::function<void(const std::string& forFile, bool isOlder, bool& doOverwrite)> OnExtractOverwrite;
    // An extracted entry is in place at `path` (as the component wrote it, below the run's
    // folder); `replaced`: a file stood there before the run.
    std::function<void(const std::string& path, bool replaced)> OnFileWritten;
    // Extracts the entries named by `specs` (stored names, matched as they are; every entry
    // when empty) below `baseDir`; the number extracted. Throws when the run could not be
    // made at all.
    struct ExtractRequest {
        std::vector<std::string> specs;
        std::string baseDir;
        bool dirNames = false, overwrite = false, update = false, test = false;
    };
    virtual int Extract(const ExtractRequest&) { throw std::runtime_error("Extraction is not available"); }
    // Stops the running operation at its next callback.
    virtual void SetCancel(bool) {}

    // ---- Adding and deleting ----
    // One add run: the files (lines as the window holds them), the options the add command
    // maps, the folder names are taken relative to (`rootDir`, "" none).
    struct AddRequest {
        std::vector<std::string> specs, excludeSpecs;
        std::string rootDir;
        std::string password; // with `encrypt`
        int level = 9;
        bool update = false, freshen = false, move = false;
        bool diskSpan = false, diskSpanErase = false;
        bool dirNames = false, recurse = false, encrypt = false, hidden = false, forceDOS = false;
    };
    // Adds; the number of files added. Throws when the run could not be made at all.
    virtual int Add(const AddRequest&) { throw std::runtime_error("Adding is not available"); }
    // Deletes the entries named by `specs` (stored names, matched as they are); the number
    // deleted.
    virtual int Delete(const std::vector<std::string>& specs) {
        (void)specs;
        throw std::runtime_error("Deleting is not available");
    }

    // ---- Comment and rename ----
    virtual std::string Comment() const { return {}; }
    // Rewrites the archive with a new comment; false when it could not be done.
    virtual bool SetComment(const std::string& comment) {
        (void)comment;
        return false;
    }
    struct RenameItem {
        std::string source, dest; // stored names, '/' between folders
        int32_t dateTime = 0;     // DOS date and time; 0 keeps the entry's
    };
    // 0 on success.
    virtual int Rename(const std::vector<RenameItem>& items) {
        (void)items;
        return -1;
    }

    // ---- Self-extractors ----
    struct SfxRequest {
        int overwriteMode = 0; // 0 confirm, 1 always, 2 never
        bool askCmdLine = false, askFiles = false, hideOverwriteBox = false;
        std::string defaultDir, commandLine, caption;
    };
    // The open ".zip" as a self-extracting ".exe" beside it; 0 on success.
    virtual int ConvertSFX(const SfxRequest& r) {
        (void)r;
        return -1;
    }
    // The open ".exe" back to a ".zip" beside it; 0 on success.
    virtual int ConvertZIP() { return -1; }
};

// One of the engine's extractors, created for the archive type of one run.
class TExtractorBackend {
public:
    virtual ~TExtractorBackend() = default;
    std::function<void()> OnActivate;
    std::function<void()> OnDeactivate;
    std::function<void(const std::string& name)> OnBegin;
    std::function<void(int byFile, int byArchive)> OnProgress;
    // A file is in the way; `overwrite` comes in as the extractor's mode and goes back as
    // the answer. The handler may also turn the confirmation off or cancel.
    std::function<void(const std::string& name, double fileDate, bool& overwrite)> OnFileExists;
    // Each entry's result.
    std::function<void(const std::string& name, bool passed)> OnEnd;
    std::function<void(const std::string& name, int code, const std::string& text)> OnError;
    // An encrypted entry needs a password: an empty `password` gives the entry up;
    // `tryAgain` asks for another chance after a wrong one.
    std::function<void(const std::string& name, std::string& password, bool& tryAgain)> OnGetPassword;
    // As the lister's.
    std::function<void(std::string& volumeName, const std::string& volumeID, bool exists, bool& cancel)>
        OnNextVolume;
    // The name an entry is written under may be changed (left unbound by the window).
    std::function<void(std::string& name)> OnRenameCompressedFile;

    virtual void SetArchiveFile(const std::string& path) = 0;
    virtual void SetExtractDir(const std::string& dir) = 0;
    virtual void SetUseStoredDirs(bool on) = 0;
    virtual void SetConfirmOverwrites(bool on) = 0;
    virtual void SetFileSpec(const std::vector<std::string>& specs) = 0;
    // Extracts; the number of files begun. Throws when an error ended the run (after
    // reporting it through OnError).
    virtual int Extract() = 0;
    virtual void SetCancel(bool on) = 0;
};

// One of the engine's writers (packers), created for the packer of one run. The window's
// add and delete commands drive it; its events are answered as the extractors' are.
class TPackerBackend {
public:
    virtual ~TPackerBackend() = default;
    std::function<void()> OnActivate;
    std::function<void()> OnDeactivate;
    std::function<void(const std::string& name)> OnBegin;
    std::function<void(int byFile, int byArchive)> OnProgress;
    // A file is in the way (a gzip output, a jar entry): as the extractor's.
    std::function<void(const std::string& name, double fileDate, bool& overwrite)> OnFileExists;
    std::function<void(const std::string& name, std::string& password, bool& tryAgain)> OnGetPassword;
    std::function<void(const std::string& name, int code, const std::string& text)> OnError;
    // Each entry's result.
    std::function<void(const std::string& name, bool passed)> OnEnd;
    // The next cabinet of a set is wanted: `name` goes back as its file name.
    std::function<void(std::string& name, bool& cancel)> OnGetNextCabinet;
    std::function<void(std::string& name)> OnRenameCompressedFile;

    enum TPackSwitch { psAdd = 0, psMove = 1, psDelete = 2 };
    // The engine's TStoredDirNames ordinals.
    enum TPackDirNames { pdNone = 0, pdAbsolute, pdAbsoluteNoDrv, pdRelative, pdRelativeStoreStart };

    // The packer kind (TPackerId numbers).
    virtual int Kind() const = 0;
    virtual void SetArchiveFile(const std::string& path) = 0;
    // Paths of files or masks to add, or stored names (masks) to delete.
    virtual void SetFileSpec(const std::vector<std::string>& specs) = 0;
    virtual void SetExcludeSpec(const std::vector<std::string>& specs) = 0;
    virtual void SetDefaultDir(const std::string& dir) = 0;
    // The engine's TCompressMethod and TDeflateType ordinals; a method the packer does not
    // allow is ignored.
    virtual void SetCompressMethod(int method) = 0;
    virtual void SetDeflateType(int type) = 0;
    virtual void SetPassword(const std::string& password) = 0;
    virtual void SetRecurseDirs(bool on) = 0;
    virtual void SetStoredDirNames(int mode) = 0;
    virtual void SetSwitch(int sw) = 0;
    // Runs the packer: files added (or deleted). Throws when an error ended the run (after
    // reporting it through OnError); the archive is then as it was.
    virtual int Compress() = 0;
    virtual int64_t TotalPackedSize() const = 0;
    virtual int64_t TotalUnpackedSize() const = 0;
    virtual void SetCancel(bool on) = 0;
};

// The real components; null when the component is not part of this build.
std::unique_ptr<TListerBackend> CreateLiveLister();
std::unique_ptr<TZipBackend> CreateLiveZip();
// The engine's extractor for an archive type (the engine's type ordinal); null when the
// type has none.
std::unique_ptr<TExtractorBackend> CreateLiveExtractor(int arcType);
// The engine's packer of a kind (TPackerId numbers); null when the engine has none yet.
std::unique_ptr<TPackerBackend> CreateLivePacker(int packerKind);
