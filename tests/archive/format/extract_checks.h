// What the extract tests of archives built here entry by entry (ARC, ZOO) share: one run of
// an extractor, every entry extracted and tested byte-exact, and a damaged entry that fails
// alone, in an extract and in a test.
#pragma once

#include "support/extract_outcome.h"
#include "support/samples.h"
#include "support/testutil.h"

#include <functional>

namespace pvtest {

// Extracts (or tests) every entry of `archive` into `out`, overwriting without asking.
template <class Extractor>
ExtractOutcome runExtractor(const fs::path& archive, const fs::path& out, bool test = false) {
    Extractor u;
    ExtractOutcome o;
    o.listen(u);
    u.ConfirmOverwrites = false;
    o.run(u, archive, out, test);
    return o;
}

using ExtractRunner = std::function<ExtractOutcome(const fs::path&, const fs::path&, bool test)>;

// Every entry of `archive` passes an extract into dir/out, with the bytes of `want`, and a
// test, which writes nothing.
inline void
expectExtractsAndTestsByteExact(const ExtractRunner& run, const fs::path& archive, const fs::path& dir,
                                const std::vector<std::pair<std::string, std::vector<uint8_t>>>& want) {
    const ExtractOutcome x = run(archive, dir / "out", false);
    EXPECT_FALSE(x.failed());
    EXPECT_EQ(x.passed(), static_cast<int>(want.size()));
    for (const auto& [name, data] : want) EXPECT_EQ(readBytes(dir / "out" / name), data) << name;
    const ExtractOutcome tested = run(archive, dir / "tested", true);
    EXPECT_FALSE(tested.failed());
    EXPECT_EQ(tested.passed(), static_cast<int>(want.size()));
    EXPECT_FALSE(fs::exists(dir / "tested"));
}

// `archive` (in `dir`) has one damaged entry: an extract and a test fail without raising,
// report `error` (0: no particular one), pass the entries of `files` and extract exactly
// them (sorted); nothing is written beside the target folder.
inline void expectDamagedEntryFails(const ExtractRunner& run, const fs::path& archive, const fs::path& dir,
                                    int error, const std::vector<std::string>& files) {
    for (bool test : {false, true}) {
        SCOPED_TRACE(test ? "test" : "extract");
        const ExtractOutcome o = run(archive, dir / (test ? "tested" : "out"), test);
        EXPECT_TRUE(o.failed());
        EXPECT_EQ(o.raised, 0);
        if (error) {
            EXPECT_TRUE(o.hasError(error)) << testing::PrintToString(o.errors);
        }
        EXPECT_EQ(o.passed(), static_cast<int>(files.size()));
    }
    EXPECT_EQ(filesIn(dir / "out"), files);
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
}

} // namespace pvtest
