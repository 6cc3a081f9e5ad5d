// The program's source of time. Tests replace it to run idle timers, dated names and
// waits without waiting.
#pragma once

#include <cstdint>

namespace quillet::platform {

struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual std::uint32_t tick_count_ms() = 0;
    virtual void sleep_ms(std::uint32_t ms) = 0;
    // The processor's time-stamp counter (or another fast-changing counter).
    virtual std::uint64_t timestamp_counter() = 0;
    virtual LocalTime local_time() = 0;
};

// The clock in use: the system clock unless a test installed another.
Clock& clock();
// The operating system's clock (one per platform variant).
Clock& system_clock();
// Installs `replacement` (not owned); nullptr restores the system clock.
void set_clock(Clock* replacement);

}  // namespace quillet::platform
