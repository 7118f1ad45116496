// The registration rows: every type the engine knows is served by exactly one row, and the
// factories give what the type tables promise.
#include <gtest/gtest.h>

#include "archive/aeCompBase.h"
#include "archive/aeExtractors.h"
#include "archive/aeFormats.h"
#include "archive/aeUnBase.h"

namespace {

TEST(FormatRows, EveryKnownTypeHasExactlyOneRow) {
    for (int i = 0; i < kArcTypeCount; ++i) {
        const auto t = static_cast<TArcType>(i);
        int rows = 0;
        for (const TFormatRow& f : Formats()) rows += InArcTypes(f.Types, t) ? 1 : 0;
        EXPECT_EQ(rows, InArcTypes(UnknownArcTypes, t) ? 0 : 1) << ArcTypeIdent(t);
        if (rows) {
            EXPECT_NE(FindFormat(t), nullptr) << ArcTypeIdent(t);
        }
    }
}

TEST(FormatRows, FactoriesMatchTheTypeTables) {
    for (int i = 0; i < kArcTypeCount; ++i) {
        const auto t = static_cast<TArcType>(i);
        if (InArcTypes(UnknownArcTypes | OutsideLibraryArcTypes, t)) continue;
        if (InArcTypes(ExtractableArcTypes, t)) {
            EXPECT_TRUE(HasExtractor(t)) << ArcTypeIdent(t);
            EXPECT_NE(CreateExtractor(t), nullptr) << ArcTypeIdent(t);
        }
        if (InArcTypes(WritableArcTypes, t)) {
            EXPECT_NE(CreateWriter(t), nullptr) << ArcTypeIdent(t);
        }
        // Every listable format names its methods, except those that name none.
        const TFormatRow* f = FindFormat(t);
        ASSERT_NE(f, nullptr) << ArcTypeIdent(t);
        EXPECT_TRUE(f->NewWalk) << ArcTypeIdent(t);
    }
    EXPECT_EQ(CreateExtractor(atUnknown), nullptr);
    EXPECT_EQ(CreateWriter(atHa), nullptr);
}

} // namespace

namespace {

// Two signatures of one rank must never both match the same four bytes: only the rank may
// decide between formats, never the order of the rows.
TEST(FormatRows, SignaturesOfOneRankNeverOverlap) {
    const auto& sigs = SignaturesByRank();
    ASSERT_FALSE(sigs.empty());
    for (size_t i = 0; i < sigs.size(); ++i) {
        if (i > 0) {
            EXPECT_LE(sigs[i - 1]->Rank, sigs[i]->Rank);
        }
        for (size_t j = i + 1; j < sigs.size(); ++j) {
            if (sigs[i]->Rank != sigs[j]->Rank) continue;
            const uint32_t both = sigs[i]->Mask & sigs[j]->Mask;
            EXPECT_NE(sigs[i]->Value & both, sigs[j]->Value & both)
                << std::hex << sigs[i]->Value << " and " << sigs[j]->Value;
        }
    }
    // Each scan mark is filed under its own first byte, and each byte has one mark at most.
    const auto& marks = ScanMarksByFirstByte();
    for (int b = 0; b < 256; ++b) {
        EXPECT_LE(marks[b].size(), 1u) << b;
        for (const TScanMark* m : marks[b]) EXPECT_EQ(m->First, b);
    }
}

// Where the ranks decide: an LHA header whose size and checksum bytes spell an ARC, PAK or
// ARJ first word, and a zip whose second word is "-l".
TEST(FormatRows, RanksDecideOverlappingSignatures) {
    const std::vector<uint8_t> none(64, 0);
    TMemorySource src(none);
    TArcDetector d(src, "x");
    struct Case {
        uint32_t sig;
        TArcType atStart;
    } cases[] = {
        {0x6C2D'081A, atLha}, // ARC's 0x1A first byte loses to "-l"
        {0x6C2D'0A1A, atLha}, // PAK's too
        {0x6C2D'EA60, atArj}, // ARJ's first word wins over "-l"
        {0x6C2D'4B50, atZip}, // as does "PK"
        {0x6C2D'8B1F, atGZip}, {0x0000'081A, atArc},
    };
    for (const Case& c : cases) EXPECT_EQ(d.CheckSignature(c.sig, 1), c.atStart) << std::hex << c.sig;
}

} // namespace
