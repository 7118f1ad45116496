// UU/XX decoder: any text is tested (nothing is written) without a crash or a hang; a
// request for a continuation volume is declined.
#include "archive/format/aeUUDecode.h"

#include "fuzz_input_file.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInputFile file("uudecode", ".uue", data, size);
    if (!file.ok()) return 0;
    TUUDecode u;
    u.SetFileSpec({"*.*"});
    u.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) { cancel = true; };
    u.SetArchiveFile(file.path());
    try {
        u.Test();
    } catch (const std::exception&) {
    }
    return 0;
}
