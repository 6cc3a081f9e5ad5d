// A clock for tests: time moves only when the test moves it. sleep_ms advances the tick
// count instead of sleeping, so waits and idle timers run instantly and deterministically.
// Thread-safe: every member is guarded by mutex_ (a program thread may sleep on it while
// the test thread reads it).
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace quillet::platform {

class ManualClock : public Clock {
  public:
    std::uint32_t tick_count_ms() override;
    void sleep_ms(std::uint32_t ms) override;
    std::uint64_t timestamp_counter() override;
    LocalTime local_time() override;

    void set_tick_count_ms(std::uint32_t ticks);
    // Moves the tick count (wrapping at 2^32) and the local time forward by `ms`.
    void advance(std::uint32_t ms);
    void set_timestamp_counter(std::uint64_t counter);
    void set_local_time(const LocalTime& time);
    // Total milliseconds passed to sleep_ms so far.
    std::uint64_t slept_ms();

  private:
    std::mutex mutex_;
    std::uint32_t ticks_ = 0;
    std::uint64_t counter_ = 0;
    std::uint64_t slept_ = 0;
    LocalTime time_{2024, 1, 1, 0, 0, 0, 0};
};

}  // namespace quillet::platform
