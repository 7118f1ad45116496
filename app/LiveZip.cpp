// The zip front-end behind the window's zip interface.
#include "app/ArchiveBackends.h"

#include "app/ListFormat.h"
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

private:
    TZipFront FZip;
};

} // namespace

std::unique_ptr<TZipBackend> CreateLiveZip() {
    return std::make_unique<LiveZip>();
}
