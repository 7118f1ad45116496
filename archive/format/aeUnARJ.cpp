#include "archive/format/aeUnARJ.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <exception>
#include <new>
#include <vector>

#include "archive/format/aeArjDecode.h"
#include "archive/aeUnHelpers.h"
#include "archive/aeLzhEntry.h"
#include "archive/codec/aeLzhDecode.h"
#include "platform/fileio.h"

namespace {

constexpr int64_t kSearchLimit = 25000; // how far into a file the main header is looked for
constexpr std::size_t kHeaderLead = 4;  // id 0x60 0xEA and the basic header size
constexpr std::size_t kHeaderCrc = 4;
constexpr uint8_t kHighestVersionNeeded = 3;
constexpr uint8_t kFastMethod = 4;
constexpr uint8_t kTypeBinary = 0, kTypeText = 1;
constexpr uint16_t kDosFolderAttr = 0x10;

// Sets a string back to its value at construction however the scope is left.
class TRestoreString {
public:
    explicit TRestoreString(std::string& s) : s_{s}, saved_{s} {}
    ~TRestoreString() { s_ = saved_; }
    TRestoreString(const TRestoreString&) = delete;
    TRestoreString& operator=(const TRestoreString&) = delete;

private:
    std::string& s_;
    std::string saved_;
};

struct TArjDate {
    TDateTime Date;
    uint32_t Dos;
};
TArjDate EntryDate(const aehdr::ArjHeader& h) {
    if (ArjHostIsUnix(h.hostOs))
        return {UnixToDateTime(h.dosDateTime), UnixTimeToDosLocal(static_cast<int64_t>(h.dosDateTime))};
    return {DosDateToDateTimeSafe(h.dosDateTime), h.dosDateTime};
}

// The DOS attributes an extracted file gets. A Unix mode says no more than read-only (no
// write permission for anyone); its other bits would read as hidden, system or folder.
uint32_t EntryAttributes(const aehdr::ArjHeader& h) {
    if (ArjHostIsUnix(h.hostOs)) return (h.accessMode & 0222) == 0 ? 0x21u : 32u;
    return h.accessMode & 0xFFu;
}

// A folder: file type 3, or the folder attribute where the host stores DOS attributes (a
// Unix mode's bit 4 is group write, not a folder).
bool IsFolder(const aehdr::ArjHeader& h) {
    return h.fileType == aehdr::kArjTypeDir || (!ArjHostIsUnix(h.hostOs) && (h.accessMode & kDosFolderAttr));
}

} // namespace

bool ArjHostIsUnix(uint8_t HostOs) {
    return HostOs == aehdr::kArjHostUnix || HostOs == aehdr::kArjHostNext;
}

void TUnARJ::ExtractArchive(int& ArchiveHandle, TStream*) {
    TRestoreString keepPassword(Password);
    FRunHandle = FHandle = ArchiveHandle;
    FVolumeName = FArchiveFile;
    FVolumeNumberInUse = 0;
    FSpecSatisfied = false;
    InitVolumeNumbers();
    struct CloseVolume {
        TUnARJ& u;
        ~CloseVolume() {
            if (u.FHandle >= 0 && u.FHandle != u.FRunHandle) platform::closeFile(u.FHandle);
            u.FHandle = u.FRunHandle = -1;
        }
    } closeVolume{*this};

    try {
        ExtractVolumes();
    } catch (const std::bad_alloc&) {
        RaiseError(FArchiveFile, "", VolumeId(), kMsgOutOfMemory);
    }
}

void TUnARJ::ExtractVolumes() {
    const int64_t start = FindMainHeader();
    auto main = ReadHeader(start);
    if (!main) RaiseError(FArchiveFile, "", VolumeId(), kMsgBadFileHeader);
    FVolumeFollows = (main->H.flags & aehdr::kArjFlagVolume) != 0;
    // The main header's size fields hold other things (its creation time); no data follow it.
    int64_t from = main->DataOffset;
    for (;;) {
        FileList->Clear();
        const int64_t before = TotalPackedSize;
        Scan(from);
        BytesLeft = TotalPackedSize - before;
        int64_t resume = -1;
        for (size_t i = 0; i < FileList->Count() && !Cancel(); ++i) {
            const int64_t r = ExtractEntry(FileList->Record<TArjChosen>(i));
            if (r >= 0) resume = r;
        }
        if (Cancel() || FSpecSatisfied) break;
        // A file continued into the volume now open: the rest of that volume comes next.
        if (resume >= 0) {
            from = resume;
            continue;
        }
        if (!FVolumeFollows) break;
        from = NextVolume();
        if (from < 0) break;
    }
}

// The main header is the first id whose header passes its CRC, looked for from the start
// offset up to 25000 bytes into the file (or past the start of a self-extractor's archive).
int64_t TUnARJ::FindMainHeader() {
    const int64_t start = std::max<int64_t>(0, ArcStart - 1);
    int64_t limit = ArchiveSize - 2;
    if (limit > kSearchLimit) limit = (FArcType == atArjExe ? start + kSearchLimit : kSearchLimit);
    if (limit > start) {
        const int64_t span =
            std::min<int64_t>(ArchiveSize, limit + 2 + 2 + aehdr::kArjMaxBasicHeader + 4) - start;
        THeaderReader rd(FHandle);
        aehdr::Bytes b =
            rd.Fetch(static_cast<uint64_t>(start), static_cast<size_t>(std::max<int64_t>(span, 0)));
        const size_t n = b.size();
        for (size_t p = 0; p + kHeaderLead <= n && static_cast<int64_t>(p) + start < limit; ++p) {
            if (b[p] != 0x60 || b[p + 1] != 0xEA) continue;
            const size_t size = aehdr::le16(b.data() + p + 2);
            if (size == 0 || size > aehdr::kArjMaxBasicHeader || p + kHeaderLead + size + kHeaderCrc > n)
                continue;
            if (Crc32Of(b.data() + p + kHeaderLead, size) == aehdr::le32(b.data() + p + kHeaderLead + size))
                return start + static_cast<int64_t>(p);
        }
    }
    RaiseError(FArchiveFile, "", "0", kMsgBadArcType);
    return -1; // not reached
}

std::optional<TUnARJ::TArjEntry> TUnARJ::ReadHeader(int64_t Offset) {
    THeaderReader rd(FHandle);
    aehdr::Bytes lead = rd.Fetch(static_cast<uint64_t>(Offset), kHeaderLead);
    if (lead.size() < kHeaderLead) RaiseError(FVolumeName, "", VolumeId(), kMsgReadError);
    if (aehdr::le16(lead.data()) != aehdr::kArjMagic)
        RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
    const size_t size = aehdr::le16(lead.data() + 2);
    if (size == 0) return std::nullopt;
    if (size > aehdr::kArjMaxBasicHeader) RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
    const size_t basicEnd = kHeaderLead + size + kHeaderCrc;
    aehdr::Bytes b = rd.Fetch(static_cast<uint64_t>(Offset), basicEnd);
    if (b.size() < basicEnd) RaiseError(FVolumeName, "", VolumeId(), kMsgReadError);
    if (Crc32Of(b.data() + kHeaderLead, size) != aehdr::le32(b.data() + kHeaderLead + size))
        RaiseError(FVolumeName, "", VolumeId(), kMsgHeaderCrc);
    // The parser reads the fields; the extended headers are only stepped over (and their
    // sizes checked against the volume), so a zero size stands in for them.
    std::vector<uint8_t> basic(b.begin(), b.end());
    basic.push_back(0);
    basic.push_back(0);
    auto h = aehdr::parseArjHeader(basic);
    if (!h) RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
    TArjEntry e;
    e.H = std::move(*h);
    e.PasswordModifier = basic[kHeaderLead + 7];
    e.Offset = Offset;
    int64_t pos = Offset + static_cast<int64_t>(basicEnd);
    for (;;) {
        aehdr::Bytes ext = rd.Fetch(static_cast<uint64_t>(pos), 2);
        if (ext.size() < 2) RaiseError(FVolumeName, "", VolumeId(), kMsgReadError);
        const uint16_t extSize = aehdr::le16(ext.data());
        pos += 2;
        if (extSize == 0) break;
        pos += int64_t{extSize} + static_cast<int64_t>(kHeaderCrc);
        if (pos > ArchiveSize) RaiseError(FVolumeName, "", VolumeId(), kMsgReadError);
    }
    e.DataOffset = pos;
    return e;
}

void TUnARJ::Scan(int64_t Offset) {
    while (!Cancel()) {
        auto e = ReadHeader(Offset);
        if (!e) break;
        const aehdr::ArjHeader& h = e->H;
        if (h.versionNeeded > kHighestVersionNeeded)
            RaiseError(FVolumeName, "", VolumeId(), kMsgVersionError);
        if (h.method > kFastMethod || (h.method == kFastMethod && h.versionMadeBy == 1))
            RaiseError(FVolumeName, "", VolumeId(), kMsgUnsupportedMethod);
        // The rest of a file begun in an earlier volume belongs to that file's extraction.
        const bool continuation = (h.flags & aehdr::kArjFlagExtFile) != 0;
        const bool file = h.fileType == kTypeBinary || h.fileType == kTypeText;
        if (file && !continuation && !IsFolder(h) && MatchesFileSpec(OemToAnsiName(h.name), true)) {
            FileList->AddRecord(TArjChosen{e->Offset, h.flags, h.packedSize, h.size});
            TotalPackedSize += h.packedSize;
            TotalUnpackedSize += h.size;
            MaxFileDosDate = std::max(MaxFileDosDate, EntryDate(h).Dos);
            if (!IsWildList(FFileSpec)) {
                FSpecSatisfied = true;
                break;
            }
        }
        Offset = e->End();
    }
}

int64_t TUnARJ::NextVolume() {
    std::string name = VolumeName(FArchiveFile, VolumeNumber);
    const int number = VolumeNumber;
    if (!AskNextVolume(name, number)) return -1;
    const int h = platform::openFile(name, platform::OpenMode::Read);
    if (h < 0) RaiseError(name, "", std::to_string(number), kMsgReadError);
    if (FHandle >= 0 && FHandle != FRunHandle) platform::closeFile(FHandle);
    FHandle = h;
    FVolumeName = name;
    FVolumeNumberInUse = number;
    ArchiveSize = std::max<int64_t>(0, platform::fileSize(h));
    ScanEnd = ArchiveSize;
    auto main = ReadHeader(0);
    if (!main) RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
    FVolumeFollows = (main->H.flags & aehdr::kArjFlagVolume) != 0;
    return main->DataOffset;
}

int64_t TUnARJ::ExtractEntry(const TArjChosen& Chosen) {
    auto first = ReadHeader(Chosen.Offset);
    if (!first) RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
    TArjEntry e = std::move(*first);
    if (e.H.fileType == aehdr::kArjTypeDir) return -1;
    const std::string name = OemToAnsiName(e.H.name);
    const TArjDate date = EntryDate(e.H);
    const bool garbled = (e.H.flags & aehdr::kArjFlagGarbled) != 0;
    int64_t resume = -1;
    std::string output;
    // An error raised while decoding stops the whole run (the volumes cannot be followed any
    // further); the entry is ended first.
    std::exception_ptr raised;
    TEntryJob job;
    job.Name = name;
    job.Date = date.Date;
    job.PackedSize = Chosen.PackedSize;
    job.Attr = EntryAttributes(e.H);
    job.DosDate = date.Dos;
    if (garbled)
        // arj keeps no check of the password ahead of the data: any one given is tried,
        // and a wrong one shows in the CRC.
        job.Prepare = [&] { return PasswordStep(name, [](const std::string&) { return true; }); };
    job.Decode = [&](int out, TStream* outStream) {
        // The key is the password with the modifier of each part's own header added to every
        // character (arj stamps the parts of one set at different moments, so they may
        // differ); the password itself is back as it was however the entry ends.
        TRestoreString keepPassword(Password);
        const std::string plainPassword = Password;
        bool pass = true;
        try {
            for (;;) {
                if (e.H.flags & aehdr::kArjFlagGarbled)
                    Password = ShiftText(false, plainPassword, e.PasswordModifier);
                Ctx().Crc32Value = 0xFFFFFFFF;
                ArjPasswordPos = 1;
                const bool decoded = DecodePart(e, out, outStream);
                const bool partPass = decoded && (Ctx().Crc32Value ^ 0xFFFFFFFFu) == e.H.crc32;
                pass = pass && partPass;
                if (!partPass && garbled) break; // a wrong password: no use reading further volumes
                if (!(e.H.flags & aehdr::kArjFlagVolume) || Cancel()) break;
                // Continued in the next volume, whose first entry must be the rest of this file.
                const int64_t at = NextVolume();
                if (at < 0) return false;
                auto next = ReadHeader(at);
                if (!next) RaiseError(FVolumeName, "", VolumeId(), kMsgBadFileHeader);
                if (!(next->H.flags & aehdr::kArjFlagExtFile) || next->H.name != e.H.name)
                    RaiseError(FVolumeName, "", VolumeId(), kMsgBrokenChain);
                e = std::move(*next);
                resume = e.End();
                job.Attr = EntryAttributes(e.H); // the last part's, for FinishFile
            }
        } catch (const E_RAISE&) {
            raised = std::current_exception();
            return false;
        }
        return pass;
    };
    job.Finished = [&](bool, const std::string& out) { output = out; };
    bool pass = false;
    const TEntryResult r = ExtractOne(job, &pass);
    if (raised) std::rethrow_exception(raised);
    if (r == TEntryResult::erDone && !pass && garbled)
        RaiseError(WriteMode == 0 || WriteMode == 2 ? output : name, "", VolumeId(), kMsgInvalidPassword);
    return resume;
}

bool TUnARJ::DecodePart(const TArjEntry& E, int Out, TStream* OutStream) {
    const int64_t data = E.DataOffset;
    if (platform::seekFile(FHandle, data) != data) RaiseError(FVolumeName, "", VolumeId(), kMsgReadError);
    const bool garbled = (E.H.flags & aehdr::kArjFlagGarbled) != 0;
    const int64_t packed = E.H.packedSize;
    const auto size = static_cast<int64_t>(E.H.size);
    if (E.H.method == 0) {
        // A stored part holds exactly its original size; any other claim fails the entry.
        if (packed != size) {
            ReportError(FileName,
                        "stored data of " + std::to_string(packed) + " bytes, size given " +
                            std::to_string(size),
                        VolumeId(), kMsgReadError);
            return false;
        }
        return CopyStored(FHandle, nullptr, Out, OutStream, packed, FileName, garbled, 32);
    }
    if (E.H.method > kFastMethod) return false;
    if (E.H.method == kFastMethod)
        return DecodeOwnEntry(*this, FHandle, Out, OutStream, garbled, 32, packed, size, FileName,
                              ae::DecodeArjFast);
    return DecodeLzhEntry(*this, FHandle, nullptr, Out, OutStream, ae::LzhParams::Arj(garbled), packed, size,
                          E.H.crc32, FileName);
}
