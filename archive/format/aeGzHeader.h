// The gzip member header (RFC 1952) read from a stream: the one parser that the gzip
// continuation of the zip method decoders and the gzip extractor both use.
//
//   0 magic 1F 8B (2) | 2 method (1, 8 = deflate) | 3 flags (1) | 4 mtime (4, Unix seconds)
//   8 extra flags (1) | 9 OS (1)
//   flag 0x04 FEXTRA:   length (2) + that many bytes
//   flag 0x08 FNAME:    name, zero-terminated
//   flag 0x10 FCOMMENT: comment, zero-terminated
//   flag 0x02 FHCRC:    low 16 bits of the CRC-32 of every header byte before it (2)
//   flags 0x20-0x80 are reserved (0x20 marked encryption in pre-standard gzip)
//   member trailer: CRC-32 (4), uncompressed size mod 2^32 (4)
#pragma once
#include "archive/codec/aeDecodeIo.h"
#include "archive/format/aeGzipHeaders.h"

#include <string>
#include <vector>

namespace ae {

enum class GzHeaderStatus : std::uint8_t {
    Ok,
    NoData,       // the input held no byte at all (no further member)
    Truncated,    // the input ended inside the header
    BadMagic,     // not 1F 8B (nor the pre-standard 1F 9E)
    BadMethod,    // a method other than deflate
    Encrypted,    // flag 0x20
    Reserved,     // flags 0x40 or 0x80
    BadHeaderCrc, // FHCRC present and wrong
};

struct GzMemberHeader {
    GzHeaderStatus status = GzHeaderStatus::Ok;
    aehdr::GzipHeader fields;        // magic, method, flags, mtime, name, comment, headerLength
    std::vector<std::uint8_t> extra; // the FEXTRA bytes
    bool ok() const { return status == GzHeaderStatus::Ok; }
    // The engine's message number for a failed header.
    int msg() const;
};

// Names and comments longer than this are cut (the header is still read to its end).
inline constexpr std::size_t kGzMaxNameLength = 4096;

// An open file read straight from its handle's current position, for gzip members read
// outside an entry (the gzip extractor's header, the tar writer's compressed archive).
class HandleSource final : public DecodeSource {
public:
    explicit HandleSource(int handle) : handle_{handle} {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override;

private:
    int handle_;
};

// Reads one member header from `in` (consuming it); the deflate data follow.
GzMemberHeader ReadGzipMemberHeader(InputBuffer& in);
GzMemberHeader ParseGzipMemberHeader(std::span<const std::uint8_t> data);

struct GzTrailer {
    std::uint32_t crc32 = 0, size = 0;
};
// The 8-byte member trailer; false when the input ends first.
bool ReadGzipTrailer(InputBuffer& in, GzTrailer& t);

} // namespace ae
