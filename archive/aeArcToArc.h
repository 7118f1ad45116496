// TArc2Arc: converts an archive of any extractable type into one of seven writable kinds.
// It never decodes and encodes in one stream: the extractor of the input's type unpacks the
// whole input into a private temporary folder, the writer of OutArcType packs that folder
// into the output with a fixed method, the tester checks the result, and the private folder
// goes. Each component is made for its phase and freed after it; their events reach the
// converter's own, so one set of handlers follows all three phases.
//
// Files: the private folder is made by mkdtemp under TempDir, with the list of extracted
// names beside it; both are removed after every run (also a failed or cancelled one) with
// everything in them, without following a link or changing the current folder. The output
// is written under a temporary name in its own folder and replaces an existing output only
// when the whole conversion got that far without a failure: a damaged input, a failed file
// or a cancel leave the old output as it was and no new one.
#pragma once
#include "archive/aeBase.h"

#include <cstdint>
#include <memory>
#include <string>

enum TOutArcType : uint8_t { tyBh, tyCab, tyLzh, tyZip, tyTar, tyGzipTar, tyJar };
enum TOutArcMethod : uint8_t { amCreateNew, amAddToArc };

class TUnBase;
class TCompBase;

class TArc2Arc : public TZipCommon {
public:
    TArc2Arc();
    ~TArc2Arc() override;

    // The run. Each error is reported once: through OnError, or in a message box when there is
    // no OnError; nothing is thrown to the caller.
    void Convert();
    // Stores Value as the abort flag; while a phase runs, that phase's component is cancelled.
    void SetCancel(bool Value);

    // ---- properties ----
    std::string OutArchiveFile;
    TOutArcType OutArcType = tyBh;
    TOutArcMethod OutArcMethod = amCreateNew;
    bool IntegrityCheck = true;

    // ---- events ----
    TNotifyEvent OnExtractActivate, OnExtractDeactivate;
    TOnBegin OnExtractBegin; // the name relative to the private folder
    TOnEnd OnExtractEnd;
    TNotifyEvent OnCompressActivate, OnCompressDeactivate;
    TOnBegin OnCompressBegin;
    TOnEnd OnCompressEnd;
    TNotifyEvent OnIntegrityActivate, OnIntegrityDeactivate;
    TOnIntegrityBegin OnIntegrityBegin;
    TOnIntegrityEnd OnIntegrityEnd;
    TOnIntegrityStatus OnIntegrityStatus;
    // OnFileExists, OnProgress, OnGetPassword, OnNextVolume, OnRemoveTempfile and OnError are
    // the inherited ones.

    // ---- the tables ----
    // A new extractor for an input of type Type; nullptr for a type the converter refuses.
    static std::unique_ptr<TUnBase> NewExtractor(TArcType Type);
    // A new writer for Type, set to that kind's method; nullptr when the engine has none.
    static std::unique_ptr<TCompBase> NewWriter(TOutArcType Type);
    // The archive type a writer of Type writes (the tar writer writes both tar kinds).
    static TArcType WriterArcType(TOutArcType Type);

    // Whether the last run got through every phase without a failure (an entry that failed,
    // an error, a cancel); false also when the run ended before the output was written.
    bool Succeeded() const { return FSucceeded; }

private:
    void Run();
    bool ExtractPhase();
    bool CompressPhase();
    void IntegrityPass();
    void CleanUp();
    bool CheckOutput();
    void Adopt(TZipCommon& Child); // takes over the child's cancel

    std::string FListFile;   // one line per extracted name
    std::string FPrivateDir; // the private folder
    std::string FWorkDir;    // the folder of the output while it is written
    // The three are removed when the process ends by a terminating signal too.
    int FListTicket = -1, FPrivateTicket = -1, FWorkTicket = -1;
    std::string FWorkFile; // the output while it is written
    TArcType FWriterType = atNA;
    bool FAbort = false;
    bool FPhaseFailed = false; // an entry failed or an error was reported in the phase
    bool FSucceeded = false;
};
