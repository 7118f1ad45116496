// The one code-page codec of the program: code page 437 (the "OEM" side of archive
// names) to and from UTF-8 (the strings in memory and Linux file names).
//
// Reading an archive name: bytes that are valid UTF-8 (or that the format flags as UTF-8)
// are kept as they are; anything else is read as code page 437.
//
// Writing: Linux tools read a non-ASCII name right only as UTF-8 (unzip, 7zz, bsdtar and
// python read a zip name in code page 437 as something else, and lhasa, 7zz, bsdtar and
// unar an LZH name). So where the format can carry UTF-8 (with a flag, or by what its
// readers expect) every non-ASCII name is stored as UTF-8; a format without that room keeps
// code page 437 where the name reads back exactly and UTF-8 where it would not. A file name
// that is no valid UTF-8 keeps its bytes: Linux tools extract it under those bytes, and it
// reads back as code page 437, which the writer reports as a name not stored exactly.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The Unicode code point of a code-page-437 byte (0x00-0x7F map to themselves).
char32_t cp437ToUnicode(uint8_t b);
// The code-page-437 byte of a code point; false when it has none.
bool unicodeToCp437(char32_t cp, uint8_t& out);

// Every byte read as code page 437.
std::string cp437ToUtf8(std::string_view bytes);
// UTF-8 to code page 437; characters without a cp437 byte (and invalid UTF-8 sequences,
// byte by byte) become `replacement`. `lossless`, when given, says whether none did.
std::string utf8ToCp437(std::string_view utf8, char replacement = '_', bool* lossless = nullptr);

bool isValidUtf8(std::string_view bytes);
bool isAscii(std::string_view bytes);
// True when every character of the UTF-8 string has a code-page-437 byte.
bool fitsCp437(std::string_view utf8);

// An archive name's bytes to the UTF-8 kept in memory (the reading rule above).
std::string decodeArchiveName(std::string_view raw, bool flaggedUtf8 = false);

// A UTF-8 name to the bytes stored in an archive (the writing rule above).
struct EncodedName {
    std::string bytes;
    bool utf8 = false; // non-ASCII stored as UTF-8: a format's UTF-8 flag must be set
    bool exact = true; // reads back (decodeArchiveName) as the name given
    // The name the archive lists for these bytes.
    std::string readBack() const { return decodeArchiveName(bytes, utf8); }
};
// formatCarriesUtf8: every non-ASCII name as UTF-8; otherwise code page 437 with '_' for
// what it cannot hold.
EncodedName encodeArchiveName(std::string_view utf8, bool formatCarriesUtf8);
// For a format without a UTF-8 flag whose readers here tell UTF-8 from code page 437: code
// page 437 where the name reads back exactly, else UTF-8.
EncodedName encodeUnflaggedName(std::string_view utf8);

} // namespace platform
