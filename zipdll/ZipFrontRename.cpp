// TZipFront.Rename: entries renamed (a whole stored name, or a leading folder and all in
// it) and optionally given a new date, by copying the archive into a new file beside it
// with rewritten headers; the archive is replaced only when the copy is complete.
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "zipdll/ZipFront.h"
#include "zipdll/ZipFrontIO.h"
#include "zipdll/ZipMsgs.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <set>
#include <stdexcept>

using namespace zipfront;
using namespace zipfront::io;

namespace {

// The "made by" host byte of a central header (offset 5).
constexpr uint8_t kHostMsDos = 0, kHostNtfs = 10;

struct RenameRule {
    std::string source, dest; // with '\\' separators; folders end in '\\'
    std::string given;        // the source as the caller gave it
    bool folder = false, matched = false;
    int32_t dateTime = 0;
};

// A rename refused for a reason of its own: the reason alone is the message.
struct RenameRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RenameRow {
    std::vector<uint8_t> central; // the whole central record as read
    std::string stored;           // the stored name
    std::string newStored;        // the name to store
    uint16_t newFlag = 0;
    int64_t local = 0, newLocal = 0, csize = 0;
    int32_t dateTime = 0;
    bool renamed = false;
    std::string display, newDisplay;
};

// A name that may be stored: not empty, no ".." part, no empty part in the middle.
bool acceptableName(const std::string& name) {
    if (name.empty() || name.size() > 0xFFFF || name[0] == '/') return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const std::string part =
            name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") return false;
        if (part.empty() && slash != std::string::npos) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

} // namespace

int TZipFront::Rename(const std::vector<ZipRenameRec*>& List, int DateTime) {
    if (FZipBusy) return -9;
    FZipBusy = true;
    struct Busy {
        bool& flag;
        ~Busy() { flag = false; }
    } busy{FZipBusy};

    std::vector<RenameRule> rules;
    for (const ZipRenameRec* r : List) {
        if (!r) continue;
        RenameRule rule;
        rule.source = r->Source;
        rule.dest = r->Dest;
        rule.given = r->Source;
        std::replace(rule.source.begin(), rule.source.end(), '/', '\\');
        std::replace(rule.dest.begin(), rule.dest.end(), '/', '\\');
        rule.dateTime = r->DateTime;
        rule.folder = !rule.source.empty() && rule.source.back() == '\\';
        if (!rule.folder) {
            if (!rule.dest.empty() && rule.dest.back() == '\\') return -10;
        } else {
            const size_t slash = rule.dest.rfind('\\');
            rule.dest = slash == std::string::npos ? std::string() : rule.dest.substr(0, slash + 1);
        }
        rules.push_back(std::move(rule));
    }

    int result = 0;
    bool done = false;
    try {
        if (FZipFileName.empty() || !platform::fileExists(FZipFileName)) throw EZipFront(DS_NoInFile);
        FileHandle in(platform::openFile(FZipFileName, platform::OpenMode::Read));
        if (in.fd < 0) throw EZipFront(DS_FileOpen);
        FindEndRecord(in.fd, true);
        if (FDiskNr != 0 || FCentralDiskNr != 0) throw EZipFront(GE_RenameSpanned);
        if (FZip64End) refuseZip64();
        const int64_t cdStart = FDirEnd - FCentralSize;
        if (cdStart < 0 || FCentralOffsetStored > cdStart) throw EZipFront(LI_ReadZipError);
        // Offsets count from where the stored directory offset says; a stub whose offsets
        // were never moved keeps its convention.
        const int64_t shift = cdStart - FCentralOffsetStored;
        const int64_t commentLen = FLogicalSize - FEOCOffset - 22;
        const auto times = platform::fileTimes(in.fd);

        std::vector<RenameRow> rows;
        int64_t totalSize = 0, zipStart = cdStart;
        FileFetch file(in.fd, FEOCOffset);
        walkCentral(file.fetch(), static_cast<uint64_t>(cdStart), FTotalEntries,
                    [&](const pvcommon::zip::ZipCentralRecord& r, pvcommon::Bytes raw) {
                        if (r.zip64) refuseZip64();
                        const pvcommon::zip::ZipCentralHeader& h = r.header;
                        RenameRow row;
                        row.central.assign(raw.begin(), raw.end());
                        row.stored = r.rawName;
                        row.local = static_cast<int64_t>(h.localOffset) + shift;
                        row.csize = static_cast<int64_t>(h.packedSize);
                        row.dateTime = DateTime;
                        row.newFlag = h.flags;
                        if (row.local < 0 || row.local + 30 > cdStart) throw EZipFront(DS_LOHBadRead);
                        zipStart = std::min(zipStart, row.local);
                        totalSize += h.nameLength + row.csize + h.extraLength;
                        rows.push_back(std::move(row));
                    });

        // The new names, worked out (and checked) before anything is written.
        std::set<std::string> finalNames;
        for (RenameRow& row : rows) {
            const bool utf8 = (GetLE16(row.central.data() + 8) & 0x800) != 0;
            row.display = platform::decodeArchiveName(row.stored, utf8);
            std::string work = row.display;
            std::replace(work.begin(), work.end(), '/', '\\');
            for (RenameRule& rule : rules) {
                const bool hit =
                    rule.folder ? work.compare(0, rule.source.size(), rule.source) == 0 : work == rule.source;
                if (!hit || rule.source.empty()) continue;
                work = rule.dest + work.substr(rule.source.size());
                row.renamed = rule.matched = true;
                if (rule.dateTime != 0) row.dateTime = rule.dateTime;
            }
            row.newDisplay = work;
            std::replace(row.newDisplay.begin(), row.newDisplay.end(), '\\', '/');
            if (row.renamed) {
                if (!acceptableName(row.newDisplay))
                    throw RenameRefused("The new name \"" + row.newDisplay + "\" cannot be stored");
                // A non-ASCII name as UTF-8 with the flag that says so, as every new name. An
                // entry made by MS-DOS becomes made by Windows NTFS, whose attributes are the
                // same: unzip reads an MS-DOS entry's name as OEM text even with the flag.
                row.newStored = row.newDisplay;
                if (!platform::isAscii(row.newDisplay)) {
                    row.newFlag |= 0x800;
                    if (row.central[5] == kHostMsDos) row.central[5] = kHostNtfs;
                }
            } else {
                row.newStored = row.stored;
            }
            if (!finalNames.insert(row.newDisplay).second && row.renamed)
                throw RenameRefused("The name \"" + row.newDisplay + "\" is in the archive already");
        }
        for (const RenameRule& rule : rules)
            if (!rule.matched) throw RenameRefused("No entry of the archive matches \"" + rule.given + "\"");
        for (const RenameRow& row : rows)
            if (!row.renamed && std::count_if(rows.begin(), rows.end(), [&](const RenameRow& o) {
                    return o.renamed && o.newDisplay == row.display;
                }))
                throw RenameRefused("The name \"" + row.display + "\" is in the archive already");

        // Through a symbolic link the archive it leads to is rewritten, and the link stays.
        std::error_code linkError;
        const auto real = std::filesystem::canonical(FZipFileName, linkError);
        const std::string target = linkError ? FZipFileName : real.string();
        OutputFile out(target, "ren");
        if (!out.ok()) throw EZipFront(DS_NoOutFile);
        if (!copyRange(in.fd, 0, zipStart, out.fd(), false)) throw EZipFront(GE_SFXCopyError);
        int64_t outPos = zipStart;
        Progress(ptTotalFiles, {}, static_cast<int64_t>(rows.size()));
        Progress(ptTotalSize, {}, totalSize);
        for (RenameRow& row : rows) {
            uint8_t h[30];
            if (!platform::readAt(in.fd, row.local, h, 30)) throw EZipFront(DS_LOHBadRead);
            if (GetLE32(h) != kLocalSig) throw EZipFront(DS_LOHWrongSig);
            const int64_t nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            int64_t at = row.local + 30;
            std::string localName(static_cast<size_t>(nameLen), '\0');
            if (!platform::readAt(in.fd, at, localName.data(), nameLen)) throw EZipFront(DS_LONameLen);
            at += nameLen;
            int64_t desc = 0;
            if (GetLE16(h + 6) & 8) {
                uint8_t d[4];
                if (!platform::readAt(in.fd, at + extraLen + row.csize, d, 4)) throw EZipFront(DS_DataDesc);
                desc = GetLE32(d) == kSpanSig ? 16 : 12;
            }
            if (at + extraLen + row.csize + desc > cdStart) throw EZipFront(DS_ZipData);
            std::string msg = ZipLoadStr(GE_Processing) + row.display;
            if (row.renamed) msg += ZipLoadStr(GE_RenamedTo) + row.newDisplay;
            if (auto hnd = OnMessage) hnd(*this, 0, msg);
            if (row.dateTime != 0) {
                PutLE16(h + 10, static_cast<uint32_t>(row.dateTime) & 0xFFFF);
                PutLE16(h + 12, static_cast<uint32_t>(row.dateTime) >> 16);
            }
            if (row.renamed) {
                PutLE16(h + 26, static_cast<uint32_t>(row.newStored.size()));
                PutLE16(h + 6, row.newFlag);
                localName = row.newStored;
            }
            row.newLocal = outPos - shift;
            if (row.newLocal < 0 || row.newLocal > 0xFFFFFFFFll) throw EZipFront(DS_LOHBadWrite);
            Progress(ptNewFile, row.newDisplay,
                     static_cast<int64_t>(localName.size()) + extraLen + row.csize);
            const auto ln = static_cast<int64_t>(localName.size());
            if (platform::writeFile(out.fd(), h, 30) != 30 ||
                platform::writeFile(out.fd(), localName.data(), ln) != ln)
                throw EZipFront(DS_LOHBadWrite);
            if (!copyRange(in.fd, at, extraLen, out.fd(), false)) throw EZipFront(DS_LOExtraLen);
            at += extraLen;
            if (!copyRange(in.fd, at, row.csize, out.fd(), false)) throw EZipFront(DS_ZipData);
            at += row.csize;
            if (!copyRange(in.fd, at, desc, out.fd(), false)) throw EZipFront(DS_DataDesc);
            outPos += 30 + ln + extraLen + row.csize + desc;
            Progress(ptProgress, {}, row.csize);
            if (Cancel) throw EZipFront(DS_Canceled, false);
        }
        const int64_t cdOffset = outPos - shift;
        int64_t cdSize = 0;
        for (RenameRow& row : rows) {
            std::vector<uint8_t>& c = row.central;
            if (row.dateTime != 0) {
                PutLE16(c.data() + 12, static_cast<uint32_t>(row.dateTime) & 0xFFFF);
                PutLE16(c.data() + 14, static_cast<uint32_t>(row.dateTime) >> 16);
            }
            PutLE16(c.data() + 34, 0);
            PutLE32(c.data() + 42, static_cast<uint32_t>(row.newLocal));
            if (row.renamed) {
                PutLE16(c.data() + 8, row.newFlag);
                PutLE16(c.data() + 28, static_cast<uint32_t>(row.newStored.size()));
                c.erase(c.begin() + 46, c.begin() + 46 + static_cast<std::ptrdiff_t>(row.stored.size()));
                c.insert(c.begin() + 46, row.newStored.begin(), row.newStored.end());
            }
            const auto len = static_cast<int64_t>(c.size());
            if (platform::writeFile(out.fd(), c.data(), len) != len) throw EZipFront(DS_CEHBadWrite);
            cdSize += len;
        }
        if (cdOffset > 0xFFFFFFFFll || cdSize > 0xFFFFFFFFll) throw EZipFront(DS_EOCBadWrite);
        std::vector<uint8_t> end(static_cast<size_t>(22 + commentLen));
        if (!platform::readAt(in.fd, FEOCOffset, end.data(), static_cast<int64_t>(end.size())))
            throw EZipFront(DS_ECommentLen);
        PutLE16(end.data() + 4, 0);
        PutLE16(end.data() + 6, 0);
        PutLE32(end.data() + 12, static_cast<uint32_t>(cdSize));
        PutLE32(end.data() + 16, static_cast<uint32_t>(cdOffset));
        const auto endLen = static_cast<int64_t>(end.size());
        if (platform::writeFile(out.fd(), end.data(), endLen) != endLen) throw EZipFront(DS_EOCBadWrite);
        Progress(ptEndOfBatch, {}, 0);
        done = true;
        in.reset();
        const int mode = platform::fileMode(target);
        // The old archive goes as HowToDelete says (to the trash, it can be undone) only now
        // that its replacement is complete.
        if (HowToDelete == htdAllowUndo) EraseFile(target);
        if (!out.commit(mode, times ? times->lastWrite : 0)) throw EZipFront(DS_NoWrite);
    } catch (const RenameRefused& e) {
        Report(DS_UnknownError, e.what(), true);
        result = -9;
    } catch (...) {
        result = ReportRunFailure();
    }
    if (!done) Progress(ptEndOfBatch, {}, 0);
    FZipBusy = false;
    if (result == 0) this->List();
    return result;
}

int TZipFront::ReportRunFailure() {
    try {
        throw;
    } catch (const EZipFront& e) {
        ShowExceptionError(e);
        return -7;
    } catch (const std::bad_alloc&) {
        ShowZipMessage(GE_NoMem);
        return -8;
    } catch (const std::exception& e) {
        ShowZipMessage(DS_UnknownError, e.what());
        return -9;
    }
}
