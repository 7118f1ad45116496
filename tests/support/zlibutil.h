// zlib as the reference for the deflate tests: raw streams (no zlib or gzip wrapper) packed
// or unpacked in one call. Only for test executables that link zlib, hence inline here
// rather than in the shared library.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pvtest {

// A raw deflate stream of `in` made by zlib with these settings (window of 32K).
inline std::vector<uint8_t> zlibDeflateRaw(const std::vector<uint8_t>& in, int level, int memLevel = 8,
                                           int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&z, in.size()) + 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct ZlibInflated {
    std::vector<uint8_t> data; // what came out, at most the room given
    int rc = Z_OK;             // inflate's answer to Z_FINISH
    size_t inputLeft = 0;      // packed bytes not consumed
    size_t roomLeft = 0;       // room not filled
    std::string msg;           // zlib's message, if any
};

// zlib's verdict on a raw deflate stream, unpacked in one call into room for `room` bytes.
inline ZlibInflated zlibInflateRaw(const std::vector<uint8_t>& packed, size_t room) {
    ZlibInflated r;
    r.data.resize(room);
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = r.data.data();
    z.avail_out = static_cast<uInt>(r.data.size());
    r.rc = inflate(&z, Z_FINISH);
    r.data.resize(z.total_out);
    r.inputLeft = z.avail_in;
    r.roomLeft = z.avail_out;
    if (z.msg) r.msg = z.msg;
    inflateEnd(&z);
    return r;
}

} // namespace pvtest
