#include "archive/format/aeCabWalk.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeCabHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class TCabWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    bool OpenCabinet(TArcLister& L, const std::string& path);

    std::vector<uint16_t> FFolderMethods;
    int FFilesLeft = 0;
    aehdr::CabHeader FCab;
    std::vector<std::string> FVisited; // the cabinets of the set read so far
};

} // namespace

int64_t TCabWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), TArcLister::kMaxVarHeader + 1024);
    auto h = aehdr::parseCabHeader(b);
    if (!h) L.Corrupt(b.size() < aehdr::CabHeader::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    FCab = *h;
    std::error_code ec;
    FVisited.push_back(std::filesystem::weakly_canonical(L.VolumeName(), ec).string());
    FFolderMethods.clear();
    const size_t folderStride = aehdr::CabFolder::kSize + h->folderReserve;
    for (uint16_t i = 0; i < h->folderCount; ++i) {
        auto f = aehdr::parseCabFolder(L.In().Fetch(
            static_cast<uint64_t>(start) + h->folderTableOffset + i * folderStride, aehdr::CabFolder::kSize));
        if (!f) L.Corrupt(kMsgReadError);
        FFolderMethods.push_back(f->compression);
    }
    FFilesLeft = h->fileCount;
    return start + h->firstFileOffset;
}

bool TCabWalk::OpenCabinet(TArcLister& L, const std::string& path) {
    std::error_code ec;
    const std::string key = std::filesystem::weakly_canonical(path, ec).string();
    for (const auto& seen : FVisited)
        if (seen == key) return false; // a set whose next-cabinet names run in a circle
    std::string name = path;
    // The request names the next cabinet's disk as the cabinet itself stores it.
    if (!L.AskNextVolume(name, L.VolumeNumber + 1, L.DecodeName(FCab.nextDisk))) {
        L.SetCancel(true);
        return false;
    }
    L.OpenVolume(name);
    return true;
}

int64_t TCabWalk::Step(TArcLister& L, int64_t offset) {
    if (FFilesLeft <= 0) {
        if (!(FCab.flags & aehdr::kCabFlagNext) || FCab.nextCabinet.empty()) return -1;
        const std::string path = FolderOf(L.VolumeName()) + L.DecodeName(FCab.nextCabinet);
        if (!OpenCabinet(L, path)) return -1;
        return Prepare(L, 0);
    }
    --FFilesLeft;
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::CabFile::kFixedSize + 1024);
    auto f = aehdr::parseCabFile(b);
    if (!f) L.Corrupt(b.size() < aehdr::CabFile::kFixedSize ? kMsgReadError : kMsgBadFileHeader);
    const int64_t next = offset + static_cast<int64_t>(f->recordLength);
    // A file that began in an earlier cabinet was listed there.
    if (f->folderIndex == aehdr::kCabContinuedFromPrev || f->folderIndex == aehdr::kCabContinuedPrevAndNext)
        return next;
    TArcLister::Entry e;
    e.Name = L.DecodeName(f->name, (f->attributes & aehdr::kCabAttrUtf8Name) != 0);
    e.Packed = e.Unpacked = f->size;
    size_t folder = f->folderIndex;
    if (f->folderIndex == aehdr::kCabContinuedToNext)
        folder = FFolderMethods.empty() ? 0 : FFolderMethods.size() - 1;
    e.Method = folder < FFolderMethods.size() ? FFolderMethods[folder] : 0;
    e.Date = L.DosDateToDateTime(f->dosDateTime);
    e.Attr = e.ExtAttr = f->attributes;
    e.VerMade = FCab.versionMinor;
    e.VerNeeded = FCab.versionMajor;
    e.Offset = offset;
    L.Report(e, TArcLister::Filter::Spec, false);
    return next;
}

std::unique_ptr<TFormatWalk> NewCabWalk(TArcType) {
    return std::make_unique<TCabWalk>();
}

std::string CabMethods(const TZipCommon&, int Code, uint32_t) {
    static const char* const names[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
    return (Code & 0xF) <= 3 ? names[Code & 0xF] : kUnsupportedMethod;
}
