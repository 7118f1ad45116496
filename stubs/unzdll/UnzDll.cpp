// UNZDLL.DLL stand-in: extracts or tests the entries of a zip archive that match the
// caller's specs, below the record's target folder (the current folder when it names
// none; the process's current folder is never changed), reporting through the caller's
// callback, which also hears where each entry was written.
#include "archive/codec/aeCrypt.h"
#include "platform/fileio.h"
#include "stubs/zipcommon/Codec.h"
#include "stubs/zipcommon/SafePath.h"
#include "stubs/zipcommon/StubCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

using namespace zipstub;

namespace {

constexpr int32_t kVersion = 160;
constexpr int kMaxPasswordTries = 16; // however often the caller raises its repeat count

class UnzRun {
public:
    explicit UnzRun(const TUnzParams& p)
        : p_(p), rep_(p.Callback, p.Handle, p.Caller), test_(p.fTest != 0), update_(p.fUpdate != 0),
          freshen_(p.fFreshen != 0 && !update_), dirs_(p.fDirectories != 0), overwrite_(p.fOverwrite != 0) {}

    int32_t run() {
        int32_t done = 0;
        try {
            done = work();
        } catch (const StubError& e) {
            rep_.error(e.code, e.what());
        } catch (const StubCancel&) {
            rep_.error(kErrCancel, "User canceled operation");
        } catch (const std::bad_alloc&) {
            rep_.error(kErrMem, "Out of memory");
        }
        if (fd_ >= 0) platform::closeFile(fd_);
        rep_.end();
        return done;
    }

private:
    int32_t work() {
        if (p_.fSeven != 7 || !p_.pZipFN) throw StubError(kErrParams, "The parameter record is not valid");
        password_ = p_.fPassword ? p_.fPassword : "";
        pwdReq_ = std::clamp(p_.fPwdReqCount, 0, 15);
        specs_ = recordSpecs(p_.fUFDS, p_.fArgc);
        if (p_.fExtractDir && *p_.fExtractDir) {
            base_ = p_.fExtractDir;
            while (base_.size() > 1 && base_.back() == '/') base_.pop_back();
        }
        const std::string zipName = p_.pZipFN;
        fd_ = platform::openFile(zipName, platform::OpenMode::Read);
        if (fd_ < 0) throw StubError(kErrOpen, "Cannot open the zip file " + zipName);
        dir_ = readZipDir(fd_);

        std::vector<const CentralRec*> chosen;
        int64_t total = 0;
        for (auto& e : dir_.entries)
            if (wanted(e.displayName())) {
                chosen.push_back(&e);
                total += e.usize;
            }
        rep_.start(total);
        rep_.totalFiles(static_cast<int64_t>(chosen.size()));
        if (chosen.empty() && !specs_.empty()) rep_.error(kErrNoFiles, "No files matched");
        int32_t done = 0;
        for (const CentralRec* e : chosen) {
            try {
                if (entry(*e)) ++done;
            } catch (const StubError& err) {
                rep_.error(err.code, e->displayName() + ": " + err.what());
            }
        }
        return done;
    }

    bool wanted(const std::string& name) const {
        if (specs_.empty()) return true;
        for (auto& s : specs_)
            if (s.matches(name)) return true;
        return false;
    }

    // Extracts or tests one entry; true when it was done.
    bool entry(const CentralRec& e) {
        const std::string name = e.displayName();
        if (e.isDir()) return test_ ? false : makeFolder(e, name);
        std::optional<std::string> rel = safeRelativePath(name);
        if (!rel)
            return skip(name, stUnsafeName, kErrUnsafe,
                        "Refused an entry name that leaves the target folder: ");
        std::string target = dirs_ ? *rel : baseName(*rel);
        if (!test_ && !shouldWrite(e, name, target)) return false;
        if (e.overlaps)
            return skip(name, stGeneralExtractError, kErrFormat,
                        "Refused an entry whose data overlap another entry's (a zip bomb?): ");
        if (e.method != 0 && e.method != 8)
            return skip(name, stCompressionUnknown, kErrMethod,
                        "Compression method " + std::to_string(e.method) + " is not supported: ");
        LocalSpan span = localSpan(fd_, dir_, e);
        int64_t data = span.data, packed = e.csize;
        std::optional<TZipKeys> keys;
        if (e.encrypted()) {
            if (packed < 12) throw StubError(kErrFormat, "The encryption header is missing");
            keys = keysFor(e, name, data);
            if (!keys) return skip(name, stBadPassword, kErrPassword, "Wrong or missing password for: ");
            data += 12;
            packed -= 12;
        }
        rep_.newFile(name, e.usize);
        return test_ ? testData(e, name, data, packed, keys) : writeData(e, name, target, data, packed, keys);
    }

    bool skip(const std::string& name, UnZipSkipTypes why, int32_t code, const std::string& text) {
        if (code) rep_.error(code, text + name);
        rep_.skipped(name, why, code);
        return false;
    }

    bool makeFolder(const CentralRec&, const std::string& name) {
        if (!dirs_) return false;
        std::optional<std::string> rel = safeRelativePath(name);
        if (!rel)
            return skip(name, stUnsafeName, kErrUnsafe,
                        "Refused an entry name that leaves the target folder: ");
        std::string why;
        if (!makeSafeParents(base_, *rel + "/", why)) throw StubError(kErrCreate, why);
        return false; // folders are not counted as files
    }

    // Freshen, update and the overwrite question.
    bool shouldWrite(const CentralRec& e, const std::string& name, const std::string& target) {
        struct stat st {};
        const bool exists = lstat(pathOf(target).c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode))
            return skip(name, stFileExists, kErrCreate, "A folder stands where a file goes: ");
        if (freshen_ && !exists) return skip(name, stOnFreshen, 0, {});
        if (!exists) return true;
        // DOS times have two-second steps.
        const bool diskOlder = static_cast<int64_t>(st.st_mtime) + 1 < dosToUnixLocal(e.dosTime());
        if (freshen_ || update_) return diskOlder ? true : skip(name, stOnFreshen, 0, {});
        if (overwrite_) return true;
        if (rep_.overwrite(name, diskOlder, false)) return true;
        return skip(name, stNoOverwrite, 0, {});
    }

    std::optional<TZipKeys> keysFor(const CentralRec& e, const std::string& name, int64_t data) {
        uint8_t enc[12];
        readExact(fd_, data, enc, 12);
        auto tryPassword = [&](const std::string& pw) -> std::optional<TZipKeys> {
            TZipKeys k;
            uint8_t plain[12];
            if (pw.empty() || !ZipCheckHeader(k, enc, plain, 12, e.flags, pw, e.time, e.crc))
                return std::nullopt;
            // The header's check is one byte: one wrong password in 256 passes it. Only the
            // whole entry, decoded to its CRC, tells the right password from a lucky one.
            TZipKeys trial = k;
            try {
                if (decodeEntry(fd_, data + 12, e.csize - 12, e.method, &trial, e.usize,
                                [](const uint8_t*, size_t) {}, {}) != e.crc)
                    return std::nullopt;
            } catch (const StubError&) {
                return std::nullopt;
            }
            return k;
        };
        if (auto k = tryPassword(password_)) return k;
        int32_t repeat = pwdReq_;
        for (int tries = 0; repeat > 0 && tries < kMaxPasswordTries; ++tries) {
            std::optional<std::string> answer = rep_.askPassword(name, false, repeat);
            if (!answer) break;
            if (auto k = tryPassword(*answer)) {
                password_ = *answer; // later entries try it first
                return k;
            }
            --repeat;
        }
        return std::nullopt;
    }

    bool testData(const CentralRec& e, const std::string& name, int64_t data, int64_t packed,
                  std::optional<TZipKeys>& keys) {
        uint32_t crc = decodeEntry(
            fd_, data, packed, e.method, keys ? &*keys : nullptr, e.usize, [](const uint8_t*, size_t) {},
            [&](int64_t n) { rep_.progress(n); });
        if (crc != e.crc) {
            rep_.error(kErrCrc, "CRC error in: " + name);
            return false;
        }
        if (p_.fVerboseEnabled) rep_.info("testing: " + name + "  OK");
        return true;
    }

    bool writeData(const CentralRec& e, const std::string& name, const std::string& target, int64_t data,
                   int64_t packed, std::optional<TZipKeys>& keys) {
        std::string why;
        if (!makeSafeParents(base_, target, why)) return skip(name, stUnsafeName, kErrUnsafe, why + ": ");
        const std::string path = pathOf(target);
        // The partial file never stays behind, even when the process is killed: it has no
        // name until it is complete (or is removed on the way out).
        platform::PendingFile tmp;
        if (!tmp.create(dirName(path), ".unz", ".tmp"))
            throw StubError(kErrCreate,
                            "Cannot create a file in " + dirName(path) + ": " + std::strerror(errno));
        uint32_t crc = decodeEntry(
            fd_, data, packed, e.method, keys ? &*keys : nullptr, e.usize,
            [&](const uint8_t* p, size_t n) {
                if (platform::writeFile(tmp.fd(), p, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
                    throw StubError(kErrWrite, "Write error in " + target);
            },
            [&](int64_t n) { rep_.progress(n); });
        if (crc != e.crc && rep_.crcError(name, crc, e.crc) != 1) {
            rep_.error(kErrCrc, "CRC error in: " + name);
            return false;
        }
        platform::setFileMode(tmp.fd(), modeFor(e));
        const int64_t t = dosToUnixLocal(e.dosTime());
        platform::setFileTimes(tmp.fd(), t, t);
        struct stat st {};
        const bool replaced = lstat(path.c_str(), &st) == 0;
        // Replaces a symlink standing at the target, never what it points to.
        if (!tmp.commit(path))
            throw StubError(kErrWrite, "Cannot create " + target + ": " + std::strerror(errno));
        rep_.writtenTo(path, replaced);
        if (p_.fVerboseEnabled) rep_.info("inflating: " + target);
        return true;
    }

    // A safe relative path below the target folder.
    std::string pathOf(const std::string& rel) const { return base_ == "." ? rel : base_ + "/" + rel; }

    static int modeFor(const CentralRec& e) {
        int mode = platform::newFileMode();
        const uint32_t unixMode = e.extAttr >> 16;
        if ((e.madeBy >> 8) == 3 && S_ISREG(unixMode)) mode = static_cast<int>(unixMode & 0777);
        if (e.extAttr & 1) mode &= ~0222; // read-only
        return mode | 0400;
    }

    const TUnzParams& p_;
    Reporter rep_;
    bool test_, update_, freshen_, dirs_, overwrite_;
    std::string password_;
    int32_t pwdReq_ = 0;
    std::vector<NameSpec> specs_;
    std::string base_ = ".";
    int fd_ = -1;
    ZipDir dir_;
};

} // namespace

extern "C" int32_t UnzDllExec(TUnzParams* params) {
    if (!params) return 0;
    return UnzRun(*params).run();
}

extern "C" int32_t GetUnzDllVersion() {
    return kVersion;
}
