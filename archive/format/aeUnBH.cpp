#include "archive/format/aeUnBH.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <array>

#include "archive/aeLzhEntry.h"
#include "archive/codec/aeLzhDecode.h"
#include "archive/aeUnHelpers.h"
#include "archive/format/aeUnZIP.h"
#include "archive/format/aeZipDecode.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

constexpr uint32_t kEncrypted = 1;

std::string BhName(aehdr::Bytes raw) {
    std::string name = platform::decodeArchiveName(aehdr::toString(raw));
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

} // namespace

void TUnBH::ExtractArchive(int& ArchiveHandle, TStream*) {
    ScanThenExtract<TBhChosen>([&] { Scan(ArchiveHandle); },
                               [&](const TBhChosen& E) { return ExtractEntry(ArchiveHandle, E); });
}

void TUnBH::Scan(int Handle) {
    THeaderReader rd(Handle);
    int64_t offset = ArcStart - 1;
    while (!Cancel() && offset < ArchiveSize) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(offset), aehdr::BhHeader::kSize);
        if (b.size() < 4 || aehdr::le32(b.data()) != aehdr::kBhSig) break;
        if (b.size() < aehdr::BhHeader::kSize) {
            ReportError(FArchiveFile, "", "0", kMsgReadError);
            break;
        }
        auto h = aehdr::parseBhHeader(b);
        if (!h) {
            // A header whose marker is 0 is no file entry: passed over.
            offset += static_cast<int64_t>(aehdr::BhHeader::kSize + aehdr::le16(b.data() + 33)) +
                      aehdr::le32(b.data() + 15);
            continue;
        }
        aehdr::Bytes nb = rd.Fetch(static_cast<uint64_t>(offset) + aehdr::BhHeader::kSize, h->nameLength);
        if (nb.size() < h->nameLength) {
            ReportError(FArchiveFile, "", "0", kMsgReadError);
            break;
        }
        const std::string name = BhName(nb);
        const int64_t next =
            offset + static_cast<int64_t>(aehdr::BhHeader::kSize + h->nameLength) + h->packedSize;
        const bool folder = name.empty() || name.back() == '/';
        if (!folder && MatchesFileSpec(name, true)) {
            FileList->AddRecord(TBhChosen{offset, h->packedSize});
            TotalPackedSize +=
                std::max<int64_t>(0, int64_t{h->packedSize} - ((h->flags & kEncrypted) ? 12 : 0));
            TotalUnpackedSize += h->size;
            MaxFileDosDate = std::max(MaxFileDosDate, h->dosDateTime);
            if (!IsWildList(FFileSpec)) break;
        }
        offset = next;
    }
}

bool TUnBH::ExtractEntry(int Handle, const TBhChosen& Entry) {
    THeaderReader rd(Handle);
    aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(Entry.Offset), aehdr::BhHeader::kSize);
    auto h = aehdr::parseBhHeader(b);
    if (!h) {
        ReportError(FArchiveFile, "", "0", kMsgReadError);
        return true;
    }
    aehdr::Bytes nb = rd.Fetch(static_cast<uint64_t>(Entry.Offset) + aehdr::BhHeader::kSize, h->nameLength);
    if (nb.size() < h->nameLength) {
        ReportError(FArchiveFile, "", "0", kMsgReadError);
        return true;
    }
    const std::string name = BhName(nb);
    const int64_t data = Entry.Offset + static_cast<int64_t>(aehdr::BhHeader::kSize + h->nameLength);
    const bool encrypted = (h->flags & kEncrypted) != 0;
    TEntryJob job;
    job.Name = name;
    job.Date = DosDateToDateTimeSafe(h->dosDateTime);
    job.PackedSize = Entry.PackedSize;
    job.Attr = h->attributes ? h->attributes : 32;
    job.DosDate = h->dosDateTime;
    job.Prepare = [&] {
        if (data + h->packedSize > ArchiveSize) {
            ReportError(name, "", "0", kMsgReadError);
            return TEntryStep::esFailed;
        }
        SeekData(Handle, data);
        if (!encrypted) return TEntryStep::esGo;
        std::array<uint8_t, 12> header{};
        if (h->packedSize < 12 || platform::readFile(Handle, header.data(), 12) != 12) {
            ReportError(name, "", "0", kMsgReadError);
            return TEntryStep::esFailed;
        }
        const TEntryStep step = ZipPasswordStep(*this, name, header, 0, 0, h->crc32);
        // Archives before version 3 encrypted the data with keys started afresh.
        if (step == TEntryStep::esGo && h->versionMadeBy < 3) Ctx().Keys.Init(Password);
        return step;
    };
    job.Decode = [&](int out, TStream* outStream) {
        Ctx().Crc32Value = 0xFFFFFFFF;
        const bool ok = DecodeData(Handle, out, outStream, *h, FileName);
        const uint32_t reg = Ctx().Crc32Value;
        return ok && (h->crc32 == reg || h->crc32 == (reg ^ 0xFFFFFFFF));
    };
    const TEntryResult r = ExtractOne(job);
    return r != TEntryResult::erCancelled && r != TEntryResult::erStopped;
}

// The packed size counts the 12-byte encryption header; it has been read, so the data
// are 12 bytes fewer. That is taken off once -- DecodeZipEntry does it for the deflated
// entries it is handed with the encryption flag, the other methods here.
bool TUnBH::DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::BhHeader& H,
                       const std::string& Name) {
    const bool encrypted = (H.flags & kEncrypted) != 0;
    const int64_t packed = std::max<int64_t>(0, int64_t{H.packedSize} - (encrypted ? 12 : 0));
    int h = Handle;
    switch (H.method) {
    case 0: {
        if (packed != H.size) {
            ReportError(Name, "", "0", kMsgReadError);
            return false;
        }
        const bool decrypt = encrypted && H.versionMadeBy >= 3;
        return CopyStored(Handle, nullptr, Out, OutStream, packed, Name, decrypt, 32);
    }
    case 1:
        return DecodeLzhEntry(*this, h, nullptr, Out, OutStream, ae::LzhParams::Bh(encrypted), packed, H.size,
                              H.crc32, Name);
    case 2:
    case 8: {
        TZipDecodeEntry d;
        d.Flags = static_cast<uint16_t>(encrypted ? 1 : 0);
        d.Method = 8;
        d.PackedSize = H.packedSize; // with the encryption header: DecodeZipEntry takes it off
        d.UnpackedSize = H.size;
        d.Crc32 = H.crc32;
        d.Attr = H.attributes;
        return DecodeZipEntry(*this, h, nullptr, Out, OutStream, d, Name);
    }
    default:
        ReportError(Name, "method " + std::to_string(H.method), "0", kMsgUnsupportedMethod);
        return false;
    }
}
