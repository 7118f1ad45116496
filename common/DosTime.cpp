#include "common/DosTime.h"

#include <ctime>

namespace pvcommon {

namespace {

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

DosFields split(uint32_t dos) {
    DosFields f;
    f.year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
    f.month = static_cast<int>((dos >> 21) & 0x0F);
    f.day = static_cast<int>((dos >> 16) & 0x1F);
    f.hour = static_cast<int>((dos >> 11) & 0x1F);
    f.minute = static_cast<int>((dos >> 5) & 0x3F);
    f.second = static_cast<int>((dos & 0x1F) * 2);
    return f;
}

} // namespace

bool dosDateTimeValid(uint32_t dos) {
    const DosFields f = split(dos);
    return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= daysInMonth(f.year, f.month) &&
           f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

DosFields dosFields(uint32_t dos) {
    return dosDateTimeValid(dos) ? split(dos) : DosFields{};
}

int64_t dosToUnixLocal(uint32_t dos) {
    const DosFields f = dosFields(dos);
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(t);
}

uint32_t packDos(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980) return (1u << 5 | 1u) << 16; // 1980-01-01 00:00
    if (year > 2107) return ((127u << 9) | (12u << 5) | 31u) << 16 | (23u << 11) | (59u << 5) | 29u;
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return date << 16 | time;
}

uint32_t unixToDosLocal(int64_t t) {
    const auto tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return packDos(1980, 1, 1, 0, 0, 0);
    return packDos(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

} // namespace pvcommon
