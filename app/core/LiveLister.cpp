// The engine's lister behind the window's lister interface. (The lister and the zip
// front-end each declare a global TNotifyEvent, so they live in separate files.)
#include "app/core/ArchiveBackends.h"

#include "archive/aeFormats.h"

#include "archive/aeArcLister.h"
#include "archive/aeMsgs.h"

namespace {

class LiveLister : public TListerBackend {
public:
    LiveLister() {
        FLister.OnActivate = [this](TZipCommon&) {
            if (OnActivate) OnActivate();
        };
        FLister.OnDeactivate = [this](TZipCommon&) {
            if (OnDeactivate) OnDeactivate();
        };
        FLister.OnRead = [this](TZipCommon& s, int64_t, int) {
            if (!OnRead) return;
            TListEntry e;
            e.FileName = s.FileName;
            e.PackedSize = s.PackedSize;
            e.UnpackedSize = s.UnpackedSize;
            e.FileCRC = s.FileCRC;
            e.FileDate = s.FileDate;
            e.FileAttr = s.FileAttr;
            e.Encrypted = s.Encrypted;
            OnRead(e);
        };
        FLister.OnTotals = [this](TZipCommon&, int n) {
            if (OnTotals) OnTotals(n);
        };
        FLister.OnError = [this](TZipCommon&, const std::string& fn, const std::string& msgEx,
                                 const std::string&, int code) {
            std::string text = AeMessageString(code);
            if (!msgEx.empty()) text += " (" + msgEx + ")";
            if (OnError) OnError(fn, code, text);
        };
    }

    void SetArchiveFile(const std::string& path) override { FLister.SetArchiveFile(path); }
    std::string ArchiveFile() const override { return FLister.ArchiveFile(); }

    TListerTypeInfo TypeInfo() const override {
        const TArcType t = FLister.ArcType();
        TListerTypeInfo info;
        info.ArcType = int(t);
        info.Known = TZipCommon::IsArcTypeKnown(t);
        info.Writable = TZipCommon::IsArcTypeWritable(t);
        info.Uue = t == atUue;
        info.Cabinet = t == atCab;
        const TFormatRow& row = FormatOf(t);
        info.CrcDigits = row.CrcDigits;
        // The packer the front-end offers: the row's, for the types it writes.
        info.PackerKind = InArcTypes(row.Types & row.Writes, t) ? row.PackerKind : 0;
        if (size_t(t) < ArcTypeNames.size()) info.TypeName = std::string(ArcTypeNames[size_t(t)]);
        return info;
    }

    void SetFileSpec(const std::string& spec) override { FLister.SetFileSpec({spec}); }

    bool Activate() override {
        // Asked only when someone answers (see the extractors).
        FLister.OnNextVolume = nullptr;
        if (OnNextVolume)
            FLister.OnNextVolume = [this](TZipCommon&, std::string& volume, const std::string& id,
                                          bool exists,
                                          bool& cancel) { OnNextVolume(volume, id, exists, cancel); };
        try {
            return FLister.Activate();
        } catch (const std::exception& e) {
            // The lister catches its own errors; anything else still ends only this listing.
            if (OnError) OnError(FLister.ArchiveFile(), 0, e.what());
            return false;
        }
    }

    int64_t TotalPackedSize() const override { return FLister.TotalPackedSize; }
    int64_t TotalUnpackedSize() const override { return FLister.TotalUnpackedSize; }

private:
    TArcLister FLister;
};

} // namespace

std::unique_ptr<TListerBackend> CreateLiveLister() {
    return std::make_unique<LiveLister>();
}
