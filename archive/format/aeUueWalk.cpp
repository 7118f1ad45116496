#include "archive/format/aeUueWalk.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/aeArcLister.h"
#include "archive/aeCommon.h"
#include "archive/aeFormats.h"
#include "archive/aeHeaders.h"
#include "platform/codepage.h"
#include "platform/fileio.h"

using aehdr::Bytes;
using aehdr::le16;
using aehdr::le32;

namespace {

// A "begin " line starts at I of B (at the start, or after a line feed).
bool beginLineAt(const uint8_t* B, size_t Size, size_t I) {
    static constexpr std::string_view kBegin = "begin ";
    if (I + kBegin.size() > Size || (I != 0 && B[I - 1] != '\n')) return false;
    return std::memcmp(B + I, kBegin.data(), kBegin.size()) == 0;
}

// The size of the decoded data, from the length character that starts every line: UU
// writes it as ' ' + n (or '`' for 0), XX as the n-th character of its alphabet. Reading
// stops at the "end" line or at the end of the file.
int64_t UuDecodedSize(TArcLister& L, uint64_t bodyStart) {
    static constexpr std::string_view kXx =
        "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string ext = std::filesystem::path(L.ArchiveFile()).filename().string();
    ext = ext.size() >= 4 ? ext.substr(ext.size() - 4) : ext;
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool xx = ext == ".xxe";
    int64_t total = 0;
    bool first = true;
    uint64_t pos = bodyStart;
    for (;;) {
        Bytes b = L.In().Fetch(pos, 4096);
        if (b.empty()) break;
        // Move to the start of the next line.
        const void* nl = std::memchr(b.data(), '\n', b.size());
        if (nl == nullptr) {
            if (b.size() < 4096) break;
            pos += b.size();
            continue;
        }
        pos += static_cast<uint64_t>(static_cast<const uint8_t*>(nl) - b.data()) + 1;
        Bytes line = L.In().Fetch(pos, 4);
        if (line.empty()) break;
        if (line.size() >= 3 && std::memcmp(line.data(), "end", 3) == 0) break;
        const uint8_t c = line[0];
        if (c == '\r' || c == '\n') continue;
        if (first && c == 'h') xx = true;
        first = false;
        if (xx) {
            const size_t n = kXx.find(static_cast<char>(c));
            if (n == std::string_view::npos) break;
            total += static_cast<int64_t>(n);
        } else {
            if (c < ' ' || c > '`') break;
            total += (c - ' ') & 0x3F;
        }
    }
    return total;
}

// Everything is read in Prepare: the file holds one entry.
class TUueWalk final : public TFormatWalk {
public:
    int64_t Prepare(TArcLister& L, int64_t Start) override;
    int64_t Step(TArcLister&, int64_t) override { return -1; }
};

} // namespace

int64_t TUueWalk::Prepare(TArcLister& L, int64_t) {
    const uint64_t start = static_cast<uint64_t>(L.ArcStart - 1);
    Bytes b = L.In().Fetch(start, 32768);
    for (size_t i = 0; i + 6 <= b.size(); ++i) {
        if (!beginLineAt(b.data(), b.size(), i)) continue;
        // "begin <mode> <name>": the name runs to the end of the line.
        size_t p = i + 6;
        while (p < b.size() && b[p] != ' ' && b[p] != '\r' && b[p] != '\n') ++p;
        if (p < b.size() && b[p] == ' ') ++p;
        size_t end = p;
        while (end < b.size() && b[end] != '\r' && b[end] != '\n') ++end;
        std::string raw(b.begin() + static_cast<std::ptrdiff_t>(p),
                        b.begin() + static_cast<std::ptrdiff_t>(end));
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) raw.pop_back();
        TArcLister::Entry e;
        e.Name = L.DecodeName(raw);
        e.Packed = L.ArchiveSize;
        e.Unpacked = UuDecodedSize(L, start + end);
        e.Date = L.ArchiveFileDate();
        e.NoMethod = true;
        e.Offset = 0;
        L.Report(e, TArcLister::Filter::None, false);
        return -1;
    }
    return -1;
}

std::unique_ptr<TFormatWalk> NewUueWalk(TArcType) {
    return std::make_unique<TUueWalk>();
}

bool FindUueBegin(TArcDetector& D) {
    const int64_t n = std::min<int64_t>(D.ArchiveSize, 5000);
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    const int64_t got = std::max<int64_t>(D.Source().ReadAt(0, buf.data(), n), 0);
    // Only the start of the file and the bytes after a line feed can begin the line.
    const uint8_t* b = buf.data();
    for (size_t i = 0; i < size_t(got);) {
        if (beginLineAt(b, size_t(got), i)) {
            D.ArcStart = 1;
            return true;
        }
        const void* lf = std::memchr(b + i, '\n', size_t(got) - i);
        if (!lf) break;
        i = size_t(static_cast<const uint8_t*>(lf) - b) + 1;
    }
    return false;
}

bool UueBeginStep(TArcDetector& D) {
    if (!FindUueBegin(D)) return false;
    D.ArcType = atUue;
    return true;
}
