// Date-time values as the Windows variant-time conversions treat them, but exact to the
// millisecond: the whole part (rounded toward zero) counts days from 1899-12-30 and the
// absolute value of the fraction is the time of day, so -1.25 is 1899-12-29 06:00.
// Calendar arithmetic is the proleptic Gregorian day count (days from 1970-01-01).
#include "platform/date_time.h"

#include <cmath>
#include <cstdint>

namespace quillet::platform {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// 0100-01-01 is -657434; with the time of day subtracted its whole day lies above
// -657435. 10000-01-01 is the first day out of range.
constexpr double kBelowStart = -657435.0;
constexpr double kEnd = 2958466.0;

std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    std::int64_t year_of_era = year - era * 400;
    std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(std::int64_t days, int* year, int* month, int* day) {
    days += 719468;
    std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    std::int64_t day_of_era = days - era * 146097;
    std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    std::int64_t month_index = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
    *month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
    *year = static_cast<int>(year_of_era + era * 400 + (*month <= 2));
}

const std::int64_t kEpochDays = days_from_civil(1899, 12, 30);

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool calendar_to_date_time(const CalendarFields& f, double* out) {
    if (f.year < 100 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > days_in_month(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 ||
        f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999) {
        return false;
    }
    double days = static_cast<double>(days_from_civil(f.year, f.month, f.day) - kEpochDays);
    std::int64_t ms = ((static_cast<std::int64_t>(f.hour) * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
    double time = static_cast<double>(ms) / kMsPerDay;
    *out = days < 0 ? days - time : days + time;
    return true;
}

bool date_time_to_calendar(double value, CalendarFields* out) {
    if (!(value > kBelowStart && value < kEnd)) return false;  // also refuses NaN
    double whole = std::trunc(value);
    std::int64_t days = static_cast<std::int64_t>(whole);
    std::int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {  // rounded up to midnight: the next calendar day
        ms -= kMsPerDay;
        ++days;
    }
    CalendarFields f;
    civil_from_days(days + kEpochDays, &f.year, &f.month, &f.day);
    if (f.year > 9999 || f.year < 100) return false;
    f.hour = static_cast<int>(ms / 3600000);
    f.minute = static_cast<int>(ms / 60000 % 60);
    f.second = static_cast<int>(ms / 1000 % 60);
    f.millisecond = static_cast<int>(ms % 1000);
    std::int64_t weekday = (days + 6) % 7;  // 1899-12-30 was a Saturday
    f.day_of_week = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
    *out = f;
    return true;
}

}  // namespace quillet::platform
