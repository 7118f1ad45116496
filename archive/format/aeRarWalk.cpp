#include "archive/format/aeRarWalk.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeRarHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TRarWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    int64_t FPackedSum = 0;     // the packed sizes of a split entry's parts so far
    bool FNewNumbering = false; // the set's volumes are named x.part1.rar, x.part2.rar, ...
};

} // namespace

int64_t TRarWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(start), 8 + aehdr::kRarMainHeaderSize);
    if (b.size() >= sizeof aehdr::kRar5Marker &&
        std::memcmp(b.data(), aehdr::kRar5Marker, sizeof aehdr::kRar5Marker) == 0)
        L.RaiseError(L.ArchiveFile(), kRar5NotSupported, "0", kMsgBadArcType);
    if (b.size() < 7) L.Corrupt(kMsgReadError);
    if (std::memcmp(b.data(), aehdr::kRarMarker, 7) != 0) L.Corrupt(kMsgBadFileHeader);
    auto main = aehdr::parseRarBlock(b.subspan(7));
    if (!main || main->type != aehdr::kRarTypeMain)
        L.Corrupt(b.size() < 7 + aehdr::kRarMainHeaderSize ? kMsgReadError : kMsgBadFileHeader);
    FNewNumbering = (main->flags & aehdr::kRarMainFlagNewNumbering) != 0;
    return start + 7 + main->headerSize;
}

int64_t TRarWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), 11);
    if (b.empty()) return -1;
    auto blk = aehdr::parseRarBlock(b);
    if (!blk) L.Corrupt(b.size() < 7 ? kMsgReadError : kMsgBadFileHeader);
    if (blk->type == aehdr::kRarTypeEnd) return -1;
    const int64_t next = offset + static_cast<int64_t>(blk->totalLength());
    if (blk->type != aehdr::kRarTypeFile) {
        if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
        return next;
    }
    auto h = aehdr::parseRarFileHeader(L.In().Fetch(static_cast<uint64_t>(offset), blk->headerSize));
    if (!h) L.Corrupt(kMsgBadFileHeader);
    if (h->flags & aehdr::kRarFlagSplitBefore)
        FPackedSum += static_cast<int64_t>(h->packedSize);
    else
        FPackedSum = static_cast<int64_t>(h->packedSize);
    if (h->flags & aehdr::kRarFlagSplitAfter) {
        // Reported from the volume that holds its end, with the packed sizes summed.
        if (!(FNewNumbering ? L.NextVolume(RarNextVolumeName(L.VolumeName(), true)) : L.NextVolume()))
            return -1;
        return Prepare(L, 0);
    }
    TArcLister::Entry e;
    e.Name = h->utf8Name ? L.DecodeName(*h->utf8Name, true) : L.DecodeName(h->name);
    e.Packed = FPackedSum;
    e.Unpacked = static_cast<int64_t>(h->size);
    e.Crc = h->crc32;
    e.Method = h->method;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.VerMade = h->version;
    e.Encrypted = (h->flags & aehdr::kRarFlagPassword) != 0;
    e.Offset = offset;
    if (!(h->flags & aehdr::kRarFlagSkip)) L.Report(e, TArcLister::Filter::SpecOrBlankDir, h->isDirectory());
    if (next > L.ArchiveSize) L.Corrupt(kMsgReadError);
    return next;
}

std::unique_ptr<TFormatWalk> NewRarWalk(TArcType) {
    return std::make_unique<TRarWalk>();
}

std::string RarMethods(const TZipCommon& C, int Code, uint32_t) {
    static const char* const names[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
    if (Code >= '0' && Code <= '5') return names[Code - '0'];
    return (C.FileAttr & 0x10) ? "Dir" : kUnsupportedMethod;
}

int64_t RarScanProbe(TArcDetector&, const uint8_t* At, int64_t Have, int64_t Pos) {
    return Have >= 4 && std::memcmp(At, "Rar!", 4) == 0 ? Pos + 1 : 0;
}

TRarMarker FindRarMarker(const aehdr::Fetch& In, int64_t Size) {
    constexpr int64_t kWindow = 65536, kReach = int64_t{8} << 20;
    for (int64_t pos = 0; pos < Size && pos < kReach; pos += kWindow - 7) {
        const Bytes b = In(static_cast<uint64_t>(pos), kWindow);
        for (size_t i = 0; i + 7 <= b.size(); ++i) {
            if (std::memcmp(b.data() + i, aehdr::kRarMarker, 6) != 0) continue;
            if (b[i + 6] == 0) return {pos + static_cast<int64_t>(i), false};
            if (i + 8 <= b.size() && std::memcmp(b.data() + i, aehdr::kRar5Marker, 8) == 0)
                return {pos + static_cast<int64_t>(i), true};
        }
        if (b.size() < static_cast<size_t>(kWindow)) break;
    }
    return {};
}

bool RarMainHeaderCrcHolds(Bytes Header, uint16_t Crc) {
    auto crcOver = [&](size_t n) {
        return static_cast<uint16_t>(Crc32Of(Header.data() + 2, n - 2) & 0xFFFF);
    };
    if (Header.size() < aehdr::kRarMainHeaderSize) return false;
    if (crcOver(Header.size()) == Crc) return true;
    const uint16_t flags = le16(Header.data() + 3);
    if (!(flags & aehdr::kRarMainFlagComment)) return false;
    const size_t fixed = aehdr::kRarMainHeaderSize + ((flags & aehdr::kRarMainFlagEncryptVer) ? 1 : 0);
    return Header.size() >= fixed && crcOver(fixed) == Crc;
}

bool RarFileHeaderCrcHolds(Bytes Header, uint16_t Crc) {
    constexpr uint16_t kOldComment = 0x0008;
    constexpr size_t kFixed = 32, kLargeSizes = 8;
    auto crcOver = [&](size_t n) {
        return static_cast<uint16_t>(Crc32Of(Header.data() + 2, n - 2) & 0xFFFF);
    };
    if (Header.size() < kFixed) return false;
    if (crcOver(Header.size()) == Crc) return true;
    const uint16_t flags = le16(Header.data() + 3);
    if (!(flags & kOldComment)) return false;
    const size_t named =
        kFixed + ((flags & aehdr::kRarFlagLarge) ? kLargeSizes : 0) + le16(Header.data() + 26);
    return Header.size() >= named && crcOver(named) == Crc;
}

std::string RarNextVolumeName(const std::string& Path, bool NewNumbering) {
    const size_t slash = Path.rfind('/');
    const size_t dot = Path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Path + ".r00";
    if (NewNumbering) {
        size_t start = dot;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(Path[start - 1]))) --start;
        if (start < dot) {
            std::string digits = Path.substr(start, dot - start);
            for (size_t i = digits.size(); i-- > 0;) {
                if (digits[i] != '9') {
                    ++digits[i];
                    break;
                }
                digits[i] = '0';
                if (i == 0) digits.insert(digits.begin(), '1');
            }
            return Path.substr(0, start) + digits + Path.substr(dot);
        }
    }
    const std::string ext = Path.substr(dot + 1);
    const std::string stem = Path.substr(0, dot + 1);
    if (ext.size() == 3 && std::isalpha(static_cast<unsigned char>(ext[0])) &&
        std::isdigit(static_cast<unsigned char>(ext[1])) &&
        std::isdigit(static_cast<unsigned char>(ext[2]))) {
        int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
        char letter = ext[0];
        if (n == 100) {
            n = 0;
            ++letter;
        }
        const char next[4] = {letter, static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), 0};
        return stem + next;
    }
    const bool upper = !ext.empty() && std::isupper(static_cast<unsigned char>(ext[0]));
    return stem + (upper ? "R00" : "r00");
}
