// File I/O over POSIX descriptors with 64-bit sizes, file attributes mapped onto the
// Linux file system, and temporary files made with mkstemp/mkdtemp.
//
// Handles are plain descriptors; kInvalidHandle (-1) is the invalid one. Every call
// retries on EINTR and on short transfers, so a read returns less than asked only at the
// end of the file, and a negative value only on an error.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr int kInvalidHandle = -1;

enum class OpenMode {
    Read,              // existing file, read only
    ReadWrite,         // existing file, read and write
    Query,             // existing file, for reading its times and size only (opened read-only)
    Create,            // write access; created or truncated
    CreateNew,         // write access; fails when the file exists
    OpenAlways,        // read and write; created when missing, kept otherwise
    CreateReadWrite,   // read and write; created or truncated
    CreateNewReadWrite // read and write; fails when the file exists
};

// Opens `path`; kInvalidHandle on failure (errno tells why). Descriptors are close-on-exec.
// Only a plain file is opened (links followed): a folder fails with EISDIR, and a named pipe,
// socket or device with ENOTSUP -- without blocking, as opening a pipe otherwise would.
int openFile(const std::string& path, OpenMode mode);
bool closeFile(int fd);

// Reads up to `count` bytes; the count read (less only at end of file), -1 on error.
int64_t readFile(int fd, void* buf, int64_t count);
// Writes all `count` bytes; the count written, which is less than `count` only on error.
int64_t writeFile(int fd, const void* buf, int64_t count);
// Reads exactly `count` bytes at `offset` without moving the position; false on a short read.
bool readAt(int fd, int64_t offset, void* buf, int64_t count);
// Reads up to `count` bytes at `offset` without moving the position; the count read (less
// only at end of file), -1 on error.
int64_t readUpToAt(int fd, int64_t offset, void* buf, int64_t count);

enum class SeekFrom { Begin = 0, Current = 1, End = 2 }; // the values of SEEK_SET/CUR/END
// The new position, -1 on failure.
int64_t seekFile(int fd, int64_t distance, SeekFrom from = SeekFrom::Begin);
int64_t filePosition(int fd);              // -1 on failure
int64_t fileSize(int fd);                  // -1 on failure
int64_t fileSize(const std::string& path); // -1 when missing
bool truncateFile(int fd, int64_t size);
bool syncFile(int fd);

// Whole-file helpers (std::nullopt / false on any failure).
std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path);
bool writeWholeFile(const std::string& path, const void* data, size_t size);

// ---- Existence, folders, names ----
bool fileExists(const std::string& path); // a regular file (symlinks followed)
bool dirExists(const std::string& path);  // a folder (symlinks followed)
bool pathExists(const std::string& path); // anything, a dangling symlink included
bool isSymlink(const std::string& path);
bool makeDir(const std::string& path);    // one level; true when it exists afterwards as a folder
bool makeDirs(const std::string& path);   // with every missing parent
bool removeFile(const std::string& path); // unlink (a file or a symlink)
bool removeDir(const std::string& path);  // an empty folder
bool renameFile(const std::string& from, const std::string& to); // rename(2), replaces `to`
std::string currentDir();
std::string homeDir(); // $HOME, else the password database, else "/"
// The per-user base folders: the variable when it holds an absolute path (relative values
// are ignored, as the base-directory rules say), else the default under the home folder.
std::string xdgDataHome();   // $XDG_DATA_HOME, else ~/.local/share
std::string xdgConfigHome(); // $XDG_CONFIG_HOME, else ~/.config

// ---- Times ----
// Times are Unix seconds (UTC). `which`: 0 creation (birth time where the file system keeps
// one, else the change time), 1 last write, 2 last access.
struct FileTimes {
    int64_t creation = 0, lastWrite = 0, lastAccess = 0;
};
std::optional<FileTimes> fileTimes(int fd);
std::optional<FileTimes> fileTimes(const std::string& path);
bool setFileTimes(const std::string& path, int64_t lastWrite, int64_t lastAccess);
bool setFileTimes(int fd, int64_t lastWrite, int64_t lastAccess);

// ---- Attributes ----
// DOS attribute bits as archives store them. On Linux: read-only = no write permission
// for anyone; hidden = the name starts with '.'; system and archive have no meaning on the
// file system (archive is reported set for every file, as a freshly written file has it).
enum FileAttr : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faSymLink = 0x40,
    faNormal = 0x80,
};
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// The attribute bits of `path` (not following a final symlink: a symlink reports faSymLink
// plus the bits of its target when there is one), kInvalidAttributes when missing.
uint32_t fileAttributes(const std::string& path);
// Applies read-only (clears or restores the write permission bits); the other bits are
// accepted and ignored. False when the file is missing or chmod fails.
bool setFileAttributes(const std::string& path, uint32_t attrs);
// Unix mode bits (st_mode & 07777), -1 when missing; and setting them.
int fileMode(const std::string& path);
bool setFileMode(const std::string& path, int mode);
bool setFileMode(int fd, int mode);
// The mode a file made with `requested` permissions gets under the process's umask (0666 for
// a plain new file); for files made otherwise, such as temporary files that start at 0600.
int newFileMode(int requested = 0666);

// ---- Temporary files ----
// $TMPDIR when it names a folder, else "/tmp"; always with a trailing '/'.
std::string systemTempDir();
struct TempFile {
    std::string path;
    int fd = kInvalidHandle; // open read/write; the caller closes it
};
// A new, empty, uniquely named file "<dir>/<prefix><pid>-XXXXXX<suffix>" made by mkstemp(s);
// `dir` empty means systemTempDir(). fd == kInvalidHandle and an empty path on failure.
TempFile makeTempFile(const std::string& dir = {}, const std::string& prefix = "pv",
                      const std::string& suffix = {});
// ---- Files that appear only when finished ----
// A new file written for the place of `target` that nobody sees before it is complete,
// and that a killed process leaves nothing of: where the file system can, it is made
// without a name (O_TMPFILE) in the target's folder and linked into place by commit().
// Elsewhere a named temporary "<dir>/<prefix>XXXXXX<suffix>" stands in; it is removed by
// discard() and the destructor, and also when the process ends by SIGTERM, SIGINT or
// SIGHUP (the signal's previous disposition then takes over). Every temporary output of
// the program -- extracted files, rewritten archives -- goes through this one class.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile(); // discard()
    PendingFile(PendingFile&& o) noexcept;
    PendingFile& operator=(PendingFile&& o) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Makes the new, empty file in folder `dir` ("" is the current folder), open for
    // reading and writing; false with errno set when it cannot be made. A file still
    // pending from an earlier create() is discarded first.
    bool create(const std::string& dir, const std::string& prefix = ".pv",
                const std::string& suffix = ".tmp");
    bool isOpen() const { return fd_ >= 0; }
    // The descriptor, owned here; callers may dup() it but never close it.
    int fd() const { return fd_; }
    // True when the file has no name while pending (O_TMPFILE).
    bool anonymous() const { return anonymous_; }
    // A path that opens this same file while it is pending ("/proc/self/fd/N" for one
    // without a name).
    std::string reopenPath() const;
    // Puts the file at `target`, replacing a file or a symbolic link there (never writing
    // through it), and closes it. False (errno set) when it cannot be put there; the file
    // is then removed.
    bool commit(const std::string& target);
    // Closes and removes the file; nothing is left.
    void discard();

private:
    int fd_ = kInvalidHandle;
    bool anonymous_ = false;
    std::string dir_, prefix_, suffix_;
    std::string path_; // the named stand-in's path (empty when anonymous)
    int slot_ = -1;    // its place in the list removed on a terminating signal
};
// makeTempFile for a temporary that others must reach by its name (so it cannot be a
// PendingFile): its owner removes it on every ordinary way out, and it is removed too when
// the process ends by SIGTERM, SIGINT or SIGHUP -- from the moment it exists. `ticket`
// (-1 when none could be had) is handed back once the file is gone or in place.
TempFile makeTempFileRemovedOnSignal(const std::string& dir, const std::string& prefix,
                                     const std::string& suffix, int& ticket);
void forgetOnTerminatingSignal(int ticket);
// The same for a file that exists already; the ticket is -1 when none could be had. A
// signal that comes between the file's creation and this call finds it unlisted: prefer
// makeTempFileRemovedOnSignal.
int removeOnTerminatingSignal(const std::string& path);

// For tests: false makes every PendingFile take the named stand-in (the path taken on file
// systems without unnamed files).
void allowUnnamedPendingFiles(bool allow);

// A new folder made by mkdtemp; empty on failure.
std::string makeTempDir(const std::string& dir = {}, const std::string& prefix = "pv");
// makeTempDir for a folder removed with everything in it when the process ends by SIGTERM,
// SIGINT or SIGHUP, from the moment it exists; the ticket goes to forgetOnTerminatingSignal.
std::string makeTempDirRemovedOnSignal(const std::string& dir, const std::string& prefix, int& ticket);
// Temporary names made here carry the process id ("<prefix><pid>-XXXXXX<suffix>"), so that
// what a killed process (SIGKILL) left can be told from what a running one uses: this removes
// from `dir` the temporaries of this program (prefixes "pv", ".pv...", "ae"; the same owner)
// whose process is gone. Runs call it on the folders they make temporaries in.
void removeStaleTemporaries(const std::string& dir);
// The mkstemp/mkdtemp template of such a name without folder and suffix:
// "<prefix><pid>-XXXXXX".
std::string tempNameStem(const std::string& prefix);
// Removes the folder `dir` with everything below it, through the *at() calls on open
// folders: no symbolic link is followed (a link is removed as a link), a name swapped for a
// link meanwhile cannot lead the removal elsewhere, and the current folder stays as it is.
// `dir` itself must be a folder, not a link to one. True when nothing is left.
bool removeTree(const std::string& dir);
// A named pipe, socket or device (links followed): never opened as a file.
bool isSpecialFile(const std::string& path);
// Whether two paths name the same file (device and inode, links followed); false when
// either is missing.
bool sameFile(const std::string& a, const std::string& b);

// ---- Folder listing ----
struct DirEntry {
    std::string name;   // the name within its folder
    uint32_t attrs = 0; // as fileAttributes()
    int64_t size = 0;   // 0 for folders
    int64_t lastWrite = 0;
    int mode = 0; // st_mode & 07777
};
// The entries of `dir` without "." and ".."; std::nullopt when it cannot be read.
std::optional<std::vector<DirEntry>> listDir(const std::string& dir);

} // namespace platform
