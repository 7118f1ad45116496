// UU/XX decoder: any text is tested (nothing is written) without a crash or a hang; a
// request for a continuation volume is declined.
#include "archive/format/aeUUDecode.h"

#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TestArchiveInput<TUUDecode>("uudecode", ".uue", data, size, ChooseAllOneVolume);
    return 0;
}
