// Shared by the lister tests: runs TArcLister over a file and collects what it reports.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/aeArcLister.h"

namespace listertest {

struct Listed {
    std::string name;
    int64_t size = 0, packed = 0;
    uint32_t crc = 0;
    int method = 0;
    std::string methodName;
    TDateTime date = 0;
    bool encrypted = false;
    std::string comment;
    int64_t offset = 0;
    int filenum = 0;
};

struct Listing {
    bool ok = false;
    std::vector<Listed> entries;
    TArcType type = atNA;
    int totalsFired = -1; // NumFiles of OnTotals, -1 when it did not fire
    int64_t totalSize = 0, totalPacked = 0;
    std::vector<int> errors; // ECodes reported through OnError
    std::string archiveComment;
};

// Lists `path` (FileSpec "*.*" unless given); next volumes are answered with the standard name when
// that file exists.
inline Listing listArchive(const std::string& path, bool showBlankDirs = false,
                           const std::vector<std::string>& spec = {"*.*"}) {
    TArcLister l;
    Listing out;
    l.SetFileSpec(spec);
    l.ShowBlankDirs = showBlankDirs;
    l.OnRead = [&](TZipCommon& s, int64_t offset, int filenum) {
        out.entries.push_back({s.FileName, s.UnpackedSize, s.PackedSize, s.FileCRC, s.MethodCode,
                               s.MethodName, s.FileDate, s.Encrypted, s.FileComment, offset, filenum});
    };
    l.OnTotals = [&](TZipCommon&, int n) { out.totalsFired = n; };
    l.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
        out.errors.push_back(code);
    };
    l.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool exists, bool& cancel) {
        cancel = !exists;
    };
    l.SetArchiveFile(path);
    out.type = l.ArcType();
    out.ok = l.Activate();
    out.totalSize = l.TotalUnpackedSize;
    out.totalPacked = l.TotalPackedSize;
    out.archiveComment = l.ArchiveComment;
    return out;
}

struct Civil {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
};
inline Civil civil(TDateTime t) {
    Civil c;
    DecodeDateTime(t, c.y, c.mo, c.d, c.h, c.mi, c.s);
    return c;
}

} // namespace listertest
