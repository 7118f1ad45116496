// The tar writer: the header of a new file, the walk of an existing archive, the end blocks
// and the gzip-compressed tar road.
#include "archive/format/aeTar.h"
#include "archive/format/aeTarHeaders.h"
#include "archive/format/aeGZip.h"
#include "archive/format/aeGzHeader.h"
#include "archive/codec/aeInflate.h"
#include "archive/aeMsgs.h"
#include "archive/aeUnHelpers.h"

#include "common/PathParts.h"
#include "platform/fileio.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

constexpr int64_t kBlock = 512;
constexpr uint64_t kMaxTarSize = uint64_t{1} << 33; // 8 GiB: 11 octal digits hold less
constexpr size_t kNameField = 100;
constexpr int64_t kCopyBlock = 32768;

// The "plain" octal form: digits right-aligned ending one byte before the field's end, which
// holds a space.
bool plainOctal(uint8_t* Field, size_t Width, uint64_t Value) {
    const bool fits =
        FormatOctal(Value, Width - 1, false, std::span<char>(reinterpret_cast<char*>(Field), Width - 1));
    Field[Width - 1] = ' ';
    return fits;
}

void terminatedOctal(uint8_t* Field, size_t Width, uint64_t Value) {
    FormatOctal(Value, Width, true, std::span<char>(reinterpret_cast<char*>(Field), Width));
}

// Inflated bytes into the private tar, with their CRC-32 and count.
class TarSink final : public ae::DecodeSink {
public:
    TarSink(TZipCommon& owner, int fd) : owner_{owner}, fd_{fd} {}
    void Write(const std::uint8_t* p, std::size_t n) override {
        Crc32Update(p, n, crc);
        count += n;
        owner_.WriteBlock(fd_, p, 1, static_cast<int64_t>(n), 0, nullptr); // 25136 on a short write
    }
    uint32_t crc = 0xFFFFFFFF;
    uint64_t count = 0;

private:
    TZipCommon& owner_;
    int fd_;
};

} // namespace

TTar::TTar() {
    FArcType = atTar;
    FOwnDefaultExt = ".tar";
    FDefaultExt = ".tar";
    FAllowedMethods = MethodBit(cmTarred) | MethodBit(cmGzipTar);
    FCompressMethod = cmTarred;
}

TTar::~TTar() {
    dropPrivateTar();
}

void TTar::dropPrivateTar() {
    if (!FPrivateTar.empty()) platform::removeFile(FPrivateTar);
    FPrivateTar.clear();
    platform::forgetOnTerminatingSignal(FPrivateTicket);
    FPrivateTicket = -1;
}

void TTar::SetArcType(TArcType) {
    FArcType = atTar;
}

std::string TTar::GzipTarName(const std::string& ArchiveFile) {
    if (pvcommon::EndsWithNoCase(ArchiveFile, ".tgz") || pvcommon::EndsWithNoCase(ArchiveFile, ".tar.gz"))
        return ArchiveFile;
    return ArchiveFile + ".gz";
}

bool TTar::FormatHeader(uint8_t (&Block)[512], const std::string& StoredName, uint64_t Size, int64_t MTime) {
    std::memset(Block, 0, sizeof Block);
    if (StoredName.empty() || StoredName.size() >= kNameField || Size >= kMaxTarSize) return false;
    std::memcpy(Block, StoredName.data(), StoredName.size());
    plainOctal(Block + 124, 12, Size);
    // Times before 1970 or beyond 11 octal digits are not stored as such.
    plainOctal(Block + 136, 12, static_cast<uint64_t>(std::clamp<int64_t>(MTime, 0, 077777777777)));
    terminatedOctal(Block + 100, 8, 0100666);
    terminatedOctal(Block + 108, 8, 0);
    terminatedOctal(Block + 116, 8, 0);
    Block[156] = 0; // a regular file
    std::memset(Block + 148, ' ', 8);
    uint32_t sum = 0;
    for (uint8_t c : Block) sum += c;
    FormatOctal(sum, 6, false, std::span<char>(reinterpret_cast<char*>(Block + 148), 6));
    Block[154] = 0;
    Block[155] = ' ';
    return true;
}

// ---- the run ----

void TTar::Run() {
    if (FCompressMethod != cmGzipTar) {
        TCompBase::Run();
        return;
    }
    const std::string given = FArchiveFile;
    FFinalName = GzipTarName(given);
    struct Restore {
        TTar& t;
        std::string name;
        ~Restore() {
            t.FArchiveFile = name;
            t.FOwnFiles.clear();
            t.dropPrivateTar();
        }
    } restore{*this, given};
    runGzipTar();
}

void TTar::runGzipTar() {
    const bool exists = platform::pathExists(FFinalName);
    if (Switch == swRead && !exists) return;
    if (Switch == swDelete && !exists) RaiseError(FFinalName, "", "0", kMsgNothingToDo);
    // A new archive is written as the base writes any (a temporary tar beside it), and the
    // gzip stage takes the place of the final rename. An existing one is first inflated
    // into a private tar that the run reads its entries from.
    FArchiveFile = FFinalName;
    ArcStart = 1;
    FOwnFiles = {FFinalName};
    if (exists) {
        if (Switch != swRead && !checkWriteable()) return;
        // Beside the target, where the run needs the room anyway; a listing may read an
        // archive in a folder it cannot write.
        std::string dir = Switch == swRead ? TempDir() : ExtractDirPart(FFinalName);
        if (dir.empty()) dir = AppendDirTail(platform::currentDir());
        // Read by its name through the run, so it keeps one: a terminating signal removes it,
        // and what a killed run left (the name carries its process id) the next run removes.
        platform::TempFile t = platform::makeTempFileRemovedOnSignal(dir, ".pvtmp", ".tar", FPrivateTicket);
        if (t.fd < 0) RaiseError(dir, "", "0", kMsgOpenError);
        FPrivateTar = t.path;
        THandleGuard g{t.fd};
        inflateInto(FFinalName, t.fd);
        const bool closed = platform::closeFile(t.fd);
        g.fd = -1;
        if (!closed) RaiseError(FFinalName, "", "0", kMsgWriteError);
        FArchiveFile = FPrivateTar;
    }
    TCompBase::Run();
}

void TTar::inflateInto(const std::string& Source, int Dest) {
    THandleGuard in{platform::openFile(Source, platform::OpenMode::Read)};
    if (in.fd < 0) RaiseError(Source, "", "0", kMsgOpenError);
    ae::HandleSource src{in.fd};
    ae::InputBuffer buffer{src};
    for (bool first = true;; first = false) {
        const ae::GzMemberHeader h = ae::ReadGzipMemberHeader(buffer);
        // After the first member, what is not another member (padding, say) ends the file.
        if (!first && (h.status == ae::GzHeaderStatus::NoData || h.status == ae::GzHeaderStatus::BadMagic))
            break;
        if (!h.ok())
            RaiseError(Source, "", "0",
                       h.status == ae::GzHeaderStatus::Truncated || h.status == ae::GzHeaderStatus::NoData
                           ? kMsgReadError
                           : h.msg());
        TarSink sink{*this, Dest};
        ae::Inflater inflater{sink};
        const ae::DecodeResult r = inflater.Run(buffer);
        if (!r.ok())
            RaiseError(Source, "", "0", r.status == ae::DecodeStatus::Corrupt ? r.msg : kMsgReadError);
        ae::GzTrailer trailer;
        if (!ae::ReadGzipTrailer(buffer, trailer)) RaiseError(Source, "", "0", kMsgReadError);
        if (trailer.crc32 != (sink.crc ^ 0xFFFFFFFFu) || trailer.size != static_cast<uint32_t>(sink.count))
            RaiseError(Source, "", "0", kMsgFailsCrc);
    }
}

bool TTar::ReplaceArchive(const std::string& Temp, const std::string& Archive) {
    if (FCompressMethod != cmGzipTar || FNoRewrite ||
        (FAddedCount == 0 && (Switch != swDelete || FDeletedCount == 0)))
        return TCompBase::ReplaceArchive(Temp, Archive);
    // The finished tar is compressed into the final name (there only once complete); the
    // temporary tar is removed with the run's other files.
    gzipStage(Temp);
    return true;
}

void TTar::AfterRun() {
    // Every entry was deleted: the compressed archive goes as the tar did.
    if (FCompressMethod == cmGzipTar && FNoRewrite && Switch == swDelete && FDeletedCount > 0 &&
        !platform::removeFile(FFinalName))
        RaiseError(FFinalName, "", "0", kMsgWriteError);
}

void TTar::gzipStage(const std::string& Tar) {
    TGZip g;
    g.SetDeflateType(FDeflateType);
    g.OnError = OnError;
    g.OnProgress = [this](TZipCommon& Sender, uint8_t ByFile, uint8_t ByArchive) {
        FireEvent(OnProgress, Sender, ByFile, ByArchive);
        if (Cancel()) Sender.SetCancel(true);
    };
    g.FileName = FFinalName;
    THandleGuard in{platform::openFile(Tar, platform::OpenMode::Read)};
    if (in.fd < 0) RaiseError(FFinalName, "", "0", kMsgOpenError);
    const int64_t size = std::max<int64_t>(0, platform::fileSize(in.fd));
    // The member's name is the tar's: x.tgz and x.tar.gz hold x.tar.
    std::string stored = ExtractFileNamePart(FFinalName);
    if (pvcommon::EndsWithNoCase(stored, ".tgz"))
        stored = stored.substr(0, stored.size() - 4) + ".tar";
    else if (pvcommon::EndsWithNoCase(stored, ".gz"))
        stored.erase(stored.size() - 3);
    try {
        g.WriteGzipFile(in.fd, size, FFinalName, stored, static_cast<int64_t>(std::time(nullptr)));
    } catch (const E_RAISE&) {
        if (g.Cancel()) SetCancel(true);
        throw;
    }
}

// ---- adding ----

bool TTar::copyData(int Source, int64_t Size, int Dest) {
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(Size, 1, kCopyBlock)));
    for (int64_t done = 0; done < Size;) {
        if (Cancel()) return false;
        const int64_t n = std::min(kCopyBlock, Size - done);
        // A read error, or a file that shrank since it was listed, fails the entry.
        if (ReadBlock(Source, nullptr, n, 0, false, buffer.data()) != n) return false;
        WriteBlockEncrypted(Dest, nullptr, 1, n, 0, false, buffer.data()); // 25136 on a short write
        done += n;
        BytesLeft -= n;
        ReportProgress(done, Size, FTotalSize);
    }
    return true;
}

bool TTar::AddFile(int TempHandle, const std::string& Name, THeadObject& Header) {
    std::string stored;
    int64_t size = 0; // as the source holds it when it is read
    int64_t mtime = 0;
    TNewEntry entry;
    entry.Refuse = [&](const std::string& Stored, int64_t Size, std::string& Why) -> int {
        stored = Stored;
        if (stored.size() >= kNameField) {
            Why = "a stored name of 100 bytes or more does not fit a tar header";
            return kMsgInvalidName;
        }
        if (static_cast<uint64_t>(Size) >= kMaxTarSize) {
            Why = "a file of 8 GiB or more does not fit a tar header";
            return kMsgWriteError;
        }
        return 0;
    };
    entry.WriteHead = [&](int Temp, int64_t) {
        if (DateAttribute == daFileDate) {
            const auto t = platform::fileTimes(Name);
            mtime = t ? t->lastWrite : DosLocalToUnixTime(Header.DosDate);
        } else {
            mtime = DosLocalToUnixTime(StoredDate(Header.DosDate));
        }
        // The name alone until the data are through; the whole header then replaces it.
        uint8_t block[512] = {};
        std::memcpy(block, stored.data(), stored.size());
        WriteBlockEncrypted(Temp, nullptr, 1, kBlock, 0, false, block);
        return kBlock;
    };
    entry.WriteData = [&](int Source, int Temp, int64_t) {
        // The file as it is now: one that grew or shrank since it was listed is taken whole.
        const int64_t now = std::max<int64_t>(0, platform::fileSize(Source));
        if (static_cast<uint64_t>(now) >= kMaxTarSize)
            RaiseError(stored, "a file of 8 GiB or more does not fit a tar header", "0", kMsgReadError);
        if (!copyData(Source, now, Temp)) {
            if (Cancel()) return;
            RaiseError(stored, "", "0", kMsgReadError);
        }
        size = now;
        if (const int64_t pad = (kBlock - size % kBlock) % kBlock; pad > 0) {
            uint8_t zeros[512] = {};
            WriteBlockEncrypted(Temp, nullptr, 1, pad, 0, false, zeros);
        }
    };
    entry.WriteFinal = [&](int Temp) {
        uint8_t block[512] = {};
        FormatHeader(block, stored, static_cast<uint64_t>(size), mtime);
        WriteBlockEncrypted(Temp, nullptr, 1, kBlock, 0, false, block);
        Header.Header.assign(block, block + kBlock);
        Header.CompressedSize = Header.UncompressedSize = size;
        Header.DosDate = UnixTimeToDosLocal(mtime);
        Header.Attr = 32;
    };
    return WriteNewEntry(TempHandle, Name, Header, entry);
}

void TTar::AfterWrite() {
    // Two zero blocks end the archive (some readers refuse one without them).
    if (FTempHandle < 0 || FNoRewrite) return;
    if (platform::seekFile(FTempHandle, 0, platform::SeekFrom::End) < 0) WriteError();
    uint8_t zeros[2 * 512] = {};
    WriteBlockEncrypted(FTempHandle, nullptr, 1, sizeof zeros, 0, false, zeros);
}

// ---- existing entries ----

void TTar::ScanExisting(int ArchiveHandle) {
    THeaderReader reader{ArchiveHandle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    uint64_t offset = static_cast<uint64_t>(ArcStart - 1);
    while (offset < size) {
        aehdr::TarEntry e;
        const aehdr::TarRead r = aehdr::readTarEntry(reader.Fetcher(), offset, size, e);
        if (r == aehdr::TarRead::End) break;
        // A damaged header would lose what follows it: the archive is left alone.
        if (r == aehdr::TarRead::Corrupt || e.next > size)
            RaiseError(shownName(), "", "0", kMsgBadFileHeader);
        const std::string name = OemToAnsiName(e.name);
        if (!DeletedBySpec(name)) {
            auto head = std::make_unique<THeadObject>();
            const aehdr::Bytes blk = reader.Fetch(e.headerOffset, static_cast<size_t>(kBlock));
            head->Header.assign(blk.begin(), blk.end());
            head->Header.resize(static_cast<size_t>(kBlock), 0);
            // The stored span after the first header: a long-name or pax record goes with
            // its entry when it is copied.
            head->CompressedSize = static_cast<int64_t>(e.next - offset) - kBlock;
            head->UncompressedSize = static_cast<int64_t>(e.header.size);
            head->DosDate = UnixTimeToDosLocal(e.paxMtime.value_or(e.header.mtime));
            head->Attr = 32;
            head->Offset = static_cast<int64_t>(offset);
            head->Action = eaKeep;
            AddListEntry(name, std::move(head));
        }
        offset = e.next;
    }
}

void TTar::WriteDirectory() {
    ReportAddedEntries(
        [this](const TEntryItem& Item, int64_t&) {
            const THeadObject& h = *Item.Head;
            const aehdr::Bytes blk(h.Header.data(), h.Header.size());
            FileName = OemToAnsiName(Item.Name);
            FileDate = UnixToDateTime(static_cast<int64_t>(
                ParseOctal(std::string_view(reinterpret_cast<const char*>(blk.data()) + 136, 12))));
            VersionMadeBy = 0;
            PackedSize = UnpackedSize = h.UncompressedSize;
            FileCRC = static_cast<uint32_t>(
                ParseOctal(std::string_view(reinterpret_cast<const char*>(blk.data()) + 148, 8)));
            Encrypted = false;
            MethodName = "Tarred";
            MethodCode = 0;
            FileAttr = 32;
            return true;
        },
        true);
}

// ---- listing (swRead) ----

bool TTar::ReadHeader(std::string& Name, int Handle, bool) {
    THeaderReader reader{Handle};
    const auto size = static_cast<uint64_t>(std::max<int64_t>(0, ArchiveSize));
    aehdr::TarEntry e;
    const aehdr::TarRead r =
        aehdr::readTarEntry(reader.Fetcher(), static_cast<uint64_t>(FNextHeader), size, e);
    if (r == aehdr::TarRead::Corrupt) ReportError(shownName(), "", "0", kMsgBadFileHeader);
    if (r != aehdr::TarRead::Entry) return false;
    Name = OemToAnsiName(e.name);
    CurrentOffset = FNextHeader;
    FNextHeader = static_cast<int64_t>(e.next);
    const int64_t mtime = e.paxMtime.value_or(e.header.mtime);
    FileDate = UnixToDateTime(mtime);
    PackedSize = UnpackedSize = static_cast<int64_t>(e.header.size);
    FileCRC = e.header.checksum;
    Encrypted = false;
    MethodName = "Tarred";
    MethodCode = 0;
    FileAttr = e.header.typeflag == '5' ? 0x10 : 32;
    Ratio = 0;
    return true;
}
