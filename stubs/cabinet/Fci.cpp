// The writing side of cabinet.dll (FCI), our own. Files are compressed, folder by folder,
// into 32 KiB checksummed data blocks kept in a temporary file (made through the caller's
// temporary-name and open callbacks); flushing the cabinet writes the header, the folder and
// file records and then the blocks. A new folder starts when the compression type changes or
// the folder has reached the folder threshold. Types: 0 stored, 1 MSZIP ("CK" and a deflate
// stream per block, the previous block as its dictionary; a block deflate cannot shrink goes
// as a stored deflate block), 3 LZX (window 15..21). Quantum is refused.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive/format/aeCabDll.h"
#include "stubs/cabinet/LzxEncode.h"
#include "common/LittleEndian.h"

namespace {

constexpr size_t kBlockSize = 32768;
constexpr size_t kHeaderSize = 36, kFolderSize = 8, kFileFixed = 16, kDataHeader = 8;

void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
    Put16(o, v & 0xFFFF);
    Put16(o, v >> 16);
}

// The data block checksum: the data, then the two size fields, folded 32 bits at a time.
uint32_t Checksum(const uint8_t* p, size_t n, uint32_t seed) {
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) sum ^= pvcommon::GetLE32(p + i);
    uint32_t ul = 0;
    switch (n & 3) {
    case 3:
        ul |= uint32_t{p[i++]} << 16;
        [[fallthrough]];
    case 2:
        ul |= uint32_t{p[i++]} << 8;
        [[fallthrough]];
    case 1:
        ul |= p[i];
        break;
    default:
        break;
    }
    return sum ^ ul;
}

struct FciFolder {
    uint64_t dataOffset = 0; // in the data file
    uint32_t blocks = 0;
    uint16_t type = 0;
    uint64_t size = 0; // uncompressed
};

struct FciFile {
    uint32_t size = 0, offset = 0;
    uint16_t folder = 0, date = 0, time = 0, attribs = 0;
    std::string name;
};

struct FciContext {
    TCabErf* erf = nullptr;
    TFciFilePlaced placed = nullptr;
    TCabAlloc alloc = nullptr;
    TCabFree free = nullptr;
    TFciOpen open = nullptr;
    TFciRead read = nullptr;
    TFciWrite write = nullptr;
    TFciClose close = nullptr;
    TFciSeek seek = nullptr;
    TFciDelete del = nullptr;
    TFciGetTempFile temp = nullptr;
    TCCAB ccab{};
    void* pv = nullptr;

    std::string dataName;
    TCabHandle data = -1;
    uint64_t dataSize = 0;
    std::vector<FciFolder> folders;
    std::vector<FciFile> files;
    bool folderOpen = false;
    std::vector<uint8_t> pending;    // uncompressed bytes of the block being filled
    std::vector<uint8_t> dictionary; // the previous MSZIP block
    std::unique_ptr<LzxEncoder> lzx;
    std::unique_ptr<z_stream> zs;
    TFciStatus status = nullptr;

    ~FciContext() {
        if (zs) deflateEnd(zs.get());
    }
};

bool Fail(FciContext& c, int code, int type = 0) {
    if (c.erf) {
        c.erf->erfOper = code;
        c.erf->erfType = type;
        c.erf->fError = 1;
    }
    return false;
}

// Writes all n bytes; false with the system's error in err (ENOSPC when the write only
// stopped short).
bool WriteAll(FciContext& c, TCabHandle hf, const void* p, size_t n, int& err) {
    err = 0;
    if (c.write(hf, const_cast<void*>(p), static_cast<uint32_t>(n), &err, c.pv) == n && err == 0) return true;
    if (err == 0) err = ENOSPC;
    return false;
}

bool OpenDataFile(FciContext& c) {
    if (c.data != -1) return true;
    char name[256] = {};
    if (!c.temp(name, sizeof(name), c.pv)) return Fail(c, fciErrTempFile);
    int err = 0;
    c.data = c.open(name, kCabOpenCreate | kCabOpenTruncate | kCabOpenReadWrite | kCabOpenBinary, 0600, &err,
                    c.pv);
    if (c.data == -1) return Fail(c, fciErrTempFile, err);
    c.dataName = name;
    return true;
}

// MSZIP: "CK" and a deflate stream of the block, with the previous block as dictionary.
bool MsZipBlock(FciContext& c, const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
    out.assign({'C', 'K'});
    if (!c.zs) {
        c.zs = std::make_unique<z_stream>();
        std::memset(c.zs.get(), 0, sizeof(z_stream));
        if (deflateInit2(c.zs.get(), 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            c.zs.reset();
            return Fail(c, fciErrAllocFail);
        }
    }
    z_stream& z = *c.zs;
    deflateReset(&z);
    if (!c.dictionary.empty())
        deflateSetDictionary(&z, c.dictionary.data(), static_cast<uInt>(c.dictionary.size()));
    std::vector<uint8_t> buf(n + n / 8 + 64);
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    const int r = deflate(&z, Z_FINISH);
    const size_t made = buf.size() - z.avail_out;
    if (r == Z_STREAM_END && made <= n + 5) {
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(made));
    } else {
        // Incompressible: one final stored deflate block.
        out.push_back(0x01);
        Put16(out, static_cast<uint32_t>(n));
        Put16(out, static_cast<uint32_t>(~n & 0xFFFF));
        out.insert(out.end(), in, in + n);
    }
    c.dictionary.assign(in, in + n);
    return true;
}

// Compresses the pending bytes into one data block of the open folder.
bool FlushBlock(FciContext& c) {
    if (c.pending.empty()) return true;
    FciFolder& f = c.folders.back();
    if (f.blocks >= 0xFFFF) return Fail(c, fciErrFormatLimit);
    std::vector<uint8_t> packed;
    switch (f.type & 0xF) {
    case kCabCompMsZip:
        if (!MsZipBlock(c, c.pending.data(), c.pending.size(), packed)) return false;
        break;
    case kCabCompLzx:
        c.lzx->EncodeFrame(c.pending.data(), c.pending.size(), packed);
        break;
    default:
        packed = c.pending;
        break;
    }
    if (packed.size() > kBlockSize + 6144) return Fail(c, fciErrMciFail);
    std::vector<uint8_t> block;
    block.reserve(kDataHeader + packed.size());
    uint8_t sizes[4] = {static_cast<uint8_t>(packed.size()), static_cast<uint8_t>(packed.size() >> 8),
                        static_cast<uint8_t>(c.pending.size()), static_cast<uint8_t>(c.pending.size() >> 8)};
    uint32_t sum = Checksum(packed.data(), packed.size(), 0);
    sum = Checksum(sizes, 4, sum);
    Put32(block, sum);
    block.insert(block.end(), sizes, sizes + 4);
    block.insert(block.end(), packed.begin(), packed.end());
    int err = 0;
    if (!WriteAll(c, c.data, block.data(), block.size(), err)) return Fail(c, fciErrTempFile, err);
    c.dataSize += block.size();
    ++f.blocks;
    if (c.status)
        c.status(0, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(c.pending.size()), c.pv);
    c.pending.clear();
    return true;
}

bool CloseFolder(FciContext& c) {
    if (!c.folderOpen) return true;
    if (!FlushBlock(c)) return false;
    c.folderOpen = false;
    c.lzx.reset();
    c.dictionary.clear();
    return true;
}

bool OpenFolder(FciContext& c, uint16_t type) {
    if (c.folders.size() >= 0xFFFF) return Fail(c, fciErrFormatLimit);
    FciFolder f;
    f.dataOffset = c.dataSize;
    f.type = type;
    c.folders.push_back(f);
    c.folderOpen = true;
    c.pending.clear();
    c.dictionary.clear();
    if ((type & 0xF) == kCabCompLzx) c.lzx = std::make_unique<LzxEncoder>((type >> 8) & 0x1F);
    return true;
}

bool AddFile(FciContext& c, const char* source, const char* name, int execute, TFciGetOpenInfo openInfo,
             uint16_t type) {
    const int kind = type & 0xF;
    if (kind == kCabCompQuantum) return Fail(c, fciErrBadCompressionType);
    if (kind > kCabCompLzx) return Fail(c, fciErrBadCompressionType);
    if (kind == kCabCompLzx) {
        const int window = (type >> 8) & 0x1F;
        if (window < 15 || window > 21) return Fail(c, fciErrBadCompressionType);
    } else {
        type = static_cast<uint16_t>(kind);
    }
    const std::string stored = name ? name : "";
    if (stored.empty() || stored.size() > 255) return Fail(c, fciErrFormatLimit);
    if (c.files.size() >= 0xFFFF) return Fail(c, fciErrFormatLimit);
    if (!OpenDataFile(c)) return false;
    if (c.folderOpen && (c.folders.back().type != type ||
                         c.folders.back().size >= std::max<uint32_t>(c.ccab.cbFolderThresh, 1)))
        if (!CloseFolder(c)) return false;
    if (!c.folderOpen && !OpenFolder(c, type)) return false;

    FciFile f;
    int err = 0;
    std::string src = source ? source : "";
    const TCabHandle in = openInfo(src.data(), &f.date, &f.time, &f.attribs, &err, c.pv);
    if (in == -1) return Fail(c, fciErrOpenSource, err);
    if (execute) f.attribs |= 0x40;
    FciFolder& folder = c.folders.back();
    f.folder = static_cast<uint16_t>(c.folders.size() - 1);
    f.name = stored;
    f.offset = static_cast<uint32_t>(folder.size);
    if (folder.size > 0xFFFFFFFFu) {
        c.close(in, &err, c.pv);
        return Fail(c, fciErrFormatLimit);
    }
    uint64_t total = 0;
    std::vector<uint8_t> buf(kBlockSize);
    bool ok = true;
    for (;;) {
        err = 0;
        const uint32_t got = c.read(in, buf.data(), static_cast<uint32_t>(buf.size()), &err, c.pv);
        if (got == static_cast<uint32_t>(-1) || (got == 0 && err != 0)) {
            ok = Fail(c, fciErrReadSource, err);
            break;
        }
        if (got == 0) break;
        total += got;
        if (total > 0xFFFFFFFFu || folder.size + total > 0xFFFFFFFFu) {
            ok = Fail(c, fciErrFormatLimit);
            break;
        }
        for (size_t at = 0; ok && at < got;) {
            const size_t take = std::min<size_t>(got - at, kBlockSize - c.pending.size());
            c.pending.insert(c.pending.end(), buf.begin() + static_cast<std::ptrdiff_t>(at),
                             buf.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            if (c.pending.size() == kBlockSize) ok = FlushBlock(c);
        }
        if (!ok) break;
    }
    c.close(in, &err, c.pv);
    if (!ok) return false;
    c.folders.back().size += total;
    f.size = static_cast<uint32_t>(total);
    if (c.placed) c.placed(&c.ccab, f.name.data(), static_cast<long>(f.size), 0, c.pv);
    c.files.push_back(std::move(f));
    return true;
}

bool FlushCabinet(FciContext& c) {
    if (!CloseFolder(c)) return false;
    // An empty cabinet still has its header and one (empty) folder.
    if (c.folders.empty() && !OpenFolder(c, 0)) return false;
    c.folderOpen = false;
    size_t records = kHeaderSize + c.folders.size() * kFolderSize;
    for (const auto& f : c.files) records += kFileFixed + f.name.size() + 1;
    const uint64_t total = records + c.dataSize;
    if (total > 0xFFFFFFFFu || total > c.ccab.cb) return Fail(c, fciErrFormatLimit);

    std::vector<uint8_t> h;
    h.reserve(records);
    Put32(h, 0x4643534D); // "MSCF"
    Put32(h, 0);
    Put32(h, static_cast<uint32_t>(total));
    Put32(h, 0);
    Put32(h, static_cast<uint32_t>(kHeaderSize + c.folders.size() * kFolderSize));
    Put32(h, 0);
    h.push_back(3); // version 1.3
    h.push_back(1);
    Put16(h, static_cast<uint32_t>(c.folders.size()));
    Put16(h, static_cast<uint32_t>(c.files.size()));
    Put16(h, 0); // flags: no previous or next cabinet, no reserve
    Put16(h, c.ccab.setID);
    Put16(h, static_cast<uint32_t>(c.ccab.iCab));
    for (const auto& f : c.folders) {
        Put32(h, static_cast<uint32_t>(records + f.dataOffset));
        Put16(h, f.blocks);
        Put16(h, f.type);
    }
    for (const auto& f : c.files) {
        Put32(h, f.size);
        Put32(h, f.offset);
        Put16(h, f.folder);
        Put16(h, f.date);
        Put16(h, f.time);
        Put16(h, f.attribs);
        h.insert(h.end(), f.name.begin(), f.name.end());
        h.push_back(0);
    }
    std::string path = std::string(c.ccab.szCabPath) + c.ccab.szCab;
    int err = 0;
    const TCabHandle out =
        c.open(path.data(), kCabOpenCreate | kCabOpenTruncate | kCabOpenReadWrite | kCabOpenBinary, 0644,
               &err, c.pv);
    if (out == -1) return Fail(c, fciErrCabFile, err);
    bool ok = WriteAll(c, out, h.data(), h.size(), err);
    if (ok && c.data != -1 && c.dataSize > 0) {
        ok = c.seek(c.data, 0, 0, &err, c.pv) == 0;
        std::vector<uint8_t> buf(1 << 16);
        for (uint64_t left = c.dataSize; ok && left > 0;) {
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, buf.size()));
            ok = c.read(c.data, buf.data(), want, &err, c.pv) == want &&
                 WriteAll(c, out, buf.data(), want, err);
            left -= want;
        }
    }
    int closeErr = 0;
    c.close(out, &closeErr, c.pv);
    if (!ok || closeErr) return Fail(c, fciErrCabFile, err ? err : closeErr);
    c.folders.clear();
    c.files.clear();
    c.dataSize = 0;
    if (c.data != -1) c.seek(c.data, 0, 0, &err, c.pv);
    return true;
}

void DropDataFile(FciContext& c) {
    int err = 0;
    if (c.data != -1) c.close(c.data, &err, c.pv);
    c.data = -1;
    if (!c.dataName.empty()) c.del(c.dataName.data(), &err, c.pv);
    c.dataName.clear();
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) HFCI FCICreate(TCabErf* perf, TFciFilePlaced pfnfcifp, TCabAlloc pfna,
                                                      TCabFree pfnf, TFciOpen pfnopen, TFciRead pfnread,
                                                      TFciWrite pfnwrite, TFciClose pfnclose,
                                                      TFciSeek pfnseek, TFciDelete pfndelete,
                                                      TFciGetTempFile pfnfcigtf, TCCAB* pccab, void* pv) {
    if (perf) *perf = TCabErf{};
    if (!pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek || !pfndelete ||
        !pfnfcigtf || !pccab) {
        if (perf) *perf = TCabErf{fciErrAllocFail, 0, 1};
        return nullptr;
    }
    auto* c = new (std::nothrow) FciContext;
    if (!c) {
        if (perf) *perf = TCabErf{fciErrAllocFail, 0, 1};
        return nullptr;
    }
    c->erf = perf;
    c->placed = pfnfcifp;
    c->alloc = pfna;
    c->free = pfnf;
    c->open = pfnopen;
    c->read = pfnread;
    c->write = pfnwrite;
    c->close = pfnclose;
    c->seek = pfnseek;
    c->del = pfndelete;
    c->temp = pfnfcigtf;
    c->ccab = *pccab;
    c->pv = pv;
    return c;
}

__attribute__((visibility("default"))) int FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName,
                                                      int fExecute, TFciGetNextCabinet, TFciStatus pfnfcis,
                                                      TFciGetOpenInfo pfnfcigoi, uint16_t typeCompress) {
    auto* c = static_cast<FciContext*>(hfci);
    if (!c || !pfnfcigoi) return 0;
    c->status = pfnfcis;
    try {
        return AddFile(*c, pszSourceFile, pszFileName, fExecute, pfnfcigoi, typeCompress) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return Fail(*c, fciErrAllocFail) ? 1 : 0;
    }
}

__attribute__((visibility("default"))) int FCIFlushFolder(HFCI hfci, TFciGetNextCabinet, TFciStatus pfnfcis) {
    auto* c = static_cast<FciContext*>(hfci);
    if (!c) return 0;
    c->status = pfnfcis;
    try {
        return CloseFolder(*c) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return Fail(*c, fciErrAllocFail) ? 1 : 0;
    }
}

__attribute__((visibility("default"))) int FCIFlushCabinet(HFCI hfci, int, TFciGetNextCabinet,
                                                           TFciStatus pfnfcis) {
    auto* c = static_cast<FciContext*>(hfci);
    if (!c) return 0;
    c->status = pfnfcis;
    try {
        return FlushCabinet(*c) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return Fail(*c, fciErrAllocFail) ? 1 : 0;
    }
}

__attribute__((visibility("default"))) int FCIDestroy(HFCI hfci) {
    auto* c = static_cast<FciContext*>(hfci);
    if (!c) return 0;
    DropDataFile(*c);
    delete c;
    return 1;
}

} // extern "C"
