#include "archive/format/aeUnGZIP.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <new>
#include <vector>

#include "archive/aeEntryIo.h"
#include "archive/format/aeGzHeader.h"
#include "archive/format/aeGzipHeaders.h"
#include "archive/format/aeTarHeaders.h"
#include "archive/codec/aeLzwDecode.h"
#include "archive/format/aeUnTAR.h"
#include "common/LittleEndian.h"
#include "archive/format/aeZipDecode.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

namespace {

constexpr uint32_t kDos1980 = 0x00210000; // 1 January 1980, 00:00

// The archive file's own last-write time as a local DOS date-time; 1980 when unreadable.
uint32_t ArchiveAge(int Handle) {
    const auto t = platform::fileTimes(Handle);
    const uint32_t dos = t ? UnixTimeToDosLocal(t->lastWrite) : 0;
    return dos ? dos : kDos1980;
}

bool IsTarBlock(int Handle) {
    uint8_t h[512];
    if (platform::seekFile(Handle, 0) != 0 || platform::readFile(Handle, h, 512) != 512) return false;
    auto t = aehdr::parseTarHeader(aehdr::Bytes(h, 512));
    return t && t->checksumOk;
}

} // namespace

namespace ae {

DecodeResult DecodeLzw(InputBuffer& in, DecodeSink& sink) {
    DecodeResult r;
    auto fail = [&](DecodeStatus st, int msg) {
        r.status = st;
        r.msg = msg;
        return r;
    };
    int m0 = in.getByte(), m1 = in.getByte(), flags = in.getByte();
    if (m0 < 0 || m1 < 0 || flags < 0) return fail(DecodeStatus::Truncated, kMsgNone);
    if (m0 != 0x1F || m1 != 0x9D) return fail(DecodeStatus::Corrupt, kMsgCorruptInput);
    const unsigned maxBits = static_cast<unsigned>(flags & 0x1F);
    const bool blockMode = (flags & 0x80) != 0;
    if ((flags & 0x60) || maxBits < 9 || maxBits > 16)
        return fail(DecodeStatus::Corrupt, kMsgIncompleteCodes);
    return DecodeLzwGroups(in, sink, maxBits, blockMode);
}

} // namespace ae

TUnGZIP::TUnGZIP() = default;
TUnGZIP::~TUnGZIP() = default;

void TUnGZIP::UseOwnTar() {
    if (!FOwnTar) FOwnTar = std::make_unique<TUnTAR>();
    UnTar = FOwnTar.get();
}

// The archive's own name without its folder and its last extension; ".tgz" and ".taz"
// stand for ".tar.gz" and ".tar.Z".
std::string TUnGZIP::DefaultOutputName() const {
    std::string base = ExtractFileNamePart(FArchiveFile);
    const size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return base + ".out";
    std::string ext = base.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    base.erase(dot);
    if (ext == "tgz" || ext == "taz") base += ".tar";
    return base;
}

void TUnGZIP::ExtractArchive(int& ArchiveHandle, TStream*) {
    try {
        uint8_t magic[2] = {0, 0};
        const int64_t start = ArcStart - 1;
        if (platform::seekFile(ArchiveHandle, start) != start ||
            platform::readFile(ArchiveHandle, magic, 2) != 2)
            RaiseError(FArchiveFile, "", "0", kMsgHeaderId);
        const uint16_t m = pvcommon::GetLE16(magic);
        switch (m) {
        case aehdr::kGzipMagic:
        case aehdr::kGzipOldMagic:
            ExtractGzip(ArchiveHandle);
            break;
        case aehdr::kCompressMagic:
            ExtractCompress(ArchiveHandle);
            break;
        case aehdr::kPackMagic:
        case aehdr::kLzhMagic:
            ReportError(FArchiveFile, m == aehdr::kPackMagic ? "pack" : "SCO LZH", "0",
                        ae::kMsgUnsupportedMethod);
            break;
        default:
            RaiseError(FArchiveFile, "", "0", kMsgHeaderId);
        }
    } catch (const std::bad_alloc&) {
        RaiseError(FArchiveFile, "", "0", kMsgOutOfMemory);
    }
}

void TUnGZIP::ExtractGzip(int Handle) {
    const int64_t start = ArcStart - 1;
    platform::seekFile(Handle, start);
    ae::HandleSource src{Handle};
    ae::InputBuffer in{src, 4096};
    const ae::GzMemberHeader h = ae::ReadGzipMemberHeader(in);
    if (!h.ok())
        RaiseError(FArchiveFile, "", "0",
                   h.status == ae::GzHeaderStatus::Truncated ? kMsgReadError : h.msg());
    std::string name;
    if (h.fields.flags & aehdr::kGzipFlagName) {
        // Only the file name counts; a folder in it is no business of a single-file format.
        name = platform::decodeArchiveName(h.fields.name);
        const size_t slash = name.find_last_of("/\\");
        if (slash != std::string::npos) name.erase(0, slash + 1);
        if (name == "." || name == "..") name.clear();
    }
    if (name.empty()) name = DefaultOutputName();
    uint32_t dos = h.fields.mtime ? UnixTimeToDosLocal(h.fields.mtime) : ArchiveAge(Handle);
    const int64_t dataStart = start + static_cast<int64_t>(h.fields.headerLength);
    DeliverOutput(Handle, true, name, dos, dataStart, h.fields.flags);
}

void TUnGZIP::ExtractCompress(int Handle) {
    std::string name = DefaultOutputName();
    const uint32_t dos = ArchiveAge(Handle);
    DeliverOutput(Handle, false, name, dos, ArcStart - 1, 0);
}

bool TUnGZIP::DecodeGzipData(int Handle, int64_t DataStart, uint8_t Flags, int Out, TStream* OutStream,
                             const std::string& Name) {
    // The file's final trailer: the last member's CRC-32 and size, for the entry fields.
    uint8_t t[8] = {};
    if (ArchiveSize >= 8 && platform::seekFile(Handle, ArchiveSize - 8) == ArchiveSize - 8)
        platform::readFile(Handle, t, 8);
    TZipDecodeEntry d;
    d.Flags = Flags;
    d.Method = 8;
    d.LocalOffset = ArcStart - 1;
    d.PackedSize = std::max<int64_t>(0, ArchiveSize - DataStart);
    d.UnpackedSize = aehdr::le32(t + 4);
    d.Crc32 = aehdr::le32(t);
    d.Attr = 32;
    if (platform::seekFile(Handle, DataStart) != DataStart) RaiseError(FArchiveFile, "", "0", kMsgReadError);
    Ctx().Crc32Value = 0xFFFFFFFF;
    int h = Handle;
    return DecodeZipEntry(*this, h, nullptr, Out, OutStream, d, Name);
}

bool TUnGZIP::DecodeCompressData(int Handle, int Out, TStream* OutStream, const std::string& Name) {
    const int64_t start = ArcStart - 1;
    if (platform::seekFile(Handle, start) != start) RaiseError(FArchiveFile, "", "0", kMsgReadError);
    Ctx().Crc32Value = 0xFFFFFFFF;
    PackedSize = ArchiveSize - start;
    int h = Handle;
    ae::EntrySource src{*this, h, nullptr, ArchiveSize - start, false};
    ae::InputBuffer in{src};
    ae::EntrySink sink{*this, Out, OutStream, 0, 32};
    try {
        const ae::DecodeResult r = ae::DecodeLzw(in, sink);
        UnpackedSize = static_cast<int64_t>(r.produced);
        if (r.ok()) {
            FileCRC = Ctx().Crc32Value ^ 0xFFFFFFFF;
            return true;
        }
        if (!Cancel())
            ReportError(Name, "", "0", r.status == ae::DecodeStatus::Corrupt ? r.msg : kMsgReadError);
    } catch (const E_RAISE& e) {
        ReportError(Name, "", "0", e.ECode);
    }
    FileCRC = 999;
    return false;
}

void TUnGZIP::DeliverOutput(int Handle, bool IsGzip, const std::string& Stored, uint32_t Dos,
                            int64_t DataStart, uint8_t Flags) {
    auto decode = [&](int out, TStream* outStream, const std::string& name) {
        return IsGzip ? DecodeGzipData(Handle, DataStart, Flags, out, outStream, name)
                      : DecodeCompressData(Handle, out, outStream, name);
    };
    std::string tempPath;
    struct TempGuard {
        std::string& path;
        ~TempGuard() {
            if (!path.empty()) platform::removeFile(path);
        }
    } guard{tempPath};

    if (UnTar && WriteMode == 0) {
        // Decompress privately first: a tar is unpacked from there and never shows in the
        // extraction folder; anything else is then delivered like any output.
        platform::TempFile t = platform::makeTempFile(TempDir(), ".pvgz", ".tmp");
        if (t.fd < 0) RaiseError(TempDir(), "", "0", kMsgOpenError);
        tempPath = t.path;
        bool pass = false;
        try {
            pass = decode(t.fd, nullptr, Stored);
        } catch (...) {
            platform::closeFile(t.fd);
            throw;
        }
        const bool closed = platform::closeFile(t.fd);
        if (!pass || !closed) {
            if (!closed) ReportError(Stored, "", "0", kMsgCloseError);
            const auto out = OutputPathFor(Stored);
            EndEntry(out ? *out : Stored, Stored, false);
            return;
        }
        if (RunTar(tempPath)) return;
        // Not a tar: the file itself is the output.
        TEntryJob job;
        job.Name = Stored;
        job.Date = DosDateToDateTimeSafe(Dos);
        job.DosDate = Dos;
        job.Decode = [&](int out, TStream* outStream) {
            const int in = platform::openFile(tempPath, platform::OpenMode::Read);
            bool copied = in >= 0;
            std::vector<uint8_t> buf(1 << 16);
            try {
                for (int64_t got; copied && (got = platform::readFile(in, buf.data(), 1 << 16)) != 0;) {
                    if (got < 0)
                        copied = false;
                    else
                        WriteBlock(out, buf.data(), 1, got, 0, outStream);
                }
            } catch (const E_RAISE&) {
                copied = false;
            }
            if (in >= 0) platform::closeFile(in);
            return copied;
        };
        ExtractOne(job);
        return;
    }

    TEntryJob job;
    job.Name = Stored;
    job.Date = DosDateToDateTimeSafe(Dos);
    job.DosDate = Dos;
    job.Decode = [&](int out, TStream* outStream) { return decode(out, outStream, FileName); };
    ExtractOne(job);
}

// Hands a decompressed file to the tar extractor when it is a tar; false when it is not.
bool TUnGZIP::RunTar(const std::string& TarFile) {
    {
        const int h = platform::openFile(TarFile, platform::OpenMode::Read);
        if (h < 0) return false;
        const bool tar = IsTarBlock(h);
        platform::closeFile(h);
        if (!tar) return false;
    }
    TUnTAR& t = *UnTar;
    if (UnTar == FOwnTar.get()) {
        t.OnActivate = nullptr;
        t.OnDeactivate = nullptr;
        t.OnBegin = OnBegin;
        t.OnEnd = OnEnd;
        t.OnError = OnError;
        t.OnProgress = OnProgress;
        t.OnFileExists = OnFileExists;
        t.OnRenameCompressedFile = OnRenameCompressedFile;
        t.ConfirmOverwrites = ConfirmOverwrites;
        t.OverwriteMode = OverwriteMode;
        t.DateAttribute = DateAttribute;
        t.RestoreFileAttr = RestoreFileAttr;
        t.SetExcludeSpec(ExcludeSpec());
    }
    t.SetArchiveFile(TarFile);
    if (t.ArcType() != atTar) return false;
    t.UseStoredDirs = true;
    t.SetExtractDir(ExtractDir());
    t.SetFileSpec(FileSpec());
    TChildRunScope scope(Ctx());
    try {
        FileCount += t.Extract();
    } catch (const E_RAISE&) {
        // Reported by the tar extractor through its own OnError.
    }
    if (t.Cancel()) SetCancel(true);
    return true;
}
