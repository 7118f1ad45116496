// TMakeCAB: writes cabinet files through the writing side of cabinet.dll. The files gathered
// by the writer base go to the library one by one with the compression type CompressMethod
// chooses; the cabinet is made as a temporary file beside the archive and put in its place only
// after the library finished it. An existing cabinet is never emptied: adding (or moving)
// writes its entries again beside the new files (a new file replaces an entry of the same
// name), deleting writes it again without the matching entries; its entries are read back
// through TUnCAB into a private folder first, and a cabinet that cannot be read whole is left
// as it is.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/aeCompBase.h"
#include "archive/format/aeCabGbls.h"

enum TCompressionType : uint8_t { ctStore, ctMsZip, ctLzx };

class TCabInterface : public TCompBase {};

class TMakeCAB : public TCabInterface {
public:
    TMakeCAB();
    ~TMakeCAB() override;

    void SetArcType(TArcType Value) override; // pinned to atCab

    bool FailOnIncompressible = true;
    int LzxLevel() const { return FLzxLevel; }
    void SetLzxLevel(int Value); // 15..21
    int QuantumLevel() const { return FQuantumLevel; }
    void SetQuantumLevel(int Value); // 1..7
    int QuantumMemory() const { return FQuantumMemory; }
    void SetQuantumMemory(int Value); // 10..21
    TCompressionType QuantumType = ctMsZip;
    TGetNextCabinetEvent OnGetNextCabinet;

    // The compression type handed to the library for CompressMethod, and the entry's method
    // name and code.
    virtual uint16_t CompressionType() const;
    std::string CompressionName() const;
    int CompressionCode() const;
    // The parameter record for the cabinet Archive.
    TCCAB CabParameters(const std::string& Archive) const;

    // ---- the library's callbacks that need the component, in order ----
    virtual bool NextCabinet(TCCAB& Cab, uint32_t PreviousSize);
    virtual bool TempFileName(char* Buffer, int Size);
    virtual TCabHandle OpenInfo(const std::string& Name, uint16_t& Date, uint16_t& Time, uint16_t& Attribs,
                                int& Error);

    TStreamCabinetFileHandler& Handler() { return FHandler; }
    uint32_t ReadSource(TCabHandle Handle, void* Buffer, uint32_t Count, int& Error);

    void Run() override;
    bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) override;
    void AfterWrite() override {}
    void WriteDirectory() override {}

private:
    struct TKept {
        std::string Name; // as stored ('/' separators, UTF-8)
        std::string Path; // the copy in the private folder
    };
    bool AddToCabinet(const std::string& Source, const std::string& Stored);
    void ReadExisting(const std::string& Folder, std::vector<TKept>& Kept);
    bool DeleteMatches(const std::string& Name) const;

    TStreamCabinetFileHandler FHandler;
    HFCI FContext = nullptr;
    TCabErf FErf;
    int FLzxLevel = 21;
    int FQuantumLevel = 7;
    int FQuantumMemory = 21;
    int64_t FFileSize = 0;
    bool FNameIsUtf8 = false;
    // The library's scratch files of this run (in TempDir): removed when the run ends, also
    // by a terminating signal.
    struct TScratch {
        std::string Path;
        int Ticket = -1;
    };
    std::vector<TScratch> FScratch;
    void dropScratch();
};
