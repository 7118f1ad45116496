// The zip method decoders behind one dispatcher: stored (0), shrunk (1), reduced (2-5),
// imploded (6) and deflated (8), plus the continuation over the members of a gzip file.
// DecodeZipEntry reads through the extractor's block reader (which decrypts traditionally
// encrypted data) and writes through its block writer (which keeps the CRC-32); in a test
// run the data only go through the CRC.
#pragma once
#include "archive/codec/aeDecodeIo.h"
#include "archive/codec/aeInflate.h"

#include <cstdint>
#include <span>
#include <string>

class TStream;
class TUnBase;

namespace ae {

// A raw stream of zip method `method` whose uncompressed size is `size` (explode takes
// the general-purpose flags). Deflate must end exactly at `size`; the other methods stop
// there. Unknown methods give Corrupt with kMsgUnsupportedMethod. Deflate goes through
// `inflater` when given (one kept for a run), else through one made for this stream.
DecodeResult DecodeZipMethod(InputBuffer& in, DecodeSink& sink, int method, std::uint16_t flags,
                             std::uint64_t size, Inflater* inflater = nullptr);

} // namespace ae

// The entry record handed to DecodeZipEntry.
struct TZipDecodeEntry {
    std::uint16_t Flags = 0;  // general-purpose flags; bit 0 encrypted
    std::uint16_t Method = 0; // 0, 1, 2-5, 6, 8
    std::int64_t LocalOffset = 0;
    std::int64_t PackedSize = 0; // as stored (with the 12-byte encryption header when encrypted)
    std::int64_t UnpackedSize = 0;
    std::uint32_t Crc32 = 0; // the stored CRC-32
    std::uint32_t Attr = 0;
};

// Decodes one entry whose compressed data start at the archive's current read position
// (after the encryption header, which the extractor has read). The extractor's current
// entry fields are set from Entry. On return the run's CRC-32 register holds the data's
// CRC (not inverted) -- for gzip the last member's -- and True means the stream decoded
// cleanly (every gzip member matched its own trailer). On any failure the error is
// reported through the extractor, the register is left so that a CRC check against
// Entry.Crc32 fails, and False is returned. A spanned set asks for its next disk when the
// input ends early (InHandle is then the reopened archive). An entry that is not encrypted
// may come with its packed data already in memory (InMemory, exactly PackedSize bytes):
// they are decoded from there and the handle is not read.
bool DecodeZipEntry(TUnBase& Extractor, int& InHandle, TStream* InStream, int OutHandle, TStream* OutStream,
                    const TZipDecodeEntry& Entry, const std::string& OutName,
                    const std::span<const std::uint8_t>* InMemory = nullptr);
