// Texts of the file list: grouped sizes, ratios, dates, CRCs and attribute letters, and
// the rounding the list uses for its kilobyte totals.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Digits grouped from the right by `group` with `sep` (1234567 -> "1.234.567").
std::string FormatThousands(int64_t number, int group = 3, const std::string& sep = ".");
// Lower-case hexadecimal padded with '0' on the left to `digits`; 0 digits give "".
std::string IntToHexPad(uint64_t value, int digits);
// Every `ch` removed, then the rest as an integer; 0 when it is not one.
int64_t StripChar(const std::string& text, char ch);
// Every '.' and '%' removed and the rest trimmed.
std::string StripNumberText(const std::string& text);

// round((1 - packed / size) * 100) with "% "; "0% " when size is 0 or packed >= size.
int RatioPercent(int64_t packed, int64_t size);
std::string FormatRatio(int64_t packed, int64_t size);
// "A", "S", "H", "R" for the bits 0x20, 0x04, 0x02, 0x01.
std::string FormatAttributes(uint32_t attr);

// Round to nearest, ties to even (the rounding the list uses everywhere).
int64_t RoundEven(double x);

// TDateTime: days since 1899-12-30, the fraction the time of day.
double EncodeListDate(int year, int month, int day, int hour, int minute, int second);
void DecodeListDate(double dt, int& year, int& month, int& day, int& hour, int& minute, int& second);
// DOS date and time words to TDateTime (0 when the date is not a valid one).
double DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime);
// Formats with the patterns d, dd, m, mm, yy, yyyy, h, hh, n, nn, s, ss; "mm" straight after
// an hour stands for minutes. Other characters are copied.
std::string FormatDateTime(const std::string& pattern, double dt);

// The one way the window shows a size and a date: in the user's locale, which the program
// puts in force when its window is made (UseLocaleFormats, LocaleDate.h). Until then, and in
// the core's own tests, "." groups the thousands and dates read "dd.mm.yyyy  hh:nn".
struct TDisplayFormats {
    std::string thousandSep = ".";
    // A TDateTime as the short date, two spaces and the short time.
    std::function<std::string(double)> dateTime;
};
TDisplayFormats& DisplayFormats();
// A size with its thousands grouped ("104,857,600" in an English locale).
std::string DisplaySize(int64_t number);
std::string DisplayDateTime(double dt);
