// A small tree of sample files for the extractor tests: written with one fixed date, named
// on a peer's command line, and compared with what an extractor wrote back.
#pragma once

#include "bytes.h"
#include "testutil.h"

#include <map>

namespace pvtest {

using Files = std::map<std::string, std::vector<uint8_t>>; // relative name -> contents

// Small and large, text and noise, an empty file and files in nested folders:
// "a.txt", "sub/b.txt", "sub/deep/c.bin" (text followed by `noise` random bytes), "empty.txt".
Files sampleFiles(size_t noise = 20000);

// The one date every sample file gets: 400 days back, on an even second (DOS dates count in
// steps of two), the same for the whole run.
fs::file_time_type evenSampleStamp();

// Writes each file under `dir` and gives it evenSampleStamp().
void writeFiles(const fs::path& dir, const Files& files);

// " 'a.txt' 'sub/b.txt' ..." for a peer's command line.
std::string fileList(const Files& files);

// Each file exists under `out` with its contents; with `in` given, also with the date of the
// same file there.
void expectExtracted(const fs::path& out, const Files& files, const fs::path& in = {});

// Files (not folders) anywhere under `dir`; 0 when it does not exist.
size_t countFiles(const fs::path& dir);

// The relative names of those files, sorted; none when `dir` does not exist.
std::vector<std::string> filesIn(const fs::path& dir);

} // namespace pvtest
