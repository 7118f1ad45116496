// The LHA writer: level-0 headers, stored and LZH-coded data with the fall-back to stored,
// and the walk of existing archives of every header level.
#include "archive/format/aeLha.h"
#include "archive/format/aeLhaHeaders.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"

#include "common/LittleEndian.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int64_t kMaxFieldValue = 0xFFFFFFFFll;

// The entry's name as shown: folder and name joined, '/' between folders.
std::string shownName(const aehdr::LhaHeader& h) {
    std::string raw = h.folder + h.name;
    std::replace(raw.begin(), raw.end(), '\xFF', '/');
    return OemToAnsiName(raw);
}

// Levels 0 and 1 carry a checksum over the header after its first two bytes.
bool checksumHolds(const aehdr::Fetch& fetch, uint64_t offset, const aehdr::LhaHeader& h) {
    if (h.level > 1) return true;
    const aehdr::Bytes b = fetch(offset, 2);
    if (b.size() < 2) return false;
    const size_t total = size_t{b[0]} + 2;
    const uint8_t want = b[1];
    const aehdr::Bytes all = fetch(offset, total);
    if (all.size() < total) return false;
    uint8_t sum = 0;
    for (size_t i = 2; i < total; ++i) sum = static_cast<uint8_t>(sum + all[i]);
    return sum == want;
}

} // namespace

TLha::TLha() {
    FArcType = atLha;
    FOwnDefaultExt = FDefaultExt = ".lha";
    FAllowedMethods = MethodBit(cmStore) | MethodBit(cmFrozen5) | MethodBit(cmFrozen6);
    FCompressMethod = cmFrozen6;
}

void TLha::SetArcType(TArcType) {
    FArcType = atLha;
}

std::vector<uint8_t> TLha::FormatHeader(char Method, uint32_t Packed, uint32_t Size, uint32_t DosDate,
                                        uint8_t Attr, const std::string& RawName, uint16_t Crc) {
    const size_t n = RawName.size();
    std::vector<uint8_t> h(24 + n, 0);
    h[0] = static_cast<uint8_t>(22 + n);
    std::memcpy(h.data() + 2, "-lh0-", 5);
    h[5] = static_cast<uint8_t>(Method);
    pvcommon::PutLE32(h.data() + 7, Packed);
    pvcommon::PutLE32(h.data() + 11, Size);
    pvcommon::PutLE32(h.data() + 15, DosDate);
    h[19] = Attr;
    h[20] = 0;
    h[21] = static_cast<uint8_t>(n);
    std::memcpy(h.data() + 22, RawName.data(), n);
    h[22 + n] = static_cast<uint8_t>(Crc);
    h[23 + n] = static_cast<uint8_t>(Crc >> 8);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
    h[1] = sum;
    return h;
}

// ---- a new entry ----

platform::EncodedName TLha::EncodeName(const std::string& Stored) const {
    platform::EncodedName e = platform::encodeArchiveName(Stored, true);
    e.bytes = SlashToBackslash(e.bytes);
    return e;
}

bool TLha::AddFile(int TempHandle, const std::string& Name, THeadObject& Header) {
    std::string rawName;
    uint32_t date = 0;
    const uint8_t attr = static_cast<uint8_t>(Header.Attr);
    char method = '0';
    TNewEntry entry;
    entry.Refuse = [&](const std::string& Stored, int64_t Size, std::string& Why) -> int {
        rawName = EncodeName(Stored).bytes;
        if (rawName.size() > kMaxNameLength) {
            Why = "a stored name over 233 bytes does not fit an LHA header";
            return kMsgInvalidName;
        }
        if (Size > kMaxFieldValue) {
            Why = "a file of 4 GiB or more does not fit an LHA header";
            return kMsgWriteError;
        }
        return 0;
    };
    entry.WriteHead = [&](int Temp, int64_t) {
        date = StoredDate(Header.DosDate);
        std::vector<uint8_t> head =
            FormatHeader('0', 0, static_cast<uint32_t>(Header.UncompressedSize), date, attr, rawName, 0);
        WriteBlockEncrypted(Temp, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
        return static_cast<int64_t>(head.size());
    };
    entry.WriteData = [&](int Source, int Temp, int64_t DataStart) {
        const auto code = [&](TCompressMethod m) {
            method = m == cmFrozen5 ? '5' : '6';
            return !LzhEncodeSource(Source, Temp, false,
                                    m == cmFrozen5 ? ae::LzhEncodeParams::Lh5() : ae::LzhEncodeParams::Lh6())
                        .Incompressible;
        };
        const TEntryData data{Name, Source, Temp, Header.UncompressedSize, DataStart, 16, false};
        if (WriteEntryData(data, CompressMethod(), nullptr, code) == cmStore) method = '0';
    };
    entry.WriteFinal = [&](int Temp) {
        const int64_t size = Header.UncompressedSize;
        const int64_t packed = size == 0 ? 0 : FCompressedSize;
        const uint16_t crc = size == 0 ? 0 : Ctx().Crc16Value;
        std::vector<uint8_t> head = FormatHeader(method, static_cast<uint32_t>(packed),
                                                 static_cast<uint32_t>(size), date, attr, rawName, crc);
        WriteBlockEncrypted(Temp, nullptr, 1, static_cast<int64_t>(head.size()), 0, false, head.data());
        // The record: the 22 header bytes and the CRC.
        Header.Header.assign(head.begin(), head.begin() + 22);
        Header.Header.push_back(static_cast<uint8_t>(crc));
        Header.Header.push_back(static_cast<uint8_t>(crc >> 8));
        Header.CompressedSize = packed;
        Header.DosDate = date;
        Header.StoredLength = static_cast<int64_t>(head.size()) + packed;
    };
    return WriteNewEntry(TempHandle, Name, Header, entry);
}

// ---- existing entries ----

void TLha::ScanExisting(int ArchiveHandle) {
    THeaderReader reader{ArchiveHandle};
    const aehdr::Fetch fetch = reader.Fetcher();
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    uint64_t offset = static_cast<uint64_t>(ArcStart - 1);
    while (offset < size) {
        const aehdr::Bytes first = fetch(offset, 1);
        const bool zero = !first.empty() && first[0] == 0;
        const auto h = aehdr::readLhaHeader(fetch, offset);
        if (!h && zero) break; // the end marker
        // A damaged header would lose what follows it: the archive is left alone.
        if (!h || !checksumHolds(fetch, offset, *h) || h->headerLength + h->packedSize > size - offset)
            RaiseError(FArchiveFile, "", "0", kMsgBadFileHeader);
        const std::string name = shownName(*h);
        const uint64_t length = h->headerLength + h->packedSize;
        if (!DeletedBySpec(name)) {
            auto head = std::make_unique<THeadObject>();
            const aehdr::Bytes b = fetch(offset, 22);
            head->Header.assign(b.begin(), b.end());
            head->Header.resize(22, 0);
            head->Header.push_back(static_cast<uint8_t>(h->crc16));
            head->Header.push_back(static_cast<uint8_t>(h->crc16 >> 8));
            head->CompressedSize = static_cast<int64_t>(h->packedSize);
            head->UncompressedSize = h->size;
            head->DosDate = h->level == 2 ? UnixTimeToDosLocal(h->timeStamp) : h->timeStamp;
            head->Attr = h->attribute;
            head->Offset = static_cast<int64_t>(offset);
            head->StoredLength = static_cast<int64_t>(length);
            head->Action = eaKeep;
            AddListEntry(name, std::move(head));
        }
        offset += length;
    }
}

void TLha::WriteDirectory() {
    ReportAddedEntries([this](const TEntryItem& Item, int64_t&) {
        const THeadObject& h = *Item.Head;
        if (h.Header.size() < 24) return false;
        VersionMadeBy = 122;
        VersionNeeded = 112;
        PackedSize = h.CompressedSize;
        UnpackedSize = h.UncompressedSize;
        FileCRC = pvcommon::GetLE16(h.Header.data() + 22);
        Encrypted = false;
        MethodCode = h.Header[5];
        MethodName = GetMethodName(MethodCode, 0);
        FileAttr = h.Attr;
        FileDate = static_cast<int32_t>(h.DosDate) > 0 ? DosDateToDateTime(h.DosDate) : 0;
        return true;
    });
}

// ---- listing (swRead) ----

bool TLha::ReadHeader(std::string& Name, int Handle, bool) {
    THeaderReader reader{Handle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    const auto offset = static_cast<uint64_t>(FNextHeader);
    if (offset >= size) return false;
    const auto h = aehdr::readLhaHeader(reader.Fetcher(), offset);
    if (!h || h->headerLength + h->packedSize > size - offset) {
        const aehdr::Bytes first = reader.Fetch(offset, 1);
        if (first.empty() || first[0] != 0) ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
        return false;
    }
    Name = shownName(*h);
    CurrentOffset = FNextHeader;
    FNextHeader = static_cast<int64_t>(offset + h->headerLength + h->packedSize);
    FileDate = h->level == 2 ? UnixToDateTime(h->timeStamp) : DosDateToDateTime(h->timeStamp);
    PackedSize = static_cast<int64_t>(h->packedSize);
    UnpackedSize = h->size;
    FileCRC = h->crc16;
    Encrypted = false;
    MethodCode = static_cast<uint8_t>(h->method[3]);
    MethodName = GetMethodName(MethodCode, 0);
    FileAttr = h->attribute;
    Ratio = GetRatio(PackedSize, UnpackedSize);
    return true;
}
