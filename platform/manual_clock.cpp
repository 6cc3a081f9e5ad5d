#include "platform/manual_clock.h"

namespace quillet::platform {
namespace {

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && is_leap_year(year)) return 29;
    return kDays[(month - 1) % 12];
}

// Adds milliseconds to a calendar time field by field, so tests that cross midnight or
// a month end see the right date.
void add_ms(LocalTime& t, std::uint64_t ms) {
    std::uint64_t total = static_cast<std::uint64_t>(t.millisecond) + ms;
    t.millisecond = static_cast<int>(total % 1000);
    total = total / 1000 + static_cast<std::uint64_t>(t.second);
    t.second = static_cast<int>(total % 60);
    total = total / 60 + static_cast<std::uint64_t>(t.minute);
    t.minute = static_cast<int>(total % 60);
    total = total / 60 + static_cast<std::uint64_t>(t.hour);
    t.hour = static_cast<int>(total % 24);
    std::uint64_t days = total / 24;
    while (days > 0) {
        int left_in_month = days_in_month(t.year, t.month) - t.day;
        if (days <= static_cast<std::uint64_t>(left_in_month)) {
            t.day += static_cast<int>(days);
            break;
        }
        days -= static_cast<std::uint64_t>(left_in_month) + 1;
        t.day = 1;
        if (++t.month > 12) {
            t.month = 1;
            ++t.year;
        }
    }
}

}  // namespace

std::uint32_t ManualClock::tick_count_ms() {
    std::lock_guard lock(mutex_);
    return ticks_;
}

void ManualClock::sleep_ms(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    slept_ += ms;
    ticks_ += ms;
    add_ms(time_, ms);
}

std::uint64_t ManualClock::timestamp_counter() {
    std::lock_guard lock(mutex_);
    return counter_;
}

LocalTime ManualClock::local_time() {
    std::lock_guard lock(mutex_);
    return time_;
}

void ManualClock::set_tick_count_ms(std::uint32_t ticks) {
    std::lock_guard lock(mutex_);
    ticks_ = ticks;
}

void ManualClock::advance(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    ticks_ += ms;
    add_ms(time_, ms);
}

void ManualClock::set_timestamp_counter(std::uint64_t counter) {
    std::lock_guard lock(mutex_);
    counter_ = counter;
}

void ManualClock::set_local_time(const LocalTime& time) {
    std::lock_guard lock(mutex_);
    time_ = time;
}

std::uint64_t ManualClock::slept_ms() {
    std::lock_guard lock(mutex_);
    return slept_;
}

}  // namespace quillet::platform
