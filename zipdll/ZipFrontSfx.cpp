// TZipFront's self-extractor conversion: ZIPSFX.BIN, a settings block and the zip with its
// offsets moved (ConvertSFX), and the zip taken back out with the settings read into the
// component (ConvertZIP). Both write a new file beside the target and rename it into place
// only when it is complete; the input goes only after that.
#include "platform/dynlib.h"
#include "platform/fileio.h"
#include "platform/ui_hooks.h"
#include "zipdll/ZipFront.h"
#include "zipdll/ZipFrontIO.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace zipfront;
using namespace zipfront::io;

namespace {

constexpr int64_t kCopyBlock = 8192;
constexpr size_t kIconImage = 744, kIconFile = 766;
constexpr int64_t kHeaderSearch = 1032;

// Settings-block flags.
enum : uint8_t {
    kfAskCmdLine = 1,
    kfAskFiles = 2,
    kfHideOverwrite = 4,
    kfOvrAlways = 8,
    kfOvrNever = 16,
    kfNoCheckSize = 32,
    kfAutoRun = 64,
    kfNoSuccessMsg = 128
};

uint8_t sfxFlags(const SFXOpts& o, OvrOpts mode) {
    uint8_t f = 0;
    if (o.has(SFXAskCmdLine)) f |= kfAskCmdLine;
    if (o.has(SFXAskFiles)) f |= kfAskFiles;
    if (o.has(SFXHideOverWriteBox)) f |= kfHideOverwrite;
    if (mode == OvrAlways) f |= kfOvrAlways;
    if (mode == OvrNever) f |= kfOvrNever;
    if (!o.has(SFXCheckSize)) f |= kfNoCheckSize;
    if (o.has(SFXAutoRun)) f |= kfAutoRun;
    if (o.has(SFXNoSuccessMsg)) f |= kfNoSuccessMsg;
    return f;
}

std::string withExtension(const std::string& name, const char* ext) {
    return name.substr(0, name.size() - 4) + ext;
}

// Replaces the first 744-byte icon image of a Windows program's resources by the image of
// `icon` (a 766-byte icon file). 0, or the conversion's result code.
int replaceIcon(std::vector<uint8_t>& pe, const std::vector<uint8_t>& icon) {
    const size_t size = pe.size();
    auto in = [&](uint64_t at, uint64_t n) { return at <= size && n <= size - at; };
    auto u16 = [&](uint64_t at) { return GetLE16(pe.data() + at); };
    auto u32 = [&](uint64_t at) { return GetLE32(pe.data() + at); };
    if (!in(0, 64) || pe[0] != 'M' || pe[1] != 'Z') return -10;
    const uint64_t peAt = u32(60);
    if (!in(peAt, 248) || std::memcmp(pe.data() + peAt, "PE\0\0", 4) != 0) return -10;
    const unsigned sections = u16(peAt + 6);
    const uint32_t rsrcRva = u32(peAt + 24 + 96 + 2 * 8);
    const uint64_t table = peAt + 248;
    for (unsigned i = 0; i < sections; ++i) {
        const uint64_t sh = table + 40ull * i;
        if (!in(sh, 40)) return -10;
        if (std::memcmp(pe.data() + sh, ".rsrc\0\0\0", 8) != 0) continue;
        const uint64_t va = u32(sh + 12), rawSize = u32(sh + 16), raw = u32(sh + 20);
        const uint64_t extent = std::max<uint64_t>(u32(sh + 8), rawSize);
        if (rsrcRva < va || rsrcRva >= va + extent) return -10;
        const uint64_t dirBase = raw + (rsrcRva - va);
        // Level 1 the type (3, an icon image), level 2 the name (1), level 3 any language.
        uint64_t dir = dirBase;
        for (int level = 1; level <= 3; ++level) {
            if (!in(dir, 16)) return -10;
            const unsigned named = u16(dir + 12), ids = u16(dir + 14);
            uint64_t next = 0;
            for (unsigned k = 0; k < named + ids; ++k) {
                const uint64_t ent = dir + 16 + 8ull * k;
                if (!in(ent, 8)) return -10;
                const uint32_t id = u32(ent), off = u32(ent + 4);
                if (id & 0x80000000u) continue; // a named entry
                if ((level == 1 && id != 3) || (level == 2 && id != 1)) continue;
                if (level < 3) {
                    if (!(off & 0x80000000u)) continue;
                    next = dirBase + (off & 0x7FFFFFFFu);
                    break;
                }
                if (off & 0x80000000u) continue;
                const uint64_t data = dirBase + off;
                if (!in(data, 16) || u32(data + 4) != kIconImage) continue;
                const uint64_t rva = u32(data);
                if (rva < va) return -10;
                const uint64_t pos = rva - va + raw;
                if (!in(pos, kIconImage)) return -10;
                if (icon.size() != kIconFile) return -12;
                std::memcpy(pe.data() + pos, icon.data() + 22, kIconImage);
                return 0;
            }
            if (level < 3) {
                if (!next) return -10;
                dir = next;
            }
        }
        return -10;
    }
    return -10;
}

} // namespace

// ---- ConvertSFX ----

int TZipFront::ConvertSFX(bool autoMode) {
    int result = -9;
    if (!autoMode && (FZipFileName.empty() || !platform::fileExists(FZipFileName))) {
        ShowZipMessage(GE_NoZipSpecified);
        return result;
    }
    const std::string* texts[] = {&SFXCaption, &SFXDefaultDir, &SFXCommandLine, &SFXMessage};
    size_t textBytes = 0;
    bool tooLong = false;
    for (auto* t : texts) {
        textBytes += t->size();
        tooLong = tooLong || t->size() > 255;
    }
    const size_t blockSize = (textBytes + 12 + 3) & ~size_t{3};
    if (tooLong) {
        ShowZipMessage(SF_StringTooLong, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = " +
                                             std::to_string(blockSize + 1));
        return result;
    }
    // The stub: SFXPath as set (a path; a bare name is never taken from the current
    // folder), then ZIPSFX.BIN beside the program, in its library folder, in DLLDirectory.
    std::vector<std::string> tries;
    if (SFXPath.find('/') != std::string::npos) tries.push_back(SFXPath);
    for (const std::string& dir : {platform::programDir(), platform::programLibDir(), FDLLDirectory}) {
        if (dir.empty()) continue;
        std::string found = platform::findFileNoCase(dir, "ZIPSFX.BIN");
        if (!found.empty()) tries.push_back(found);
    }
    bool haveStub = false;
    for (const std::string& t : tries) {
        SFXPath = t;
        if (platform::fileExists(t)) {
            haveStub = true;
            break;
        }
    }
    if (!haveStub) {
        ShowZipMessage(SF_NoZipSFXBin);
        return result;
    }
    std::vector<uint8_t> block;
    try {
        block.assign(blockSize, 0);
    } catch (const std::bad_alloc&) {
        ShowZipMessage(GE_NoMem);
        return result;
    }
    block[0] = 'M';
    block[1] = 'P';
    block[2] = 'V';
    block[3] = sfxFlags(SFXOptions, SFXOverWriteMode);
    block[5] = 1;
    PutLE16(block.data() + 6, static_cast<uint32_t>(blockSize));
    size_t at = 8;
    for (auto* t : texts) {
        block[at++] = static_cast<uint8_t>(t->size());
        std::memcpy(block.data() + at, t->data(), t->size());
        at += t->size();
    }

    std::string outName;
    if (autoMode) {
        outName = FZipFileName;
    } else {
        if (!EndsWithNoCase(FZipFileName, ".zip")) {
            ShowZipMessage(SF_InputIsNoZip);
            return result;
        }
        outName = withExtension(FZipFileName, ".exe");
    }
    OutputFile out(outName, "sfx");
    if (!out.ok()) return -1;
    int64_t stubSize = 0, zipSize = 0;
    {
        // The stub, in memory: its icon slot may be changed before it is written.
        std::vector<uint8_t> stub;
        {
            FileHandle s;
            s.fd = platform::openFile(SFXPath, platform::OpenMode::Read);
            if (s.fd < 0) return -3;
            const int64_t n = platform::fileSize(s.fd);
            if (n < 0) return -3;
            try {
                stub.resize(static_cast<size_t>(n));
            } catch (const std::bad_alloc&) {
                return -3;
            }
            for (int64_t p = 0; p < n; p += kCopyBlock) {
                if (!platform::readAt(s.fd, p, stub.data() + p, std::min(kCopyBlock, n - p))) return -3;
                pumpEvents();
            }
            stubSize = n;
        }
        if (!SFXIcon.empty()) {
            try {
                const int r = replaceIcon(stub, SFXIcon);
                if (r != 0) return r;
            } catch (const std::exception&) {
                return -11;
            }
        }
        if (platform::writeFile(out.fd(), stub.data(), stubSize) != stubSize) return -2;
    }
    if (platform::writeFile(out.fd(), block.data(), static_cast<int64_t>(blockSize)) !=
        static_cast<int64_t>(blockSize))
        return -2;
    const int64_t shift = stubSize + static_cast<int64_t>(blockSize);
    if (autoMode) {
        uint8_t end[22] = {};
        PutLE32(end, kEndSig);
        PutLE32(end + 16, static_cast<uint32_t>(shift));
        if (platform::writeFile(out.fd(), end, 22) != 22) return -2;
    } else {
        try {
            FileHandle z;
            z.fd = platform::openFile(FZipFileName, platform::OpenMode::Read);
            if (z.fd < 0) throw EZipFront(DS_FileOpen);
            FindEndRecord(z.fd, true);
            result = copyZipFrom(z.fd, 0, out.fd(), shift, zipSize);
            if (result != 0) return result;
        } catch (const EZipFront& e) {
            ShowExceptionError(e);
            return -3;
        } catch (const std::exception&) {
            return -3;
        }
        if (platform::fileSize(out.fd()) != stubSize + zipSize + static_cast<int64_t>(blockSize)) return -9;
    }
    if (!out.commit(platform::newFileMode(0777))) return -2;
    if (!autoMode) {
        if (!ConvertKeepsInput) EraseFile(FZipFileName);
        SetZipFileName(outName);
    }
    return 0;
}

// Copies the zip that starts at `from` of `in` (its end record found already) to `out`, its
// offsets moved by `shift`; a zip whose directory does not stand where the end record says is
// copied as it is, to its physical end. `zipSize`: the bytes the zip took. 0, or -2 after
// reporting why.
int TZipFront::copyZipFrom(int in, int64_t from, int out, int64_t shift, int64_t& zipSize) {
    const int64_t cdStart = FDirEnd - FCentralSize;
    if (FWrongZipStruct || cdStart < from) {
        zipSize = FPhysicalSize - from;
        copyRange(in, from, zipSize, out);
        return 0;
    }
    zipSize = FLogicalSize - from;
    copyRange(in, from, cdStart - from, out);
    return moveOffsets(in, cdStart, out, shift);
}

// Shifts the local-header offsets of every central header and the directory offset of the
// end record, copying the directory from `cdStart` on. 0, or -2 after reporting why.
int TZipFront::moveOffsets(int in, int64_t cdStart, int out, int64_t shift) {
    try {
        if (FZip64End) refuseZip64();
        auto shifted = [&](uint32_t v, int err) {
            const int64_t r = static_cast<int64_t>(v) + shift;
            if (r < 0 || r > 0xFFFFFFFFll) throw EZipFront(err);
            return static_cast<uint32_t>(r);
        };
        FileFetch file(in, FEOCOffset);
        std::vector<uint8_t> rec;
        walkCentral(file.fetch(), static_cast<uint64_t>(cdStart), FTotalEntries,
                    [&](const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw) {
                        if (r.zip64) refuseZip64();
                        rec.assign(raw.begin(), raw.end());
                        PutLE32(rec.data() + 42, shifted(GetLE32(rec.data() + 42), DS_CEHBadWrite));
                        const auto n = static_cast<int64_t>(rec.size());
                        if (platform::writeFile(out, rec.data(), n) != n) throw EZipFront(DS_CEHBadWrite);
                    });
        uint8_t end[22];
        if (!platform::readAt(in, FEOCOffset, end, 22) || GetLE32(end) != kEndSig)
            throw EZipFront(DS_EOCBadSeek);
        PutLE32(end + 16, shifted(GetLE32(end + 16), DS_EOCBadWrite));
        if (platform::writeFile(out, end, 22) != 22) throw EZipFront(DS_EOCBadWrite);
        if (!copyRange(in, FEOCOffset + 22, FLogicalSize - FEOCOffset - 22, out, false))
            throw EZipFront(DS_EOCBadCopy);
        return 0;
    } catch (const EZipFront& e) {
        ShowExceptionError(e);
        return -2;
    }
}

// ---- ConvertZIP ----

int TZipFront::ConvertZIP() {
    if (FZipFileName.empty() || !platform::fileExists(FZipFileName)) {
        ShowZipMessage(SF_NoExeSpecified);
        return -3;
    }
    if (!EndsWithNoCase(FZipFileName, ".exe")) {
        ShowZipMessage(SF_InputIsNoExe);
        return -3;
    }
    if (SFXOffset <= 0) {
        ShowZipMessage(SF_NoSFXType);
        return -9;
    }
    const std::string outName = withExtension(FZipFileName, ".zip");
    OutputFile out(outName, "zip");
    if (!out.ok()) return -1;
    const int64_t sfxOffset = SFXOffset;
    int64_t zipSize = 0;
    try {
        FileHandle z;
        z.fd = platform::openFile(FZipFileName, platform::OpenMode::Read);
        if (z.fd < 0) throw EZipFront(DS_FileOpen);
        FindEndRecord(z.fd, true);
        if (sfxOffset > FEOCOffset) throw EZipFront(DS_NoValidZip);
        readSfxSettings(z.fd, sfxOffset);
        const int r = copyZipFrom(z.fd, sfxOffset, out.fd(), -sfxOffset, zipSize);
        if (r != 0) return r;
    } catch (const EZipFront& e) {
        ShowExceptionError(e);
        return -3;
    } catch (const std::bad_alloc&) {
        return -10;
    } catch (const std::exception&) {
        return -3;
    }
    if (platform::fileSize(out.fd()) != zipSize) return -9;
    if (!out.commit(-1)) return -2;
    if (!ConvertKeepsInput) EraseFile(FZipFileName);
    SetZipFileName(outName);
    return 0;
}

// The settings block in front of the zip data: the last bytes before it are searched for
// "MPV" (or the older "MPU"). A hit counts only when its texts fit in the bytes read and
// the block ends where the zip begins, so that bytes of the program itself that happen to
// spell the letters are passed over. With no block the properties stay as they are.
void TZipFront::readSfxSettings(int fd, int64_t zipStart) {
    const int64_t n = std::min(zipStart, kHeaderSearch);
    std::vector<uint8_t> b(static_cast<size_t>(n));
    if (!platform::readAt(fd, zipStart - n, b.data(), n)) throw EZipFront(DS_FailedSeek);
    for (size_t i = 0; i + 8 <= b.size(); ++i) {
        if (b[i] != 'M' || b[i + 1] != 'P' || (b[i + 2] != 'U' && b[i + 2] != 'V')) continue;
        const uint8_t* p = b.data() + i;
        const size_t avail = b.size() - i;
        std::string t[4];
        if (p[2] == 'V') {
            const size_t size = GetLE16(p + 6);
            if (size != avail || size < 12) continue;
            size_t at = 8;
            bool fits = true;
            for (auto& s : t) {
                if (at >= size || p[at] > size - at - 1) {
                    fits = false;
                    break;
                }
                s.assign(reinterpret_cast<const char*>(p + at + 1), p[at]);
                at += 1 + p[at];
            }
            if (!fits || ((at + 3) & ~size_t{3}) != size) continue;
        } else {
            const size_t total = 7u + p[4] + p[5] + p[6];
            if (total > avail) continue;
            t[0].assign(reinterpret_cast<const char*>(p + 7), p[4]);
            t[1].assign(reinterpret_cast<const char*>(p + 7 + p[4]), p[5]);
            t[2].assign(reinterpret_cast<const char*>(p + 7 + p[4] + p[5]), p[6]);
        }
        const uint8_t f = p[3];
        SFXOptions = {};
        SFXOverWriteMode = OvrConfirm;
        if (f & kfAskCmdLine) SFXOptions.include(SFXAskCmdLine);
        if (f & kfAskFiles) SFXOptions.include(SFXAskFiles);
        if (f & kfHideOverwrite) SFXOptions.include(SFXHideOverWriteBox);
        if (f & kfOvrAlways) SFXOverWriteMode = OvrAlways;
        if (f & kfOvrNever) SFXOverWriteMode = OvrNever;
        if (!(f & kfNoCheckSize)) SFXOptions.include(SFXCheckSize);
        if (f & kfAutoRun) SFXOptions.include(SFXAutoRun);
        if (p[2] == 'V' && (f & kfNoSuccessMsg)) SFXOptions.include(SFXNoSuccessMsg);
        SFXCaption = t[0];
        SFXDefaultDir = t[1];
        SFXCommandLine = t[2];
        if (p[2] == 'V') SFXMessage = t[3];
        return;
    }
}
