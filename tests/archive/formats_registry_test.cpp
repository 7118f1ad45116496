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
