// Dates and sizes in the user's own formats.
#pragma once
#include <string>

class QLocale;

// A TDateTime as the locale's short date, two spaces and its short time.
std::string LocaleShortDateTime(const QLocale& locale, double dt);
// Puts the locale's short date and time and its thousands separator in force for every
// date and size the window shows (DisplayDateTime, DisplaySize).
void UseLocaleFormats(const QLocale& locale);
