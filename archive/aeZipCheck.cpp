#include "archive/aeZipCheck.h"

#include "archive/aeExtractors.h"

namespace {

// What the tester refuses although the type is testable: self-extracting ACE and jar
// programs and spanned zip sets have no extractor that tests them.
constexpr TArcTypes kRefused = ArcBit(atAceExe) | ArcBit(atJarExe) | ArcBit(atZipMV);

} // namespace

TZipCheck::TZipCheck() {
    // Entries are tested under their stored names; folders play no part.
    UseStoredDirs = false;
}

bool TZipCheck::Handles(TArcType Type) {
    return InArcTypes(TestableArcTypes & ~kRefused, Type) && HasExtractor(Type);
}

int64_t TZipCheck::TestWrite(TUnBase& Extractor, int64_t Count, int CrcMode, bool Decrypt, uint8_t* Buffer) {
    if (Count <= 0) return 0;
    if (Decrypt) Extractor.DecryptBlock(Buffer, Count);
    Extractor.UpdateCrc(CrcMode, Buffer, Count);
    return Count;
}

void TZipCheck::SetCancel(bool Value) {
    TZipCommon* current = CurrentComponent();
    if (current && current != this)
        current->SetCancel(Value); // the running extractor stops
    else
        TZipCommon::SetCancel(Value);
}

void TZipCheck::Wire(TUnBase& Extractor) {
    Extractor.TestWriteProc = [&Extractor](int64_t Count, int CrcMode, bool Decrypt, uint8_t* Buffer) {
        return TestWrite(Extractor, Count, CrcMode, Decrypt, Buffer);
    };
    Extractor.UseStoredDirs = false;
    Extractor.SetArchiveFile(FArchiveFile);
    Extractor.SetFileSpec(FFileSpec.empty() ? std::vector<std::string>{"*.*"} : FFileSpec);
    Extractor.Passwords = Passwords;
    Extractor.PasswordAttempts = PasswordAttempts;
    if (InArcTypes(ZipFamilyArcTypes, FArcType)) Extractor.SetZipCmntBufSize(32000);

    Extractor.OnBegin = TZipCommon::OnBegin;
    Extractor.OnActivate = OnActivate;
    Extractor.OnDeactivate = OnDeactivate;
    Extractor.OnError = OnError;
    Extractor.OnGetPassword = OnGetPassword;
    Extractor.OnProgress = OnProgress;
    Extractor.OnCorruptZipHeader = OnCorruptZipHeader;
    Extractor.TZipCommon::OnEnd = [this](TZipCommon& Sender, const std::string& FN, bool Pass) {
        FireEvent(OnStatus, Sender, FN, Pass);
        FireEvent(OnEnd, Sender, FN);
    };
    Extractor.OnNextVolume = [this](TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                    bool FExists, bool& CancelRun) {
        FireEvent(OnNextVolume, Sender, VolumeName, VolumeID, FExists, CancelRun);
    };
}

void TZipCheck::Run() {
    // The tester's own activation events belong to the extractor, which fires them.
    const TNotifyEvent activate = OnActivate, deactivate = OnDeactivate;
    OnActivate = nullptr;
    OnDeactivate = nullptr;
    struct Restore {
        TZipCheck& t;
        TNotifyEvent a, d;
        ~Restore() {
            t.OnActivate = a;
            t.OnDeactivate = d;
        }
    } restore{*this, activate, deactivate};

    TRunSpec spec;
    spec.Handles = TestableArcTypes & ~kRefused;
    spec.OpenArchive = false;    // the extractor opens it
    spec.RequireArchive = false; // an empty or missing name is refused as a type

    try {
        RunOperation(spec, [&](int&) {
            if (FArchiveFile.empty() || !HasExtractor(FArcType))
                RaiseError(FArchiveFile, "", "0", kMsgBadArcType);
            if (!OnStatus) RaiseError(FArchiveFile, "OnStatus", "0", kMsgEventMissing);
            if (Cancel()) return;

            std::unique_ptr<TUnBase> extractor = CreateExtractor(FArcType);
            OnActivate = activate;
            OnDeactivate = deactivate;
            Wire(*extractor);
            OnActivate = nullptr;
            OnDeactivate = nullptr;
            struct TakeBack {
                TZipCheck& t;
                TUnBase& e;
                ~TakeBack() {
                    // Passwords accepted during the test stay known to the caller.
                    t.Passwords = e.Passwords;
                    if (e.Cancel()) t.TZipCommon::SetCancel(true);
                }
            } takeBack{*this, *extractor};
            TChildRunScope child(Ctx());
            extractor->Test();
        });
    } catch (const E_RAISE& e) {
        // Reported through OnError when raised -- all but the refusal of a second run,
        // which comes before the run could report anything.
        if (e.ECode == kMsgRunBusy) FireEvent(OnError, *this, FArchiveFile, "", "0", e.ECode);
    } catch (const std::exception&) {
        // The caller sees the results only.
    }
}
