// ZIPDLL.DLL stand-in: adds files to a zip archive or deletes entries from it. The new
// archive is written beside the old one and replaces it only when complete, so a failed
// or cancelled run leaves the original as it was.
#include "archive/codec/aeCrypt.h"
#include "platform/codepage.h"
#include "platform/fileio.h"
#include "stubs/zipcommon/Codec.h"
#include "stubs/zipcommon/StubCore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <type_traits>

using namespace zipstub;

namespace {

constexpr int32_t kVersion = 160;

struct SpecIn {
    std::string spec, password, rootDir;
    bool encrypt = false, recurse = false;
};

// A file found on disk and what it becomes in the archive.
struct Candidate {
    std::string path, stored; // stored: UTF-8 with '/'
    bool isDir = false, encrypt = false;
    std::string password;
    struct stat st {};
};

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class ZipRun {
public:
    explicit ZipRun(const TZipParams& p) : p_(p), rep_(p.Callback, p.Handle, p.Caller) {}

    int32_t run() {
        int32_t done = 0;
        try {
            done = work();
        } catch (const StubError& e) {
            rep_.error(e.code, e.what());
            done = 0;
        } catch (const StubCancel&) {
            rep_.error(kErrCancel, "User canceled operation");
            done = 0;
        } catch (const std::bad_alloc&) {
            rep_.error(kErrMem, "Out of memory");
            done = 0;
        }
        if (in_ >= 0) platform::closeFile(in_);
        rep_.end();
        return done;
    }

private:
    int32_t work() {
        if (p_.fSeven != 7 || !p_.pZipFN || !*p_.pZipFN)
            throw StubError(kErrParams, "The parameter record is not valid");
        zipName_ = p_.pZipFN;
        openOld();
        return p_.fDeleteEntries ? deleteRun() : addRun();
    }

    void openOld() {
        struct stat st {};
        if (stat(zipName_.c_str(), &st) != 0 || st.st_size == 0) return; // a new archive
        in_ = platform::openFile(zipName_, platform::OpenMode::Read);
        if (in_ < 0) throw StubError(kErrOpen, "Cannot open the zip file " + zipName_);
        zipSt_ = st;
        old_ = readZipDir(in_);
        haveOld_ = true;
    }

    // ---- Delete ----

    int32_t deleteRun() {
        if (!haveOld_) throw StubError(kErrOpen, "The zip file does not exist: " + zipName_);
        const std::vector<NameSpec> specs = recordSpecs(p_.fFDS, p_.argc);
        std::vector<bool> drop(old_.entries.size());
        int32_t count = 0;
        for (size_t i = 0; i < old_.entries.size(); ++i) {
            const std::string n = old_.entries[i].displayName();
            for (auto& s : specs)
                if (s.matches(n)) {
                    drop[i] = true;
                    ++count;
                    break;
                }
        }
        rep_.start(0);
        rep_.totalFiles(count);
        if (count == 0) {
            rep_.error(kErrNoFiles, "Nothing to do: no entry matched");
            return 0;
        }
        writeArchive(
            [&](ZipOut&, size_t i) {
                if (!drop[i]) return false;
                if (p_.fVerbose) rep_.info("deleting: " + old_.entries[i].displayName());
                return true; // dropped: nothing written
            },
            nullptr);
        return count;
    }

    // Writes the new archive: the old prefix, each old entry unless `replace` wrote something
    // else in its place (or dropped it), then `extra` entries, the directory and the comment.
    template <class Replace, class Extra> void writeArchive(Replace replace, Extra extra) {
        TempOutput tmp(zipName_);
        ZipOut out(tmp.fd());
        if (haveOld_) {
            out.copyFrom(in_, 0, old_.zipStart);
            for (size_t i = 0; i < old_.entries.size(); ++i) {
                if (replace(out, i)) continue;
                const CentralRec& e = old_.entries[i];
                // Copying entries that share their data would multiply them: the archive is
                // left as it is.
                if (e.overlaps)
                    throw StubError(kErrFormat, "The data of " + e.displayName() +
                                                    " overlap another entry's; the archive is not changed");
                LocalSpan s = localSpan(in_, old_, e);
                const int64_t at = out.pos();
                out.copyFrom(in_, s.header, s.end - s.header);
                out.addCentral(e.raw, at);
            }
        }
        if constexpr (!std::is_same_v<Extra, std::nullptr_t>) {
            extra(out);
        }
        const std::string comment = p_.fArchComment ? std::string(p_.fArchComment) : old_.comment;
        out.finish(comment);
        tmp.commit(haveOld_ ? static_cast<int>(zipSt_.st_mode & 07777) : -1);
    }

    // ---- Add ----

    int32_t addRun() {
        std::vector<SpecIn> specs = readSpecs();
        if (specs.empty()) throw StubError(kErrNoFiles, "Nothing to do: no file specs");
        gather(specs);
        // Which old entries get replaced, which files are new.
        std::map<std::string, size_t> oldByName;
        for (size_t i = 0; i < old_.entries.size(); ++i) oldByName.emplace(old_.entries[i].displayName(), i);
        std::map<size_t, const Candidate*> replaced;
        std::vector<const Candidate*> added;
        int64_t total = 0;
        for (const Candidate& c : found_) {
            auto it = oldByName.find(c.stored);
            const bool update = p_.fUpdate != 0, freshen = p_.fFreshen != 0 && !update;
            if (it != oldByName.end()) {
                const CentralRec& e = old_.entries[it->second];
                const bool newer = static_cast<int64_t>(c.st.st_mtime) > dosToUnixLocal(e.dosTime()) + 1;
                if ((update || freshen) && !newer) continue;
                replaced[it->second] = &c;
            } else {
                if (freshen) continue;
                added.push_back(&c);
            }
            total += c.isDir ? 0 : c.st.st_size;
        }
        rep_.start(total);
        for (auto& [code, text] : pending_) rep_.error(code, text);
        const size_t todo = replaced.size() + added.size();
        rep_.totalFiles(static_cast<int64_t>(todo));
        if (found_.empty()) throw StubError(kErrNoFiles, "Nothing to do: no file matched");
        if (todo == 0) {
            rep_.info("Nothing to do: the archive is up to date");
            return 0;
        }
        int32_t count = 0;
        std::vector<std::string> toRemove;
        auto put = [&](ZipOut& out, const Candidate& c) {
            if (writeEntry(out, c)) {
                ++count;
                if (p_.fMove && !c.isDir) toRemove.push_back(c.path);
            }
        };
        writeArchive(
            [&](ZipOut& out, size_t i) {
                auto it = replaced.find(i);
                if (it == replaced.end()) return false;
                const int64_t before = out.pos();
                put(out, *it->second);
                // A file that could not be read keeps its old entry.
                return out.pos() != before;
            },
            [&](ZipOut& out) {
                for (const Candidate* c : added) put(out, *c);
            });
        for (auto& f : toRemove) platform::removeFile(f); // only now that the archive is safe
        if (p_.fLatestTime) setLatestTime();
        return count;
    }

    std::vector<SpecIn> readSpecs() const {
        std::vector<SpecIn> v;
        for (int i = 0; i < p_.argc; ++i) {
            if (!p_.fFDS) break;
            const TZipSpecRec& r = p_.fFDS[i];
            if (!r.FileSpec || !*r.FileSpec) continue;
            SpecIn s;
            s.spec = r.FileSpec;
            std::replace(s.spec.begin(), s.spec.end(), '\\', '/');
            s.password = r.Password ? r.Password : (p_.Password ? p_.Password : "");
            s.encrypt = r.Encrypt != 0;
            s.recurse = r.Recurse != 0;
            s.rootDir = r.RootDir ? r.RootDir : "";
            std::replace(s.rootDir.begin(), s.rootDir.end(), '\\', '/');
            v.push_back(s);
        }
        return v;
    }

    // ---- Finding the files ----

    void gather(const std::vector<SpecIn>& specs) {
        for (const SpecIn& s : specs) {
            std::string root = s.rootDir;
            if (!root.empty() && root.back() != '/') root += '/';
            std::string full = (s.spec.front() == '/' || root.empty()) ? s.spec : root + s.spec;
            std::string dir = dirName(full), pattern = baseName(full);
            if (full.back() == '/') {
                dir = full.substr(0, full.size() - 1);
                pattern = "*";
            } else if (!pvcommon::HasWildcards(pattern) && platform::dirExists(full)) {
                dir = full;
                pattern = "*";
                addDirEntry(root, full);
            }
            if (!pvcommon::HasWildcards(pattern)) {
                considerFile(s, root, full);
                continue;
            }
            walk(s, root, dir, pattern, 0);
        }
    }

    void walk(const SpecIn& s, const std::string& root, const std::string& dir, const std::string& pattern,
              int depth) {
        if (depth > 256) return; // a folder loop
        auto list = platform::listDir(dir);
        if (!list) {
            later(kErrRead, "Cannot read the folder " + dir);
            return;
        }
        std::sort(list->begin(), list->end(), [](auto& a, auto& b) { return a.name < b.name; });
        const std::string prefix = dir == "." ? "" : (dir.back() == '/' ? dir : dir + "/");
        for (auto& d : *list) {
            if (!p_.fSystem && !d.name.empty() && d.name[0] == '.') continue;
            const std::string path = prefix + d.name;
            if (d.attrs & platform::faDirectory) {
                if (!s.recurse || (d.attrs & platform::faSymLink)) continue;
                addDirEntry(root, path);
                walk(s, root, path, pattern, depth + 1);
            } else if (pvcommon::WildcardMatch(pattern, d.name, false)) {
                considerFile(s, root, path);
            }
        }
    }

    // The name stored for `path`: relative to the file spec's root, without a leading '/' or
    // "../" parts, or only the file name when folder names are dropped.
    std::string storedName(const std::string& root, std::string path) const {
        if (path.rfind("./", 0) == 0) path = path.substr(2);
        if (!root.empty() && path.rfind(root, 0) == 0) path = path.substr(root.size());
        if (p_.fJunkDir) return baseName(path);
        std::string out;
        size_t i = 0;
        while (i <= path.size()) {
            size_t j = path.find('/', i);
            if (j == std::string::npos) j = path.size();
            std::string part = path.substr(i, j - i);
            if (!part.empty() && part != "." && part != "..") out += (out.empty() ? "" : "/") + part;
            i = j + 1;
        }
        return out;
    }

    bool excluded(const std::string& stored) const {
        for (int i = 0; i < p_.fTotExFileSpecs && p_.fExFiles; ++i) {
            if (!p_.fExFiles[i] || !*p_.fExFiles[i]) continue;
            std::string x = p_.fExFiles[i];
            std::replace(x.begin(), x.end(), '\\', '/');
            if (pvcommon::WildcardMatch(x, stored, false) ||
                pvcommon::WildcardMatch(x, baseName(stored), false))
                return true;
        }
        return false;
    }

    void considerFile(const SpecIn& s, const std::string& root, const std::string& path) {
        Candidate c;
        if (stat(path.c_str(), &c.st) != 0) {
            later(kErrNoFiles, "File not found: " + path);
            return;
        }
        if (!S_ISREG(c.st.st_mode)) return;
        if (haveOld_ && c.st.st_dev == zipSt_.st_dev && c.st.st_ino == zipSt_.st_ino)
            return; // the archive itself
        c.path = path;
        c.stored = storedName(root, path);
        c.encrypt = s.encrypt;
        c.password = s.password;
        push(std::move(c));
    }

    void addDirEntry(const std::string& root, const std::string& path) {
        if (p_.fNoDirEntries || p_.fJunkDir) return;
        Candidate c;
        if (stat(path.c_str(), &c.st) != 0) return;
        c.path = path;
        c.stored = storedName(root, path);
        if (c.stored.empty()) return;
        c.stored += '/';
        c.isDir = true;
        push(std::move(c));
    }

    void push(Candidate c) {
        if (c.stored.empty() || excluded(c.stored)) return;
        auto [it, fresh] = seen_.emplace(c.stored, c.path);
        if (!fresh) {
            // Two files under one name (folder names dropped): the first stays, and the
            // other is not lost without a word.
            if (it->second != c.path) later(kErrParams, "Name already taken, not added: " + c.path);
            return;
        }
        found_.push_back(std::move(c));
    }

    // ---- Writing one entry ----

    bool storedBySuffix(const std::string& name) const {
        if (!p_.Suffix) return false;
        const std::string n = lower(name);
        std::string list = lower(p_.Suffix);
        size_t i = 0;
        while (i <= list.size()) {
            size_t j = list.find(':', i);
            if (j == std::string::npos) j = list.size();
            std::string suf = list.substr(i, j - i);
            if (!suf.empty() && n.size() >= suf.size() &&
                n.compare(n.size() - suf.size(), suf.size(), suf) == 0)
                return true;
            i = j + 1;
        }
        return false;
    }

    std::optional<std::string> passwordFor(const Candidate& c) {
        if (!c.password.empty()) return c.password;
        if (!asked_.empty()) return asked_;
        int32_t repeat = 1;
        auto pw = rep_.askPassword(c.stored, true, repeat);
        if (pw) asked_ = *pw;
        return pw;
    }

    // The Info-ZIP Unicode path extra field (0x7075): version 1, the CRC-32 of the name as
    // stored, the name in UTF-8.
    static std::vector<uint8_t> unicodePathField(const std::string& utf8) {
        std::vector<uint8_t> f(9 + utf8.size());
        PutLE16(f.data(), 0x7075);
        PutLE16(f.data() + 2, static_cast<uint32_t>(5 + utf8.size()));
        f[4] = 1;
        const auto* p = reinterpret_cast<const Bytef*>(utf8.data());
        PutLE32(f.data() + 5,
                static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(utf8.size()))));
        std::copy(utf8.begin(), utf8.end(), f.begin() + 9);
        return f;
    }

    // Local header: signature, needed, flags, method, time, date, CRC, packed, size, name
    // length, extra length, name. Central header adds made-by, comment length, disk,
    // internal and external attributes and the local offset.
    bool writeEntry(ZipOut& out, const Candidate& c) {
        const std::string stored = rep_.newName(c.stored);
        // Every non-ASCII name as UTF-8 with the UTF-8 flag, made by Unix: the form unzip, 7zz,
        // bsdtar and python extract under its own name. A name forced to "made by MS-DOS"
        // also carries the Unicode path field, without which unzip reads it as OEM text.
        platform::EncodedName enc = platform::encodeArchiveName(stored, true);
        const bool dosHost = p_.fForce != 0;
        const std::vector<uint8_t> extra =
            dosHost && enc.utf8 ? unicodePathField(enc.bytes) : std::vector<uint8_t>{};
        if (enc.bytes.size() > 0xFFFF || extra.size() > 0xFFFF) {
            rep_.error(kErrParams, "Name too long: " + stored);
            return false;
        }
        std::optional<std::string> password;
        if (c.encrypt && !c.isDir) {
            password = passwordFor(c);
            if (!password) {
                rep_.error(kErrPassword, "No password given, skipped: " + stored);
                return false;
            }
        }
        int fd = -1;
        uint32_t crc = 0;
        int64_t size = 0;
        if (!c.isDir) {
            fd = platform::openFile(c.path, platform::OpenMode::Read);
            if (fd < 0 || !fileCrc(fd, crc, size) || platform::seekFile(fd, 0) != 0) {
                if (fd >= 0) platform::closeFile(fd);
                rep_.error(kErrOpen, "Cannot read " + c.path);
                return false;
            }
        }
        struct Closer {
            int fd;
            ~Closer() {
                if (fd >= 0) platform::closeFile(fd);
            }
        } closer{fd};
        if (size > 0xFFFFFFFE)
            throw StubError(kErrTooBig, c.path + " is larger than 4 GB (zip64 is not supported)");
        const int level = std::clamp(p_.fLevel, 0, 9);
        uint16_t method = (c.isDir || size == 0 || level == 0 || storedBySuffix(stored)) ? 0 : 8;
        uint16_t flags = enc.utf8 ? 0x800 : 0;
        if (password) flags |= 1;
        if (method == 8) flags |= level >= 8 ? 2 : (level <= 2 ? 6 : 0);
        const uint32_t dos = unixToDosLocal(c.st.st_mtime);
        uint16_t needed = (method == 8 || password) ? 20 : (c.isDir ? 20 : 10);

        std::vector<uint8_t> h(30 + enc.bytes.size() + extra.size());
        PutLE32(h.data(), kLocalSig);
        PutLE16(h.data() + 4, needed);
        PutLE16(h.data() + 6, flags);
        PutLE16(h.data() + 8, method);
        PutLE16(h.data() + 10, dos & 0xFFFF);
        PutLE16(h.data() + 12, dos >> 16);
        PutLE32(h.data() + 14, crc);
        PutLE32(h.data() + 22, static_cast<uint32_t>(size));
        PutLE16(h.data() + 26, static_cast<uint32_t>(enc.bytes.size()));
        PutLE16(h.data() + 28, static_cast<uint32_t>(extra.size()));
        std::copy(enc.bytes.begin(), enc.bytes.end(), h.begin() + 30);
        std::copy(extra.begin(), extra.end(), h.begin() + 30 + static_cast<std::ptrdiff_t>(enc.bytes.size()));
        const int64_t at = out.pos();
        out.write(h.data(), h.size());
        rep_.newFile(stored, size);
        int64_t packed = 0;
        if (!c.isDir) {
            const int64_t dataAt = out.pos();
            packed = writeData(out, fd, method == 8 ? level : 0, password, crc, true);
            const int64_t overhead = password ? 12 : 0;
            if (method == 8 && packed - overhead >= size) {
                // Deflate did not help (data already packed): store the bytes instead.
                out.rewind(dataAt);
                if (platform::seekFile(fd, 0) != 0) throw StubError(kErrRead, "Read error in " + c.path);
                packed = writeData(out, fd, 0, password, crc, false);
                method = 0;
                flags &= static_cast<uint16_t>(~6u);
                if (!password) needed = 10;
                PutLE16(h.data() + 4, needed);
                PutLE16(h.data() + 6, flags);
                PutLE16(h.data() + 8, method);
            }
            if (packed > 0xFFFFFFFE) throw StubError(kErrTooBig, c.path + " packs to more than 4 GB");
            PutLE32(h.data() + 18, static_cast<uint32_t>(packed));
            out.patch(at, h.data(), 30);
        }
        std::vector<uint8_t> cr(46 + enc.bytes.size() + extra.size());
        PutLE32(cr.data(), kCentralSig);
        PutLE16(cr.data() + 4, dosHost ? 20 : (3u << 8 | 30));
        std::copy(h.begin() + 4, h.begin() + 30, cr.begin() + 6);
        PutLE32(cr.data() + 20, static_cast<uint32_t>(packed));
        PutLE16(cr.data() + 30, static_cast<uint32_t>(extra.size()));
        uint32_t attr = c.isDir ? 0x10 : 0;
        if (!(c.st.st_mode & 0200)) attr |= 1;
        if (baseName(c.isDir ? stored.substr(0, stored.size() - 1) : stored).rfind('.', 0) == 0) attr |= 2;
        if (!dosHost) attr |= static_cast<uint32_t>(c.st.st_mode & 0xFFFF) << 16;
        PutLE32(cr.data() + 38, attr);
        std::copy(enc.bytes.begin(), enc.bytes.end(), cr.begin() + 46);
        std::copy(extra.begin(), extra.end(),
                  cr.begin() + 46 + static_cast<std::ptrdiff_t>(enc.bytes.size()));
        out.addCentral(std::move(cr), at);
        if (p_.fVerbose) {
            int pct = size > 0 ? static_cast<int>(100 - packed * 100 / size) : 0;
            rep_.info("  adding: " + stored +
                      (method == 8 ? " (deflated " + std::to_string(pct) + "%)" : " (stored 0%)"));
        }
        newest_ = std::max(newest_, dos);
        return true;
    }

    // The entry's data, behind a fresh encryption header when there is a password.
    int64_t writeData(ZipOut& out, int fd, int level, const std::optional<std::string>& password,
                      uint32_t crc, bool report) {
        int64_t packed = 0;
        std::optional<TZipKeys> keys;
        if (password) {
            keys.emplace();
            TZipCryptHeader ch = ZipMakeHeader(*keys, *password, crc);
            out.write(ch.data(), ch.size());
            packed += static_cast<int64_t>(ch.size());
        }
        packed += encodeFile(
            fd, level, keys ? &*keys : nullptr, [&](const uint8_t* p, size_t n) { out.write(p, n); },
            [&](int64_t n) {
                if (report) rep_.progress(n);
            });
        return packed;
    }

    void setLatestTime() {
        uint32_t newest = newest_;
        int fd = platform::openFile(zipName_, platform::OpenMode::Read);
        if (fd < 0) return;
        try {
            for (auto& e : readZipDir(fd).entries) newest = std::max(newest, e.dosTime());
        } catch (const StubError&) {
        }
        platform::closeFile(fd);
        if (newest) platform::setFileTimes(zipName_, dosToUnixLocal(newest), dosToUnixLocal(newest));
    }

    const TZipParams& p_;
    Reporter rep_;
    std::string zipName_;
    int in_ = -1;
    struct stat zipSt_ {};
    bool haveOld_ = false;
    ZipDir old_;
    std::vector<Candidate> found_;
    std::map<std::string, std::string> seen_; // stored name -> file
    // Problems found while looking for files, reported once the run has announced its size.
    std::vector<std::pair<int32_t, std::string>> pending_;
    void later(int32_t code, std::string text) { pending_.emplace_back(code, std::move(text)); }
    std::string asked_;
    uint32_t newest_ = 0;
};

} // namespace

extern "C" int32_t ZipDllExec(TZipParams* params) {
    if (!params) return 0;
    return ZipRun(*params).run();
}

extern "C" int32_t GetZipDllVersion() {
    return kVersion;
}
