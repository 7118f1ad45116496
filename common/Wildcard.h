// The one wildcard matcher: the engine's FileSpec/ExcludeSpec, the zip front-end, the
// zip-library stand-ins and the application all select names by it.
#pragma once
#include <string_view>

namespace pvcommon {

// '?' and '*' may stand in either string, letters compare without ASCII case, "*.*" matches
// names without a dot; with `NamesOnly` only the parts after the last '/' or '\' are
// compared. Runs in time polynomial in the lengths (no exponential backtracking).
bool WildcardMatch(std::string_view Pattern, std::string_view Name, bool NamesOnly);
// The plain rule for masks users type over whole names (find, delete by mask, shortcuts):
// '*' (any run, also empty) and '?' (exactly one character) only in the mask, ASCII case
// ignored, no dot rules -- except that "*.*" matches every name, with or without a dot.
bool MaskMatch(std::string_view Mask, std::string_view Name);
// True when `S` holds a '*' or a '?'.
bool HasWildcards(std::string_view S);

} // namespace pvcommon
