#include "platform/clock.h"

#include <atomic>

namespace quillet::platform {
namespace {

std::atomic<Clock*> installed{nullptr};

}  // namespace

Clock& clock() {
    Clock* replacement = installed.load(std::memory_order_acquire);
    return replacement ? *replacement : system_clock();
}

void set_clock(Clock* replacement) { installed.store(replacement, std::memory_order_release); }

}  // namespace quillet::platform
