// DOS date-time values (the date in the high 16 bits, the time in the low 16 bits, local
// time) and the one rule for an invalid one, shared by the engine, the zip front-end, the
// zip-library stand-ins and the application: a value whose month, day, hour, minute or
// second is out of range (a date word of 0xFFFF, or 0) stands for 1980-01-01 00:00:00, the
// first DOS date -- never "now", never a date rolled over into another month or year.
#pragma once
#include <cstdint>

namespace pvcommon {

struct DosFields {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// True when every field of `dos` is in range (February 29 only in leap years).
bool dosDateTimeValid(uint32_t dos);
// The fields of `dos`; those of 1980-01-01 00:00:00 when it is not valid.
DosFields dosFields(uint32_t dos);
// The same with the date and time words apart.
inline DosFields dosFields(uint16_t date, uint16_t time) {
    return dosFields(static_cast<uint32_t>(date) << 16 | time);
}
// Unix seconds of `dos` read in the local time zone of that date (daylight saving
// included), by the rule above; -1 only when the C library cannot convert it.
int64_t dosToUnixLocal(uint32_t dos);
// The DOS value of the given local fields: before 1980 it is 1980-01-01 00:00:00, after 2107
// it is 2107-12-31 23:59:58 (the last one); seconds are rounded down to even.
uint32_t packDos(int year, int month, int day, int hour, int minute, int second);
// The DOS value of Unix seconds `t` in the local time zone, by packDos.
uint32_t unixToDosLocal(int64_t t);

} // namespace pvcommon
