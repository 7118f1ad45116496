// The zip front-end behind the window's zip interface.
#include "app/core/ArchiveBackends.h"

#include "app/core/ListFormat.h"
#include "zipdll/ZipFront.h"

namespace {

class LiveZip : public TZipBackend {
public:
    LiveZip() {
        FZip.OnDirUpdate = [this](TZipFront&) {
            if (OnDirUpdate) OnDirUpdate();
        };
        FZip.OnMessage = [this](TZipFront&, int code, const std::string& msg) {
            if (OnMessage) OnMessage(code, msg);
        };
        FZip.OnProgress = [this](TZipFront&, ProgressType t, const std::string& name, int64_t size) {
            if (OnProgress) OnProgress(int(t), name, size);
        };
        FZip.OnExtractOverwrite = [this](TZipFront&, const std::string& forFile, bool isOlder,
                                         bool& doOverwrite) {
            if (OnExtractOverwrite) OnExtractOverwrite(forFile, isOlder, doOverwrite);
        };
        // Bound only while the window answers: without a handler the component asks itself.
        FZip.OnPasswordError = [this](TZipFront& z, std::string& pw, const std::string& forFile,
                                      uint32_t& repeat) {
            if (OnPasswordError)
                OnPasswordError(pw, forFile, repeat);
            else
                pw = z.GetExtrPassword();
        };
        FZip.OnCRC32Error = [this](TZipFront&, const std::string& forFile, uint32_t found, uint32_t expected,
                                   bool& doExtract) {
            if (OnCRC32Error) OnCRC32Error(forFile, found, expected, doExtract);
        };
        FZip.OnFileWritten = [this](TZipFront&, const std::string& path, bool replaced) {
            if (OnFileWritten) OnFileWritten(path, replaced);
        };
    }

    void SetZipFileName(const std::string& path) override { FZip.SetZipFileName(path); }
    std::string ZipFileName() const override { return FZip.ZipFileName(); }
    int Count() const override { return FZip.Count(); }

    TListEntry Entry(int index) const override {
        const ZipDirEntry& z = FZip[index];
        TListEntry e;
        e.FileName = z.FileName;
        e.PackedSize = z.CompressedSize;
        e.UnpackedSize = z.UncompressedSize;
        e.FileCRC = z.CRC32;
        e.FileDate = DosDateTimeToDateTime(z.FileDate, z.FileTime);
        e.FileAttr = z.ExtFileAttrib & 0xFF; // the DOS attribute byte
        e.Encrypted = z.Encrypted;
        return e;
    }

    int ErrCode() const override { return FZip.ErrCode; }
    void SetDLLDirectory(const std::string& dir) override { FZip.SetDLLDirectory(dir); }
    void LoadZipDll() override { FZip.LoadZipDll(); }
    void LoadUnzDll() override { FZip.LoadUnzDll(); }
    void UnloadDlls() override {
        FZip.UnloadZipDll();
        FZip.UnloadUnzDll();
    }
    void SetAddCompLevel(int level) override { FZip.AddCompLevel = level; }
    void SetMaxVolumeSize(int64_t bytes) override { FZip.MaxVolumeSize = bytes; }
    int64_t ArchiveSize() const override { return FZip.RealFileSize(); }
    int WriteSpan(const std::string& inFile, const std::string& outFile) override {
        return FZip.WriteSpan(inFile, outFile);
    }

    int Extract(const ExtractRequest& r) override {
        FZip.FSpecArgs = r.specs;
        FZip.ExtrBaseDir = r.baseDir;
        ExtrOpts o;
        if (r.dirNames) o.include(ExtrDirNames);
        if (r.overwrite) o.include(ExtrOverWrite);
        if (r.update) o.include(ExtrUpdate);
        if (r.test) o.include(ExtrTest);
        FZip.ExtrOptions = o;
        // The window asks for entries by their stored names: an entry named "*.txt" is
        // that entry alone.
        FZip.FSpecArgsLiteral = true;
        FZip.ErrCode = 0;
        FZip.Extract();
        return FZip.SuccessCnt;
    }
    void SetCancel(bool on) override { FZip.Cancel = on; }

    int Add(const AddRequest& r) override {
        AddOpts o;
        if (r.update) o.include(AddUpdate);
        if (r.freshen) o.include(AddFreshen);
        if (r.move) o.include(AddMove);
        if (r.diskSpan) o.include(AddDiskSpan);
        if (r.diskSpanErase) o.include(AddDiskSpanErase);
        if (r.dirNames) o.include(AddDirNames);
        if (r.recurse) o.include(AddRecurseDirs);
        if (r.encrypt) o.include(AddEncrypt);
        if (r.hidden) o.include(AddHiddenFiles);
        if (r.forceDOS) o.include(AddForceDOS);
        FZip.Verbose = false;
        FZip.Trace = false;
        FZip.AddOptions = o;
        FZip.AddCompLevel = r.level;
        FZip.Password = r.encrypt ? r.password : std::string();
        FZip.SetRootDir(r.rootDir);
        FZip.FSpecArgs = r.specs;
        FZip.FSpecArgsExcl = r.excludeSpecs;
        FZip.ErrCode = 0;
        FZip.Add();
        FZip.Password.clear();
        return FZip.SuccessCnt;
    }
    int Delete(const std::vector<std::string>& specs) override {
        FZip.FSpecArgs = specs;
        FZip.FSpecArgsLiteral = true;
        FZip.FSpecArgsExcl.clear();
        FZip.ErrCode = 0;
        FZip.Delete();
        return FZip.SuccessCnt;
    }
    std::string Comment() const override { return FZip.Comment(); }
    bool SetComment(const std::string& comment) override {
        FZip.ErrCode = 0;
        FZip.SetComment(comment);
        return FZip.ErrCode == 0;
    }
    int Rename(const std::vector<RenameItem>& items) override {
        std::vector<ZipRenameRec> recs;
        for (const RenameItem& i : items) recs.push_back({i.source, i.dest, i.dateTime});
        std::vector<ZipRenameRec*> list;
        for (ZipRenameRec& r : recs) list.push_back(&r);
        return FZip.Rename(list, 0);
    }
    int ConvertSFX(const SfxRequest& r) override {
        SFXOpts o;
        if (r.askCmdLine) o.include(SFXAskCmdLine);
        if (r.askFiles) o.include(SFXAskFiles);
        if (r.hideOverwriteBox) o.include(SFXHideOverWriteBox);
        FZip.SFXOptions = o;
        FZip.SFXOverWriteMode = r.overwriteMode == 1   ? OvrAlways
                                : r.overwriteMode == 2 ? OvrNever
                                                       : OvrConfirm;
        FZip.SFXDefaultDir = r.defaultDir;
        FZip.SFXCommandLine = r.commandLine;
        FZip.SFXCaption = r.caption;
        return FZip.ConvertSFX();
    }
    int ConvertZIP() override { return FZip.ConvertZIP(); }

private:
    TZipFront FZip;
};

} // namespace

std::unique_ptr<TZipBackend> CreateLiveZip() {
    return std::make_unique<LiveZip>();
}
