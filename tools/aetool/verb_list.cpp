// aetool list ARCHIVE: the directory of an archive of any supported type, as the lister
// reports it.
//   type\t<TArcType>
//   <name>\t<size>\t<packed>\t<method>\t<crc hex>\t<YYYY-MM-DD hh:mm:ss>   (one per entry)
//   total\t<count>\t<size>\t<packed>
// Next-volume requests are answered with the standard volume name; a missing volume fails.
#include <cstdio>
#include <string>

#include "archive/aeArcLister.h"
#include "tools/aetool/aetool.h"

namespace {

std::string Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

std::string FormatDate(TDateTime d) {
    int y = 0, mo = 0, da = 0, h = 0, mi = 0, s = 0;
    DecodeDateTime(d, y, mo, da, h, mi, s);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, da, h, mi, s);
    return buf;
}

int RunList(const aetool::Args& a) {
    if (a.positional.size() != 1) return aetool::usageError("usage: aetool list ARCHIVE");
    TArcLister lister;
    lister.SetFileSpec({"*.*"});
    std::string out;
    std::string missingVolume;
    lister.OnNextVolume = [&](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
        cancel = !exists;
        if (!exists) missingVolume = name;
    };
    lister.OnRead = [&](TZipCommon& s, int64_t, int) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", s.FileCRC);
        out += aetool::Escape(s.FileName);
        out += '\t';
        out += std::to_string(s.UnpackedSize);
        out += '\t';
        out += std::to_string(s.PackedSize);
        out += '\t';
        out += Trim(s.MethodName);
        out += '\t';
        out += crc;
        out += '\t';
        out += FormatDate(s.FileDate);
        out += '\n';
    };
    lister.SetArchiveFile(a.positional[0]);
    const bool ok = lister.Activate();
    if (TZipCommon::IsArcTypeKnown(lister.ArcType()))
        std::printf("type\t%s\n", std::string(ArcTypeIdent(lister.ArcType())).c_str());
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!ok) {
        std::fflush(stdout);
        return aetool::failure(lister.LastError().empty() ? "listing failed" : lister.LastError());
    }
    if (!missingVolume.empty()) {
        std::fflush(stdout);
        return aetool::failure("next volume not found: " + missingVolume);
    }
    std::printf("total\t%d\t%lld\t%lld\n", lister.FileCount, static_cast<long long>(lister.TotalUnpackedSize),
                static_cast<long long>(lister.TotalPackedSize));
    return aetool::kOk;
}

} // namespace

AETOOL_VERB("list", "ARCHIVE", {}, RunList);
