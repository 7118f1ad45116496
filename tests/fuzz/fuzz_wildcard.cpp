// The wildcard matcher and the code-page codec on arbitrary bytes: no crash, no hang (the
// matcher must stay polynomial whatever the stars), and the codec's round trips hold.
#include "archive/aeCommon.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const size_t cut = in.find('\n');
    // Specs and names are short in real use; bounded lengths keep the matcher's worst cases
    // (stars on both sides) to milliseconds, so the fuzzer runs thousands of inputs a second
    // instead of spending its time at the matcher's step limit.
    constexpr size_t kMaxPattern = 32, kMaxName = 96;
    const std::string pattern =
        in.substr(0, std::min(kMaxPattern, cut == std::string::npos ? in.size() / 2 : cut));
    const std::string name =
        (cut == std::string::npos ? in.substr(in.size() / 2) : in.substr(cut + 1)).substr(0, kMaxName);
    (void)WildcardMatch(pattern, name, false);
    (void)WildcardMatch(pattern, name, true);

    const std::string utf8 = platform::cp437ToUtf8(in);
    if (!platform::isValidUtf8(utf8) || platform::utf8ToCp437(utf8) != in) std::abort();
    const std::string decoded = platform::decodeArchiveName(in);
    if (!platform::isValidUtf8(decoded)) std::abort();
    (void)platform::encodeArchiveName(decoded, false);
    return 0;
}
