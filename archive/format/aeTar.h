// TTar: writes tar archives on the writer base's temporary-archive road: per file one 512-byte
// header of the old (version 7) layout, the file's bytes and zero padding to the next multiple
// of 512; the archive ends with two zero blocks. Existing entries are walked with the shared
// tar walker, so a GNU long-name or pax record stays with its entry whether it is kept or
// dropped.
//
// A stored name of 100 bytes or more, or a file of 8 GiB or more, does not fit the header:
// that file fails with a message naming it (names are never cut: two cut names could collide).
//
// With CompressMethod cmGzipTar the archive is a gzip-compressed tar: the tar is built in a
// temporary file beside the target (an existing target is first inflated into a private tar
// that the run reads, so an update keeps its entries) and then compressed by the gzip
// writer's member code into the final name -- ArchiveFile itself when it ends in ".tgz" or ".tar.gz", else
// ArchiveFile +
// ".gz". Only the final file remains; on any failure the old target stays as it was.
#pragma once
#include "archive/aeCompBase.h"

#include <cstdint>
#include <string>

class TTar : public TCompBase {
public:
    TTar();
    ~TTar() override;

    void SetArcType(TArcType Value) override;
    // The final name of a gzip-compressed tar for ArchiveFile.
    static std::string GzipTarName(const std::string& ArchiveFile);

    void Run() override;
    int LocalHeaderLength() override { return 512; }
    bool AddFile(int TempHandle, const std::string& Name, THeadObject& Header) override;
    bool ReadHeader(std::string& Name, int Handle, bool Flag) override;
    void ScanExisting(int ArchiveHandle) override;
    void AfterWrite() override;
    void WriteDirectory() override;
    // cmGzipTar: compresses the finished tar into the final name instead of renaming it.
    bool ReplaceArchive(const std::string& Temp, const std::string& Archive) override;
    void AfterRun() override;

    // The header of a new file: name, mode 100666, owner and group 0, size, time, type '0'
    // (a zero byte) and the checksum. False when the name or the size does not fit.
    static bool FormatHeader(uint8_t (&Block)[512], const std::string& StoredName, uint64_t Size,
                             int64_t MTime);

private:
    // For cmGzipTar: the private tar, and the final file's name.
    std::string FPrivateTar;
    std::string FFinalName;
    int FPrivateTicket = -1; // the private tar is removed on a terminating signal

    // The archive as the user named it (not the private tar).
    const std::string& shownName() const { return FPrivateTar.empty() ? FArchiveFile : FFinalName; }
    void runGzipTar();
    void dropPrivateTar();
    void inflateInto(const std::string& Source, int Dest);
    void gzipStage(const std::string& Tar);
    bool copyData(int Source, int64_t Size, int Dest);
};
