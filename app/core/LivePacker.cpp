// The engine's writers behind the window's packer interface. Each kind the window offers
// here is one pair of CreateLivePacker's table; a kind not in it gives none.
#include "app/core/ArchiveBackends.h"

#include "archive/aeCompBase.h"
#include "archive/aeFormats.h"
#include "archive/aeMsgs.h"

namespace {

class LivePacker : public TPackerBackend {
public:
    LivePacker(int kind, std::unique_ptr<TCompBase> w) : FKind(kind), FW(std::move(w)) {
        TCompBase& w0 = *FW;
        w0.OnActivate = [this](TZipCommon&) {
            if (OnActivate) OnActivate();
        };
        w0.OnDeactivate = [this](TZipCommon&) {
            if (OnDeactivate) OnDeactivate();
        };
        w0.OnBegin = [this](TZipCommon&, const std::string& fn, int, bool&) {
            if (OnBegin) OnBegin(fn);
        };
        w0.OnProgress = [this](TZipCommon&, uint8_t byFile, uint8_t byArchive) {
            if (OnProgress) OnProgress(byFile, byArchive);
        };
        w0.OnFileExists = [this](TZipCommon&, const std::string& fn, TDateTime date, TOverwriteMode& mode) {
            bool overwrite = mode == omOverwrite;
            if (OnFileExists) OnFileExists(fn, date, overwrite);
            mode = overwrite ? omOverwrite : omSkip;
        };
        w0.OnEnd = [this](TZipCommon&, const std::string& fn, bool pass) {
            if (OnEnd) OnEnd(fn, pass);
        };
        w0.OnError = [this](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                            int code) {
            std::string text = AeMessageString(code);
            if (!msgEx.empty()) text += " (" + msgEx + ")";
            if (OnError) OnError(fn, code, text);
        };
        // Adding a file the archive holds already replaces its entry.
        w0.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                              int64_t, int64_t, int, int, bool& replace) { replace = true; };
    }

    int Kind() const override { return FKind; }
    void SetArchiveFile(const std::string& path) override { FW->SetArchiveFile(path); }
    void SetFileSpec(const std::vector<std::string>& specs) override { FW->SetFileSpecPaths(specs); }
    void SetExcludeSpec(const std::vector<std::string>& specs) override { FW->SetExcludeSpec(specs); }
    void SetDefaultDir(const std::string& dir) override { FW->SetDefaultDir(dir); }
    void SetCompressMethod(int method) override { FW->SetCompressMethod(TCompressMethod(method)); }
    void SetDeflateType(int type) override {
        if (type >= dtDeflateS && type <= dtDeflateX) FW->SetDeflateType(TDeflateType(type));
    }
    void SetPassword(const std::string& password) override { FW->Password = password; }
    void SetRecurseDirs(bool on) override { FW->RecurseDirs = on; }
    void SetStoredDirNames(int mode) override {
        if (mode >= sdNone && mode <= sdRelativeStoreStart) FW->StoredDirNames = TStoredDirNames(mode);
    }
    void SetSwitch(int sw) override {
        FW->Switch = sw == psMove ? swMove : sw == psDelete ? swDelete : swAdd;
    }
    int Compress() override {
        // Questions are asked only where someone answers (see the extractors).
        FW->OnGetPassword = nullptr;
        if (OnGetPassword)
            FW->OnGetPassword = [this](TZipCommon&, const std::string& fn, std::string& pw, bool& tryAgain) {
                bool again = false;
                OnGetPassword(fn, pw, again);
                tryAgain = !pw.empty();
            };
        FW->OnRenameCompressedFile = nullptr;
        if (OnRenameCompressedFile)
            FW->OnRenameCompressedFile = [this](TZipCommon&, std::string& fn) { OnRenameCompressedFile(fn); };
        return FW->Compress();
    }
    int64_t TotalPackedSize() const override { return FW->TotalPackedSize; }
    int64_t TotalUnpackedSize() const override { return FW->TotalUnpackedSize; }
    void SetCancel(bool on) override { FW->SetCancel(on); }

private:
    int FKind;
    std::unique_ptr<TCompBase> FW;
};

} // namespace

std::unique_ptr<TPackerBackend> CreateLivePacker(int packerKind) {
    // TPackerId numbers (1 bh, 2 cab, 3 gzip, 4 jar, 5 lha, 6 tar) to the type whose engine
    // writer serves them; the writer comes from the engine's format rows.
    static constexpr struct {
        int kind;
        TArcType type;
    } kinds[] = {{3, atGZip}, {4, atJar}, {6, atTar}};
    for (const auto& k : kinds)
        if (k.kind == packerKind)
            if (std::unique_ptr<TCompBase> w = CreateWriter(k.type))
                return std::make_unique<LivePacker>(packerKind, std::move(w));
    return nullptr;
}
