#include "archive/format/aeUUDecode.h"
#include "archive/aeMsgs.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

#include "archive/codec/aeDecodeIo.h"
#include "archive/format/aeUUCommon.h"
#include "platform/fileio.h"

namespace {

constexpr std::size_t kReadBlock = 32768;
constexpr std::size_t kOutBlock = 32769;

// Lines of the open volume, read whole however long they are (without the line feed and
// any carriage return before it).
class TLineReader {
public:
    TLineReader(TUnBase& Owner, int& Handle) : owner_{Owner}, handle_{Handle}, buf_(kReadBlock) {}

    // The next line; nothing at the end of the volume.
    std::optional<std::string> Next() {
        std::string line;
        bool any = false;
        for (;;) {
            if (pos_ == len_ && !Refill()) break;
            any = true;
            const uint8_t* start = buf_.data() + pos_;
            const void* nl = std::memchr(start, '\n', len_ - pos_);
            if (nl == nullptr) {
                line.append(reinterpret_cast<const char*>(start), len_ - pos_);
                pos_ = len_;
                continue;
            }
            const std::size_t n = static_cast<std::size_t>(static_cast<const uint8_t*>(nl) - start);
            line.append(reinterpret_cast<const char*>(start), n);
            pos_ += n + 1;
            break;
        }
        if (!any) return std::nullopt;
        while (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    // Starts over on a new volume.
    void Reset(int64_t Size) {
        pos_ = len_ = 0;
        read_ = 0;
        size_ = Size;
    }

private:
    bool Refill() {
        const int64_t got =
            owner_.ReadBlock(handle_, nullptr, static_cast<int64_t>(buf_.size()), 0, false, buf_.data());
        if (got <= 0) return false;
        pos_ = 0;
        len_ = static_cast<std::size_t>(got);
        read_ += got;
        if (owner_.ProgressSink) {
            const auto p = static_cast<uint8_t>(Percent(read_, size_));
            owner_.ProgressSink(p, p);
        }
        return true;
    }
    TUnBase& owner_;
    int& handle_;
    std::vector<uint8_t> buf_;
    std::size_t pos_ = 0, len_ = 0;
    int64_t read_ = 0, size_ = 0;
};

bool StartsWith(const std::string& s, std::string_view p) {
    return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

// Decode values of an alphabet: 0..63, -2 for characters outside it, and 0 for the space
// (encoders that strip or write spaces for zero values).
std::array<int, 256> DecodeTable(std::string_view alphabet) {
    std::array<int, 256> t;
    t.fill(-2);
    for (std::size_t i = alphabet.size(); i-- > 0;)
        t[static_cast<uint8_t>(alphabet[i])] = static_cast<int>(i);
    t[' '] = 0;
    return t;
}

// Whether `line` is a data line of `alphabet`: its length character gives a count whose
// characters the line holds (one more character, a check sum some encoders add, may
// follow), all of them in the alphabet.
bool FitsAlphabet(const std::string& line, std::string_view alphabet) {
    if (line.empty()) return false;
    const auto t = DecodeTable(alphabet);
    const int n = t[static_cast<uint8_t>(line[0])];
    if (n < 0 || n > 63) return false;
    const std::size_t need = 1 + static_cast<std::size_t>((n + 2) / 3) * 4;
    if (line.size() < need || line.size() > need + 1) return false;
    return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(need),
                       [&](char c) { return t[static_cast<uint8_t>(c)] >= 0; });
}

} // namespace

std::string TUUDecode::ContinuationName(const std::string& Name, int Number) const {
    if (NextVolumeName == nvChangeExt) return uucode::PartName(Name, Number);
    // The number goes at the end of the file name, before its extension; without long
    // names the name keeps at most 8 - digits characters.
    const std::string dir = ExtractDirPart(Name);
    std::string file = ExtractFileNamePart(Name);
    std::string ext;
    if (const std::size_t dot = file.rfind('.'); dot != std::string::npos && dot > 0) {
        ext = file.substr(dot);
        file.resize(dot);
    }
    const std::string digits = std::to_string(Number);
    if (!VolumeLongFilenames && file.size() + digits.size() > 8)
        file.resize(digits.size() >= 8 ? 0 : 8 - digits.size());
    return dir + file + digits + ext;
}

void TUUDecode::ExtractArchive(int& ArchiveHandle, TStream* Stream) {
    Decode(ArchiveHandle, Stream);
    // However the run was cancelled, it says so ("User canceled" once cancelled).
    if (Cancel()) ReportError(FArchiveFile, "", "0", kMsgEolNotFound);
}

void TUUDecode::Decode(int& ArchiveHandle, TStream*) {
    try {
        TLineReader rd(*this, ArchiveHandle);
        rd.Reset(ArchiveSize);
        BytesLeft = ArchiveSize;

        // ---- header ----
        std::string name;
        std::string alphabet;
        bool haveBegin = false;
        for (int i = 0; i < MaxHeaderLines && !Cancel(); ++i) {
            auto line = rd.Next();
            if (!line) break;
            if (StartsWith(*line, "begin ")) {
                // "begin <mode> <name>": the name is the rest of the line, spaces included.
                std::size_t p = 6;
                while (p < line->size() && (*line)[p] == ' ') ++p;
                while (p < line->size() && (*line)[p] != ' ') ++p;
                if (p < line->size()) ++p;
                name = line->substr(p);
                while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
                haveBegin = true;
                break;
            }
            if (StartsWith(*line, "size")) {
                // The expected size, for the reader's information; anything but a number
                // there means the header is not one.
                const std::string n = line->size() > 5 ? line->substr(5) : std::string();
                if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) {
                    ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
                    return;
                }
            }
            if (StartsWith(*line, "table")) {
                auto a = rd.Next();
                auto b = rd.Next();
                if (!a || !b || a->size() < 32 || b->size() < 32) {
                    ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
                    return;
                }
                alphabet = a->substr(0, 32) + b->substr(0, 32);
            }
        }
        if (Cancel()) return;
        if (!haveBegin || name.empty()) {
            ReportError(FArchiveFile, "", "0", kMsgBadFileHeader);
            return;
        }

        // ---- alphabet, from the first data line ----
        auto first = rd.Next();
        if (!first) first = std::string();
        char fullLine = 'h';
        if (!alphabet.empty()) {
            fullLine = first->empty() ? 'M' : (*first)[0];
        } else if (StartsWith(*first, "M")) {
            alphabet = uucode::kUuAlphabet;
            fullLine = 'M';
        } else if (StartsWith(*first, "h")) {
            alphabet = uucode::kXxAlphabet;
        } else if (first->empty() || StartsWith(*first, "end") || FitsAlphabet(*first, uucode::kUuAlphabet)) {
            alphabet = uucode::kUuAlphabet; // short files, and files without data
            fullLine = 'M';
        } else if (FitsAlphabet(*first, uucode::kXxAlphabet)) {
            alphabet = uucode::kXxAlphabet;
        } else {
            ReportError(FArchiveFile, FArchiveFile, "0", kMsgUnsupportedMethod);
            return;
        }
        const auto table = DecodeTable(alphabet);

        // ---- output ----
        TDateTime date = 0;
        uint32_t dos = 0;
        if (auto t = platform::fileTimes(ArchiveHandle)) {
            date = UnixToDateTime(t->lastWrite);
            dos = UnixTimeToDosLocal(t->lastWrite);
        }
        TEntryJob job;
        job.Name = OemToAnsiName(name); // decoded as the lister shows it
        job.Date = date;
        job.DosDate = dos;
        job.Decode = [&](int out, TStream* outStream) {
            const std::string output = FileName;
            std::vector<uint8_t> buf;
            buf.reserve(kOutBlock + 64);
            auto flush = [&] {
                if (!buf.empty() && WriteMode < 4)
                    WriteBlock(out, buf.data(), 1, static_cast<int64_t>(buf.size()), 0, outStream);
                buf.clear();
            };
            bool reachedEnd = false;
            bool corrupt = false;
            // Decodes one data line; false when it cannot be one.
            auto decodeLine = [&](const std::string& line) {
                if (line.empty()) return true;
                const int n = table[static_cast<uint8_t>(line[0])];
                if (n < 0) return true; // not a data line: nothing is written
                uint32_t group = 0;
                int have = 0, produced = 0;
                for (std::size_t i = 1; produced < n; ++i) {
                    // Characters a line lost at its end (trailing spaces) count as 0.
                    const int v = i < line.size() ? table[static_cast<uint8_t>(line[i])] : 0;
                    if (v < 0) return false;
                    group = group << 6 | static_cast<uint32_t>(v);
                    if (++have < 4) continue;
                    for (int s = 16; s >= 0 && produced < n; s -= 8, ++produced)
                        buf.push_back(static_cast<uint8_t>(group >> s));
                    group = 0;
                    have = 0;
                }
                if (buf.size() >= kOutBlock) flush();
                return true;
            };

            int volume = FVolumeStartNum;
            std::optional<std::string> line = first;
            try {
                while (!Cancel()) {
                    // One volume: lines up to "end", an empty line or the end of the file.
                    while (line && !Cancel()) {
                        if (StartsWith(*line, "end")) {
                            reachedEnd = true;
                            break;
                        }
                        if (line->empty()) break;
                        if (!decodeLine(*line)) {
                            corrupt = true;
                            break;
                        }
                        line = rd.Next();
                    }
                    flush();
                    if (reachedEnd || corrupt || Cancel()) break;
                    // The text ended before "end": the rest is in the next volume.
                    ++volume;
                    std::string next = ContinuationName(FArchiveFile, volume);
                    if (!AskNextVolume(next, volume)) break;
                    platform::closeFile(ArchiveHandle);
                    ArchiveHandle = platform::openFile(next, platform::OpenMode::Read);
                    if (ArchiveHandle < 0) {
                        ReportError(next, "", std::to_string(volume), kMsgOpenError);
                        break;
                    }
                    ArchiveSize = std::max<int64_t>(0, platform::fileSize(ArchiveHandle));
                    rd.Reset(ArchiveSize);
                    // Skip to the data: past the "begin" line, or to a data line that comes first.
                    line.reset();
                    while (auto l = rd.Next()) {
                        if (StartsWith(*l, "begin")) {
                            line = rd.Next();
                            break;
                        }
                        if (!l->empty() && (*l)[0] == fullLine) {
                            ReportError(next,
                                        "line starting with " +
                                            std::to_string(static_cast<uint8_t>(fullLine)) +
                                            " found before \"begin\"",
                                        std::to_string(volume), kMsgLineBeforeBegin);
                            line = l;
                            break;
                        }
                    }
                }
                if (corrupt)
                    ReportError(output, "", "0", ae::kMsgCorruptInput);
                else if (!reachedEnd && !Cancel())
                    ReportError(output, "", "0", kMsgReadError);
            } catch (const E_RAISE&) {
                reachedEnd = false; // reported already
            }
            return reachedEnd && !corrupt && !Cancel();
        };
        ExtractOne(job);
    } catch (const std::bad_alloc&) {
        RaiseError(FArchiveFile, "", "0", kMsgOutOfMemory);
    }
}
