#include "archive/format/aeUUEncode.h"
#include "archive/aeMsgs.h"

#include <algorithm>

#include "archive/format/aeUUCommon.h"
#include "platform/fileio.h"

namespace {

constexpr int64_t kChunk = 32760; // whole lines of 45 bytes
constexpr std::size_t kFlushAt = 32769;
constexpr uint32_t kAttrArchive = 0x20;

// One output file under way: its file (without a name where the file system allows, so
// that a killed run leaves nothing) and the name it gets at the end.
struct TPart {
    platform::PendingFile file;
    std::string target;
};

} // namespace

TUUEncode::TUUEncode() {
    FOwnDefaultExt = FDefaultExt = ".uue";
    FAllowedMethods = MethodBit(cmUUEncode) | MethodBit(cmXXEncode);
    FCompressMethod = cmUUEncode;
}

void TUUEncode::SetArchiveFile(const std::string& Value) {
    FArchiveFile = Value; // read as it is: the input's name is never changed
    ArcStart = 1;
    FArcType = Value.empty() ? atNA : atUue;
}

void TUUEncode::SetArcType(TArcType) {
    FArcType = FArchiveFile.empty() ? atNA : atUue;
}

void TUUEncode::SetOutFilename(const std::string& Value) {
    std::string v = Value;
    if (v.find('.') == std::string::npos) v += FDefaultExt;
    FOutFilename = v == "." ? std::string() : v;
}

int TUUEncode::Compress() {
    FWritten.clear();
    ReadMode = 0;
    WriteMode = 0;
    bool running = false;
    try {
        if (FOutFilename.empty()) RaiseError("OutFile", "", "0", kMsgInvalidName);
        if (platform::pathExists(FOutFilename)) {
            if (OnFileExists) {
                TDateTime date = 0;
                if (auto t = platform::fileTimes(FOutFilename)) date = UnixToDateTime(t->lastWrite);
                FireEvent(OnFileExists, *this, FOutFilename, date, OverwriteMode);
            }
            if (OverwriteMode == omSkip) return 0;
            if (!IsPlainFile(FOutFilename)) {
                bool proceed = false;
                FireEvent(OnNonWriteableArchive, *this, FOutFilename, proceed);
                if (!proceed) return 0;
                if (!platform::setFileAttributes(FOutFilename, kAttrArchive))
                    RaiseError(FOutFilename, "", "0", kMsgWriteError);
            }
        }
        TRunSpec spec;
        spec.OpenArchive = false;
        spec.RequireArchive = false;
        RunOperation(spec, [this, &running](int&) {
            running = true;
            ProgressSink = [this](uint8_t f, uint8_t a) { DoProgress(f, a); };
            Run();
        });
    } catch (const std::exception&) {
        FWritten.clear();
        if (running) FireEvent(OnEnd, *this, FOutFilename, false);
    }
    FileCount = static_cast<int>(FWritten.size());
    return FileCount;
}

void TUUEncode::Run() {
    std::string name = FOutFilename;
    if (!BeginFile(name, 1)) return;
    Encode();
    FireEvent(OnEnd, *this, FOutFilename, true);
}

void TUUEncode::Encode() {
    const std::string input = FArchiveFile;
    const int in = platform::openFile(input, platform::OpenMode::Read);
    if (in < 0) RaiseError(input, "", "0", kMsgOpenError);
    std::vector<TPart> parts;
    // However the encoding ends, the input is closed; unfinished parts go with `parts`.
    struct Cleanup {
        int in;
        ~Cleanup() { platform::closeFile(in); }
    } cleanup{in};

    const int64_t size = std::max<int64_t>(0, platform::fileSize(in));
    const bool xx = FCompressMethod == cmXXEncode;
    if (xx) FDefaultExt = ".xxe";
    const std::string_view alphabet = xx ? uucode::kXxAlphabet : uucode::kUuAlphabet;

    // The part count is known before anything is written: a line counter that starts at 3
    // ends a part when it reaches KBytesPerVolume x 16 on a data line.
    const int64_t dataLines = (size + uucode::kLineBytes - 1) / uucode::kLineBytes;
    const int64_t perPart = KBytesPerVolume > 0 ? int64_t{KBytesPerVolume} * 16 - 3 : 0;
    const int64_t files = perPart > 0 ? 1 + dataLines / perPart : 1;
    if (files - 1 > uucode::kMaxParts)
        RaiseError(FOutFilename, "", std::to_string(files - 1), kMsgMaxVolumes);

    std::string out;
    auto flush = [&] {
        if (out.empty()) return;
        WriteBlock(parts.back().file.fd(), reinterpret_cast<const uint8_t*>(out.data()), 1,
                   static_cast<int64_t>(out.size()), 0, nullptr);
        out.clear();
    };
    const std::string fileName = ExtractFileNamePart(input);
    auto openPart = [&](int number) {
        const std::string target = number == 0 ? FOutFilename : uucode::PartName(FOutFilename, number);
        const std::string dir = ExtractDirPart(target);
        TPart part;
        if (!part.file.create(dir.empty() ? "." : dir, "." + ExtractFileNamePart(target) + ".", ".part"))
            RaiseError(target, "", "0", kMsgOpenError);
        part.target = target;
        parts.push_back(std::move(part));
        if (number > 0) out += "part " + std::to_string(number) + "\r\n";
        out += "begin 644 " + fileName + "\r\n";
    };

    if (WriteTableToFile) { // the table belongs to the header, before "begin"
        out += "table\r\n";
        out += std::string(alphabet.substr(0, 32)) + "\r\n";
        out += std::string(alphabet.substr(32)) + "\r\n";
    }
    openPart(0);
    std::vector<uint8_t> buf(static_cast<std::size_t>(kChunk));
    int64_t toRead = size;
    int64_t lineCount = 3;
    while (toRead > 0) {
        if (Cancel()) RaiseError(input, "", "0", kMsgUserCanceled);
        const int64_t want = std::min(toRead, kChunk);
        const int64_t got = ReadBlock(in, nullptr, want, 32, false, buf.data());
        if (got != want) RaiseError(input, "", "0", kMsgReadError); // the file shrank under us
        toRead -= got;
        ReportProgress(size - toRead, size, size);
        for (int64_t at = 0; at < got; at += uucode::kLineBytes) {
            const int n = static_cast<int>(std::min<int64_t>(uucode::kLineBytes, got - at));
            const uint8_t* p = buf.data() + at;
            out += alphabet[static_cast<std::size_t>(n)];
            for (int i = 0; i < n; i += 3) {
                const uint32_t v = uint32_t{p[i]} << 16 | uint32_t{i + 1 < n ? p[i + 1] : uint8_t{0}} << 8 |
                                   uint32_t{i + 2 < n ? p[i + 2] : uint8_t{0}};
                for (int s = 18; s >= 0; s -= 6) out += alphabet[(v >> s) & 0x3F];
            }
            out += "\r\n";
            if (out.size() + 81 > kFlushAt) flush();
            if (perPart > 0 && ++lineCount == int64_t{KBytesPerVolume} * 16) {
                flush();
                lineCount = 3;
                openPart(static_cast<int>(parts.size()));
            }
        }
    }
    out += alphabet[0];
    out += "\r\nend\r\n" + std::to_string(size) + " bytes\r\n";
    if (parts.size() > 1) out += "encoded into " + std::to_string(parts.size()) + " file(s)\r\n";
    flush();

    // Everything is written: the parts take their names.
    const auto times = platform::fileTimes(in);
    for (TPart& p : parts) {
        if (DateAttribute == daFileDate && times)
            platform::setFileTimes(p.file.fd(), times->lastWrite, times->lastWrite);
        platform::setFileMode(p.file.fd(), platform::newFileMode());
    }
    for (TPart& p : parts) {
        if (!p.file.commit(p.target)) RaiseError(p.target, "", "0", kMsgWriteError);
        FWritten.push_back(p.target);
    }
}
