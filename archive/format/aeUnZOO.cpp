#include "archive/format/aeUnZOO.h"
#include "archive/aeMsgs.h"

#include <algorithm>

#include "archive/aeEntryIo.h"
#include "archive/codec/aeLimitSink.h"
#include "archive/aeLzhEntry.h"
#include "archive/codec/aeLzhDecode.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/aeUnHelpers.h"
#include "platform/fileio.h"

namespace {

// The fixed entry and the most its long name and folder can add.
constexpr std::size_t kEntryFetch = aehdr::ZooEntry::kFixedSize + 2 * 255;

} // namespace

std::string ZooEntryName(const aehdr::ZooEntry& E) {
    std::string folder = E.folder;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return OemToAnsiName(folder + (E.longName.empty() ? E.shortName : E.longName));
}

void TUnZOO::ExtractArchive(int& ArchiveHandle, TStream*) {
    ScanThenExtract<TZooChosen>([&] { Scan(ArchiveHandle); },
                                [&](const TZooChosen& E) { ExtractEntry(ArchiveHandle, E); });
}

// Reads the archive header and walks the chain of directory entries. Every entry must lie
// after the one before it, so a damaged chain can neither loop nor run backwards.
void TUnZOO::Scan(int Handle) {
    THeaderReader rd(Handle);
    const int64_t start = ArcStart - 1;
    aehdr::Bytes hb = rd.Fetch(static_cast<uint64_t>(start), aehdr::ZooArchiveHeader::kSize);
    if (hb.size() < aehdr::ZooArchiveHeader::kSize) RaiseError(FArchiveFile, "", "0", kMsgReadError);
    auto ah = aehdr::parseZooArchive(hb);
    if (!ah || !ah->consistent()) RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);

    int64_t offset = start + ah->firstEntry;
    while (!Cancel()) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(offset), kEntryFetch);
        if (b.size() < aehdr::ZooEntry::kFixedSize) {
            ReportError(FArchiveFile, "", "0", kMsgReadError);
            break;
        }
        auto e = aehdr::parseZooEntry(b);
        if (!e) {
            ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            break;
        }
        if (e->next == 0) break; // the entry that closes the chain
        if (!e->deleted && MatchesFileSpec(ZooEntryName(*e), true)) {
            FileList->AddRecord(TZooChosen{offset});
            TotalPackedSize += e->packedSize;
            TotalUnpackedSize += e->size;
            MaxFileDosDate = std::max(MaxFileDosDate, e->dosDateTime);
            if (!IsWildList(FFileSpec)) break;
        }
        const int64_t next = start + static_cast<int64_t>(e->next);
        if (next <= offset || next >= ArchiveSize) {
            ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            break;
        }
        offset = next;
    }
}

void TUnZOO::ExtractEntry(int Handle, const TZooChosen& Entry) {
    THeaderReader rd(Handle);
    auto e = aehdr::parseZooEntry(rd.Fetch(static_cast<uint64_t>(Entry.Offset), kEntryFetch));
    if (!e) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return;
    }
    const std::string name = ZooEntryName(*e);
    TEntryJob job;
    job.Name = name;
    job.Date = DosDateToDateTimeSafe(e->dosDateTime);
    job.PackedSize = e->packedSize;
    job.DosDate = e->dosDateTime;
    job.Decode = [&](int out, TStream* outStream) {
        SeekData(Handle, ArcStart - 1 + static_cast<int64_t>(e->dataOffset), e->packedSize);
        return DecodeChecked(16, e->crc16, [&] { return DecodeData(Handle, out, outStream, *e); });
    };
    ExtractOne(job);
}

bool TUnZOO::DecodeData(int& Handle, int Out, TStream* OutStream, const aehdr::ZooEntry& E) {
    const auto packed = static_cast<int64_t>(E.packedSize);
    const auto size = static_cast<int64_t>(E.size);
    switch (E.method) {
    case 0:
        if (E.size != E.packedSize) {
            ReportError(FileName, "", "0", kMsgBadFileHeader);
            return false;
        }
        return CopyStored(Handle, nullptr, Out, OutStream, packed, FileName, false, 16);
    case 1:
        return DecodeOwnEntry(
            *this, Handle, Out, OutStream, false, 16, packed, size, FileName,
            [](ae::InputBuffer& in, ae::DecodeSink& sink, uint64_t limit) {
                ae::LimitSink capped{sink, limit};
                try {
                    return ae::DecodeZooLzw(in, capped);
                } catch (const ae::OutputTooLong&) {
                    return ae::DecodeResult{ae::DecodeStatus::Corrupt, ae::kMsgCorruptInput};
                }
            });
    case 2:
        return DecodeLzhEntry(*this, Handle, nullptr, Out, OutStream, ae::LzhParams::Zoo(), packed, size,
                              E.crc16, FileName);
    default:
        break;
    }
    RaiseError(FileName, "", "0", kMsgUnsupportedMethod);
    return false;
}
