// The real clock on Windows: milliseconds from the performance counter (cut to 32 bits,
// wrapping like the callers expect; GetTickCount itself moves in steps of up to 16 ms),
// Sleep, the time-stamp counter and GetLocalTime.
#include <windows.h>
#include <x86intrin.h>

#include "platform/clock.h"

namespace quillet::platform {
namespace {

class SystemClock : public Clock {
  public:
    std::uint32_t tick_count_ms() override {
        LARGE_INTEGER counter{};
        LARGE_INTEGER frequency{};
        QueryPerformanceCounter(&counter);
        QueryPerformanceFrequency(&frequency);
        const auto ticks = static_cast<unsigned long long>(counter.QuadPart);
        const auto per_second = static_cast<unsigned long long>(frequency.QuadPart);
        // In two steps, so that the product cannot overflow.
        return static_cast<std::uint32_t>(ticks / per_second * 1000 + ticks % per_second * 1000 / per_second);
    }

    void sleep_ms(std::uint32_t ms) override { Sleep(ms); }

    std::uint64_t timestamp_counter() override { return __rdtsc(); }

    LocalTime local_time() override {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    }
};

}  // namespace

Clock& system_clock() {
    static SystemClock instance;
    return instance;
}

}  // namespace quillet::platform
