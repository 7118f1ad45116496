#include "app/core/ListFormat.h"

#include "platform/dosdate.h"

#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>

std::string FormatThousands(int64_t number, int group, const std::string& sep) {
    bool negative = number < 0;
    uint64_t magnitude = negative ? 0 - uint64_t(number) : uint64_t(number);
    std::string digits = std::to_string(magnitude);
    if (group > 0) {
        for (int pos = int(digits.size()) - group; pos > 0; pos -= group) digits.insert(size_t(pos), sep);
    }
    return negative ? "-" + digits : digits;
}

std::string IntToHexPad(uint64_t value, int digits) {
    if (digits <= 0) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(value));
    std::string s = buf;
    if (int(s.size()) < digits) s.insert(0, size_t(digits) - s.size(), '0');
    return s;
}

int64_t StripChar(const std::string& text, char ch) {
    std::string s;
    for (char c : text)
        if (c != ch) s += c;
    if (s.empty()) return 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    return (end && *end == '\0') ? v : 0;
}

std::string StripNumberText(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != '.' && c != '%') s += c;
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

int64_t RoundEven(double x) {
    return static_cast<int64_t>(std::nearbyint(x));
}

int RatioPercent(int64_t packed, int64_t size) {
    if (size <= 0 || packed >= size) return 0;
    return int(RoundEven((1.0 - double(packed) / double(size)) * 100.0));
}

std::string FormatRatio(int64_t packed, int64_t size) {
    return std::to_string(RatioPercent(packed, size)) + "% ";
}

std::string FormatAttributes(uint32_t attr) {
    std::string s;
    if (attr & 0x20) s += 'A';
    if (attr & 0x04) s += 'S';
    if (attr & 0x02) s += 'H';
    if (attr & 0x01) s += 'R';
    return s;
}

namespace {

// Days from 1970-01-01 for a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

constexpr int64_t kEpochShift = 25569; // days from 1899-12-30 to 1970-01-01

} // namespace

double EncodeListDate(int year, int month, int day, int hour, int minute, int second) {
    double days = double(daysFromCivil(year, unsigned(month), unsigned(day)) + kEpochShift);
    return days + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

void DecodeListDate(double dt, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    if (!std::isfinite(dt) || std::fabs(dt) > 3e6) dt = 0;
    // Round to whole seconds first so 23:59:59.9999 does not print as the wrong day.
    int64_t totalSeconds = int64_t(std::llround(dt * 86400.0));
    int64_t days = totalSeconds >= 0 ? totalSeconds / 86400 : -((-totalSeconds + 86399) / 86400);
    int64_t secs = totalSeconds - days * 86400;
    civilFromDays(days - kEpochShift, year, month, day);
    hour = int(secs / 3600);
    minute = int(secs / 60 % 60);
    second = int(secs % 60);
}

double DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime) {
    // An invalid value is 1980-01-01 00:00, the rule the engine and the stand-ins share.
    const platform::DosFields f = platform::dosFields(dosDate, dosTime);
    return EncodeListDate(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

std::string FormatDateTime(const std::string& pattern, double dt) {
    int y, mo, d, h, mi, s;
    DecodeListDate(dt, y, mo, d, h, mi, s);
    auto two = [](int v) {
        char b[8];
        std::snprintf(b, sizeof b, "%02d", v % 100);
        return std::string(b);
    };
    std::string out;
    bool afterHour = false;
    for (size_t i = 0; i < pattern.size();) {
        char c = char(std::tolower(static_cast<unsigned char>(pattern[i])));
        size_t n = 1;
        while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == c) ++n;
        switch (c) {
        case 'd':
            out += n >= 2 ? two(d) : std::to_string(d);
            break;
        case 'm':
            if (afterHour)
                out += n >= 2 ? two(mi) : std::to_string(mi);
            else
                out += n >= 2 ? two(mo) : std::to_string(mo);
            break;
        case 'y':
            out += n >= 4 ? std::to_string(y) : two(y);
            break;
        case 'h':
            out += n >= 2 ? two(h) : std::to_string(h);
            break;
        case 'n':
            out += n >= 2 ? two(mi) : std::to_string(mi);
            break;
        case 's':
            out += n >= 2 ? two(s) : std::to_string(s);
            break;
        default:
            out.append(pattern, i, n);
            break;
        }
        if (c == 'h')
            afterHour = true;
        else if (c == 'm' || c == 'd' || c == 'y')
            afterHour = false;
        i += n;
    }
    return out;
}

TDisplayFormats& DisplayFormats() {
    static TDisplayFormats formats;
    return formats;
}

std::string DisplaySize(int64_t number) {
    return FormatThousands(number, 3, DisplayFormats().thousandSep);
}

std::string DisplayDateTime(double dt) {
    const TDisplayFormats& f = DisplayFormats();
    return f.dateTime ? f.dateTime(dt) : FormatDateTime("dd.mm.yyyy  hh:nn", dt);
}
