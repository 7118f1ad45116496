// Shared core of the zip-library stand-ins: errors, the callback wrapper (names are
// matched by pvcommon::WildcardMatch), DOS times, reading a zip directory and writing a new archive safely.
#pragma once
#include "common/DosTime.h"
#include "common/Wildcard.h"
#include "common/ZipLayout.h"
#include "platform/fileio.h"
#include "zipdll/ZipRecords.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zipstub {

// Error codes the stand-ins hand with their messages (callback value 20).
enum StubCode : int32_t {
    kErrFormat = 3, // the archive is damaged or not a zip
    kErrMem = 4,
    kErrTooBig = 6, // needs zip64
    kErrCancel = 9, // the caller asked to stop
    kErrRead = 11,
    kErrNoFiles = 12, // nothing matched
    kErrWrite = 14,
    kErrCreate = 15,
    kErrOpen = 18,
    kErrParams = 16,   // the parameter record is not usable
    kErrMethod = 81,   // compression method not supported
    kErrPassword = 82, // no or wrong password
    kErrUnsafe = 83,   // the name would leave the target folder
    kErrCrc = 84,      // data fails its CRC check
    kErrSpanned = 85,  // a disk of a spanned set: join it first
};

struct StubError : std::runtime_error {
    int32_t code;
    StubError(int32_t c, const std::string& msg) : std::runtime_error(msg), code(c) {}
};
// Thrown when the callback answers -1.
struct StubCancel {};

// Wraps the caller's callback. Every call but the closing ones throws StubCancel when the
// caller asked to stop; after that the run still sends its message and its end of batch.
class Reporter {
public:
    Reporter(TZipCallback cb, void* handle, void* caller);
    void start(int64_t totalSize); // action 6, the first call of a run
    void totalFiles(int64_t n);
    void newFile(const std::string& name, int64_t size);
    void progress(int64_t bytes);
    void info(const std::string& text); // a message with code 0
    // A message with a code; never throws (used on the way out too).
    void error(int32_t code, const std::string& text) noexcept;
    // Always sent last, whatever happened.
    void end() noexcept;
    // Action 8. `repeat` in: how many more times the caller may be asked; out: its answer.
    std::optional<std::string> askPassword(const std::string& forFile, bool adding, int32_t& repeat);
    // Action 9: 1 keep the file, 0 drop it, 2 nobody answered.
    int32_t crcError(const std::string& name, uint32_t found, uint32_t expected);
    // Action 10: true to overwrite.
    bool overwrite(const std::string& name, bool diskFileOlder, bool deflt);
    void skipped(const std::string& name, UnZipSkipTypes type, int32_t code);
    // Action 13: an entry's data is in place at `path`; `replaced`: a file stood there.
    void writtenTo(const std::string& path, bool replaced);
    // Action 7: the caller may rename an entry before it is stored.
    std::string newName(const std::string& name);
    bool started() const { return started_; }

private:
    int32_t call(int32_t action, int32_t a1, int32_t a2, std::string_view text, bool mayCancel);
    TZipCallback cb_;
    TZipCallbackRec rec_{};
    bool started_ = false;
};

// One file spec of an extract or delete run: a stored name that the caller marked as such
// (matched as it is: an entry named "*.txt" is that entry alone) or a wildcard.
struct NameSpec {
    std::string text; // '/' between folders
    bool literal = false;
    bool matches(const std::string& name) const {
        return text == name || (!literal && pvcommon::WildcardMatch(text, name, false));
    }
};

// The non-empty specs of a record's spec array (TZipSpecRec or TUnzSpecRec).
template <class SpecRec> std::vector<NameSpec> recordSpecs(const SpecRec* recs, int32_t count) {
    std::vector<NameSpec> out;
    for (int32_t i = 0; recs && i < count; ++i)
        if (recs[i].FileSpec && *recs[i].FileSpec) {
            NameSpec s{recs[i].FileSpec, recs[i].Literal == 1};
            std::replace(s.text.begin(), s.text.end(), '\\', '/');
            out.push_back(std::move(s));
        }
    return out;
}

// DOS date and time (date in the high 16 bits) in the local time zone; an invalid value is
// 1980-01-01, by the shared rule.
using pvcommon::dosToUnixLocal;
using pvcommon::unixToDosLocal;

// Little-endian fields and the zip signatures, from the shared leaf.
using pvcommon::GetLE16;
using pvcommon::GetLE32;
using pvcommon::PutLE16;
using pvcommon::PutLE32;
using pvcommon::zip::kCentralSig;
using pvcommon::zip::kDescriptorSig;
using pvcommon::zip::kEndSig;
using pvcommon::zip::kLocalSig;

// One central-directory record, kept whole so that unchanged entries are copied as they are.
struct CentralRec {
    std::vector<uint8_t> raw; // 46 bytes + name + extra + comment
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0, time = 0, date = 0;
    uint32_t crc = 0, csize = 0, usize = 0, extAttr = 0, localOffset = 0;
    std::string name;     // as stored
    int64_t localPos = 0; // where its local header really starts in the file
    // Its local record and another entry's share bytes (several directory records that
    // point into the same data, the overlapping-entries bomb): it is never extracted or copied.
    bool overlaps = false;
    uint32_t dosTime() const { return static_cast<uint32_t>(date) << 16 | time; }
    bool encrypted() const { return flags & 1; }
    bool isDir() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
    // The name as UTF-8 with '/' separators.
    std::string displayName() const;
};

// Where an entry's pieces lie in the file.
struct LocalSpan {
    int64_t header = 0, data = 0, dataEnd = 0, end = 0; // end: after the data descriptor
};

struct ZipDir {
    int64_t fileSize = 0;
    int64_t zipStart = 0; // bytes in front of the zip data (a self-extractor's stub)
    int64_t cdPos = 0, cdSize = 0;
    int64_t shift = 0; // added to the stored offsets (a stub whose offsets were not moved)
    std::string comment;
    std::vector<CentralRec> entries;
};

// Reads the directory of the archive open on `fd`. Throws StubError.
ZipDir readZipDir(int fd);
LocalSpan localSpan(int fd, const ZipDir& dir, const CentralRec& e);

// Reading and writing with the error turned into StubError.
void readExact(int fd, int64_t pos, void* buf, int64_t n);
class ZipOut {
public:
    explicit ZipOut(int fd) : fd_(fd) {}
    int64_t pos() const { return pos_; }
    void write(const void* p, size_t n);
    void copyFrom(int in, int64_t from, int64_t len);
    // Rewrites bytes already written (a header whose sizes became known later).
    void patch(int64_t at, const void* p, size_t n);
    // Drops everything from `at` on.
    void rewind(int64_t at);
    // A central record; its local offset field is set to `localOffset`.
    void addCentral(std::vector<uint8_t> raw, int64_t localOffset);
    void finish(const std::string& comment);
    size_t centralCount() const { return central_.size(); }

private:
    int fd_;
    int64_t pos_ = 0;
    std::vector<std::vector<uint8_t>> central_;
};

// A new file in the folder of `target` (without a name where the file system allows, so
// that a killed process leaves nothing), put over it by commit(); removed otherwise.
class TempOutput {
public:
    explicit TempOutput(const std::string& target);
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;
    int fd() const { return file_.fd(); }
    void commit(int mode); // mode < 0: the default for a new file
private:
    std::string target_;
    platform::PendingFile file_;
};

std::string dirName(const std::string& path); // "." when none
std::string baseName(const std::string& path);

} // namespace zipstub
