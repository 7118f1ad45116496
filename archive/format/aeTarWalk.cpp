#include "archive/format/aeTarWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeTarHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TTarWalk final : public TFormatWalk {
public:
    int64_t Step(TArcLister& L, int64_t Offset) override;
};

} // namespace

int64_t TTarWalk::Step(TArcLister& L, int64_t offset) {
    aehdr::TarEntry t;
    switch (aehdr::readTarEntry(L.In().Fetcher(), static_cast<uint64_t>(offset),
                                static_cast<uint64_t>(L.ArchiveSize), t)) {
    case aehdr::TarRead::End:
        return -1;
    case aehdr::TarRead::Corrupt:
        L.Corrupt(L.FileCount == 0 ? kMsgBadFileHeader : kMsgReadError);
    case aehdr::TarRead::Entry:
        break;
    }
    TArcLister::Entry e;
    e.Name = L.DecodeName(t.name);
    while (!e.Name.empty() && e.Name.front() == ' ') e.Name.erase(e.Name.begin());
    while (!e.Name.empty() && e.Name.back() == ' ') e.Name.pop_back();
    if (e.Name.empty()) return -1;
    e.Packed = e.Unpacked = static_cast<int64_t>(t.header.size);
    const int64_t mtime = t.paxMtime ? *t.paxMtime : t.header.mtime;
    e.Date = mtime > 0 ? UnixToDateTime(mtime) : kDosEpochDateTime;
    e.Crc = t.header.checksum;
    e.Method = 0;
    e.Attr = 0;
    e.ExtAttr = t.header.mode;
    e.Offset = static_cast<int64_t>(t.headerOffset);
    const char tf = t.header.typeflag;
    const bool isFile = tf == 0 || tf == '0' || tf == '1' || tf == '7';
    L.Report(e, TArcLister::Filter::SpecFilesOnly, !isFile, !L.ShowBlankDirs);
    if (t.next > static_cast<uint64_t>(L.ArchiveSize)) L.Corrupt(kMsgReadError);
    return static_cast<int64_t>(t.next);
}

std::unique_ptr<TFormatWalk> NewTarWalk(TArcType) {
    return std::make_unique<TTarWalk>();
}

// Header (512 bytes): name@0, ..., checksum@148 (8 octal characters), type flag@156.
bool IsTarHeader(TArcDetector& D) {
    constexpr int64_t kBlock = int64_t(aehdr::kTarBlock);
    if (D.ArchiveSize <= kBlock) return false;
    uint8_t h[kBlock];
    if (!D.ReadAt(0, h, kBlock)) return false;
    if (h[156] == 'V') { // a volume header: the first member follows it
        D.ArcStart = kBlock + 1;
        if (2 * kBlock + 1 >= D.ArchiveSize || !D.ReadAt(kBlock, h, kBlock)) {
            D.ArcStart = 1;
            return false;
        }
    }
    const uint64_t stored = ParseOctal(std::string_view(reinterpret_cast<const char*>(h + 148), 8));
    uint64_t sum = 0;
    for (int i = 0; i < kBlock; ++i) sum += (i >= 148 && i < 156) ? 32u : h[i];
    if (sum == stored) return true;
    D.ArcStart = 1;
    return false;
}

bool TarHeaderStep(TArcDetector& D) {
    if (!IsTarHeader(D)) return false;
    D.ArcType = atTar;
    return true;
}

std::string TarMethods(const TZipCommon& C, int Code, uint32_t) {
    if (Code == 0) return "Tarred";
    return (!C.FileName.empty() && (C.FileName.back() == '/' || C.FileName.back() == '\\'))
               ? "Dir"
               : kUnsupportedMethod;
}
