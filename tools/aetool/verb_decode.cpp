// aetool decode -method N [-flags F] -size S IN OUT
// Decodes a raw stream of zip method N (0 stored, 1 shrunk, 2-5 reduced, 6 imploded with
// the general-purpose flags F, 8 deflated) whose uncompressed size is S, from the file IN
// into the file OUT. Prints "size\t<bytes written>". Exit 1 when the stream is damaged (OUT
// is then removed), 2 for bad usage or a method no decoder handles.
#include "archive/aeMsgs.h"
#include "archive/format/aeZipDecode.h"
#include "tools/aetool/aetool.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

bool parseNumber(const std::string& s, unsigned long long& v) {
    if (s.empty()) return false;
    try {
        std::size_t used = 0;
        v = std::stoull(s, &used, 0);
        return used == s.size() && s[0] != '-';
    } catch (const std::exception&) {
        return false;
    }
}

class FileSource final : public ae::DecodeSource {
public:
    explicit FileSource(std::FILE* f) : f_{f} {}
    std::size_t Read(std::uint8_t* buf, std::size_t n) override { return std::fread(buf, 1, n, f_); }

private:
    std::FILE* f_;
};

class FileSink final : public ae::DecodeSink {
public:
    explicit FileSink(std::FILE* f) : f_{f} {}
    void Write(const std::uint8_t* p, std::size_t n) override {
        if (std::fwrite(p, 1, n, f_) != n) throw std::runtime_error(AeMessageString(25136));
    }

private:
    std::FILE* f_;
};

int Decode(const aetool::Args& a) {
    const char* usage = "usage: aetool decode -method N [-flags F] -size S IN OUT";
    unsigned long long method = 0, flags = 0, size = 0;
    if (a.positional.size() != 2 || !parseNumber(a.get("method"), method) ||
        !parseNumber(a.get("size"), size) || (a.has("flags") && !parseNumber(a.get("flags"), flags)) ||
        flags > 0xFFFF)
        return aetool::usageError(usage);
    if (!(method <= 6 || method == 8))
        return aetool::usageError("method " + std::to_string(method) + " is not supported");

    const std::string& inName = a.positional[0];
    const std::string& outName = a.positional[1];
    std::FILE* in = std::fopen(inName.c_str(), "rb");
    if (!in) return aetool::failure("cannot open " + inName);
    std::FILE* out = std::fopen(outName.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return aetool::failure("cannot create " + outName);
    }
    FileSource src{in};
    ae::InputBuffer buf{src};
    FileSink sink{out};
    ae::DecodeResult r;
    std::string error;
    try {
        r = ae::DecodeZipMethod(buf, sink, static_cast<int>(method), static_cast<std::uint16_t>(flags), size);
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::fclose(in);
    if (std::fclose(out) != 0 && error.empty()) error = AeMessageString(25136);
    if (error.empty() && !r.ok()) {
        switch (r.status) {
        case ae::DecodeStatus::Truncated:
            error =
                "the data end after " + std::to_string(r.produced) + " of " + std::to_string(size) + " bytes";
            break;
        case ae::DecodeStatus::TooLong:
            error = "the data go on beyond " + std::to_string(size) + " bytes";
            break;
        default:
            error = AeMessageString(r.msg ? r.msg : ae::kMsgCorruptInput);
        }
    }
    if (!error.empty()) {
        std::remove(outName.c_str());
        return aetool::failure(error);
    }
    std::printf("size\t%llu\n", static_cast<unsigned long long>(r.produced));
    return aetool::kOk;
}

} // namespace

static const std::set<std::string> kDecodeOpts = {"method", "flags", "size"};
AETOOL_VERB("decode", "-method N [-flags F] -size S IN OUT", kDecodeOpts, Decode);
