#include "archive/format/aeUnLHA.h"
#include "archive/aeMsgs.h"

#include <algorithm>

#include "archive/aeUnHelpers.h"
#include "archive/codec/aeLh1Decode.h"
#include "archive/aeLzhEntry.h"
#include "archive/codec/aeLzhDecode.h"
#include "platform/fileio.h"

namespace {

constexpr std::size_t kBaseHeader = 22; // the fixed part every level starts with
constexpr int64_t kZeroStartSkip = 128; // where an archive whose first byte is 0 really starts

// The date of an entry: level 2 always stores Unix time; levels 0 and 1 a DOS date-time,
// unless a Unix extension gives the exact time.
struct TLhaDate {
    TDateTime Date;
    uint32_t Dos;
};
TLhaDate EntryDate(const aehdr::LhaHeader& h) {
    if (h.level == 2 || h.unixTime) {
        const int64_t t = h.level == 2 ? h.timeStamp : *h.unixTime;
        return {UnixToDateTime(t), UnixTimeToDosLocal(t)};
    }
    return {DosDateToDateTimeSafe(h.timeStamp), h.timeStamp};
}

bool IsFolderEntry(const aehdr::LhaHeader& h) {
    return h.method.size() == 5 && h.method[3] == 'd';
}

} // namespace

std::string LhaEntryName(const aehdr::LhaHeader& H) {
    std::string raw = H.folder + H.name;
    for (char& c : raw) {
        if (c == '\xFF') c = '/';
        if (c == '\0') c = ' ';
    }
    return OemToAnsiName(raw);
}

void TUnLHA::ExtractArchive(int& ArchiveHandle, TStream*) {
    ScanThenExtract<TLhaChosen>([&] { Scan(ArchiveHandle); },
                                [&](const TLhaChosen& E) { ExtractEntry(ArchiveHandle, E); });
}

// Walks the headers from the start, recording the entries that FileSpec chooses. A header
// that is not one ends the walk with "Bad file header"; what was found before is still
// extracted.
void TUnLHA::Scan(int Handle) {
    THeaderReader rd(Handle);
    int64_t offset = ArcStart - 1;
    {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(offset), kBaseHeader);
        if (b.size() == kBaseHeader && b[0] == 0 && !aehdr::readLhaHeader(rd.Fetcher(), offset))
            offset += kZeroStartSkip;
    }
    while (!Cancel()) {
        aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(offset), kBaseHeader);
        if (b.size() < kBaseHeader) break; // the end of the file (no end marker)
        const bool zeroByte = b[0] == 0;
        auto h = aehdr::readLhaHeader(rd.Fetcher(), static_cast<uint64_t>(offset));
        if (!h) {
            if (!zeroByte) ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            break; // a zero byte is the end marker
        }
        const int64_t next = offset + static_cast<int64_t>(h->headerLength + h->packedSize);
        if (!IsFolderEntry(*h) && MatchesFileSpec(LhaEntryName(*h), true)) {
            FileList->AddRecord(TLhaChosen{offset, static_cast<int64_t>(h->packedSize), h->size});
            TotalPackedSize += static_cast<int64_t>(h->packedSize);
            TotalUnpackedSize += h->size;
            MaxFileDosDate = std::max(MaxFileDosDate, EntryDate(*h).Dos);
            if (!IsWildList(FFileSpec)) break;
        }
        if (next > ArchiveSize) break; // its data runs past the end: nothing can follow
        offset = next;
    }
}

void TUnLHA::ExtractEntry(int Handle, const TLhaChosen& Entry) {
    THeaderReader rd(Handle);
    auto h = aehdr::readLhaHeader(rd.Fetcher(), static_cast<uint64_t>(Entry.Offset));
    if (!h) {
        ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return;
    }
    const std::string name = LhaEntryName(*h);
    const TLhaDate date = EntryDate(*h);
    TEntryJob job;
    job.Name = name;
    job.Date = date.Date;
    job.PackedSize = Entry.PackedSize;
    job.Attr = h->attribute;
    job.DosDate = date.Dos;
    job.Decode = [&](int out, TStream* outStream) {
        SeekData(Handle, Entry.Offset + static_cast<int64_t>(h->headerLength));
        return DecodeChecked(16, h->crc16, [&] { return DecodeData(Handle, out, outStream, *h); });
    };
    ExtractOne(job);
}

bool TUnLHA::DecodeData(int Handle, int Out, TStream* OutStream, const aehdr::LhaHeader& H) {
    const auto packed = static_cast<int64_t>(H.packedSize);
    const std::string& m = H.method;
    if (m.size() != 5 || m[0] != '-' || m[4] != '-') RaiseError(FileName, "", "0", kMsgUnsupportedMethod);
    const char letter = m[3];
    const auto size = static_cast<int64_t>(H.size);
    if (letter == '0') {
        // Stored data are exactly the original size; any other claim fails the entry.
        if (packed != size) {
            ReportError(FileName,
                        "stored data of " + std::to_string(packed) + " bytes, size given " +
                            std::to_string(size),
                        "0", kMsgReadError);
            return false;
        }
        return CopyStored(Handle, nullptr, Out, OutStream, packed, FileName, false, 16);
    }

    ae::LzhParams params;
    switch (letter) {
    case '1':
        return DecodeOwnEntry(*this, Handle, Out, OutStream, false, 16, packed, size, FileName,
                              ae::DecodeLh1);
    case '4':
        params = ae::LzhParams::Lh4();
        break;
    case '5':
        params = ae::LzhParams::Lh5();
        break;
    case '6':
        params = ae::LzhParams::Lh6();
        break;
    default:
        RaiseError(FileName, "", "0", kMsgUnsupportedMethod);
    }
    return DecodeLzhEntry(*this, Handle, nullptr, Out, OutStream, params, packed, size, H.crc16, FileName);
}
