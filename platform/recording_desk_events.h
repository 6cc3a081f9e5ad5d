// DeskEvents for tests: the test leaves the desk by hand and sees whether a suspend
// would still be waiting for the program.
#pragma once

#include <functional>
#include <utility>

#include "platform/desk_events.h"

namespace quillet::platform {

// Window thread only, like the real ones.
class RecordingDeskEvents : public DeskEvents {
  public:
    void watch(std::function<void()> left) override { left_ = std::move(left); }
    void stop() override { left_ = nullptr; }

    // True while the program watches, which is also while it holds a suspend back.
    bool is_watching() const { return static_cast<bool>(left_); }
    // Locks the screen or suspends; false when nobody watches.
    bool leave() {
        if (!left_) return false;
        std::function<void()> left = left_;  // a copy: `left` stops the watch
        left();
        return true;
    }

  private:
    std::function<void()> left_;
};

}  // namespace quillet::platform
