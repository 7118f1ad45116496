// What the UU/XX encoder and decoder share: the two alphabets and the names of numbered
// part files.
#pragma once
#include <string>
#include <string_view>

namespace uucode {

// Index = 6-bit value. UU starts with the grave accent (0), then "!" to "_" in code order.
inline constexpr std::string_view kUuAlphabet =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
inline constexpr std::string_view kXxAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr int kLineBytes = 45; // bytes of a full line
inline constexpr int kMaxParts = 999; // part numbers have at most three digits

// The name of part Number (1..999) of Name: the number in decimal replaces the end of the
// extension, which keeps its first (4 - digits) characters counting the dot (x.uue gives
// x.uu1, x.u10, x.100); a name without extension gets the digits appended. Only the file
// name part is looked at for the extension.
inline std::string PartName(const std::string& Name, int Number) {
    const std::string digits = std::to_string(Number);
    const std::size_t slash = Name.rfind('/');
    const std::size_t dot = Name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Name + digits;
    const std::size_t keep = digits.size() >= 4 ? 0 : 4 - digits.size();
    const std::string ext = Name.substr(dot);
    return Name.substr(0, dot) + ext.substr(0, std::max<std::size_t>(keep, 1)) + digits;
}

} // namespace uucode
