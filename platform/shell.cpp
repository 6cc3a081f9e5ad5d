#include "platform/shell.h"

#include <atomic>

namespace quillet::platform {
namespace {

std::atomic<Shell*> installed{nullptr};

}  // namespace

Shell& shell() {
    Shell* replacement = installed.load(std::memory_order_acquire);
    return replacement ? *replacement : system_shell();
}

void set_shell(Shell* replacement) { installed.store(replacement, std::memory_order_release); }

}  // namespace quillet::platform
