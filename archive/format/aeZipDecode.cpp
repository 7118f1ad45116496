#include "archive/format/aeZipDecode.h"
#include "archive/aeMsgs.h"

#include "archive/aeDiskMan.h"
#include "archive/aeEntryIo.h"
#include "archive/codec/aeExplode.h"
#include "archive/format/aeGzHeader.h"
#include "archive/codec/aeInflate.h"
#include "archive/aeUnBase.h"
#include "archive/codec/aeUnshrink.h"
#include "platform/fileio.h"

#include <algorithm>
#include <optional>

namespace ae {

DecodeResult DecodeZipMethod(InputBuffer& in, DecodeSink& sink, int method, std::uint16_t flags,
                             std::uint64_t size, Inflater* inflater) {
    switch (method) {
    case 0: {
        DecodeResult r;
        while (r.produced < size) {
            if (in.avail() == 0 && !in.refill()) {
                r.status = DecodeStatus::Truncated;
                return r;
            }
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(in.avail(), size - r.produced));
            sink.Write(in.data(), n);
            in.consume(n);
            r.produced += n;
        }
        return r;
    }
    case 1:
        return Unshrink(in, sink, size);
    case 2:
    case 3:
    case 4:
    case 5:
        return Unreduce(in, sink, static_cast<unsigned>(method - 1), size);
    case 6:
        return Explode(in, sink, flags, size);
    case 8: {
        DecodeResult r;
        if (inflater) {
            r = inflater->Run(in, sink, size);
        } else {
            Inflater inf{sink};
            r = inf.Run(in, size);
        }
        if (r.ok() && r.produced != size) r.status = DecodeStatus::Truncated;
        return r;
    }
    default: {
        DecodeResult r;
        r.status = DecodeStatus::Corrupt;
        r.msg = kMsgUnsupportedMethod;
        return r;
    }
    }
}

} // namespace ae

namespace {

constexpr std::size_t kReadBlock = 32768;

// Asks for the next disk of a spanned set until it is in the drive; false when the user
// cancels (the run is then cancelled).
bool RequestNextDisk(TUnBase& ex, int& handle) {
    TDiskManager* dm = ex.DiskManager.get();
    if (!dm) return false;
    int current = dm->DiskNumber;
    const bool numbered = current >= 1;
    if (!numbered) current = current == 0 ? 1 : current + 1;
    const int wanted = current + 1;
    const std::string prevSerial = dm->SerialText, prevLabel = dm->VolumeLabel;
    for (;;) {
        bool cancel = true;
        ex.SetCancel(true);
        FireEvent(ex.OnGetZipNextDisk, static_cast<TZipCommon&>(ex), std::to_string(wanted), cancel);
        if (cancel) return false;
        ex.SetCancel(false);
        dm->Refresh();
        const bool present = platform::fileExists(ex.ArchiveFile());
        if (present && dm->DiskNumber == wanted) break;
        if (!numbered && present) {
            if (dm->SerialText.empty() && prevSerial.empty())
                ex.ReportError(ex.ArchiveFile(), "", "0", kMsgNoDiskIds);
            else if (dm->SerialText != prevSerial || dm->VolumeLabel != prevLabel)
                break;
        }
    }
    ex.ReopenArchive(handle);
    return true;
}

// A gzip file: one member after another, each checked against its own trailer. The
// extractor has read the first member's header; later ones are read here.
bool DecodeGzipMembers(TUnBase& ex, ae::InputBuffer& in, ae::EntrySink& sink, const std::string& name) {
    auto& crc = ex.Ctx().Crc32Value;
    for (bool first = true;; first = false) {
        if (!first) {
            // Zero padding after the last member is tolerated, as is other trailing data
            // that does not even start like a member.
            if (in.ensure(1) == 0 || in.data()[0] != 0x1F) return true;
            const ae::GzMemberHeader h = ae::ReadGzipMemberHeader(in);
            if (!h.ok()) {
                ex.ReportError(name, "", "0", h.msg());
                return false;
            }
            crc = 0xFFFFFFFF;
        }
        const std::uint64_t before = sink.produced();
        const ae::DecodeResult r = ex.Workspace().inflater.Run(in, sink);
        if (!r.ok()) {
            if (ex.Cancel()) return false;
            ex.ReportError(name, "", "0", r.status == ae::DecodeStatus::Corrupt ? r.msg : 25236);
            return false;
        }
        ae::GzTrailer t;
        if (!ae::ReadGzipTrailer(in, t)) {
            ex.ReportError(name, "", "0", 25236);
            return false;
        }
        const auto size = static_cast<std::uint32_t>(sink.produced() - before);
        if (t.crc32 != ~crc || t.size != size) {
            ex.ReportError(name, "", "0", 25151);
            return false;
        }
    }
}

} // namespace

bool DecodeZipEntry(TUnBase& Ex, int& InHandle, TStream* InStream, int OutHandle, TStream* OutStream,
                    const TZipDecodeEntry& Entry, const std::string& OutName,
                    const std::span<const std::uint8_t>* InMemory) {
    const bool encrypted = Entry.Flags & 1;
    const std::int64_t packed = std::max<std::int64_t>(0, Entry.PackedSize - (encrypted ? 12 : 0));
    Ex.PackedSize = Entry.PackedSize;
    Ex.UnpackedSize = Entry.UnpackedSize;
    Ex.FileCRC = Entry.Crc32;
    Ex.MethodCode = Entry.Method;
    Ex.FileAttr = Entry.Attr;
    Ex.Encrypted = encrypted;

    std::optional<ae::EntrySource> src;
    std::optional<ae::InputBuffer> input;
    if (InMemory && !encrypted) {
        const auto n = static_cast<std::int64_t>(InMemory->size());
        input.emplace(InMemory->first(static_cast<std::size_t>(std::clamp<std::int64_t>(packed, 0, n))));
        Ex.BytesLeft -= static_cast<std::int64_t>(input->avail());
    } else {
        src.emplace(Ex, InHandle, InStream, packed, encrypted);
        if (Ex.ArcType() == atZipMV) src->nextDisk = [&Ex](int& h) { return RequestNextDisk(Ex, h); };
        input.emplace(*src);
    }
    ae::InputBuffer& in = *input;
    ae::EntrySink sink{Ex, OutHandle, OutStream, Entry.UnpackedSize, 32};
    bool ok = false;
    try {
        if (Ex.ArcType() == atGZip && Entry.Method == 8) {
            ok = DecodeGzipMembers(Ex, in, sink, OutName);
        } else {
            const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, Entry.UnpackedSize));
            const ae::DecodeResult r =
                ae::DecodeZipMethod(in, sink, Entry.Method, Entry.Flags, size, &Ex.Workspace().inflater);
            ok = r.ok() && r.produced == size;
            if (!ok && !Ex.Cancel()) {
                int code = 25236; // the data end early
                if (r.status == ae::DecodeStatus::Corrupt) code = r.msg ? r.msg : ae::kMsgBadBlock;
                if (r.status == ae::DecodeStatus::TooLong) code = ae::kMsgBadBlock;
                Ex.ReportError(OutName, "", "0", code);
            }
        }
    } catch (const E_RAISE& e) {
        // A write that failed (25136, reported with its reason already) or a cancel while
        // writing ends this entry only.
        if (e.ECode != 25136) Ex.ReportError(OutName, "", "0", e.ECode);
        ok = false;
    }
    if (!ok) Ex.Ctx().Crc32Value = ~Entry.Crc32 ^ 1u; // so that the entry's CRC check fails
    return ok;
}
