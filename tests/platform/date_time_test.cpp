#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillet::platform {
namespace {

CalendarFields fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    CalendarFields f;
    f.year = year, f.month = month, f.day = day, f.hour = hour, f.minute = minute, f.second = second;
    f.millisecond = ms;
    return f;
}

void expect_fields(double value, const CalendarFields& want, int day_of_week) {
    CalendarFields got;
    ASSERT_TRUE(date_time_to_calendar(value, &got)) << value;
    EXPECT_EQ(got.year, want.year) << value;
    EXPECT_EQ(got.month, want.month) << value;
    EXPECT_EQ(got.day, want.day) << value;
    EXPECT_EQ(got.hour, want.hour) << value;
    EXPECT_EQ(got.minute, want.minute) << value;
    EXPECT_EQ(got.second, want.second) << value;
    EXPECT_EQ(got.millisecond, want.millisecond) << value;
    EXPECT_EQ(got.day_of_week, day_of_week) << value;
}

TEST(DateTimeTest, KnownValuesBothWays) {
    struct Case {
        double value;
        CalendarFields fields;
        int day_of_week;
    } cases[] = {
        {0.0, fields(1899, 12, 30), 6},       {1.0, fields(1899, 12, 31), 0},    {2.0, fields(1900, 1, 1), 1},
        {60.0, fields(1900, 2, 28), 3},  // 1900 is no leap year
        {61.0, fields(1900, 3, 1), 4},        {44475.0, fields(2021, 10, 6), 3}, {44562.75, fields(2022, 1, 1, 18), 6},
        {-1.25, fields(1899, 12, 29, 6), 5},  {-1.0, fields(1899, 12, 29), 5},   {-657434.0, fields(100, 1, 1), 5},
        {2958465.0, fields(9999, 12, 31), 5},
    };
    for (const Case& c : cases) {
        expect_fields(c.value, c.fields, c.day_of_week);
        double back = 0;
        ASSERT_TRUE(calendar_to_date_time(c.fields, &back));
        EXPECT_EQ(back, c.value);
    }
}

TEST(DateTimeTest, NegativeValuesKeepAPositiveTimeOfDay) {
    expect_fields(-0.25, fields(1899, 12, 30, 6), 6);  // as the variant-time conversion reads it
    expect_fields(-2.5, fields(1899, 12, 28, 12), 4);
    expect_fields(-1.9999999999, fields(1899, 12, 30), 6);  // rounds up into the next calendar day
}

TEST(DateTimeTest, RoundTripsAreExactToTheMillisecondAcrossTheRange) {
    const int years[] = {100, 1600, 1899, 1900, 1970, 2000, 2024, 9999};
    const int times[][4] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {6, 0, 0, 0}, {12, 34, 56, 789}, {23, 59, 59, 999}};
    for (int year : years) {
        for (int month : {1, 2, 12}) {
            for (int day : {1, 28}) {
                for (const auto& t : times) {
                    CalendarFields f = fields(year, month, day, t[0], t[1], t[2], t[3]);
                    double value = 0;
                    ASSERT_TRUE(calendar_to_date_time(f, &value));
                    CalendarFields got;
                    ASSERT_TRUE(date_time_to_calendar(value, &got)) << value;
                    EXPECT_EQ(got.year, year);
                    EXPECT_EQ(got.month, month);
                    EXPECT_EQ(got.day, day);
                    EXPECT_EQ(got.hour * 3600000 + got.minute * 60000 + got.second * 1000 + got.millisecond,
                              t[0] * 3600000 + t[1] * 60000 + t[2] * 1000 + t[3])
                        << value;
                }
            }
        }
    }
}

TEST(DateTimeTest, ValuesAndFieldsOutsideTheRangeAreRefused) {
    CalendarFields f;
    EXPECT_FALSE(date_time_to_calendar(-657435.0, &f));
    EXPECT_TRUE(date_time_to_calendar(-657434.999, &f));  // 0100-01-01 23:58:33.600
    EXPECT_EQ(f.year, 100);
    EXPECT_FALSE(date_time_to_calendar(2958466.0, &f));
    EXPECT_FALSE(date_time_to_calendar(2958465.99999999999, &f));
    EXPECT_FALSE(date_time_to_calendar(std::nan(""), &f));
    EXPECT_FALSE(date_time_to_calendar(INFINITY, &f));
    EXPECT_TRUE(date_time_to_calendar(2958465.999, &f));
    double value = 0;
    EXPECT_FALSE(calendar_to_date_time(fields(99, 12, 31), &value));
    EXPECT_FALSE(calendar_to_date_time(fields(10000, 1, 1), &value));
    EXPECT_FALSE(calendar_to_date_time(fields(2023, 2, 29), &value));
    EXPECT_TRUE(calendar_to_date_time(fields(2024, 2, 29), &value));
    EXPECT_FALSE(calendar_to_date_time(fields(2024, 13, 1), &value));
    EXPECT_FALSE(calendar_to_date_time(fields(2024, 1, 1, 24), &value));
    EXPECT_FALSE(calendar_to_date_time(fields(2024, 1, 1, 0, 0, 0, 1000), &value));
}

}  // namespace
}  // namespace quillet::platform
