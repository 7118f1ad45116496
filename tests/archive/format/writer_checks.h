// What the writer tests of the LZH family (LHA and BH) share: one run of a writer with the
// options those tests use, the mixed tree of files they write, and the check that an
// update of a damaged archive is refused and leaves the archive as it was.
#pragma once

#include "archive/aeCommon.h"
#include "archive/aeMsgs.h"
#include "support/bytes.h"
#include "support/extract_outcome.h"
#include "support/samples.h"
#include "support/testutil.h"

#include <functional>

namespace pvtest {

struct WriterRun {
    ExtractOutcome o;
    int count = 0; // what Compress returned
};

// Adds (or deletes, moves) `specs` with `m`, recursing, replacing without asking and deleting
// moved sources at the end; `setup` changes the writer before the run.
template <class Writer>
WriterRun writerRun(const fs::path& archive, const std::vector<std::string>& specs, TSwitch sw,
                    TCompressMethod m, const std::function<void(Writer&)>& setup = {}) {
    Writer w;
    WriterRun r;
    r.o.listen(w);
    w.SetArchiveFile(archive.string());
    w.SetCompressMethod(m);
    w.SetFileSpecPaths(specs);
    w.Switch = sw;
    w.RecurseDirs = true;
    w.DeleteOptions = doFinal;
    w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                         int64_t, int, int, bool& replace) { replace = true; };
    if (setup) setup(w);
    try {
        r.count = w.Compress();
    } catch (const E_RAISE& e) {
        r.o.raised = e.ECode;
    }
    return r;
}

// sampleFiles() and what a writer treats apart: a text of `textSize` bytes, incompressible
// noise, one byte repeated, a file of one byte.
inline Files mixedFiles(size_t textSize) {
    Files files = sampleFiles(300000);
    files["big/text.txt"] = bytesOf(sampleText(textSize, 6));
    files["big/random.bin"] = randomBytes(100000, 5);
    files["equal.bin"] = std::vector<uint8_t>(10000, 'e');
    files["one.bin"] = std::vector<uint8_t>{'1'};
    return files;
}

struct ArchiveDamage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
};

// `good` holds in/a.txt and in/b.txt below `dir`, in that order. Each damage of it makes an
// archive that adding new/c.txt and deleting a.txt both refuse as a bad header, leaving
// every byte of it as it was.
inline void expectDamagedArchivesLeftAlone(
    const fs::path& dir, const std::vector<uint8_t>& good, const std::string& ext,
    const std::vector<ArchiveDamage>& cases,
    const std::function<WriterRun(const fs::path&, const std::vector<std::string>&, TSwitch)>& update) {
    for (const ArchiveDamage& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> b = good;
        c.damage(b);
        const fs::path a = dir / ("bad" + ext);
        writeBytes(a, b);
        for (TSwitch sw : {swAdd, swDelete}) {
            WriterRun r = update(a, {sw == swAdd ? (dir / "new" / "c.txt").string() : "a.txt"}, sw);
            EXPECT_EQ(r.o.raised, kMsgBadFileHeader);
            EXPECT_EQ(readBytes(a), b);
        }
    }
}

// The files the damage check adds to and deletes from.
inline void writeDamageSources(const fs::path& dir) {
    writeFile(dir / "in" / "a.txt", sampleText(9000, 1));
    writeFile(dir / "in" / "b.txt", sampleText(4000, 2));
    writeFile(dir / "new" / "c.txt", "new\n");
}

} // namespace pvtest
