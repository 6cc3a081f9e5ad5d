// The real clock: CLOCK_BOOTTIME ticks, nanosleep, the x86 time-stamp counter (or the
// boot-time clock in nanoseconds elsewhere), and the local time from localtime_r.
// CLOCK_BOOTTIME rather than CLOCK_MONOTONIC: the monotonic clock stops while the machine
// sleeps, so an idle logout due during a suspend would come ten minutes late after it.
#include <time.h>

#include <cerrno>

#include "platform/clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace quillet::platform {
namespace {

std::uint64_t boot_time_ns() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

class SystemClock : public Clock {
  public:
    std::uint32_t tick_count_ms() override { return static_cast<std::uint32_t>(boot_time_ns() / 1000000u); }

    void sleep_ms(std::uint32_t ms) override {
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        // Signals interrupt nanosleep; keep sleeping for what is left.
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    std::uint64_t timestamp_counter() override {
#if defined(__x86_64__) || defined(__i386__)
        return __rdtsc();
#else
        return boot_time_ns();
#endif
    }

    LocalTime local_time() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        tm fields{};
        localtime_r(&ts.tv_sec, &fields);
        return LocalTime{fields.tm_year + 1900,
                         fields.tm_mon + 1,
                         fields.tm_mday,
                         fields.tm_hour,
                         fields.tm_min,
                         fields.tm_sec,
                         static_cast<int>(ts.tv_nsec / 1000000)};
    }
};

}  // namespace

Clock& system_clock() {
    static SystemClock instance;
    return instance;
}

}  // namespace quillet::platform
