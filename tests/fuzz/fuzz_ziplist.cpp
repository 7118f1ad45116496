// The zip front-end's directory reader and comment reader on arbitrary bytes.
#include "fuzz_input_file.h"
#include "zipdll/ZipFront.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInputFile file("ziplist", ".zip", data, size);
    if (!file.ok()) return 0;
    TZipFront z;
    z.Unattended = true;
    z.UseDirOnlyEntries = (size & 1) != 0;
    z.SetZipFileName(file.path());
    size_t names = 0;
    for (auto& e : z.ZipContents) names += e->FileName.size() + e->FileComment.size();
    (void)z.Comment();
    return names > size * 4 ? 1 : 0; // names come from the input; never more than it holds
}
