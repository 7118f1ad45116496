// ZIPSFX.BIN: the self-extractor's program. The zip front-end copies this program, puts
// its settings block right behind the program's own ELF image and the zip data after that
// (with every offset moved by what precedes it). When run, it reads the block, asks what
// the block says to ask (only when it has a terminal), and extracts the zip by the safety
// rules every extractor of ours keeps: names never leave the target folder, nothing is
// written through a symbolic link, every length read is checked.
//
//   NAME.exe [-d DIR] [-y] [-p PASSWORD]
//
// -d DIR      extract into DIR (no question for the folder)
// -y          ask nothing: every question gets its default answer
// -p PASSWORD the password of encrypted entries
//
// The folder is made with every folder missing above it. Without a terminal nothing is
// asked: the block's folder, every file, existing files kept unless the block says to
// overwrite, the command run only when the block says so. A symbolic link is made when
// its target stays inside the folder, and refused otherwise; a file gets its stored
// permissions (never a set-id bit) under the umask.
// Exit status 0 only when every entry was extracted and passed its check.
#include "platform/codepage.h"
#include "common/ZipDirectory.h"
#include "common/ZipLayout.h"
#include "stubs/zipcommon/SafePath.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using pvcommon::GetLE16;
using pvcommon::GetLE32;

struct Failure {
    std::string text;
};

// ---- Reading our own file ----

class Input {
public:
    explicit Input(const char* path) {
        fd_ = open(path, O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw Failure{std::string("cannot open the program file: ") + std::strerror(errno)};
        struct stat st {};
        if (fstat(fd_, &st) != 0) throw Failure{"cannot read the program file's size"};
        size_ = st.st_size;
    }
    ~Input() {
        if (fd_ >= 0) close(fd_);
    }
    int64_t size() const { return size_; }
    // Exactly n bytes at pos, or a failure: nothing read past the file's end.
    void read(int64_t pos, void* buf, int64_t n) const {
        if (pos < 0 || n < 0 || pos > size_ || n > size_ - pos) throw Failure{"the archive is damaged"};
        auto* p = static_cast<uint8_t*>(buf);
        while (n > 0) {
            const ssize_t r = pread(fd_, p, static_cast<size_t>(std::min<int64_t>(n, 1 << 20)), pos);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) throw Failure{"cannot read the program file"};
            p += r;
            pos += r;
            n -= r;
        }
    }

private:
    int fd_ = -1;
    int64_t size_ = 0;
};

// Where our own ELF image ends: past the last program segment, section and the section
// header table. The settings block starts there.
int64_t elfImageEnd(const Input& in) {
    Elf64_Ehdr eh{};
    in.read(0, &eh, sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        throw Failure{"the program file is not an ELF program"};
    auto end = static_cast<int64_t>(sizeof eh);
    auto upTo = [&](uint64_t off, uint64_t len) {
        if (off > static_cast<uint64_t>(in.size()) || len > static_cast<uint64_t>(in.size()) - off)
            throw Failure{"the program file is damaged"};
        end = std::max<int64_t>(end, static_cast<int64_t>(off + len));
    };
    upTo(eh.e_phoff, static_cast<uint64_t>(eh.e_phnum) * eh.e_phentsize);
    upTo(eh.e_shoff, static_cast<uint64_t>(eh.e_shnum) * eh.e_shentsize);
    for (unsigned i = 0; i < eh.e_phnum && eh.e_phentsize >= sizeof(Elf64_Phdr); ++i) {
        Elf64_Phdr ph{};
        in.read(static_cast<int64_t>(eh.e_phoff + i * eh.e_phentsize), &ph, sizeof ph);
        upTo(ph.p_offset, ph.p_filesz);
    }
    for (unsigned i = 0; i < eh.e_shnum && eh.e_shentsize >= sizeof(Elf64_Shdr); ++i) {
        Elf64_Shdr sh{};
        in.read(static_cast<int64_t>(eh.e_shoff + i * eh.e_shentsize), &sh, sizeof sh);
        if (sh.sh_type != SHT_NOBITS) upTo(sh.sh_offset, sh.sh_size);
    }
    return end;
}

// ---- The settings block ----

enum Flags : uint8_t {
    fAskCmdLine = 1,
    fAskFiles = 2,
    fHideOverwrite = 4,
    fOvrAlways = 8,
    fOvrNever = 16,
    fNoCheckSize = 32,
    fAutoRun = 64,
    fNoSuccessMsg = 128
};

struct Settings {
    uint8_t flags = 0;
    std::string caption, folder, command, message;
    int64_t end = 0; // where the block ends
};

Settings readSettings(const Input& in, int64_t at) {
    uint8_t head[8] = {};
    in.read(at, head, 8);
    Settings s;
    if (head[0] != 'M' || head[1] != 'P' || (head[2] != 'V' && head[2] != 'U'))
        throw Failure{"the self-extractor's settings are missing"};
    s.flags = head[3];
    const int64_t avail = in.size() - at;
    std::vector<uint8_t> b;
    auto text = [&](size_t& pos, std::string& out) {
        if (pos >= b.size()) throw Failure{"the self-extractor's settings are damaged"};
        const size_t n = b[pos++];
        if (n > b.size() - pos) throw Failure{"the self-extractor's settings are damaged"};
        out.assign(reinterpret_cast<const char*>(b.data() + pos), n);
        pos += n;
    };
    if (head[2] == 'V') {
        const int64_t size = GetLE16(head + 6);
        if (size < 12 || size > avail) throw Failure{"the self-extractor's settings are damaged"};
        b.resize(static_cast<size_t>(size));
        in.read(at, b.data(), size);
        size_t pos = 8;
        text(pos, s.caption);
        text(pos, s.folder);
        text(pos, s.command);
        text(pos, s.message);
        s.end = at + size;
    } else {
        // The older layout: three lengths, then the three texts; no message.
        const size_t total = 7u + head[4] + head[5] + head[6];
        if (static_cast<int64_t>(total) > avail) throw Failure{"the self-extractor's settings are damaged"};
        b.resize(total);
        in.read(at, b.data(), static_cast<int64_t>(total));
        size_t pos = 7;
        s.caption.assign(reinterpret_cast<const char*>(b.data() + pos), head[4]);
        pos += head[4];
        s.folder.assign(reinterpret_cast<const char*>(b.data() + pos), head[5]);
        pos += head[5];
        s.command.assign(reinterpret_cast<const char*>(b.data() + pos), head[6]);
        s.flags &= 0x7F;
        s.end = at + static_cast<int64_t>(total);
    }
    return s;
}

// "C:\Temp" becomes "~/Temp", and "~/" the runner's home folder.
std::string localFolder(std::string f) {
    std::replace(f.begin(), f.end(), '\\', '/');
    if (f.size() >= 2 && std::isalpha(static_cast<unsigned char>(f[0])) && f[1] == ':')
        f = "~/" + f.substr(f.size() > 2 && f[2] == '/' ? 3 : 2);
    if (f == "~" || f.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        f = std::string(home && *home ? home : "/") + f.substr(1);
    }
    return f;
}

// ---- The zip directory ----

struct Entry {
    std::string name;
    uint16_t flags = 0, method = 0, time = 0, date = 0, host = 0;
    uint32_t crc = 0, csize = 0, usize = 0, extAttr = 0;
    int64_t local = 0;
};

// The end record and the directory, read by the shared zip walk.
std::vector<Entry> readDirectory(const Input& in, int64_t zipStart) {
    namespace zip = pvcommon::zip;
    const int64_t size = in.size();
    if (size - zipStart < 22) throw Failure{"the archive is missing"};
    std::vector<uint8_t> window;
    const zip::Fetch fromFile = [&](uint64_t offset, size_t count) {
        const auto at = static_cast<int64_t>(offset);
        const auto n = std::min<int64_t>(static_cast<int64_t>(count), at < size ? size - at : 0);
        window.resize(static_cast<size_t>(n));
        in.read(at, window.data(), n);
        return pvcommon::Bytes(window);
    };
    const auto found = zip::FindZipEnd(fromFile, static_cast<uint64_t>(size), zip::kMaxEndComment, true);
    if (!found) throw Failure{"the archive's end record is missing"};
    const auto end = zip::ResolveZipEnd(fromFile, *found);
    if (!end) throw Failure{"the archive's end record is damaged"};
    if (end->thisDisk != 0 || end->centralDisk != 0) throw Failure{"the archive is spanned"};
    if (end->beyond32()) throw Failure{"Zip64 archives over 4 GiB are not supported"};
    const auto cdSize = static_cast<int64_t>(end->centralSize);
    const int64_t cdPos = static_cast<int64_t>(end->directoryEnd) - cdSize;
    if (cdPos < zipStart || cdPos < static_cast<int64_t>(end->centralOffset))
        throw Failure{"the archive's directory is damaged"};
    // Offsets count from the start of this file; an archive that was only appended to the
    // program counts from its own start.
    const int64_t shift = cdPos - static_cast<int64_t>(end->centralOffset);
    std::vector<uint8_t> cd(static_cast<size_t>(cdSize));
    in.read(cdPos, cd.data(), cdSize);
    const zip::Fetch fromDir = [&](uint64_t offset, size_t count) {
        if (offset >= cd.size()) return pvcommon::Bytes{};
        return pvcommon::Bytes(cd).subspan(static_cast<size_t>(offset),
                                           std::min<size_t>(count, cd.size() - static_cast<size_t>(offset)));
    };
    std::vector<Entry> list;
    zip::ZipCentralRecord r;
    uint64_t at = 0;
    for (uint64_t i = 0; i < end->entries; ++i) {
        if (zip::ReadZipCentral(fromDir, at, r) != zip::ZipCentralRead::Record)
            throw Failure{"the archive's directory is damaged"};
        if (r.zip64) throw Failure{"Zip64 entries are not supported"};
        const zip::ZipCentralHeader& h = r.header;
        Entry en;
        en.host = static_cast<uint16_t>(h.versionMadeBy >> 8);
        en.flags = h.flags;
        en.method = h.method;
        en.time = static_cast<uint16_t>(h.dosDateTime & 0xFFFF);
        en.date = static_cast<uint16_t>(h.dosDateTime >> 16);
        en.crc = h.crc32;
        en.csize = static_cast<uint32_t>(h.packedSize);
        en.usize = static_cast<uint32_t>(h.size);
        en.extAttr = h.externalAttr;
        en.local = static_cast<int64_t>(h.localOffset) + shift;
        // Names are UTF-8 when flagged or valid as such, else code page 437.
        en.name = platform::decodeArchiveName(r.rawName, (en.flags & 0x800) != 0);
        if (en.local < zipStart || en.local + 30 > cdPos) throw Failure{"the archive's directory is damaged"};
        list.push_back(std::move(en));
        at = r.next;
    }
    return list;
}

// ---- Traditional decryption ----

struct Keys {
    uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
    const z_crc_t* table = get_crc_table();
    void update(uint8_t c) {
        k0 = table[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    uint8_t decrypt(uint8_t c) {
        const uint32_t t = (k2 & 0xFFFF) | 2;
        const auto plain = static_cast<uint8_t>(c ^ ((t * (t ^ 1)) >> 8));
        update(plain);
        return plain;
    }
};

// ---- Asking (only with a terminal) ----

struct Run {
    bool ask = false; // a terminal is there and -y was not given
    std::string password;
    bool overwriteAll = false, keepAll = false;
    mode_t umask = 022;
    int written = 0, kept = 0; // files (and links) written; existing files left alone
};

std::string askLine(const std::string& prompt, const std::string& deflt) {
    std::cout << prompt;
    if (!deflt.empty()) std::cout << " [" << deflt << "]";
    std::cout << ": " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return deflt;
    return line.empty() ? deflt : line;
}

bool askYes(const std::string& prompt, bool deflt) {
    const std::string a = askLine(prompt + (deflt ? " (Y/n)" : " (y/N)"), "");
    if (a.empty()) return deflt;
    return a[0] == 'y' || a[0] == 'Y';
}

// A password typed on the terminal, not shown while it is typed. Empty at the end of input.
std::string askSecret(const std::string& prompt) {
    // Echo goes off before the prompt shows, and nothing typed ahead is thrown away.
    termios old{};
    const bool quiet = tcgetattr(STDIN_FILENO, &old) == 0;
    if (quiet) {
        termios t = old;
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        t.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    std::cout << prompt << ": " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) line.clear();
    if (quiet) tcsetattr(STDIN_FILENO, TCSANOW, &old);
    return line;
}

// ---- Extraction ----

void setTimes(int fd, const char* path, uint16_t date, uint16_t time) {
    std::tm tm{};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = (time & 31) * 2;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    if (t == static_cast<time_t>(-1)) return;
    const struct timespec ts[2] = {{t, 0}, {t, 0}};
    if (path)
        utimensat(AT_FDCWD, path, ts, AT_SYMLINK_NOFOLLOW);
    else
        futimens(fd, ts);
}

// The entry's Unix file type, when a Unix host stored one.
unsigned unixType(const Entry& e) {
    return e.host == 3 ? (e.extAttr >> 16) & S_IFMT : 0;
}

// A link's target stays inside the folder when it is relative, climbs ("..") only at its
// start and no higher than the link's own folder (whose parts are real folders), and
// never climbs after going down (a part it goes down through may itself be a link).
bool targetStaysInside(const std::string& rel, const std::string& target) {
    if (target.empty() || target[0] == '/' || target.find('\0') != std::string::npos) return false;
    const auto depth = static_cast<long>(std::count(rel.begin(), rel.end(), '/'));
    long up = 0;
    bool down = false;
    size_t i = 0;
    while (i <= target.size()) {
        size_t j = target.find('/', i);
        if (j == std::string::npos) j = target.size();
        const std::string part = target.substr(i, j - i);
        if (part == "..") {
            if (down || ++up > depth) return false;
        } else if (!part.empty() && part != ".") {
            down = true;
        }
        i = j + 1;
    }
    return true;
}

// Decrypts (with `keys`) and decodes the `left` stored bytes at `pos`, handing the data to
// `sink` (false stops); true when the data came out whole and passed its check.
template <class Sink>
bool decodeEntry(const Input& in, const Entry& e, int64_t pos, int64_t left, std::optional<Keys>& keys,
                 Sink sink) {
    z_stream zs{};
    if (e.method == 8 && inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
    std::vector<uint8_t> ib(1 << 16), ob(1 << 16);
    uLong crc = crc32(0, nullptr, 0);
    int64_t written = 0;
    bool ok = true, streamEnd = e.method == 0;
    auto emit = [&](const uint8_t* p, size_t n) {
        crc = crc32(crc, p, static_cast<uInt>(n));
        written += static_cast<int64_t>(n);
        if (written > e.usize) ok = false; // more than the directory promised
        if (ok && n > 0 && !sink(p, n)) ok = false;
    };
    while (ok && left > 0) {
        const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(ib.size())));
        in.read(pos, ib.data(), static_cast<int64_t>(n));
        pos += static_cast<int64_t>(n);
        left -= static_cast<int64_t>(n);
        if (keys)
            for (size_t i = 0; i < n; ++i) ib[i] = keys->decrypt(ib[i]);
        if (e.method == 0) {
            emit(ib.data(), n);
            continue;
        }
        zs.next_in = ib.data();
        zs.avail_in = static_cast<uInt>(n);
        while (ok && zs.avail_in > 0 && !streamEnd) {
            zs.next_out = ob.data();
            zs.avail_out = static_cast<uInt>(ob.size());
            const int r = inflate(&zs, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_STREAM_END) ok = false;
            emit(ob.data(), ob.size() - zs.avail_out);
            if (r == Z_STREAM_END) streamEnd = true;
        }
    }
    // Flush what the decoder still holds.
    while (ok && e.method == 8 && !streamEnd) {
        zs.next_out = ob.data();
        zs.avail_out = static_cast<uInt>(ob.size());
        const int r = inflate(&zs, Z_FINISH);
        emit(ob.data(), ob.size() - zs.avail_out);
        if (r == Z_STREAM_END)
            streamEnd = true;
        else if (r != Z_OK || zs.avail_out == ob.size())
            ok = false;
    }
    if (e.method == 8) inflateEnd(&zs);
    return ok && streamEnd && written == e.usize && crc == e.crc;
}

// The keys that decrypt the entry whose 12-byte header is at `pos`, when `password` passes
// the header's check byte.
std::optional<Keys> keysFor(const Input& in, const Entry& e, int64_t pos, const std::string& password) {
    Keys keys;
    for (char c : password) keys.update(static_cast<uint8_t>(c));
    uint8_t eh[12];
    in.read(pos, eh, 12);
    for (auto& c : eh) c = keys.decrypt(c);
    const uint8_t check =
        (e.flags & 8) ? static_cast<uint8_t>(e.time >> 8) : static_cast<uint8_t>(e.crc >> 24);
    if (eh[11] != check) return std::nullopt;
    return keys;
}

enum class Outcome { Written, Kept, Folder, Failed };

// Writes one entry below `base`; Failed (with the reason on stderr) when it fails.
Outcome extractEntry(const Input& in, const Entry& e, const std::string& base, const Settings& s, Run& run) {
    const auto rel = zipstub::safeRelativePath(e.name);
    if (!rel) {
        std::cerr << "skipped (unsafe name): " << e.name << "\n";
        return Outcome::Failed;
    }
    std::string why;
    if (!zipstub::makeSafeParents(base, *rel, why)) {
        std::cerr << e.name << ": " << why << "\n";
        return Outcome::Failed;
    }
    const std::string path = base + "/" + *rel;
    const bool isDir =
        (!e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\')) || unixType(e) == S_IFDIR;
    const bool isLink = !isDir && unixType(e) == S_IFLNK;
    struct stat st {};
    const bool exists = lstat(path.c_str(), &st) == 0;
    if (isDir) {
        if (exists && S_ISDIR(st.st_mode)) return Outcome::Folder;
        if (exists && S_ISLNK(st.st_mode)) unlink(path.c_str());
        if (mkdir(path.c_str(), 0777) != 0) {
            std::cerr << e.name << ": cannot create the folder\n";
            return Outcome::Failed;
        }
        return Outcome::Folder;
    }
    if (exists && !S_ISLNK(st.st_mode)) {
        bool overwrite = (s.flags & fOvrAlways) != 0 || run.overwriteAll;
        if ((s.flags & fOvrNever) || run.keepAll)
            overwrite = false;
        else if (!overwrite && run.ask) {
            const std::string a = askLine("Overwrite " + *rel + "? (y)es, (n)o, (A)ll, (N)one", "n");
            overwrite = a == "y" || a == "Y" || a == "A";
            run.overwriteAll = a == "A";
            run.keepAll = a == "N";
        }
        if (!overwrite) {
            std::cout << "kept: " << *rel << "\n";
            return Outcome::Kept;
        }
    }
    if (e.method != 0 && e.method != 8) {
        std::cerr << e.name << ": compression method " << e.method << " is not supported\n";
        return Outcome::Failed;
    }
    uint8_t h[30];
    in.read(e.local, h, 30);
    if (GetLE32(h) != pvcommon::zip::kLocalSig) {
        std::cerr << e.name << ": the local header is damaged\n";
        return Outcome::Failed;
    }
    int64_t pos = e.local + 30 + GetLE16(h + 26) + GetLE16(h + 28);
    int64_t left = e.csize;
    if (pos > in.size() || left > in.size() - pos) {
        std::cerr << e.name << ": the entry runs past the archive\n";
        return Outcome::Failed;
    }
    std::optional<Keys> keys;
    if (e.flags & 1) {
        if (left < 12) {
            std::cerr << e.name << ": the entry is damaged\n";
            return Outcome::Failed;
        }
        // On a terminal a password that does not fit is asked for again, three times.
        keys = run.password.empty() ? std::nullopt : keysFor(in, e, pos, run.password);
        for (int tries = 0; !keys && run.ask && tries < 3; ++tries) {
            if (tries > 0 || !run.password.empty()) std::cout << "Wrong password.\n";
            run.password = askSecret("Password for " + e.name);
            if (run.password.empty()) break;
            keys = keysFor(in, e, pos, run.password);
        }
        if (!keys) {
            std::cerr << e.name << (run.password.empty() ? ": a password is needed\n" : ": wrong password\n");
            return Outcome::Failed;
        }
        pos += 12;
        left -= 12;
    }
    // An existing file or link is replaced, never written through.
    if (exists && unlink(path.c_str()) != 0) {
        std::cerr << e.name << ": cannot replace " << path << ": " << std::strerror(errno) << "\n";
        return Outcome::Failed;
    }
    if (isLink) {
        std::string target;
        const bool ok = decodeEntry(in, e, pos, left, keys, [&](const uint8_t* p, size_t n) {
            target.append(reinterpret_cast<const char*>(p), n);
            return target.size() <= PATH_MAX;
        });
        if (!ok) {
            std::cerr << e.name << ": the data fails its check\n";
            return Outcome::Failed;
        }
        if (!targetStaysInside(*rel, target)) {
            std::cerr << e.name << ": refused the symbolic link to \"" << target
                      << "\": it may point outside the folder\n";
            return Outcome::Failed;
        }
        if (symlink(target.c_str(), path.c_str()) != 0) {
            std::cerr << e.name << ": cannot create the symbolic link: " << std::strerror(errno) << "\n";
            return Outcome::Failed;
        }
        setTimes(-1, path.c_str(), e.date, e.time);
        std::cout << "linked: " << *rel << " -> " << target << "\n";
        return Outcome::Written;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        std::cerr << e.name << ": cannot create the file: " << std::strerror(errno) << "\n";
        return Outcome::Failed;
    }
    bool ok = decodeEntry(in, e, pos, left, keys, [fd](const uint8_t* p, size_t n) {
        for (size_t done = 0; done < n;) {
            const ssize_t w = write(fd, p + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += static_cast<size_t>(w);
        }
        return true;
    });
    if (!ok) std::cerr << e.name << ": the data fails its check\n";
    if (ok) {
        setTimes(fd, nullptr, e.date, e.time);
        // The stored permissions, never a set-id or sticky bit, under the runner's umask.
        const unsigned stored = e.host == 3 ? (e.extAttr >> 16) & 0777 : 0;
        if (stored != 0) fchmod(fd, static_cast<mode_t>(stored) & ~run.umask);
    }
    if (close(fd) != 0) ok = false;
    if (!ok) {
        unlink(path.c_str());
        std::cerr << "failed: " << *rel << "\n";
        return Outcome::Failed;
    }
    std::cout << "extracted: " << *rel << "\n";
    return Outcome::Written;
}

// Creates `dir` and every missing folder above it.
bool makeFolders(const std::string& dir) {
    for (size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
        const std::string part = dir.substr(0, at);
        struct stat st {};
        if (!part.empty() && stat(part.c_str(), &st) != 0 && mkdir(part.c_str(), 0777) != 0 &&
            errno != EEXIST)
            return false;
        if (at == std::string::npos) break;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int runMain(int argc, char** argv) {
    std::string dir;
    bool dirGiven = false, yes = false;
    Run run;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-d" && i + 1 < argc) {
            dir = argv[++i];
            dirGiven = true;
        } else if (a == "-p" && i + 1 < argc) {
            run.password = argv[++i];
        } else if (a == "-y") {
            yes = true;
        } else {
            std::cerr << "usage: " << argv[0] << " [-d DIR] [-y] [-p PASSWORD]\n";
            return 2;
        }
    }
    run.ask = !yes && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);

    Input in("/proc/self/exe");
    const Settings s = readSettings(in, elfImageEnd(in));
    const std::vector<Entry> entries = readDirectory(in, s.end);

    if (run.ask) {
        if (!s.caption.empty()) std::cout << s.caption << "\n\n";
        if (!s.message.empty()) std::cout << s.message << "\n\n";
    }
    if (!dirGiven) {
        dir = s.folder.empty() ? std::string(".") : localFolder(s.folder);
        if (run.ask) dir = localFolder(askLine("Extract to folder", dir));
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty()) dir = ".";
    if (!makeFolders(dir)) {
        std::cerr << "cannot create the folder " << dir << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    run.umask = umask(0);
    umask(run.umask);
    int failed = 0;
    for (const Entry& e : entries) {
        if (run.ask && (s.flags & fAskFiles) && !askYes("Extract " + e.name + "?", true)) continue;
        try {
            switch (extractEntry(in, e, dir, s, run)) {
            case Outcome::Written:
                ++run.written;
                break;
            case Outcome::Kept:
                ++run.kept;
                break;
            case Outcome::Folder:
                break;
            case Outcome::Failed:
                ++failed;
                break;
            }
        } catch (const Failure& f) {
            std::cerr << e.name << ": " << f.text << "\n";
            ++failed;
        }
    }
    if (failed) {
        std::cerr << failed << " of " << entries.size() << " entries failed\n";
        return 1;
    }
    if (!s.command.empty()) {
        bool runIt = (s.flags & fAutoRun) != 0;
        if (run.ask && (s.flags & fAskCmdLine)) runIt = askYes("Run \"" + s.command + "\"?", runIt);
        if (runIt) {
            std::string cmd = s.command;
            std::replace(cmd.begin(), cmd.end(), '\\', '/');
            const pid_t pid = fork();
            if (pid == 0) {
                if (chdir(dir.c_str()) != 0) _exit(127);
                execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::cerr << "the command failed: " << cmd << "\n";
                return 1;
            }
        }
    }
    if (run.ask && !(s.flags & fNoSuccessMsg)) {
        std::cout << run.written << " file(s) extracted";
        if (run.kept) std::cout << ", " << run.kept << " kept";
        std::cout << "\n";
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return runMain(argc, argv);
    } catch (const Failure& f) {
        std::cerr << f.text << "\n";
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
    }
    return 1;
}
