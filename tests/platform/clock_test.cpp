#include "platform/clock.h"

#include <gtest/gtest.h>

#include "platform/manual_clock.h"

namespace quillet::platform {
namespace {

TEST(ManualClockTest, SleepAdvancesTicksAndLocalTimeWithoutWaiting) {
    ManualClock manual;
    manual.set_tick_count_ms(0xFFFFFFF0u);
    manual.set_local_time({2023, 12, 31, 23, 59, 59, 990});
    manual.sleep_ms(0x20);
    EXPECT_EQ(manual.tick_count_ms(), 0x10u);  // wraps like a 32-bit tick count
    EXPECT_EQ(manual.slept_ms(), 0x20u);
    LocalTime t = manual.local_time();
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.millisecond, 22);
}

TEST(ManualClockTest, AdvanceCrossesLeapDayAndMonthEnds) {
    ManualClock manual;
    manual.set_local_time({2024, 2, 28, 12, 0, 0, 0});
    manual.advance(24u * 3600 * 1000);
    EXPECT_EQ(manual.local_time().month, 2);
    EXPECT_EQ(manual.local_time().day, 29);
    manual.advance(24u * 3600 * 1000 * 2);
    EXPECT_EQ(manual.local_time().month, 3);
    EXPECT_EQ(manual.local_time().day, 2);
    EXPECT_EQ(manual.slept_ms(), 0u);
}

TEST(ClockTest, InstalledClockReplacesSystemClockUntilRestored) {
    ManualClock manual;
    manual.set_timestamp_counter(42);
    set_clock(&manual);
    EXPECT_EQ(&clock(), &manual);
    EXPECT_EQ(clock().timestamp_counter(), 42u);
    set_clock(nullptr);
    EXPECT_NE(&clock(), &manual);
}

TEST(ClockTest, SystemClockGivesPlausibleLocalTimeAndMovingCounters) {
    set_clock(nullptr);
    LocalTime t = clock().local_time();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LT(t.millisecond, 1000);
    std::uint64_t first = clock().timestamp_counter();
    std::uint32_t ticks = clock().tick_count_ms();
    clock().sleep_ms(2);
    EXPECT_NE(clock().timestamp_counter(), first);
    EXPECT_GE(clock().tick_count_ms() - ticks, 2u);
}

}  // namespace
}  // namespace quillet::platform
