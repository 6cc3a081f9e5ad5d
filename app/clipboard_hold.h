// A copy that the command line keeps on the clipboard in the foreground. A window
// program serves the clipboard from its event loop for as long as it runs; a command has
// to stay alive for the copy to stay pasteable, so it waits here until the copy's
// lifetime is over, then takes a secret off again as the program does.
#pragma once

#include <functional>
#include <string>

#include "platform/clipboard.h"

namespace quillet::app {

enum class HoldEnd {
    kNotCopied,    // the clipboard refused the text
    kExpired,      // the lifetime ran out; a secret was taken off
    kReplaced,     // another program copied something over the secret
    kInterrupted,  // the user asked to stop early; a secret was taken off
};

struct HoldWaits {
    // Called once when the clipboard has taken the text.
    std::function<void()> copied;
    // Lets the clipboard answer paste requests for up to `ms` milliseconds.
    std::function<void(int ms)> serve;
    // Polled between waits; true ends the hold at once.
    std::function<bool()> interrupted;
};

// Copies `text` (GBK) and returns when the hold ends. Time comes from platform::clock().
HoldEnd hold_on_clipboard(const std::string& text, platform::Sensitivity sensitivity, const HoldWaits& waits);

}  // namespace quillet::app
