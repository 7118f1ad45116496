// What the header layouts of the archive formats share. Each format's layout, with its
// bounds-checked parsers, is in its module (archive/format/ae<Format>Headers.h); the zip
// records are the shared leaf's and are named here. Nothing in a layout knows about
// components, events or files: a parser gets the bytes and returns the fields as stored (raw
// names, raw dates), so that the lister, the extractors and the writers share one description
// of each format.
//
// All multi-byte fields are little-endian unless a layout says otherwise. A parser that is
// given too few bytes, or bytes that do not carry the format's signature, returns nothing;
// it never reads past the span it was given.
#pragma once
#include "common/LittleEndian.h"
#include "common/ZipDirectory.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace aehdr {

using Bytes = pvcommon::Bytes;

// ---------------------------------------------------------------------------------------
// Readers

inline std::uint16_t le16(const std::uint8_t* p) {
    return pvcommon::GetLE16(p);
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return pvcommon::GetLE32(p);
}
inline std::uint64_t le64(const std::uint8_t* p) {
    return pvcommon::GetLE64(p);
}

using pvcommon::LeReader;

// Raw bytes of a field as a string (names are decoded by the caller, once, at the edge).
inline std::string toString(Bytes b) {
    return std::string(b.begin(), b.end());
}
// The bytes of a fixed-width field up to its first zero byte.
std::string fixedString(Bytes b);

// A DOS date and a DOS time stored date first (the one value as zip stores it: time low).
inline std::uint32_t dateThenTime(LeReader& r) {
    const std::uint16_t date = r.u16();
    const std::uint16_t time = r.u16();
    return (std::uint32_t{date} << 16) | time;
}

// Hands out up to `count` bytes at `offset` of an archive (fewer at its end). The span stays
// valid until the next call. The lister's buffered archive and a memory block both fit.
using Fetch = std::function<Bytes(std::uint64_t offset, std::size_t count)>;

// ---------------------------------------------------------------------------------------
// ZIP (the published zip layout)

// The records and their parsers are the shared leaf's (common/ZipDirectory.h).
constexpr std::uint32_t kZipLocalSig = pvcommon::zip::kLocalSig;
constexpr std::uint32_t kZipCentralSig = pvcommon::zip::kCentralSig;
constexpr std::uint32_t kZipEndSig = pvcommon::zip::kEndSig;
constexpr std::uint32_t kZip64EndSig = pvcommon::zip::kEnd64Sig;
constexpr std::uint32_t kZip64LocatorSig = pvcommon::zip::kEnd64LocatorSig;
constexpr std::uint32_t kZipSpanSig = pvcommon::zip::kDescriptorSig; // first bytes of a spanned set
constexpr std::uint16_t kZipFlagEncrypted = pvcommon::zip::kFlagEncrypted;
constexpr std::uint16_t kZipFlagDescriptor = pvcommon::zip::kFlagDescriptor;
constexpr std::uint16_t kZipFlagUtf8 = pvcommon::zip::kFlagUtf8;
constexpr std::uint32_t kZip32Max = pvcommon::zip::k32Max;
using pvcommon::zip::applyZip64Extra;
using pvcommon::zip::findZipExtra;
using pvcommon::zip::parseZipCentral;
using pvcommon::zip::parseZipEnd;
using pvcommon::zip::parseZipLocal;
using pvcommon::zip::putZipCentral;
using pvcommon::zip::putZipEnd;
using pvcommon::zip::putZipLocal;
using pvcommon::zip::ZipCentralHeader;
using pvcommon::zip::ZipEndRecord;
using pvcommon::zip::ZipLocalHeader;
using pvcommon::zip::zipUnicodePath;

} // namespace aehdr
