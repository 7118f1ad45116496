// unrar.dll stand-in. The block headers of each volume are read here (header CRCs checked,
// host system, attributes and CRC kept, volumes followed through the caller's volume
// callback); an entry's data are decoded by libarchive from a stream made of a plain archive
// header, the entry's header with its volume flags cleared and its packed parts joined, and
// an end block -- in a solid archive preceded by every earlier entry. Encrypted entries are
// not supported (libarchive cannot decrypt RAR) and say so. Output goes only to the file name
// the caller gives, never through a symbolic link.
#include <archive.h>
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
#include "archive/format/aeUnRarDll.h"

namespace {

using aehdr::Bytes;

constexpr uint16_t kMainSolid = 0x0008, kMainNewNumbering = 0x0010, kMainLockedHeaders = 0x0080;
constexpr uint16_t kEndNextVolume = 0x0001;

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
    void Close() {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }
};

struct TArc {
    TVolume Vol;
    bool SetIsVolumes = false, Solid = false, NewNumbering = false;
    TRarProcessDataProc Data = nullptr;
    TRarChangeVolProc ChangeVol = nullptr;
    std::string Password;
    bool HaveCurrent = false;
    TEntry Current;
    TRarHeaderData* Record = nullptr;
    std::vector<TEntry> History; // earlier entries of a solid archive
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
    // The marker: at the start, or after a self-extracting program.
    int64_t at = -1;
    constexpr size_t kWindow = 65536;
    for (int64_t pos = 0; pos < V.Size && at < 0 && pos < (int64_t{8} << 20); pos += kWindow - 6) {
        std::vector<uint8_t> b = Fetch(V, pos, kWindow);
        for (size_t i = 0; i + 7 <= b.size(); ++i)
            if (std::memcmp(b.data() + i, aehdr::kRarMarker, 7) == 0) {
                at = pos + static_cast<int64_t>(i);
                break;
            }
    }
    if (at < 0) return kRarBadArchive;
    std::vector<uint8_t> m = Fetch(V, at + 7, aehdr::kRarMainHeaderSize);
    auto main = aehdr::parseRarBlock(m);
    if (m.size() < aehdr::kRarMainHeaderSize || !main || main->type != aehdr::kRarTypeMain) return kRarBadArchive;
    std::vector<uint8_t> whole = Fetch(V, at + 7, main->headerSize);
    if (whole.size() < main->headerSize || HeaderCrc(whole.data(), whole.size()) != main->crc) return kRarBadData;
    V.MainFlags = main->flags;
    if (V.MainFlags & kMainLockedHeaders) return kRarNotSupported;
    V.Pos = at + 7 + main->headerSize;
    return kRarOk;
}

// The name the next volume has by the set's naming rule.
std::string NextVolumeName(const std::string& Path, bool NewNumbering) {
    const size_t slash = Path.rfind('/');
    const size_t dot = Path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Path + ".r00";
    if (NewNumbering) {
        // name.partNN.rar: the number before the extension goes up, keeping its width.
        size_t end = dot, start = dot;
        while (start > 0 && std::isdigit(static_cast<unsigned char>(Path[start - 1]))) --start;
        if (start < end) {
            std::string digits = Path.substr(start, end - start);
            for (size_t i = digits.size(); i-- > 0;) {
                if (digits[i] != '9') {
                    ++digits[i];
                    break;
                }
                digits[i] = '0';
                if (i == 0) digits.insert(digits.begin(), '1');
            }
            return Path.substr(0, start) + digits + Path.substr(end);
        }
    }
    std::string ext = Path.substr(dot + 1);
    const std::string stem = Path.substr(0, dot + 1);
    if (ext.size() == 3 && std::isdigit(static_cast<unsigned char>(ext[1])) &&
        std::isdigit(static_cast<unsigned char>(ext[2]))) {
        int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
        char letter = ext[0];
        if (n == 100) {
            n = 0;
            ++letter;
        }
        char buf[4] = {letter, static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), 0};
        return stem + buf;
    }
    const bool upper = !ext.empty() && std::isupper(static_cast<unsigned char>(ext[0]));
    return stem + (upper ? "R00" : "r00");
}

// Moves to the next volume of the set, as the caller agrees; the result code.
int OpenNextVolume(TArc& A) {
    if (!A.ChangeVol) return kRarBrokenChain;
    char name[kRarNameSize] = {};
    const std::string next = NextVolumeName(A.Vol.Path, A.NewNumbering);
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
        const size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(s->Buffer.size())));
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
    std::vector<uint8_t> b = {0, 0, Type, static_cast<uint8_t>(Flags), static_cast<uint8_t>(Flags >> 8), 0, 0};
    b.insert(b.end(), Extra.begin(), Extra.end());
    b[5] = static_cast<uint8_t>(b.size());
    b[6] = static_cast<uint8_t>(b.size() >> 8);
    const uint16_t crc = HeaderCrc(b.data(), b.size());
    b[0] = static_cast<uint8_t>(crc);
    b[1] = static_cast<uint8_t>(crc >> 8);
    return b;
}

void AddEntry(std::vector<TSegment>& Segs, const TEntry& E) {
    Segs.push_back({PlainHeader(E), {}});
    for (const TPart& p : E.Parts) Segs.push_back({{}, p});
}

// Decodes the current entry through libarchive, handing each block to the data callback
// and, when Out is open, writing it there.
int Decode(TArc& A, int Out) {
    TStreamState s;
    std::vector<uint8_t> head(aehdr::kRarMarker, aehdr::kRarMarker + 7);
    const std::vector<uint8_t> main = Block(aehdr::kRarTypeMain, A.Solid ? kMainSolid : 0, {0, 0, 0, 0, 0, 0});
    head.insert(head.end(), main.begin(), main.end());
    s.Segments.push_back({head, {}});
    if (A.Solid)
        for (const TEntry& e : A.History) AddEntry(s.Segments, e);
    AddEntry(s.Segments, A.Current);
    s.Segments.push_back({Block(aehdr::kRarTypeEnd, 0x4000, {}), {}});

    std::unique_ptr<struct archive, int (*)(struct archive*)> a(archive_read_new(), archive_read_free);
    if (!a) return kRarNoMemory;
    archive_read_support_format_rar(a.get());
    if (archive_read_open(a.get(), &s, nullptr, StreamRead, nullptr) != ARCHIVE_OK) return kRarBadArchive;
    struct archive_entry* entry = nullptr;
    const size_t skip = A.Solid ? A.History.size() : 0;
    for (size_t i = 0; i <= skip; ++i) {
        const int r = archive_read_next_header(a.get(), &entry);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return s.Failed ? kRarReadError : kRarBadData;
    }
    const uint64_t size = A.Current.H.size;
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
        if (A.Data && A.Data(buf.data(), static_cast<int>(n)) == 0) return kRarWriteError;
        if (Out >= 0) {
            size_t w = 0;
            while (w < static_cast<size_t>(n)) {
                const ssize_t k = ::write(Out, buf.data() + w, static_cast<size_t>(n) - w);
                if (k < 0 && errno == EINTR) continue;
                if (k <= 0) return kRarWriteError;
                w += static_cast<size_t>(k);
            }
        }
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
    a->SetIsVolumes = (a->Vol.MainFlags & aehdr::kRarMainFlagVolume) != 0;
    a->Solid = (a->Vol.MainFlags & kMainSolid) != 0;
    a->NewNumbering = (a->Vol.MainFlags & kMainNewNumbering) != 0;
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
    if (Operation == kRarSkip) {
        // A solid archive decodes every entry in order: a passed-over one is still needed.
        if (a->Solid && GatherParts(*a, e) == kRarOk) a->History.push_back(e);
        return kRarOk;
    }
    if (e.H.flags & aehdr::kRarFlagPassword) return kRarNotSupported;
    if (e.H.method < 0x30 || e.H.method > 0x35) return kRarNotSupported;
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
    int r = Decode(*a, out);
    if (out >= 0 && ::close(out) != 0 && r == kRarOk) r = kRarCloseError;
    if (a->Solid) a->History.push_back(e);
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
