// The engine's extractors behind the window's extractor interface; the factory of the
// engine decides which one reads a type.
#include "app/core/ArchiveBackends.h"

#include "archive/aeExtractors.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnBase.h"

namespace {

class LiveExtractor : public TExtractorBackend {
public:
    explicit LiveExtractor(std::unique_ptr<TUnBase> u) : FUn(std::move(u)) {
        TUnBase& u0 = *FUn;
        u0.OnActivate = [this](TZipCommon&) {
            if (OnActivate) OnActivate();
        };
        u0.OnDeactivate = [this](TZipCommon&) {
            if (OnDeactivate) OnDeactivate();
        };
        u0.OnBegin = [this](TZipCommon&, const std::string& fn, int, bool&) {
            if (OnBegin) OnBegin(fn);
        };
        u0.OnProgress = [this](TZipCommon&, uint8_t byFile, uint8_t byArchive) {
            if (OnProgress) OnProgress(byFile, byArchive);
        };
        u0.OnFileExists = [this](TZipCommon&, const std::string& fn, TDateTime date, TOverwriteMode& mode) {
            bool overwrite = mode == omOverwrite;
            if (OnFileExists) OnFileExists(fn, date, overwrite);
            mode = overwrite ? omOverwrite : omSkip;
        };
        u0.OnEnd = [this](TZipCommon&, const std::string& fn, bool pass) {
            if (OnEnd) OnEnd(fn, pass);
        };
        u0.OnError = [this](TZipCommon&, const std::string& fn, const std::string& msgEx, const std::string&,
                            int code) {
            std::string text = AeMessageString(code);
            if (!msgEx.empty()) text += " (" + msgEx + ")";
            if (OnError) OnError(fn, code, text);
        };
    }

    void SetArchiveFile(const std::string& path) override { FUn->SetArchiveFile(path); }
    void SetExtractDir(const std::string& dir) override {
        std::string d = dir;
        while (d.size() > 1 && d.back() == '/') d.pop_back();
        FUn->SetExtractDir(d);
    }
    void SetUseStoredDirs(bool on) override { FUn->UseStoredDirs = on; }
    void SetConfirmOverwrites(bool on) override { FUn->ConfirmOverwrites = on; }
    void SetFileSpec(const std::vector<std::string>& specs) override { FUn->SetFileSpec(specs); }
    int Extract() override {
        BindQuestions();
        return FUn->Extract();
    }
    void SetCancel(bool on) override { FUn->SetCancel(on); }

private:
    // The engine asks only where someone answers: an unbound question keeps the engine's
    // own behaviour (no password, no further volume).
    void BindQuestions() {
        TUnBase& u0 = *FUn;
        u0.OnGetPassword = nullptr;
        if (OnGetPassword)
            u0.OnGetPassword = [this](TZipCommon&, const std::string& fn, std::string& pw, bool& tryAgain) {
                bool again = false;
                OnGetPassword(fn, pw, again);
                // An empty answer gives the entry up; the engine asks no more then.
                tryAgain = !pw.empty();
            };
        u0.OnNextVolume = nullptr;
        if (OnNextVolume)
            u0.OnNextVolume = [this](TZipCommon&, std::string& volume, const std::string& id, bool exists,
                                     bool& cancel) { OnNextVolume(volume, id, exists, cancel); };
        u0.OnRenameCompressedFile = nullptr;
        if (OnRenameCompressedFile)
            u0.OnRenameCompressedFile = [this](TZipCommon&, std::string& fn) { OnRenameCompressedFile(fn); };
    }

    std::unique_ptr<TUnBase> FUn;
};

} // namespace

std::unique_ptr<TExtractorBackend> CreateLiveExtractor(int arcType) {
    std::unique_ptr<TUnBase> u = CreateExtractor(TArcType(arcType));
    if (!u) return nullptr;
    return std::make_unique<LiveExtractor>(std::move(u));
}
