// The reading side of cabinet.dll (FDI) over libmspack. The cabinet is read through the
// caller's open/read/seek/close callbacks; the data of a file the caller takes goes to the
// caller's write callback with the handle its copy-file answer gave. A file continued in the
// next cabinet asks for that cabinet (next-cabinet notification) and is completed from it;
// files continued from an earlier cabinet are announced as partial and never offered. (A
// file that begins inside such a continued folder cannot be decoded without the earlier
// cabinets; libmspack refuses it and the copy fails with a damaged-cabinet error.)
#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <list>
#include <string>
#include <vector>

#include "archive/format/aeCabHeaders.h"
#include "archive/format/aeCabDll.h"

namespace {

constexpr const char* kOutputName = "\x01output"; // the name under which libmspack writes a file

struct FdiContext;

struct FdiFile {
    bool output = false;
    TCabHandle hf = -1;
    FdiContext* ctx = nullptr;
};

struct FdiContext {
    mspack_system sys{}; // first: libmspack hands it back as `self`
    TCabAlloc alloc = nullptr;
    TCabFree free = nullptr;
    TFdiOpen open = nullptr;
    TFdiRead read = nullptr;
    TFdiWrite write = nullptr;
    TFdiClose close = nullptr;
    TFdiSeek seek = nullptr;
    TCabErf* erf = nullptr;
    TCabHandle outHandle = -1; // the handle of the file being extracted
    bool writeFailed = false;
};

// libmspack hands its decompressors a copy of the system record, so `self` does not always
// lead back to the context: the FDICopy under way is remembered here instead. It sits in the
// static TLS block rather than in one allocated at load time: the sanitizer builds' leak
// checker misreads a loaded library's dynamic TLS and crashes at exit.
__attribute__((tls_model("initial-exec"))) thread_local FdiContext* tCurrent = nullptr;

mspack_file* SysOpen(mspack_system*, const char* filename, int mode) {
    FdiContext* c = tCurrent;
    if (!c) return nullptr;
    auto* f = new (std::nothrow) FdiFile;
    if (!f) return nullptr;
    f->ctx = c;
    if (std::strcmp(filename, kOutputName) == 0) {
        f->output = true;
        f->hf = c->outHandle;
        return reinterpret_cast<mspack_file*>(f);
    }
    if (mode != MSPACK_SYS_OPEN_READ) {
        delete f;
        return nullptr; // the cabinet is only ever read
    }
    std::string name(filename);
    f->hf = c->open(name.data(), kCabOpenRead | kCabOpenBinary, 0);
    if (f->hf == -1) {
        delete f;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(f);
}

void SysClose(mspack_file* file) {
    auto* f = reinterpret_cast<FdiFile*>(file);
    if (!f) return;
    if (!f->output) f->ctx->close(f->hf);
    delete f;
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<FdiFile*>(file);
    if (f->output || bytes < 0) return -1;
    const uint32_t got = f->ctx->read(f->hf, buffer, static_cast<uint32_t>(bytes));
    return got == static_cast<uint32_t>(-1) ? -1 : static_cast<int>(got);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<FdiFile*>(file);
    if (!f->output || bytes < 0) return -1;
    if (bytes == 0) return 0;
    const uint32_t put = f->ctx->write(f->hf, buffer, static_cast<uint32_t>(bytes));
    if (put != static_cast<uint32_t>(bytes)) {
        f->ctx->writeFailed = true;
        return -1;
    }
    return bytes;
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
    auto* f = reinterpret_cast<FdiFile*>(file);
    if (f->output) return -1;
    const int origin = mode == MSPACK_SYS_SEEK_START ? 0 : mode == MSPACK_SYS_SEEK_CUR ? 1 : 2;
    return f->ctx->seek(f->hf, static_cast<long>(offset), origin) < 0 ? -1 : 0;
}

off_t SysTell(mspack_file* file) {
    auto* f = reinterpret_cast<FdiFile*>(file);
    if (f->output) return -1;
    return static_cast<off_t>(f->ctx->seek(f->hf, 0, 1));
}

void SysMessage(mspack_file*, const char*, ...) {}

// Plain heap blocks (the caller's allocation routines hand out the same).
void* SysAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes ? bytes : 1);
}

void SysFree(void* p) {
    std::free(p);
}

void SysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

void Fail(TCabErf* erf, int code, int type = 0) {
    if (!erf) return;
    erf->erfOper = code;
    erf->erfType = type;
    erf->fError = 1;
}

int FdiErrorOf(int mspackError) {
    switch (mspackError) {
    case MSPACK_ERR_OPEN:
        return fdiErrCabinetNotFound;
    case MSPACK_ERR_SIGNATURE:
        return fdiErrNotACabinet;
    case MSPACK_ERR_NOMEMORY:
        return fdiErrAllocFail;
    case MSPACK_ERR_WRITE:
        return fdiErrTargetFile;
    default:
        return fdiErrCorruptCabinet;
    }
}

// The raw file records of one cabinet (libmspack does not tell a file's folder index).
bool ReadFileRecords(FdiContext& c, const std::string& path, aehdr::CabHeader& header,
                     std::vector<aehdr::CabFile>& files) {
    std::string name = path;
    const TCabHandle hf = c.open(name.data(), kCabOpenRead | kCabOpenBinary, 0);
    if (hf == -1) return false;
    // The header with its names, then the file records (each at most 16 + 256 bytes).
    auto readAt = [&](long at, size_t count, std::vector<uint8_t>& out) {
        out.resize(count);
        if (c.seek(hf, at, 0) != at) return false;
        const uint32_t got = c.read(hf, out.data(), static_cast<uint32_t>(count));
        if (got == static_cast<uint32_t>(-1)) return false;
        out.resize(got);
        return true;
    };
    const long size = c.seek(hf, 0, 2);
    std::vector<uint8_t> head, table;
    bool ok =
        size > 0 && size < (1L << 32) && readAt(0, std::min<size_t>(static_cast<size_t>(size), 70000), head);
    std::optional<aehdr::CabHeader> h;
    if (ok) h = aehdr::parseCabHeader(head);
    ok = ok && h && h->firstFileOffset < static_cast<unsigned long>(size) &&
         readAt(static_cast<long>(h->firstFileOffset),
                std::min<size_t>(static_cast<size_t>(size) - h->firstFileOffset, size_t{h->fileCount} * 272),
                table);
    c.close(hf);
    if (!ok) return false;
    header = *h;
    size_t at = 0;
    for (unsigned i = 0; i < h->fileCount; ++i) {
        if (at >= table.size()) return false;
        auto f = aehdr::parseCabFile(aehdr::Bytes(table).subspan(at));
        if (!f) return false;
        at += f->recordLength;
        files.push_back(std::move(*f));
    }
    return true;
}

// Whether two files of one folder claim the same bytes of it: every such file would be
// decoded from the same data again and again (a small cabinet could write without end).
bool FilesOverlap(std::vector<aehdr::CabFile> files) {
    std::sort(files.begin(), files.end(), [](const aehdr::CabFile& a, const aehdr::CabFile& b) {
        return a.folderIndex != b.folderIndex ? a.folderIndex < b.folderIndex
                                              : a.folderOffset < b.folderOffset;
    });
    for (size_t i = 1; i < files.size(); ++i) {
        const aehdr::CabFile &a = files[i - 1], &b = files[i];
        if (a.folderIndex == b.folderIndex && a.size > 0 && b.size > 0 &&
            uint64_t{a.folderOffset} + a.size > b.folderOffset)
            return true;
    }
    return false;
}

// Fixed-size, zero-terminated copy into a notification buffer.
void CopyName(char* dest, const std::string& s) {
    std::strncpy(dest, s.c_str(), 255);
    dest[255] = '\0';
}

// The cabinets opened for one copy, in set order. Closing one cabinet of a joined set frees
// the whole set, so only one of each joined group is closed.
struct Cabinet {
    mscab_decompressor* d = nullptr;
    std::vector<mscabd_cabinet*> opened;
    std::vector<mscabd_cabinet*> owners;
    std::list<std::string> paths; // libmspack keeps the name it opened a cabinet by
    const char* Keep(const std::string& p) { return paths.emplace_back(p).c_str(); }
    void Add(mscabd_cabinet* c) {
        opened.push_back(c);
        owners.push_back(c);
    }
    void Joined() { owners.pop_back(); }
    ~Cabinet() {
        if (!d) return;
        for (mscabd_cabinet* c : owners) d->close(d, c);
    }
};

int DoCopy(FdiContext& c, const std::string& cabName, const std::string& cabPath, TFdiNotify notify,
           void* user) {
    mscab_decompressor* d = mspack_create_cab_decompressor(&c.sys);
    if (!d) {
        Fail(c.erf, fdiErrAllocFail);
        return 0;
    }
    struct Destroy {
        mscab_decompressor* d;
        ~Destroy() { mspack_destroy_cab_decompressor(d); }
    } destroy{d};
    Cabinet set;
    set.d = d;
    const std::string path = cabPath + cabName;
    aehdr::CabHeader header;
    std::vector<aehdr::CabFile> records;
    mscabd_cabinet* cab = d->open(d, set.Keep(path));
    if (!cab) {
        Fail(c.erf, FdiErrorOf(d->last_error(d)));
        return 0;
    }
    set.Add(cab);
    if (!ReadFileRecords(c, path, header, records)) {
        Fail(c.erf, fdiErrCorruptCabinet);
        return 0;
    }
    // The files of this cabinet as libmspack lists them, before any later cabinet joins.
    std::vector<mscabd_file*> files;
    for (mscabd_file* f = cab->files; f; f = f->next) files.push_back(f);
    if (files.size() != records.size()) {
        Fail(c.erf, fdiErrCorruptCabinet);
        return 0;
    }
    for (size_t i = 0; i < files.size(); ++i)
        if (records[i].name != files[i]->filename || records[i].size != files[i]->length) {
            Fail(c.erf, fdiErrCorruptCabinet);
            return 0;
        }
    if (FilesOverlap(records)) {
        Fail(c.erf, fdiErrCorruptCabinet);
        return 0;
    }

    char buf1[256], buf2[256], buf3[256];
    TFdiNotification n{};
    n.pv = user;
    auto reset = [&] {
        std::memset(&n, 0, sizeof(n));
        n.pv = user;
        buf1[0] = buf2[0] = buf3[0] = '\0';
        n.psz1 = buf1;
        n.psz2 = buf2;
        n.psz3 = buf3;
    };
    reset();
    CopyName(buf1, header.nextCabinet);
    CopyName(buf2, header.nextDisk);
    CopyName(buf3, cabPath);
    n.setID = header.setId;
    n.iCabinet = header.cabinetIndex;
    if (notify(fdintCABINET_INFO, &n) == -1) {
        Fail(c.erf, fdiErrUserAbort);
        return 0;
    }

    // The next cabinets joined so far: the last one's header tells where the set goes on.
    aehdr::CabHeader last = header;
    std::vector<aehdr::CabFile> lastRecords = records;
    std::string lastPath = cabPath;

    // Where decoding failed: the folder and the offset in it of the file that could not be
    // decoded. The decoder cannot step over damage in a folder's stream (a file after it would
    // come out shifted or wrong), so later files of that folder fail with it.
    struct Damage {
        int error = fdiErrNone;
        uint16_t folder = 0;
        uint32_t offset = 0;
    } damage;
    bool appended = false;
    for (size_t i = 0; i < files.size(); ++i) {
        const aehdr::CabFile& rec = records[i];
        const uint16_t date = static_cast<uint16_t>(rec.dosDateTime >> 16);
        const uint16_t time = static_cast<uint16_t>(rec.dosDateTime & 0xFFFF);
        reset();
        CopyName(buf1, rec.name);
        if (rec.folderIndex == aehdr::kCabContinuedFromPrev ||
            rec.folderIndex == aehdr::kCabContinuedPrevAndNext) {
            CopyName(buf2, header.prevCabinet);
            CopyName(buf3, header.prevDisk);
            if (notify(fdintPARTIAL_FILE, &n) == -1) {
                Fail(c.erf, fdiErrUserAbort);
                return 0;
            }
            continue;
        }
        n.cb = static_cast<long>(rec.size);
        n.date = date;
        n.time = time;
        n.attribs = rec.attributes;
        n.iFolder = rec.folderIndex;
        const TCabHandle hf = notify(fdintCOPY_FILE, &n);
        if (hf == -1) {
            Fail(c.erf, fdiErrUserAbort);
            return 0;
        }
        if (hf == 0) continue;
        // A file continued in the next cabinet: join the cabinets its folder reaches.
        bool needNext = rec.folderIndex == aehdr::kCabContinuedToNext && !appended;
        appended = appended || needNext;
        while (needNext) {
            if (last.nextCabinet.empty()) {
                Fail(c.erf, fdiErrCabinetNotFound);
                return 0;
            }
            reset();
            CopyName(buf1, last.nextCabinet);
            CopyName(buf2, last.nextDisk);
            CopyName(buf3, lastPath);
            n.fdie = fdiErrNone;
            if (notify(fdintNEXT_CABINET, &n) == -1) {
                Fail(c.erf, fdiErrUserAbort);
                return 0;
            }
            const std::string nextPath = std::string(buf3) + buf1;
            aehdr::CabHeader nextHeader;
            std::vector<aehdr::CabFile> nextRecords;
            mscabd_cabinet* next = d->open(d, set.Keep(nextPath));
            if (!next) {
                Fail(c.erf, FdiErrorOf(d->last_error(d)));
                return 0;
            }
            set.Add(next);
            if (!ReadFileRecords(c, nextPath, nextHeader, nextRecords) || nextHeader.setId != last.setId) {
                Fail(c.erf, fdiErrWrongCabinet);
                return 0;
            }
            if (d->append(d, set.opened[set.opened.size() - 2], next) != MSPACK_ERR_OK) {
                Fail(c.erf, fdiErrWrongCabinet);
                return 0;
            }
            set.Joined();
            last = nextHeader;
            lastRecords = std::move(nextRecords);
            lastPath = buf3;
            // Goes on only while the joined folder itself runs into a further cabinet.
            needNext = false;
            for (const auto& f : lastRecords)
                if (f.folderIndex == aehdr::kCabContinuedPrevAndNext) needNext = true;
        }
        c.outHandle = hf;
        c.writeFailed = false;
        int failed = fdiErrNone;
        if (damage.error != fdiErrNone && rec.folderIndex == damage.folder &&
            uint64_t{rec.folderOffset} + rec.size > damage.offset) {
            failed = damage.error; // behind the damage in the same stream
        } else if (const int err = d->extract(d, files[i], kOutputName); err != MSPACK_ERR_OK) {
            // An output that cannot be written, or memory running out, ends the copy; damaged
            // data fail this file (and those behind it in its folder) only.
            if (c.writeFailed || err == MSPACK_ERR_WRITE || err == MSPACK_ERR_NOMEMORY) {
                Fail(c.erf, c.writeFailed ? fdiErrTargetFile : FdiErrorOf(err), err);
                return 0;
            }
            failed = FdiErrorOf(err);
            if (damage.error == fdiErrNone || rec.folderIndex != damage.folder ||
                rec.folderOffset < damage.offset)
                damage = {failed, rec.folderIndex, rec.folderOffset};
        }
        reset();
        n.fdie = failed;
        CopyName(buf1, rec.name);
        n.hf = hf;
        n.date = date;
        n.time = time;
        n.attribs = rec.attributes;
        n.cb = (rec.attributes & 0x40) ? 1 : 0;
        n.iFolder = rec.folderIndex;
        if (notify(fdintCLOSE_FILE_INFO, &n) == -1) {
            Fail(c.erf, fdiErrUserAbort);
            return 0;
        }
    }
    return 1;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) HFDI FDICreate(TCabAlloc pfnalloc, TCabFree pfnfree, TFdiOpen pfnopen,
                                                      TFdiRead pfnread, TFdiWrite pfnwrite,
                                                      TFdiClose pfnclose, TFdiSeek pfnseek, int,
                                                      TCabErf* perf) {
    if (perf) *perf = TCabErf{};
    if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
        Fail(perf, fdiErrAllocFail);
        return nullptr;
    }
    auto* c = new (std::nothrow) FdiContext;
    if (!c) {
        Fail(perf, fdiErrAllocFail);
        return nullptr;
    }
    c->alloc = pfnalloc;
    c->free = pfnfree;
    c->open = pfnopen;
    c->read = pfnread;
    c->write = pfnwrite;
    c->close = pfnclose;
    c->seek = pfnseek;
    c->erf = perf;
    c->sys.open = SysOpen;
    c->sys.close = SysClose;
    c->sys.read = SysRead;
    c->sys.write = SysWrite;
    c->sys.seek = SysSeek;
    c->sys.tell = SysTell;
    c->sys.message = SysMessage;
    c->sys.alloc = SysAlloc;
    c->sys.free = SysFree;
    c->sys.copy = SysCopy;
    c->sys.null_ptr = nullptr;
    return c;
}

__attribute__((visibility("default"))) int FDIIsCabinet(HFDI hfdi, TCabHandle hf, TFdiCabinetInfo* info) {
    auto* c = static_cast<FdiContext*>(hfdi);
    if (!c) return 0;
    uint8_t h[aehdr::CabHeader::kFixedSize];
    if (c->read(hf, h, sizeof(h)) != sizeof(h)) return 0;
    if (std::memcmp(h, "MSCF", 4) != 0) return 0;
    if (info) {
        info->cbCabinet = static_cast<long>(aehdr::le32(h + 8));
        info->cFolders = aehdr::le16(h + 26);
        info->cFiles = aehdr::le16(h + 28);
        const uint16_t flags = aehdr::le16(h + 30);
        info->setID = aehdr::le16(h + 32);
        info->iCabinet = aehdr::le16(h + 34);
        info->fReserve = (flags & aehdr::kCabFlagReserve) != 0;
        info->hasprev = (flags & aehdr::kCabFlagPrev) != 0;
        info->hasnext = (flags & aehdr::kCabFlagNext) != 0;
    }
    return 1;
}

__attribute__((visibility("default"))) int FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int,
                                                   TFdiNotify pfnfdin, TFdiDecrypt, void* pvUser) {
    auto* c = static_cast<FdiContext*>(hfdi);
    if (!c || !pszCabinet || !pfnfdin) return 0;
    if (c->erf) *c->erf = TCabErf{};
    tCurrent = c;
    struct Leave {
        ~Leave() { tCurrent = nullptr; }
    } leave;
    try {
        return DoCopy(*c, pszCabinet, pszCabPath ? pszCabPath : "", pfnfdin, pvUser);
    } catch (const std::exception&) {
        Fail(c->erf, fdiErrAllocFail);
        return 0;
    }
}

__attribute__((visibility("default"))) int FDIDestroy(HFDI hfdi) {
    delete static_cast<FdiContext*>(hfdi);
    return 1;
}

} // extern "C"
