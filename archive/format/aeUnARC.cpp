#include "archive/format/aeUnARC.h"
#include "archive/aeMsgs.h"

#include "archive/aeEntryIo.h"
#include "archive/codec/aeLimitSink.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/format/aeRle90.h"
#include "archive/format/aeSqueeze.h"
#include "archive/aeUnHelpers.h"
#include "platform/fileio.h"

namespace {

constexpr std::size_t kMaxFolderDepth = 256;

} // namespace

void TUnARC::ExtractArchive(int& ArchiveHandle, TStream*) {
    FNames.clear();
    ScanThenExtract<TArcChosen>([&] { Scan(ArchiveHandle); },
                                [&](const TArcChosen& E) { ExtractEntry(ArchiveHandle, E); });
    FNames.clear();
}

// Walks the headers from the archive's start to the end record (or the end of the file),
// following the folder records, and records the entries FileSpec chooses.
void TUnARC::Scan(int Handle) {
    THeaderReader rd(Handle);
    int64_t offset = ArcStart - 1;
    std::vector<std::string> folders;
    while (!Cancel()) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(offset), aehdr::ArcHeader::kSize);
        if (b.size() < 2 || b[0] != aehdr::kArcMark) break; // no further header
        auto h = aehdr::parseArcHeader(b);
        if (!h) {
            ReportError(FArchiveFile, "", "0", kMsgReadError); // a header cut short
            break;
        }
        if (h->type == aehdr::kArcEnd) break;
        if (h->type == aehdr::kArcFolderEnd) {
            if (folders.empty()) { // closes a folder that was never opened
                ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
                break;
            }
            folders.pop_back();
            offset += static_cast<int64_t>(h->headerLength);
            continue;
        }
        if (h->type == aehdr::kArcFolder) {
            if (folders.size() >= kMaxFolderDepth) {
                ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
                break;
            }
            folders.push_back(OemToAnsiName(h->name));
            offset += static_cast<int64_t>(h->headerLength); // its entries follow at once
            continue;
        }
        std::string name;
        for (const std::string& f : folders) name += f + "/";
        name += OemToAnsiName(h->name);
        const int64_t next = offset + static_cast<int64_t>(h->headerLength) + h->packedSize;
        if (MatchesFileSpec(name, true)) {
            FileList->AddRecord(TArcChosen{offset, FNames.size()});
            FNames.push_back(name);
            TotalPackedSize += h->packedSize;
            TotalUnpackedSize += h->size;
            MaxFileDosDate = std::max(MaxFileDosDate, h->dosDateTime);
            if (!IsWildList(FFileSpec)) break;
        }
        if (next > ArchiveSize) break; // its data runs past the end: nothing can follow
        offset = next;
    }
}

void TUnARC::ExtractEntry(int Handle, const TArcChosen& Entry) {
    THeaderReader rd(Handle);
    auto h = aehdr::parseArcHeader(rd.Fetch(static_cast<uint64_t>(Entry.Offset), aehdr::ArcHeader::kSize));
    if (!h) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return;
    }
    TEntryJob job;
    job.Name = FNames[Entry.Name];
    job.Date = DosDateToDateTimeSafe(h->dosDateTime);
    job.PackedSize = h->packedSize;
    job.DosDate = h->dosDateTime;
    job.Decode = [&](int out, TStream* outStream) {
        SeekData(Handle, Entry.Offset + static_cast<int64_t>(h->headerLength), h->packedSize);
        return DecodeChecked(16, h->crc16, [&] { return DecodeData(Handle, out, outStream, *h); });
    };
    ExtractOne(job);
}

bool TUnARC::DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::ArcHeader& H) {
    const int method = H.type;
    if (method < 1 || method > 9) RaiseError(FileName, "", "0", kMsgUnsupportedMethod);
    const auto packed = static_cast<int64_t>(H.packedSize);
    if (method <= 2) {
        if (H.size != H.packedSize) { // stored data are as long as the file
            ReportError(FileName, "", "0", kMsgBadFileHeader);
            return false;
        }
        return CopyStored(Handle, nullptr, Out, OutStream, packed, FileName, false, 16);
    }

    ae::EntrySource src{*this, Handle, nullptr, packed, false};
    ae::InputBuffer in{src, 32768};
    ae::EntrySink sink{*this, Out, OutStream, static_cast<int64_t>(H.size), 16};
    ae::LimitSink limit{sink, H.size};
    ae::Rle90Sink rle{limit};
    const bool runs = method == 3 || method == 4 || method == 6 || method == 7 || method == 8;
    ae::DecodeSink& to = runs ? static_cast<ae::DecodeSink&>(rle) : limit;
    ae::DecodeResult r;
    int failure = 0;
    try {
        switch (method) {
        case 3: {
            uint8_t buf[4096];
            for (std::size_t n; (n = src.Read(buf, sizeof buf)) > 0;) to.Write(buf, n);
            break;
        }
        case 4:
            r = ae::DecodeSqueeze(in, to);
            break;
        case 5:
        case 6:
        case 7:
            r = ae::DecodeCrunch(in, to, method == 7);
            break;
        case 8: {
            const int bits = in.getByte();
            if (bits != 12) RaiseError(FileName, "", "0", kMsgIncorrectBits);
            r = ae::DecodeLzwGroups(in, to, 12);
            break;
        }
        case 9:
            r = ae::DecodeLzwGroups(in, to, 13);
            break;
        }
        if (runs) rle.Finish();
    } catch (const ae::OutputTooLong&) {
        failure = ae::kMsgCorruptInput;
    }
    if (Cancel()) return false;
    if (!failure && r.status == ae::DecodeStatus::Corrupt) failure = r.msg;
    if (!failure && r.status == ae::DecodeStatus::Truncated) failure = kMsgReadError;
    if (!failure && sink.produced() < H.size) failure = kMsgReadError;
    if (failure) ReportError(FileName, "", "0", failure);
    return failure == 0;
}
