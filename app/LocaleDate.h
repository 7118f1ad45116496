// Dates in the user's own short formats.
#pragma once
#include <string>

class QLocale;

// A TDateTime as the locale's short date, two spaces and its short time.
std::string LocaleShortDateTime(const QLocale& locale, double dt);
