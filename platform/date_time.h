// Date-time values: days since 1899-12-30 00:00 as a double, the fraction being the time
// of day. Dates before the epoch are negative with a positive fraction
// (-1.25 is 1899-12-29 06:00).
#pragma once

namespace quillet::platform {

struct CalendarFields {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int day_of_week = 0;  // 0 = Sunday; filled by date_time_to_calendar
};

bool calendar_to_date_time(const CalendarFields& fields, double* out);
bool date_time_to_calendar(double value, CalendarFields* out);

}  // namespace quillet::platform
