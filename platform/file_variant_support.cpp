#include "platform/file_variant_support.h"

#include <atomic>

#include "platform/secure_random.h"

namespace quillet::platform {
namespace {

std::atomic<ChangeHook> g_change_hook{nullptr};

}  // namespace

void set_change_hook(ChangeHook hook) { g_change_hook.store(hook, std::memory_order_relaxed); }

FileError before_change() {
    const ChangeHook hook = g_change_hook.load(std::memory_order_relaxed);
    return hook == nullptr ? FileError::kNone : hook();
}

std::string random_hex(int digits) {
    std::string text;
    for (int i = 0; i < digits; ++i) text += "0123456789abcdef"[secure_random_below(16)];
    return text;
}

}  // namespace quillet::platform
