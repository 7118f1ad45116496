// unrar.dll stand-in. The block headers of each volume are read here (header CRCs checked,
// host system, attributes and CRC kept, volumes followed through the caller's volume
// callback under either naming scheme). A stored entry's data are copied here, part by part
// over the volumes; a compressed entry's packed parts are decoded by our own decoders for
// RAR 1.5, 2.0 and 2.9 compression, one dictionary per archive so that the entries of a
// solid archive continue one another. Encrypted entries are refused as not supported. A
// symbolic link's data are its target. Output goes only to the file name the caller gives,
// never through a symbolic link.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/aeCommon.h"
#include "archive/format/aeRarHeaders.h"
#include "archive/format/aeRarWalk.h"
#include "archive/format/aeUnRarDll.h"
#include "stubs/unrar/RarUnpack.h"

namespace {

using aehdr::Bytes;

constexpr uint16_t kEndNextVolume = 0x0001;
constexpr uint8_t kMethodStored = 0x30, kMethodBest = 0x35;

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
    std::unique_ptr<rar::TUnpacker> Unpacker; // made at the first compressed entry
    int Decoded = 0;                          // compressed entries decoded so far
    ~TArc() { Vol.Close(); }
};

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
        BadCrc = !RarFileHeaderCrcHolds(Bytes(hb), blk->crc);
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

// Reads an entry's packed parts in order, volume file by volume file.
class TPartReader {
public:
    explicit TPartReader(const std::vector<TPart>& P) : Parts(P) {}
    ~TPartReader() {
        if (Fd >= 0) ::close(Fd);
    }
    TPartReader(const TPartReader&) = delete;
    TPartReader& operator=(const TPartReader&) = delete;

    // Up to Count bytes: the count, 0 at the end, -1 on a read error.
    std::ptrdiff_t Read(uint8_t* Buf, size_t Count) {
        while (Index < Parts.size()) {
            const TPart& p = Parts[Index];
            const int64_t left = p.Length - Done;
            if (left <= 0) {
                ++Index;
                Done = 0;
                continue;
            }
            if (FdPath != p.Path) {
                if (Fd >= 0) ::close(Fd);
                Fd = ::open(p.Path.c_str(), O_RDONLY | O_CLOEXEC);
                FdPath = p.Path;
            }
            const size_t want = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(Count)));
            if (Fd < 0 || !ReadAt(Fd, p.Offset + Done, Buf, want)) return -1;
            Done += static_cast<int64_t>(want);
            return static_cast<std::ptrdiff_t>(want);
        }
        return 0;
    }

private:
    const std::vector<TPart>& Parts;
    size_t Index = 0;
    int64_t Done = 0; // within the current part
    int Fd = -1;
    std::string FdPath;
};

// Hands a block of the entry's data to the data callback and, when Out is open, writes it there.
int Deliver(const TArc& A, int Out, const void* Data, size_t Size) {
    auto* p = static_cast<const uint8_t*>(Data);
    if (A.Data && A.Data(const_cast<uint8_t*>(p), static_cast<int>(Size)) == 0) return kRarWriteError;
    for (size_t w = 0; Out >= 0 && w < Size;) {
        const ssize_t k = ::write(Out, p + w, Size - w);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            // The caller reads the reason from errno; a write that wrote nothing found no room.
            if (k == 0) errno = ENOSPC;
            return kRarWriteError;
        }
        w += static_cast<size_t>(k);
    }
    return kRarOk;
}

// A stored entry: its parts are its data. Stored entries leave a solid archive's dictionary
// alone.
int CopyStored(const TArc& A, int Out) {
    if (static_cast<uint64_t>(PackedTotal(A.Current)) != A.Current.H.size) return kRarBadData;
    TPartReader in(A.Current.Parts);
    std::vector<uint8_t> buf(65536);
    for (std::ptrdiff_t n; (n = in.Read(buf.data(), buf.size())) != 0;) {
        if (n < 0) return kRarReadError;
        if (const int r = Deliver(A, Out, buf.data(), static_cast<size_t>(n)); r != kRarOk) return r;
    }
    return kRarOk;
}

// Decodes the current entry, continuing the archive's dictionary when the entry is solid.
// Data go to the caller only when Deliver is set: an entry passed over in a solid archive is
// decoded all the same, as the next one builds on it.
int Decode(TArc& A, int Out, bool Deliver_) {
    const TEntry& e = A.Current;
    if (!A.Unpacker) A.Unpacker = std::make_unique<rar::TUnpacker>();
    // RAR 1.5 marks a solid archive in its archive header only; later versions mark each entry.
    const bool solid = (e.H.flags & aehdr::kRarFlagSolid) != 0 ||
                       (e.H.version < 20 && (A.Vol.MainFlags & aehdr::kRarMainFlagSolid) && A.Decoded > 0);
    TPartReader in(e.Parts);
    int failed = kRarOk;
    const rar::TResult r = A.Unpacker->Unpack(
        e.H.version, solid, e.H.size, [&in](uint8_t* Buf, size_t Count) { return in.Read(Buf, Count); },
        [&](const uint8_t* Data, size_t Size) {
            if (!Deliver_) return true;
            failed = Deliver(A, Out, Data, Size);
            return failed == kRarOk;
        });
    ++A.Decoded;
    switch (r) {
    case rar::TResult::Ok:
        return kRarOk;
    case rar::TResult::ReadError:
        return kRarReadError;
    case rar::TResult::WriteError:
        return failed != kRarOk ? failed : kRarWriteError;
    case rar::TResult::NotSupported:
        return kRarNotSupported;
    case rar::TResult::BadData:
        break;
    }
    return kRarBadData;
}

// Tests, extracts or passes over the entry just read. Passing over an entry of a solid
// archive still decodes it: the entries after it continue its dictionary.
int ProcessCurrent(TArc& A, int Operation, const char* DestName) {
    TEntry& e = A.Current;
    const bool stored = e.H.method == kMethodStored;
    const bool folder = (e.H.flags & aehdr::kRarFlagDirMask) == aehdr::kRarFlagDirMask;
    const bool decodable =
        !(e.H.flags & aehdr::kRarFlagPassword) && e.H.method >= kMethodStored && e.H.method <= kMethodBest;
    if (Operation == kRarSkip &&
        (stored || folder || !decodable || !(A.Vol.MainFlags & aehdr::kRarMainFlagSolid)))
        return kRarOk;
    if (!decodable) return kRarNotSupported;
    const int g = GatherParts(A, e);
    if (A.Record) {
        A.Record->PackSize = static_cast<uint64_t>(PackedTotal(e));
        A.Record->FileCRC = e.Crc;
    }
    if (g != kRarOk) return g;
    if (folder) return kRarOk;
    int out = -1;
    if (Operation == kRarExtract) {
        if (!DestName) return kRarCreateError;
        // The caller's file (made for us) or a new one; a symbolic link is never followed.
        out = ::open(DestName, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (out < 0 && errno == ENOENT)
            out = ::open(DestName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0) return kRarCreateError;
    }
    int r = stored ? CopyStored(A, out) : Decode(A, out, Operation != kRarSkip);
    const int failure = errno; // a failed write's reason, kept over the close
    if (out >= 0 && ::close(out) != 0 && r == kRarOk) return kRarCloseError;
    if (r != kRarOk) errno = failure;
    return r;
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
    if (a->HaveCurrent) {
        a->HaveCurrent = false;
        ProcessCurrent(*a, kRarSkip, nullptr);
    }
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
    return ProcessCurrent(*a, Operation, DestName);
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
