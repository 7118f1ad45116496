// The standard filters of RAR 2.9/3.x. The format ships each filter as a program for a small
// virtual machine; every archive made by the packer uses one of six fixed programs, which we
// recognise by their bytecode's length and CRC-32 and run natively instead of interpreting.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rar {

enum class TFilterType { None, E8, E8E9, Itanium, Delta, Rgb, Audio };

// Standard CRC-32 (the one of the archive headers).
std::uint32_t Crc32(const std::uint8_t* Data, std::size_t Size, std::uint32_t Crc = 0);

// The standard program this bytecode is, or None.
TFilterType IdentifyFilter(const std::uint8_t* Code, std::size_t Size);

// The memory a filter program sees: the block is copied to its start; filters that do not
// work in place write their output right after the block. Blocks above kFilterMaxBlock never
// occur (the program's global data start there).
constexpr std::uint32_t kFilterMemSize = 0x40000, kFilterMaxBlock = 0x3C000;

// The inverse transforms, one per filter. FileOffset is where the block starts within the
// file (the packer made call targets relative to it).
// x86 CALL (E8) and, with E9, JMP targets: absolute back to relative addresses, in place.
void E8Decode(std::uint8_t* Data, std::uint32_t Size, std::uint32_t FileOffset, bool E9);
// IA-64 bundles' branch targets, in place.
void ItaniumDecode(std::uint8_t* Data, std::uint32_t Size, std::uint32_t FileOffset);
// Bytes stored channel after channel as differences to the channel's previous byte.
void DeltaDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Channels);
// 24-bit pixels of rows Width bytes long predicted from their neighbours (Paeth-like), the
// green difference added back to red and blue starting at byte PosR. False for a shape no
// packer makes (Width below 3, PosR beyond 2).
bool RgbDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Width,
               std::uint32_t PosR);
// Audio samples per channel from an adaptive linear predictor.
void AudioDecode(const std::uint8_t* Src, std::uint8_t* Dst, std::uint32_t Size, std::uint32_t Channels);

// Runs Type over Mem (kFilterMemSize + 4 bytes) whose first Size bytes hold the block.
// R are the program's seven parameter registers (channels, width, ...). On success Out is
// the offset in Mem of the Size transformed bytes; false for parameters no packer writes.
bool RunFilter(TFilterType Type, std::uint8_t* Mem, std::uint32_t Size, const std::uint32_t* R,
               std::uint32_t FileOffset, std::uint32_t& Out);

} // namespace rar
