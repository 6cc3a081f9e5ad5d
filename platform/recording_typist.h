// A Typist for tests: records what would be typed and where, in order. The window under
// the pointer is whatever the test sets.
// Thread-safe: every member is guarded by mutex_.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/typist.h"

namespace quillet::platform {

class RecordingTypist : public Typist {
  public:
    struct Action {
        enum Kind { kText, kTab } kind;
        DesktopWindow window;  // kText only
        std::string text;      // kText only
        bool operator==(const Action&) const = default;
    };

    DesktopWindow window_under_pointer() override {
        std::lock_guard lock(mutex_);
        return pointer_window_;
    }
    void type_text(DesktopWindow window, const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (window == 0 || text.empty()) return;
        actions_.push_back({Action::kText, window, text});
    }
    void press_tab() override {
        std::lock_guard lock(mutex_);
        actions_.push_back({Action::kTab, 0, {}});
    }

    void set_pointer_window(DesktopWindow window) {
        std::lock_guard lock(mutex_);
        pointer_window_ = window;
    }
    std::vector<Action> actions() {
        std::lock_guard lock(mutex_);
        return actions_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        actions_.clear();
    }

  private:
    std::mutex mutex_;
    DesktopWindow pointer_window_ = 0;
    std::vector<Action> actions_;
};

}  // namespace quillet::platform
