#include "archive/aeHeaders.h"

#include <algorithm>
#include <cstring>

namespace aehdr {

std::string fixedString(Bytes b) {
    const void* z = b.empty() ? nullptr : std::memchr(b.data(), 0, b.size());
    const std::size_t n =
        z ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(z) - b.data()) : b.size();
    return std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace aehdr
