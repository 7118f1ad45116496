// Stand-in for "unace.dll": opens ACE archives and their volumes (x.ace, x.c00, x.c01, ...),
// checks every header's CRC, and tests or extracts entries stored or packed with the ACE 1.0
// LZ77 method, solid archives included. Every byte handed back goes through the caller's data
// callback once; extraction writes only the file the caller names, never through a link.
// ACE 2.0 methods and encrypted entries are refused as not supported, naming the entry.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/format/aeAceDll.h"
#include "common/LittleEndian.h"
#include "stubs/unace/AceLz77.h"

using acestub::TAceDataError;
using acestub::TAceLz77;

namespace {

constexpr std::uint8_t kTypeMain = 0, kTypeFile = 1;
constexpr std::uint16_t kFlagAddSize = 0x0001;
constexpr std::uint16_t kMainSolid = 0x8000;
constexpr std::size_t kFileFixed = 31; // type, flags and the 28 bytes before the name
constexpr std::size_t kChunk = 1 << 16;

using pvcommon::GetLE16;
using pvcommon::GetLE32;

// The format's CRC-32: the usual polynomial, its register kept without the final inversion.
std::uint32_t AceCrc(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
    return ~static_cast<std::uint32_t>(crc32(~reg, p, static_cast<uInt>(n)));
}
constexpr std::uint32_t kCrcStart = 0xFFFFFFFFu;

// A failed call: the result code and the text for the caller.
struct Failure {
    int Code;
    std::string Text;
};

struct Entry {
    std::string Name;
    std::uint16_t Flags = 0;
    std::uint32_t Packed = 0, Size = 0, Time = 0, Attr = 0, Crc = 0;
    std::uint8_t Method = 0, Quality = 0;
    std::uint16_t Parameter = 0;
    std::uint64_t DataPos = 0; // in the current volume
};

struct Archive {
    TAceOpenArchiveData Open;
    std::string Volume; // the volume being read
    int Fd = -1;
    std::uint64_t Pos = 0; // the next header
    std::uint16_t MainFlags = 0;
    std::uint8_t Host = 0, VolumeNumber = 0;
    bool HaveEntry = false;
    Entry Cur;
    std::string Password;
    std::unique_ptr<TAceLz77> Lz;
    // The volumes an entry has run through (device, inode): a set that leads back to one of
    // them would never end.
    std::set<std::pair<dev_t, ino_t>> EntryVolumes;
    bool SolidHistoryOk = true; // false once an entry of a solid archive could not be decoded

    ~Archive() {
        if (Fd >= 0) ::close(Fd);
    }
    bool Solid() const { return (MainFlags & kMainSolid) != 0; }

    void Say(const std::string& text) {
        if (Open.MessageBuffer && Open.MessageBufferSize) {
            std::snprintf(Open.MessageBuffer, Open.MessageBufferSize, "%s", text.c_str());
        }
    }
    int Fail(const Failure& f) {
        Say(f.Text);
        return f.Code;
    }

    // Reads exactly n bytes at offset; false when the volume ends first.
    bool ReadAt(std::uint64_t off, void* buf, std::size_t n) {
        auto* p = static_cast<std::uint8_t*>(buf);
        while (n) {
            const ssize_t r = ::pread(Fd, p, n, static_cast<off_t>(off));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            p += r;
            off += static_cast<std::uint64_t>(r);
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }

    // One header block at Pos: its bytes from the type on. Empty at the clean end of the volume.
    std::vector<std::uint8_t> ReadBlock(std::uint64_t at) {
        std::uint8_t head[4];
        const ssize_t r = ::pread(Fd, head, 4, static_cast<off_t>(at));
        if (r == 0) return {};
        if (r != 4) throw Failure{kAceReadError, Volume + ": the archive ends inside a header"};
        const std::uint16_t size = GetLE16(head + 2);
        if (size < 3) throw Failure{kAceReadError, Volume + ": a damaged header"};
        std::vector<std::uint8_t> h(size);
        if (!ReadAt(at + 4, h.data(), size))
            throw Failure{kAceReadError, Volume + ": the archive ends inside a header"};
        if ((AceCrc(kCrcStart, h.data(), h.size()) & 0xFFFF) != GetLE16(head))
            throw Failure{kAceReadError, Volume + ": a header fails its CRC check"};
        return h;
    }

    // Opens a volume and reads its main header; Pos is then its first entry.
    void OpenVolume(const std::string& name) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw Failure{errno == ENOENT ? kAceNotFound : kAceOpenError, name + ": cannot be opened"};
        struct stat st {};
        if (::fstat(fd, &st) == 0 && !EntryVolumes.insert({st.st_dev, st.st_ino}).second) {
            ::close(fd);
            throw Failure{kAceReadError,
                          Cur.Name + ": volume " + name + " was read already (the set leads back)"};
        }
        if (Fd >= 0) ::close(Fd);
        Fd = fd;
        Volume = name;
        std::vector<std::uint8_t> h;
        try {
            h = ReadBlock(0);
        } catch (const Failure&) {
            throw Failure{kAceBadArchive, name + ": not an ACE archive or a damaged one"};
        }
        // type, flags, "**ACE**", version to extract, version made by, host, volume number
        if (h.size() < 3 + 7 + 4 || h[0] != kTypeMain || std::memcmp(h.data() + 3, "**ACE**", 7) != 0)
            throw Failure{kAceBadArchive, name + ": not an ACE archive"};
        MainFlags = GetLE16(h.data() + 1);
        Host = h[12];
        VolumeNumber = h[13];
        Pos = 4 + h.size();
    }

    // Fills Cur from a file header block read at `at`.
    void ParseFile(const std::vector<std::uint8_t>& h, std::uint64_t at) {
        if (h.size() < kFileFixed) throw Failure{kAceReadError, Volume + ": a damaged file header"};
        Entry e;
        e.Flags = GetLE16(h.data() + 1);
        e.Packed = GetLE32(h.data() + 3);
        e.Size = GetLE32(h.data() + 7);
        e.Time = GetLE32(h.data() + 11);
        e.Attr = GetLE32(h.data() + 15);
        e.Crc = GetLE32(h.data() + 19);
        e.Method = h[23];
        e.Quality = h[24];
        e.Parameter = GetLE16(h.data() + 25);
        const std::size_t nameLen = GetLE16(h.data() + 29);
        if (kFileFixed + nameLen > h.size()) throw Failure{kAceReadError, Volume + ": a damaged file header"};
        e.Name.assign(reinterpret_cast<const char*>(h.data()) + kFileFixed, nameLen);
        e.DataPos = at + 4 + h.size();
        Cur = std::move(e);
    }

    // The next file header of this volume (other blocks are passed over); false at its end.
    bool NextFileHeader() {
        for (;;) {
            const std::uint64_t at = Pos;
            std::vector<std::uint8_t> h = ReadBlock(at);
            if (h.empty()) return false;
            const std::uint16_t flags = GetLE16(h.data() + 1);
            std::uint64_t next = at + 4 + h.size();
            if (h[0] == kTypeFile) {
                ParseFile(h, at);
                Pos = Cur.DataPos + Cur.Packed;
                return true;
            }
            if (flags & kFlagAddSize) {
                if (h.size() < 7) throw Failure{kAceReadError, Volume + ": a damaged header"};
                next += GetLE32(h.data() + 3);
            }
            Pos = next;
        }
    }

    std::string NextVolumeName() const {
        const int number = VolumeNumber + 1; // the volume after this one: .c00 is number 1
        std::string base = Volume;
        const std::size_t dot = base.rfind('.');
        const std::size_t slash = base.rfind('/');
        bool upper = false;
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
            upper = dot + 1 < base.size() && std::isupper(static_cast<unsigned char>(base[dot + 1]));
            base.erase(dot);
        }
        char ext[8];
        std::snprintf(ext, sizeof ext, ".%c%02d", (upper ? 'C' : 'c') + (number - 1) / 100,
                      (number - 1) % 100);
        return base + ext;
    }

    // Moves to the next volume of a split entry: the volume callback may rename it or stop;
    // its first header must continue the entry.
    void ContinueInNextVolume() {
        char name[kAceNameSize];
        std::snprintf(name, sizeof name, "%s", NextVolumeName().c_str());
        const bool exists = ::access(name, F_OK) == 0;
        if (Open.VolumeProc) {
            if (!Open.VolumeProc(name, exists ? kAceVolumeNotify : kAceVolumeAsk, Open.User))
                throw Failure{kAceReadError,
                              Cur.Name + ": continues in volume " + name + ", which was not supplied"};
        } else if (!exists) {
            throw Failure{kAceReadError, Cur.Name + ": continues in volume " + name + ", which is missing"};
        }
        name[kAceNameSize - 1] = '\0';
        const std::string wanted = Cur.Name;
        OpenVolume(name);
        if (!NextFileHeader() || !(Cur.Flags & kAceHdrSplitBefore) || Cur.Name != wanted)
            throw Failure{kAceReadError, wanted + ": volume " + std::string(name) + " does not continue it"};
    }
};

// The packed bytes of the current entry, followed across volumes.
class PackedReader {
public:
    explicit PackedReader(Archive& A) : FA(A), FAt(A.Cur.DataPos), FLeft(A.Cur.Packed) {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) {
        while (FLeft == 0) {
            if (!(FA.Cur.Flags & kAceHdrSplitAfter)) return 0;
            FA.ContinueInNextVolume();
            FAt = FA.Cur.DataPos;
            FLeft = FA.Cur.Packed;
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, FLeft));
        if (!FA.ReadAt(FAt, buf, take))
            throw Failure{kAceReadError, FA.Cur.Name + ": the archive ends inside its data"};
        FAt += take;
        FLeft -= take;
        return take;
    }

private:
    Archive& FA;
    std::uint64_t FAt, FLeft;
};

// Writes the whole buffer; the result code of a failure.
int WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return errno == ENOSPC ? kAceDiskFull : kAceWriteError;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return kAceOk;
}

int Process(Archive& a, int op, const char* dest) {
    Entry e = a.Cur; // the first part's header (a split entry's parts share name, size and CRC)
    a.HaveEntry = false;
    a.EntryVolumes.clear();
    struct stat st {};
    if (::fstat(a.Fd, &st) == 0) a.EntryVolumes.insert({st.st_dev, st.st_ino});
    const bool lz = e.Method == 1;
    const bool wantData = op == kAceTest || op == kAceExtract;
    // In a solid archive every entry, stored ones too, passes through the window, so the
    // ones after it can refer to it: skipped entries are decoded all the same.
    const bool decode = wantData || a.Solid();
    if (decode) {
        if (e.Flags & kAceHdrPassword) {
            a.SolidHistoryOk = false;
            throw Failure{kAceNotSupported, e.Name + ": encrypted entries are not supported"};
        }
        if (e.Method > 1) {
            a.SolidHistoryOk = false;
            throw Failure{kAceNotSupported, e.Name + ": ACE 2.0 compression is not supported"};
        }
        if (a.Solid() && !a.SolidHistoryOk)
            throw Failure{kAceReadError,
                          e.Name + ": cannot be decoded after an earlier entry of the solid archive failed"};
    }
    if (!decode) {
        // Pass over the data, volume after volume.
        while (a.Cur.Flags & kAceHdrSplitAfter) a.ContinueInNextVolume();
        return kAceOk;
    }
    PackedReader in(a);
    int fd = -1;
    if (op == kAceExtract) {
        if (!dest || !*dest) throw Failure{kAceOpenError, e.Name + ": no file to write to"};
        fd = ::open(dest, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) throw Failure{kAceOpenError, std::string(dest) + ": cannot be created"};
    }
    struct Closer {
        int& fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{fd};
    if (!a.Lz && (lz || a.Solid())) a.Lz = std::make_unique<TAceLz77>();
    if (lz) a.Lz->BeginFile([&in](std::uint8_t* b, std::size_t n) { return in.Read(b, n); }, a.Solid());
    std::vector<std::uint8_t> buf(kChunk);
    std::uint32_t crc = kCrcStart;
    std::uint64_t left = e.Size;
    try {
        while (left) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
            if (lz) {
                a.Lz->Read(buf.data(), n);
            } else {
                std::size_t got = 0;
                while (got < n) {
                    const std::size_t r = in.Read(buf.data() + got, n - got);
                    if (r == 0) throw Failure{kAceReadError, e.Name + ": the archive ends inside its data"};
                    got += r;
                }
                if (a.Solid()) a.Lz->Feed(buf.data(), n);
            }
            left -= n;
            if (!wantData) continue;
            crc = AceCrc(crc, buf.data(), n);
            if (a.Open.DataProc && !a.Open.DataProc(buf.data(), static_cast<std::uint32_t>(n), a.Open.User))
                throw Failure{kAceUserCancel, e.Name + ": cancelled"};
            if (fd >= 0) {
                const int w = WriteAll(fd, buf.data(), n);
                if (w != kAceOk) throw Failure{w, std::string(dest) + ": cannot be written"};
            }
        }
        // Parts of the data not needed for the size (a stored entry's slack) are passed over,
        // and so are the remaining volumes of a split entry.
        while (a.Cur.Flags & kAceHdrSplitAfter) a.ContinueInNextVolume();
    } catch (const TAceDataError& x) {
        if (a.Solid()) a.SolidHistoryOk = false;
        throw Failure{kAceReadError, e.Name + ": damaged data (" + x.what() + ")"};
    } catch (const Failure&) {
        if (a.Solid()) a.SolidHistoryOk = false;
        throw;
    }
    if (fd >= 0 && ::close(fd) != 0) {
        fd = -1;
        throw Failure{kAceWriteError, std::string(dest) + ": cannot be written"};
    }
    fd = -1;
    if (wantData && crc != e.Crc) throw Failure{kAceBadCrc, e.Name + ": CRC error"};
    return kAceOk;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) TAceHandle ACEOpenArchive(TAceOpenArchiveData* data) {
    if (!data) return nullptr;
    if (!data->ArcName) {
        data->OpenResult = kAceOpenError;
        return nullptr;
    }
    auto a = std::unique_ptr<Archive>(new (std::nothrow) Archive);
    if (!a) {
        data->OpenResult = kAceNoMemory;
        return nullptr;
    }
    a->Open = *data;
    try {
        a->OpenVolume(data->ArcName);
    } catch (const Failure& f) {
        data->OpenResult = a->Fail(f);
        return nullptr;
    } catch (const std::bad_alloc&) {
        data->OpenResult = kAceNoMemory;
        return nullptr;
    }
    data->OpenResult = kAceOk;
    return a.release();
}

__attribute__((visibility("default"))) int ACECloseArchive(TAceHandle h) {
    delete static_cast<Archive*>(h);
    return kAceOk;
}

__attribute__((visibility("default"))) int ACEReadHeader(TAceHandle h, TAceHeaderData* hd) {
    auto* a = static_cast<Archive*>(h);
    if (!a || !hd) return kAceBadArchive;
    try {
        if (a->HaveEntry) Process(*a, kAceSkip, nullptr); // the entry before was not processed
        for (;;) {
            if (!a->NextFileHeader()) return kAceEndOfArchive;
            // A part continuing an entry of a volume before this one cannot be read alone.
            if (!(a->Cur.Flags & kAceHdrSplitBefore)) break;
        }
    } catch (const Failure& f) {
        a->HaveEntry = false;
        return a->Fail(f);
    } catch (const std::bad_alloc&) {
        return kAceNoMemory;
    }
    *hd = TAceHeaderData{};
    std::snprintf(hd->FileName, sizeof hd->FileName, "%s", a->Cur.Name.c_str());
    hd->Flags = a->Cur.Flags;
    hd->PackSize = a->Cur.Packed;
    hd->UnpSize = a->Cur.Size;
    hd->FileTime = a->Cur.Time;
    hd->FileAttr = a->Cur.Attr;
    hd->FileCRC = a->Cur.Crc;
    hd->Method = a->Cur.Method;
    hd->Quality = a->Cur.Quality;
    hd->Parameter = a->Cur.Parameter;
    hd->HostOS = a->Host;
    hd->VolumeNumber = a->VolumeNumber;
    a->HaveEntry = true;
    return kAceOk;
}

__attribute__((visibility("default"))) int ACEProcessFile(TAceHandle h, int op, const char* dest) {
    auto* a = static_cast<Archive*>(h);
    if (!a) return kAceBadArchive;
    if (!a->HaveEntry) return a->Fail({kAceBadArchive, "no entry has been read"});
    try {
        return Process(*a, op, dest);
    } catch (const Failure& f) {
        return a->Fail(f);
    } catch (const std::bad_alloc&) {
        return kAceNoMemory;
    }
}

__attribute__((visibility("default"))) int ACESetPassword(TAceHandle h, const char* password) {
    auto* a = static_cast<Archive*>(h);
    if (!a) return kAceBadArchive;
    a->Password = password ? password : "";
    return kAceOk;
}

} // extern "C"
