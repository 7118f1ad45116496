// unrar.dll stand-in. The block headers of each volume are read here (header CRCs checked,
// host system, attributes and CRC kept, volumes followed through the caller's volume
// callback under either naming scheme). A stored entry's data are copied here, part by part
// over the volumes; a compressed entry's data are decoded by libarchive from a stream made of
// a plain archive header, the entry's header with its volume flags cleared and its packed
// parts joined, and an end block. What libarchive cannot decode is refused as not supported
// rather than decoded wrongly: encrypted entries, the compressed entries of a solid archive
// after the first (they continue the previous entry's dictionary), and RAR 1.5 and 2.0
// compression. A symbolic link's data are its target. Output goes only to the file name the
// caller gives, never through a symbolic link.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeCommon.h"
#include "archive/aeHeaders.h"
#include "archive/format/aeRarWalk.h"
#include "archive/format/aeUnRarDll.h"

namespace {

using aehdr::Bytes;

constexpr uint16_t kEndNextVolume = 0x0001;
constexpr uint8_t kMethodStored = 0x30;
// The first unpacking version whose compression libarchive decodes (RAR 2.9).
constexpr uint8_t kFirstDecodedVersion = 29;

struct TPart {
    std::string Path;
    int64_t Offset = 0, Length = 0;
};

struct TEntry {
    std::vector<uint8_t> Header; // the file block's header bytes as stored
    aehdr::RarFileHeader H;
    std::vector<TPart> Parts;
    uint32_t Crc = 0; // of the last part seen: the whole file's once complete
};

struct TVolume {
    std::string Path;
    int Fd = -1;
    int64_t Size = 0, Pos = 0;
    uint16_t MainFlags = 0;
    std::vector<uint8_t> Scratch; // the bytes of the last marker search window
    void Close() {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }
};

struct TArc {
    TVolume Vol;
    bool NewNumbering = false;
    TRarProcessDataProc Data = nullptr;
    TRarChangeVolProc ChangeVol = nullptr;
    std::string Password;
    bool HaveCurrent = false;
    TEntry Current;
    TRarHeaderData* Record = nullptr;
    ~TArc() { Vol.Close(); }
};

uint16_t HeaderCrc(const uint8_t* Header, size_t Size) {
    return static_cast<uint16_t>(Crc32Of(Header + 2, Size - 2) & 0xFFFF);
}

bool ReadAt(int Fd, int64_t Offset, void* Buf, size_t Count) {
    size_t done = 0;
    while (done < Count) {
        const ssize_t n = ::pread(Fd, static_cast<uint8_t*>(Buf) + done, Count - done, Offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<uint8_t> Fetch(const TVolume& V, int64_t Offset, size_t Count) {
    if (Offset >= V.Size) return {};
    Count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(Count), V.Size - Offset));
    std::vector<uint8_t> b(Count);
    if (!ReadAt(V.Fd, Offset, b.data(), Count)) b.clear();
    return b;
}

// Opens a volume and reads its marker and archive header; the result code.
int OpenVolume(TVolume& V, const std::string& Path) {
    V.Close();
    V.Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (V.Fd < 0) return kRarOpenError;
    V.Path = Path;
    V.Size = ::lseek(V.Fd, 0, SEEK_END);
    const TRarMarker marker = FindRarMarker(
        [&V](uint64_t Offset, size_t Count) {
            V.Scratch = Fetch(V, static_cast<int64_t>(Offset), Count);
            return Bytes(V.Scratch);
        },
        V.Size);
    if (marker.At < 0) return kRarBadArchive;
    if (marker.Rar5) return kRarUnknownFormat;
    const int64_t at = marker.At;
    std::vector<uint8_t> m = Fetch(V, at + 7, aehdr::kRarMainHeaderSize);
    auto main = aehdr::parseRarBlock(m);
    if (m.size() < aehdr::kRarMainHeaderSize || !main || main->type != aehdr::kRarTypeMain)
        return kRarBadArchive;
    std::vector<uint8_t> whole = Fetch(V, at + 7, main->headerSize);
    if (whole.size() < main->headerSize || !RarMainHeaderCrcHolds(whole, main->crc)) return kRarBadData;
    V.MainFlags = main->flags;
    if (V.MainFlags & aehdr::kRarMainFlagLocked) return kRarNotSupported;
    V.Pos = at + 7 + main->headerSize;
    return kRarOk;
}

// Moves to the next volume of the set, as the caller agrees; the result code.
int OpenNextVolume(TArc& A) {
    if (!A.ChangeVol) return kRarBrokenChain;
    char name[kRarNameSize] = {};
    const std::string next = RarNextVolumeName(A.Vol.Path, A.NewNumbering);
    if (next.size() >= sizeof(name)) return kRarBrokenChain;
    std::memcpy(name, next.c_str(), next.size());
    if (A.ChangeVol(name, kRarVolumeAsk) == 0) return kRarBrokenChain;
    name[sizeof(name) - 1] = 0;
    const int r = OpenVolume(A.Vol, name);
    if (r != kRarOk) return r == kRarOpenError ? kRarBrokenChain : r;
    A.ChangeVol(name, kRarVolumeOpened);
    return kRarOk;
}

// Reads the block at the volume's position. 0 with a file block in E (Pos moved past its
// data), kRarEndArchive at the end of the volume (NextVolume set when the set goes on), or an
// error code.
int ReadFileBlock(TArc& A, TEntry& E, bool& NextVolume, bool& BadCrc) {
    NextVolume = false;
    BadCrc = false;
    TVolume& V = A.Vol;
    for (;;) {
        std::vector<uint8_t> b = Fetch(V, V.Pos, 11);
        if (b.size() < 7) {
            NextVolume = (V.MainFlags & aehdr::kRarMainFlagVolume) != 0;
            return kRarEndArchive;
        }
        auto blk = aehdr::parseRarBlock(b);
        if (!blk) return kRarBadData;
        if (blk->type == aehdr::kRarTypeEnd) {
            NextVolume = (V.MainFlags & aehdr::kRarMainFlagVolume) != 0 && (blk->flags & kEndNextVolume) != 0;
            return kRarEndArchive;
        }
        const int64_t next = V.Pos + static_cast<int64_t>(blk->totalLength());
        if (next > V.Size) return kRarReadError;
        if (blk->type != aehdr::kRarTypeFile) {
            V.Pos = next;
            continue;
        }
        std::vector<uint8_t> hb = Fetch(V, V.Pos, blk->headerSize);
        auto h = aehdr::parseRarFileHeader(hb);
        if (hb.size() < blk->headerSize || !h) return kRarBadData;
        BadCrc = HeaderCrc(hb.data(), hb.size()) != blk->crc;
        E = TEntry{};
        E.Header = hb;
        E.H = *h;
        E.Crc = h->crc32;
        E.Parts.push_back({V.Path, V.Pos + blk->headerSize, static_cast<int64_t>(h->packedSize)});
        V.Pos = next;
        return kRarOk;
    }
}

// Follows an entry into the next volumes until its last part.
int GatherParts(TArc& A, TEntry& E) {
    while (E.H.flags & aehdr::kRarFlagSplitAfter) {
        const int r = OpenNextVolume(A);
        if (r != kRarOk) return r;
        TEntry cont;
        bool next = false, badCrc = false;
        const int rr = ReadFileBlock(A, cont, next, badCrc);
        if (rr != kRarOk || badCrc || !(cont.H.flags & aehdr::kRarFlagSplitBefore) || cont.H.name != E.H.name)
            return rr == kRarOk || rr == kRarEndArchive ? kRarBrokenChain : rr;
        E.Parts.push_back(cont.Parts.front());
        E.Crc = cont.H.crc32;
        E.H.flags = static_cast<uint16_t>((E.H.flags & ~aehdr::kRarFlagSplitAfter) |
                                          (cont.H.flags & aehdr::kRarFlagSplitAfter));
    }
    return kRarOk;
}

int64_t PackedTotal(const TEntry& E) {
    int64_t t = 0;
    for (const TPart& p : E.Parts) t += p.Length;
    return t;
}

void Put32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) B[At + i] = static_cast<uint8_t>(V >> (8 * i));
}

// The entry's header as a one-volume archive holds it: volume flags cleared, the joined
// packed size and the whole file's CRC, the header CRC made again.
std::vector<uint8_t> PlainHeader(const TEntry& E) {
    std::vector<uint8_t> h = E.Header;
    const uint16_t flags =
        static_cast<uint16_t>((h[3] | h[4] << 8) & ~(aehdr::kRarFlagSplitBefore | aehdr::kRarFlagSplitAfter));
    h[3] = static_cast<uint8_t>(flags);
    h[4] = static_cast<uint8_t>(flags >> 8);
    const uint64_t packed = static_cast<uint64_t>(PackedTotal(E));
    Put32(h, 7, static_cast<uint32_t>(packed));
    if ((flags & aehdr::kRarFlagLarge) && h.size() >= 40) Put32(h, 32, static_cast<uint32_t>(packed >> 32));
    Put32(h, 16, E.Crc);
    const uint16_t crc = HeaderCrc(h.data(), h.size());
    h[0] = static_cast<uint8_t>(crc);
    h[1] = static_cast<uint8_t>(crc >> 8);
    return h;
}

// The stream libarchive reads: pieces of memory and ranges of volume files.
struct TSegment {
    std::vector<uint8_t> Bytes;
    TPart Range; // used when Bytes is empty
};
struct TStreamState {
    std::vector<TSegment> Segments;
    size_t Index = 0;
    int64_t Done = 0; // within the current segment
    int Fd = -1;
    std::string FdPath;
    std::vector<uint8_t> Buffer = std::vector<uint8_t>(65536);
    bool Failed = false;
    ~TStreamState() {
        if (Fd >= 0) ::close(Fd);
    }
};

la_ssize_t StreamRead(struct archive*, void* Client, const void** Out) {
    auto* s = static_cast<TStreamState*>(Client);
    while (s->Index < s->Segments.size()) {
        TSegment& seg = s->Segments[s->Index];
        if (!seg.Bytes.empty()) {
            *Out = seg.Bytes.data();
            ++s->Index;
            return static_cast<la_ssize_t>(seg.Bytes.size());
        }
        const int64_t left = seg.Range.Length - s->Done;
        if (left <= 0) {
            ++s->Index;
            s->Done = 0;
            continue;
        }
        if (s->FdPath != seg.Range.Path) {
            if (s->Fd >= 0) ::close(s->Fd);
            s->Fd = ::open(seg.Range.Path.c_str(), O_RDONLY | O_CLOEXEC);
            s->FdPath = seg.Range.Path;
        }
        const size_t want =
            static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(s->Buffer.size())));
        if (s->Fd < 0 || !ReadAt(s->Fd, seg.Range.Offset + s->Done, s->Buffer.data(), want)) {
            s->Failed = true;
            return -1;
        }
        s->Done += static_cast<int64_t>(want);
        *Out = s->Buffer.data();
        return static_cast<la_ssize_t>(want);
    }
    return 0;
}

std::vector<uint8_t> Block(uint8_t Type, uint16_t Flags, std::vector<uint8_t> Extra) {
    std::vector<uint8_t> b = {0, 0, Type, static_cast<uint8_t>(Flags), static_cast<uint8_t>(Flags >> 8),
                              0, 0};
    b.insert(b.end(), Extra.begin(), Extra.end());
    b[5] = static_cast<uint8_t>(b.size());
    b[6] = static_cast<uint8_t>(b.size() >> 8);
    const uint16_t crc = HeaderCrc(b.data(), b.size());
    b[0] = static_cast<uint8_t>(crc);
    b[1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

// Hands a block of the entry's data to the data callback and, when Out is open, writes it there.
int Deliver(const TArc& A, int Out, const void* Data, size_t Size) {
    auto* p = static_cast<const uint8_t*>(Data);
    if (A.Data && A.Data(const_cast<uint8_t*>(p), static_cast<int>(Size)) == 0) return kRarWriteError;
    for (size_t w = 0; Out >= 0 && w < Size;) {
        const ssize_t k = ::write(Out, p + w, Size - w);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return kRarWriteError;
        w += static_cast<size_t>(k);
    }
    return kRarOk;
}

// A stored entry: its parts are its data.
int CopyStored(const TArc& A, int Out) {
    if (static_cast<uint64_t>(PackedTotal(A.Current)) != A.Current.H.size) return kRarBadData;
    TStreamState s;
    for (const TPart& p : A.Current.Parts) s.Segments.push_back({{}, p});
    const void* block = nullptr;
    for (la_ssize_t n; (n = StreamRead(nullptr, &s, &block)) != 0;) {
        if (n < 0) return kRarReadError;
        if (const int r = Deliver(A, Out, block, static_cast<size_t>(n)); r != kRarOk) return r;
    }
    return kRarOk;
}

// Decodes the current entry through libarchive.
int Decode(const TArc& A, int Out) {
    TStreamState s;
    std::vector<uint8_t> head(aehdr::kRarMarker, aehdr::kRarMarker + 7);
    const std::vector<uint8_t> main = Block(aehdr::kRarTypeMain, 0, {0, 0, 0, 0, 0, 0});
    head.insert(head.end(), main.begin(), main.end());
    s.Segments.push_back({head, {}});
    s.Segments.push_back({PlainHeader(A.Current), {}});
    for (const TPart& p : A.Current.Parts) s.Segments.push_back({{}, p});
    s.Segments.push_back({Block(aehdr::kRarTypeEnd, 0x4000, {}), {}});

    std::unique_ptr<struct archive, int (*)(struct archive*)> a(archive_read_new(), archive_read_free);
    if (!a) return kRarNoMemory;
    archive_read_support_format_rar(a.get());
    if (archive_read_open(a.get(), &s, nullptr, StreamRead, nullptr) != ARCHIVE_OK) return kRarBadArchive;
    struct archive_entry* entry = nullptr;
    const int h = archive_read_next_header(a.get(), &entry);
    if (h != ARCHIVE_OK && h != ARCHIVE_WARN) return s.Failed ? kRarReadError : kRarBadData;
    const uint64_t size = A.Current.H.size;
    if (archive_entry_filetype(entry) == AE_IFLNK) {
        // libarchive keeps a link's data as its target.
        const char* target = archive_entry_symlink(entry);
        const size_t n = target ? std::strlen(target) : 0;
        if (n != size) return kRarBadData;
        return Deliver(A, Out, target, n);
    }
    uint64_t done = 0;
    std::vector<uint8_t> buf(65536);
    for (;;) {
        const la_ssize_t n = archive_read_data(a.get(), buf.data(), buf.size());
        if (n == 0) break;
        if (n < 0) {
            // A check failure after every byte came is the caller's to find from the data.
            if (done == size && !s.Failed) break;
            return s.Failed ? kRarReadError : kRarBadData;
        }
        done += static_cast<uint64_t>(n);
        if (const int r = Deliver(A, Out, buf.data(), static_cast<size_t>(n)); r != kRarOk) return r;
    }
    return done == size ? kRarOk : kRarBadData;
}

void FillRecord(const TArc& A, const TEntry& E, TRarHeaderData* D) {
    std::memset(D, 0, sizeof(*D));
    auto copy = [](char* To, const std::string& From) {
        const size_t n = std::min(From.size(), static_cast<size_t>(kRarNameSize - 1));
        std::memcpy(To, From.data(), n);
        To[n] = 0;
    };
    copy(D->ArcName, A.Vol.Path);
    uint32_t flags = E.H.flags;
    if (E.H.utf8Name)
        copy(D->FileName, *E.H.utf8Name);
    else {
        copy(D->FileName, E.H.name);
        flags &= ~uint32_t{aehdr::kRarFlagUnicode};
    }
    D->Flags = flags;
    D->PackSize = static_cast<uint64_t>(PackedTotal(E));
    D->UnpSize = E.H.size;
    D->HostOS = E.H.hostOs;
    D->FileCRC = E.Crc;
    D->FileTime = E.H.dosDateTime;
    D->UnpVer = E.H.version;
    D->Method = E.H.method;
    D->FileAttr = E.H.attributes;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void* RAROpenArchive(TRarOpenData* D) {
    if (!D) return nullptr;
    if (!D->ArcName) {
        D->OpenResult = kRarOpenError;
        return nullptr;
    }
    auto a = std::make_unique<TArc>();
    const int r = OpenVolume(a->Vol, D->ArcName);
    D->OpenResult = static_cast<unsigned>(r);
    if (r != kRarOk) return nullptr;
    a->NewNumbering = (a->Vol.MainFlags & aehdr::kRarMainFlagNewNumbering) != 0;
    return a.release();
}

__attribute__((visibility("default"))) int RARCloseArchive(void* H) {
    delete static_cast<TArc*>(H);
    return kRarOk;
}

__attribute__((visibility("default"))) int RARReadHeader(void* H, TRarHeaderData* D) {
    auto* a = static_cast<TArc*>(H);
    if (!a || !D) return kRarBadData;
    a->HaveCurrent = false;
    a->Record = nullptr;
    for (;;) {
        TEntry e;
        bool next = false, badCrc = false;
        const int r = ReadFileBlock(*a, e, next, badCrc);
        if (r == kRarEndArchive) {
            if (!next || OpenNextVolume(*a) != kRarOk) return kRarEndArchive;
            continue;
        }
        if (r != kRarOk) return r;
        // The rest of an entry from the previous volume: it was handled (or passed over) there.
        if (e.H.flags & aehdr::kRarFlagSplitBefore) continue;
        a->Current = std::move(e);
        a->HaveCurrent = true;
        a->Record = D;
        FillRecord(*a, a->Current, D);
        return badCrc ? kRarBadData : kRarOk;
    }
}

__attribute__((visibility("default"))) int RARProcessFile(void* H, int Operation, const char*,
                                                          const char* DestName) {
    auto* a = static_cast<TArc*>(H);
    if (!a || !a->HaveCurrent) return kRarBadData;
    a->HaveCurrent = false;
    TEntry& e = a->Current;
    if (Operation == kRarSkip) return kRarOk;
    const bool stored = e.H.method == kMethodStored;
    if (e.H.flags & aehdr::kRarFlagPassword) return kRarNotSupported;
    if (e.H.method < kMethodStored || e.H.method > 0x35) return kRarNotSupported;
    if (!stored && ((e.H.flags & aehdr::kRarFlagSolid) || e.H.version < kFirstDecodedVersion))
        return kRarNotSupported;
    const int g = GatherParts(*a, e);
    if (a->Record) {
        a->Record->PackSize = static_cast<uint64_t>(PackedTotal(e));
        a->Record->FileCRC = e.Crc;
    }
    if (g != kRarOk) return g;
    int out = -1;
    if (Operation == kRarExtract) {
        if (!DestName) return kRarCreateError;
        // The caller's file (made for us) or a new one; a symbolic link is never followed.
        out = ::open(DestName, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (out < 0 && errno == ENOENT)
            out = ::open(DestName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0) return kRarCreateError;
    }
    int r = stored ? CopyStored(*a, out) : Decode(*a, out);
    if (out >= 0 && ::close(out) != 0 && r == kRarOk) r = kRarCloseError;
    return r;
}

__attribute__((visibility("default"))) void RARSetChangeVolProc(void* H, TRarChangeVolProc Proc) {
    if (H) static_cast<TArc*>(H)->ChangeVol = Proc;
}

__attribute__((visibility("default"))) void RARSetProcessDataProc(void* H, TRarProcessDataProc Proc) {
    if (H) static_cast<TArc*>(H)->Data = Proc;
}

__attribute__((visibility("default"))) void RARSetPassword(void* H, const char* Password) {
    if (H) static_cast<TArc*>(H)->Password = Password ? Password : "";
}

} // extern "C"
