// TUnGZIP: extracts or tests the single file of a gzip file (every member of a
// multi-member file, each checked against its own trailer; header CRC checked, extra field,
// name and comment read) or of a Unix compress (.Z) file. With UnTar set, a decompressed
// tar is unpacked by that tar extractor in the same run: the .tar goes to a private
// temporary file that is deleted afterwards, never into the extraction folder.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "archive/codec/aeDecodeIo.h"
#include "archive/aeUnBase.h"

class TUnTAR;

namespace ae {
// Decodes a whole .Z stream (LZW, codes of 9 up to 16 bits, block mode clears) from its
// 3-byte header on. Corrupt with kMsgIncompleteCodes for a header this decoder cannot take
// (reserved bits, widths outside 9..16), kMsgCorruptInput for a code that cannot occur.
DecodeResult DecodeLzw(InputBuffer& in, DecodeSink& sink);
} // namespace ae

class TUnGZIP : public TUnBase {
public:
    TUnGZIP();
    ~TUnGZIP() override;

    // The tar extractor that a decompressed tar is handed to; nullptr for none.
    TUnTAR* UnTar = nullptr;
    // Gives this extractor a tar extractor of its own (UnTar points at it) that takes this
    // one's events and settings each time it runs -- a .tar.gz then extracts in one step.
    void UseOwnTar();

protected:
    void ExtractArchive(int& ArchiveHandle, TStream* Stream) override;

private:
    std::string DefaultOutputName() const;
    void ExtractGzip(int Handle);
    void ExtractCompress(int Handle);
    // Decodes into Out/OutStream; true when the data passed their checks.
    bool DecodeGzipData(int Handle, int64_t DataStart, uint8_t Flags, int Out, TStream* OutStream,
                        const std::string& Name);
    bool DecodeCompressData(int Handle, int Out, TStream* OutStream, const std::string& Name);
    void DeliverOutput(int Handle, bool IsGzip, const std::string& Stored, uint32_t Dos, int64_t DataStart,
                       uint8_t Flags);
    bool RunTar(const std::string& TarFile);

    std::unique_ptr<TUnTAR> FOwnTar;
};
