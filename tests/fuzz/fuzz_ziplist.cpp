// The zip front-end's directory reader and comment reader on arbitrary bytes.
#include "platform/fileio.h"
#include "zipdll/ZipFront.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = platform::systemTempDir() + "fuzz_ziplist_" + std::to_string(getpid()) + ".zip";
    if (!platform::writeWholeFile(path, data, size)) return 0;
    TZipFront z;
    z.Unattended = true;
    z.UseDirOnlyEntries = (size & 1) != 0;
    z.SetZipFileName(path);
    size_t names = 0;
    for (auto& e : z.ZipContents) names += e->FileName.size() + e->FileComment.size();
    (void)z.Comment();
    platform::removeFile(path);
    return names > size * 4 ? 1 : 0; // names come from the input; never more than it holds
}
