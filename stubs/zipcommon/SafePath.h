// Entry names made safe for writing below a target folder, by the shared rule.
#pragma once
#include "common/SafePath.h"

#include <optional>
#include <string>

namespace zipstub {

// The relative path an entry may be written to (pvcommon::SafeRelativePath). Null also when
// the name holds a zero byte (the system would cut the name there) or nothing is left.
inline std::optional<std::string> safeRelativePath(const std::string& name) {
    if (name.find('\0') != std::string::npos) return std::nullopt;
    auto rel = pvcommon::SafeRelativePath(name);
    if (rel && rel->empty()) return std::nullopt;
    return rel;
}

inline bool makeSafeParents(const std::string& base, const std::string& rel, std::string& why) {
    return pvcommon::MakeSafeParents(base, rel, why);
}

} // namespace zipstub
