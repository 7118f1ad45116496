// The wildcard matcher and the code-page codec on arbitrary bytes: no crash, no hang (the
// matcher must stay polynomial whatever the stars), and the codec's round trips hold.
#include "archive/aeCommon.h"
#include "platform/codepage.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const size_t cut = in.find('\n');
    const std::string pattern = in.substr(0, cut == std::string::npos ? in.size() / 2 : cut);
    const std::string name = cut == std::string::npos ? in.substr(in.size() / 2) : in.substr(cut + 1);
    (void)WildcardMatch(pattern, name, false);
    (void)WildcardMatch(pattern, name, true);

    const std::string utf8 = platform::cp437ToUtf8(in);
    if (!platform::isValidUtf8(utf8) || platform::utf8ToCp437(utf8) != in) std::abort();
    const std::string decoded = platform::decodeArchiveName(in);
    if (!platform::isValidUtf8(decoded)) std::abort();
    (void)platform::encodeArchiveName(decoded, false);
    return 0;
}
