// A Typist for tests: records what would be typed and where, in order. The window under
// the pointer, the top-level window of each window (itself unless set) and the windows
// that refuse the focus are whatever the test sets.
// Thread-safe: every member is guarded by mutex_.
#pragma once

#include <map>
#include <mutex>
#include <set>
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
    bool type_text(DesktopWindow window, const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (window == 0 || refusing_.count(window) != 0) return false;
        if (!text.empty()) actions_.push_back({Action::kText, window, text});
        return true;
    }
    DesktopWindow top_level_of(DesktopWindow window) override {
        std::lock_guard lock(mutex_);
        auto it = top_levels_.find(window);
        return it == top_levels_.end() ? window : it->second;
    }
    void press_tab() override {
        std::lock_guard lock(mutex_);
        actions_.push_back({Action::kTab, 0, {}});
    }

    void set_pointer_window(DesktopWindow window) {
        std::lock_guard lock(mutex_);
        pointer_window_ = window;
    }
    void set_top_level(DesktopWindow window, DesktopWindow top_level) {
        std::lock_guard lock(mutex_);
        top_levels_[window] = top_level;
    }
    void refuse_focus(DesktopWindow window) {
        std::lock_guard lock(mutex_);
        refusing_.insert(window);
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
    std::map<DesktopWindow, DesktopWindow> top_levels_;
    std::set<DesktopWindow> refusing_;
};

}  // namespace quillet::platform
