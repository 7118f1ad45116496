#include "archive/format/aeZipWalk.h"

#include <algorithm>

#include "archive/aeCommon.h"
#include "platform/codepage.h"

std::string ZipStoredName(const std::string& Raw, bool Utf8) {
    std::string name = platform::decodeArchiveName(Raw, Utf8);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string ZipCentralName(const pvcommon::zip::ZipCentralRecord& R, bool& Utf8) {
    Utf8 = (R.header.flags & pvcommon::zip::kFlagUtf8) != 0;
    if (R.header.extraLength != 0) {
        if (auto u =
                pvcommon::zip::zipUnicodePath(R.extraBytes(), Crc32Of(R.rawName.data(), R.rawName.size()))) {
            Utf8 = true;
            return ZipStoredName(*u, true);
        }
    }
    return ZipStoredName(R.rawName, Utf8);
}
