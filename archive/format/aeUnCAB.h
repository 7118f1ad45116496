// TUnCAB: extracts or tests cabinet files through the reading side of cabinet.dll. A scan
// pass totals the chosen files without writing anything, then the copy pass writes them,
// cabinet after cabinet of a set while OnNextVolume supplies the next one. A file continued
// in the next cabinet is completed from it. A set whose next cabinet is one already read
// stops with 25135; a failed library call is reported with the library's error, naming the
// cabinet, and the file it was writing is discarded.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeUnBase.h"
#include "archive/format/aeCabGbls.h"

class TUnCABInterface : public TUnBase {};

class TUnCAB : public TUnCABInterface {
public:
    TUnCAB();
    ~TUnCAB() override;

    // Whether the file Name is a cabinet (through the library); 25235 / 25137 raised when it
    // cannot be opened / closed.
    bool IsCabinet(const std::string& Name);

    // ---- the notifications of FDI, in order (the value handed back to the library) ----
    virtual TCabHandle CabinetInfo(TFdiNotification& N);
    virtual TCabHandle CopyFileCount(TFdiNotification& N); // the scan pass's copy-file answer
    virtual TCabHandle CopyFileExtract(TFdiNotification& N);
    virtual TCabHandle CloseFileInfo(TFdiNotification& N);
    virtual TCabHandle NextCabinet(TFdiNotification& N);

    // The library's write callback lands here.
    uint32_t WriteData(const void* Buffer, uint32_t Count);

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    void EnsureContext();
    void Copy(const std::string& Name, bool Scan);

    TStreamCabinetFileHandler FHandler;
    HFDI FContext = nullptr;
    TCabErf FErf;
    // The output of the file being written.
    int FOut = -1;
    std::unique_ptr<TStream> FOutStream;
    std::string FOutName;
    std::string FOutFn; // the name OnEnd reports for it
};
