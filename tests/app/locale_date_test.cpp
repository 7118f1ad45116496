// The window's date column: the user's locale formats zip dates.
#include "app/core/ListFormat.h"
#include "app/window/LocaleDate.h"

#include <QLocale>

#include <gtest/gtest.h>

// The zip date column follows the user's locale, not one fixed pattern.
TEST(ListFormat, ZipDatesFollowTheLocale) {
    const double dt = EncodeListDate(2026, 12, 10, 14, 5, 30);
    EXPECT_EQ(LocaleShortDateTime(QLocale(QLocale::German, QLocale::Germany), dt), "10.12.26  14:05");
    const std::string us = LocaleShortDateTime(QLocale(QLocale::English, QLocale::UnitedStates), dt);
    EXPECT_EQ(us.rfind("12/10/26  2:05", 0), 0u) << us;
    EXPECT_NE(us.find("PM"), std::string::npos) << us;
}
