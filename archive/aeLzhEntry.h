// The LZH decoder wired to an extractor's block reader and writer.
#pragma once
#include <cstdint>
#include <string>

#include "archive/codec/aeLzhDecode.h"

class TStream;
class TUnBase;

// One entry for an extractor: reads `Packed` bytes from the archive's current position through the
// extractor's block reader (decrypting for the variants 1 and 2), writes `Unpacked` bytes through its block
// writer keeping the CRC of the check mode (only the CRC in a test run). The caller sets the CRC register
// before and checks it after. A damaged stream is reported (25120 "Bad Huffman code",
// 25111, or 25236 for data that end early) and leaves the register so that a check
// against ExpectedCrc fails; the result is then False. Write errors (25136) are reported
// the same way; they end the entry, not the run.
bool DecodeLzhEntry(TUnBase& Extractor, int& InHandle, TStream* InStream, int OutHandle, TStream* OutStream,
                    const ae::LzhParams& Params, std::int64_t Packed, std::int64_t Unpacked,
                    std::uint32_t ExpectedCrc, const std::string& Name);
