#include "stubs/zipcommon/Codec.h"

#include "platform/fileio.h"
#include "stubs/zipcommon/StubCore.h"

#include <algorithm>

namespace zipstub {

namespace {
constexpr size_t kBlock = 1 << 16;

struct Inflater {
    z_stream z{};
    Inflater() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw StubError(kErrMem, "Cannot start the inflater");
    }
    ~Inflater() { inflateEnd(&z); }
};

struct Deflater {
    z_stream z{};
    explicit Deflater(int level) {
        if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw StubError(kErrMem, "Cannot start the deflater");
    }
    ~Deflater() { deflateEnd(&z); }
};
} // namespace

uint32_t decodeEntry(int fd, int64_t pos, int64_t packed, uint16_t method, TZipKeys* keys, int64_t expectSize,
                     const Sink& out, const std::function<void(int64_t)>& progress) {
    if (method != 0 && method != 8) throw StubError(kErrMethod, "Unsupported compression method");
    std::vector<uint8_t> in(kBlock), buf(kBlock);
    uLong crc = crc32(0, nullptr, 0);
    int64_t produced = 0;
    auto emit = [&](const uint8_t* p, size_t n) {
        produced += static_cast<int64_t>(n);
        if (produced > expectSize)
            throw StubError(kErrFormat, "The entry holds more data than its header says");
        crc = crc32(crc, p, static_cast<uInt>(n));
        out(p, n);
    };
    std::optional<Inflater> inf;
    if (method == 8) inf.emplace();
    bool ended = method == 0;
    while (packed > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(packed, kBlock));
        readExact(fd, pos, in.data(), static_cast<int64_t>(n));
        pos += static_cast<int64_t>(n);
        packed -= static_cast<int64_t>(n);
        if (keys) keys->DecryptBuffer(in.data(), n);
        if (method == 0) {
            emit(in.data(), n);
        } else {
            if (ended) break; // bytes after the end of the stream are ignored
            inf->z.next_in = in.data();
            inf->z.avail_in = static_cast<uInt>(n);
            while (inf->z.avail_in > 0 && !ended) {
                inf->z.next_out = buf.data();
                inf->z.avail_out = static_cast<uInt>(buf.size());
                int r = inflate(&inf->z, Z_NO_FLUSH);
                if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR)
                    throw StubError(kErrFormat, "The compressed data is damaged");
                emit(buf.data(), buf.size() - inf->z.avail_out);
                if (r == Z_STREAM_END) ended = true;
                if (r == Z_BUF_ERROR && inf->z.avail_out != 0) break;
            }
        }
        if (progress) progress(static_cast<int64_t>(n));
    }
    if (method == 8 && !ended) {
        // Drain what zlib still holds; a stream that never ends is damaged.
        for (;;) {
            inf->z.next_out = buf.data();
            inf->z.avail_out = static_cast<uInt>(buf.size());
            int r = inflate(&inf->z, Z_SYNC_FLUSH);
            emit(buf.data(), buf.size() - inf->z.avail_out);
            if (r == Z_STREAM_END) {
                ended = true;
                break;
            }
            if (r != Z_OK || inf->z.avail_out != 0) break;
        }
        if (!ended) throw StubError(kErrFormat, "The compressed data ends early");
    }
    if (produced != expectSize) throw StubError(kErrFormat, "The entry's size does not match its header");
    return static_cast<uint32_t>(crc);
}

int64_t encodeFile(int fd, int level, TZipKeys* keys,
                   const std::function<void(const uint8_t*, size_t)>& write,
                   const std::function<void(int64_t)>& progress) {
    std::vector<uint8_t> in(kBlock), out(kBlock + 1024);
    int64_t written = 0;
    auto put = [&](uint8_t* p, size_t n) {
        if (!n) return;
        if (keys) keys->EncryptBuffer(p, n);
        write(p, n);
        written += static_cast<int64_t>(n);
    };
    std::optional<Deflater> def;
    if (level > 0) def.emplace(level);
    for (;;) {
        int64_t n = platform::readFile(fd, in.data(), static_cast<int64_t>(in.size()));
        if (n < 0) throw StubError(kErrRead, "Read error in an input file");
        const bool last = static_cast<size_t>(n) < in.size();
        if (!def) {
            put(in.data(), static_cast<size_t>(n));
        } else {
            def->z.next_in = in.data();
            def->z.avail_in = static_cast<uInt>(n);
            int r;
            do {
                def->z.next_out = out.data();
                def->z.avail_out = static_cast<uInt>(out.size());
                r = deflate(&def->z, last ? Z_FINISH : Z_NO_FLUSH);
                if (r == Z_STREAM_ERROR) throw StubError(kErrMem, "The deflater failed");
                put(out.data(), out.size() - def->z.avail_out);
            } while (def->z.avail_out == 0 || (last && r != Z_STREAM_END));
        }
        if (progress && n > 0) progress(n);
        if (last) break;
    }
    return written;
}

bool fileCrc(int fd, uint32_t& crc, int64_t& size) {
    std::vector<uint8_t> in(kBlock);
    uLong c = crc32(0, nullptr, 0);
    size = 0;
    for (;;) {
        int64_t n = platform::readFile(fd, in.data(), static_cast<int64_t>(in.size()));
        if (n < 0) return false;
        if (n == 0) break;
        c = crc32(c, in.data(), static_cast<uInt>(n));
        size += n;
    }
    crc = static_cast<uint32_t>(c);
    return true;
}

} // namespace zipstub
