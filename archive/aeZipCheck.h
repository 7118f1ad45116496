// TZipCheck: tests the integrity of an archive of any testable type. For one run it creates
// the extractor of the archive's type, lets it decode every chosen entry in test mode through
// the tester's own block writer (which keeps the check value and writes nothing), and
// reports each entry's result through OnStatus. The converter uses it for its integrity pass.
#pragma once
#include "archive/aeUnBase.h"

#include <cstdint>
#include <memory>

class TZipCheck : public TUnBase {
public:
    TZipCheck();

    // Tests ArchiveFile. Errors are reported through OnError and end the run; they are not
    // passed on to the caller.
    void Run();

    // Sets the tester's cancel flag while the tester itself is the current component (and
    // lets pending events through); during a test it cancels the running extractor.
    void SetCancel(bool Value);

    // Per entry: OnStatus (the extractor, the entry's name, whether it passed), then OnEnd.
    TOnIntegrityStatus OnStatus;
    TOnIntegrityEnd OnEnd;

    // The archive types this tester has an extractor for (testable, less the self-extracting
    // ACE and jar programs and spanned zip sets).
    static bool Handles(TArcType Type);

private:
    // The tester's block writer: the data pass the decryption hook of the extractor when
    // Decrypt, and its check value (CRC-16 or CRC-32 by CrcMode); nothing is written.
    static int64_t TestWrite(TUnBase& Extractor, int64_t Count, int CrcMode, bool Decrypt, uint8_t* Buffer);
    void Wire(TUnBase& Extractor);
};
