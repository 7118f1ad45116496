#include "archive/format/aeMsgzWalk.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/format/aeMsgzHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

class TMsgzWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister& L, int64_t Offset) override;

private:
    std::vector<std::string> FFolders; // the folder table
};

} // namespace

int64_t TMsgzWalk::Prepare(TArcLister& L, int64_t start) {
    Bytes hb = L.In().Fetch(static_cast<uint64_t>(start), aehdr::kMsgzArchiveHeaderSize);
    if (hb.size() < aehdr::kMsgzArchiveHeaderSize) L.Corrupt(kMsgReadError);
    uint64_t pos = le32(hb.data() + aehdr::kMsgzFolderTableOffsetAt);
    if (pos >= static_cast<uint64_t>(L.ArchiveSize)) return -1;
    // Folder records until one with length 0; each takes L bytes, so the walk moves forward.
    for (;;) {
        Bytes r = L.In().Fetch(pos, aehdr::kMsgzFolderRecordSize);
        if (r.size() < aehdr::kMsgzFolderRecordSize) L.Corrupt(kMsgReadError);
        const uint8_t length = r[2];
        if (length == 0) break;
        if (length < aehdr::kMsgzFolderRecordSize) L.Corrupt(kMsgBadFileHeader);
        Bytes name = L.In().Fetch(pos + aehdr::kMsgzFolderRecordSize, length - aehdr::kMsgzFolderRecordSize);
        if (name.size() < length - aehdr::kMsgzFolderRecordSize) L.Corrupt(kMsgReadError);
        FFolders.push_back(L.DecodeName(aehdr::fixedString(name)));
        pos += length;
    }
    return static_cast<int64_t>(pos + aehdr::kMsgzFolderRecordSize) - 4;
}

int64_t TMsgzWalk::Step(TArcLister& L, int64_t offset) {
    Bytes b = L.In().Fetch(static_cast<uint64_t>(offset), aehdr::MsgzEntry::kSize);
    if (b.empty()) return -1;
    auto h = aehdr::parseMsgzEntry(b);
    if (!h) L.Corrupt(kMsgReadError);
    Bytes name = L.In().Fetch(static_cast<uint64_t>(offset) + aehdr::MsgzEntry::kSize, h->nameLength);
    if (name.size() < h->nameLength) L.Corrupt(kMsgReadError);
    if (h->recordSize < aehdr::MsgzEntry::kSize + h->nameLength) L.Corrupt(kMsgBadFileHeader);
    TArcLister::Entry e;
    e.Name = L.DecodeName(aehdr::toString(name));
    if (h->folderIndex < FFolders.size() && !FFolders[h->folderIndex].empty())
        e.Name = FFolders[h->folderIndex] + "/" + e.Name;
    e.Packed = h->packedSize;
    e.Unpacked = h->size;
    e.Date = L.DosDateToDateTime(h->dosDateTime);
    e.Attr = h->attributes & 0xFFFF;
    e.ExtAttr = h->attributes;
    e.Offset = h->dataOffset;
    e.NoMethod = true;
    L.Report(e, TArcLister::Filter::Spec, false);
    // The record size counts the fixed part and the name, which were read already.
    return offset + static_cast<int64_t>(h->recordSize);
}

std::unique_ptr<TFormatWalk> NewMsgzWalk(TArcType) {
    return std::make_unique<TMsgzWalk>();
}
