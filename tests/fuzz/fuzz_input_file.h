// The fuzz input as a file, for components that open archives by name. One name per
// process and extension; the file is removed when the object goes (after each input), so
// nothing is left behind however the fuzzer ends.
#pragma once
#include "platform/fileio.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInputFile {
public:
    FuzzInputFile(const char* tag, const char* ext, const uint8_t* data, size_t size)
        : path_(platform::systemTempDir() + "pv_fuzz_" + tag + "_" + std::to_string(::getpid()) + ext),
          ok_(platform::writeWholeFile(path_, data, size)) {}
    ~FuzzInputFile() { platform::removeFile(path_); }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool ok_;
};
