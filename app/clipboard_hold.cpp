#include "app/clipboard_hold.h"

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace quillet::app {
namespace {

// Short enough that an interruption is seen at once, long enough not to spin.
constexpr std::uint32_t kServeSliceMs = 100;

}  // namespace

HoldEnd hold_on_clipboard(const std::string& text, platform::Sensitivity sensitivity, const HoldWaits& waits) {
    platform::Clipboard& clipboard = platform::clipboard();
    if (!clipboard.set_text(text, sensitivity)) return HoldEnd::kNotCopied;
    if (waits.copied) waits.copied();
    const bool secret = sensitivity == platform::Sensitivity::kSecret;
    platform::Clock& clock = platform::clock();
    const std::uint32_t start = clock.tick_count_ms();
    for (;;) {
        if (waits.interrupted && waits.interrupted()) {
            if (secret) clipboard.clear_secret();
            return HoldEnd::kInterrupted;
        }
        // Unsigned difference: right across the tick count's wrap.
        const std::uint32_t elapsed = clock.tick_count_ms() - start;
        if (elapsed >= static_cast<std::uint32_t>(platform::kSecretLifetimeMs)) {
            if (secret) clipboard.clear_secret();
            return HoldEnd::kExpired;
        }
        if (secret && !clipboard.holds_secret()) return HoldEnd::kReplaced;
        const std::uint32_t remaining = static_cast<std::uint32_t>(platform::kSecretLifetimeMs) - elapsed;
        waits.serve(static_cast<int>(std::min(kServeSliceMs, remaining)));
    }
}

}  // namespace quillet::app
