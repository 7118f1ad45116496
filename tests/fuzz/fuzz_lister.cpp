// Fuzz target for the archive lister: the input is written to a file, detected and listed
// (every format goes through its header parser and entry loop), and the shared header
// parsers are also run on the bytes directly. Any crash, hang, sanitizer report or
// unbounded allocation is a finding; errors reported through OnError are fine.
#include <cstdint>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/format/aeAceHeaders.h"
#include "archive/format/aeArjHeaders.h"
#include "archive/format/aeCabHeaders.h"
#include "archive/format/aeGzipHeaders.h"
#include "archive/format/aeHaHeaders.h"
#include "archive/format/aeLhaHeaders.h"
#include "archive/format/aeRarHeaders.h"
#include "archive/format/aeTarHeaders.h"
#include "archive/format/aeZooHeaders.h"
#include "fuzz_input_file.h"

namespace {

void parseDirect(aehdr::Bytes data) {
    aehdr::Fetch fetch = [data](uint64_t off, size_t n) -> aehdr::Bytes {
        if (off >= data.size()) return {};
        return data.subspan(static_cast<size_t>(off),
                            std::min<size_t>(n, data.size() - static_cast<size_t>(off)));
    };
    (void)aehdr::readLhaHeader(fetch, 0);
    aehdr::TarEntry t;
    (void)aehdr::readTarEntry(fetch, 0, data.size(), t);
    (void)aehdr::parseZipCentral(data);
    (void)aehdr::parseCabHeader(data);
    (void)aehdr::parseArjHeader(data);
    (void)aehdr::parseRarFileHeader(data);
    (void)aehdr::parseAceFile(data);
    (void)aehdr::parseZooEntry(data);
    (void)aehdr::parseHaHeader(data);
    (void)aehdr::parseGzipHeader(data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parseDirect(aehdr::Bytes(data, size));
    const FuzzInputFile file("lister", ".bin", data, size);
    if (!file.ok()) return 0;
    TArcLister lister;
    lister.SetFileSpec({"*.*"});
    lister.ShowBlankDirs = (size & 1) != 0;
    int64_t listed = 0;
    lister.OnRead = [&](TZipCommon& s, int64_t, int) { listed += s.UnpackedSize & 1; };
    lister.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& cancel) {
        cancel = true;
    };
    lister.SetArchiveFile(file.path());
    (void)lister.Activate();
    return 0;
}
