// The CRC-32 implementations one by one, so that each can be checked against the
// one-table loop on any machine that has it; Crc32Update picks the best of them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace aecrc {

// Ordered from the plainest to the widest lanes.
enum class Crc32Path { Table, Slice16, Clmul128, Clmul256, Clmul512 };

bool Crc32PathAvailable(Crc32Path Path);
// The register update of Crc32Update through one path (which must be available).
void Crc32UpdateWith(Crc32Path Path, const void* Buffer, std::size_t Count, std::uint32_t& Crc);

} // namespace aecrc
