// HotKeys for tests: remembers which keys are held and lets the test press them.
// A key can be marked as held by another program, which makes its grab fail.
// Thread-safe: every member is guarded by mutex_; press() calls the handler unlocked.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "platform/hot_keys.h"

namespace quillet::platform {

class RecordingHotKeys : public HotKeys {
  public:
    bool grab(HotKey key, std::function<void()> pressed) override {
        std::lock_guard lock(mutex_);
        if (taken_elsewhere_.count(key) != 0) return false;
        held_[key] = std::move(pressed);
        return true;
    }
    void release(HotKey key) override {
        std::lock_guard lock(mutex_);
        held_.erase(key);
    }

    bool is_held(HotKey key) {
        std::lock_guard lock(mutex_);
        return held_.count(key) != 0;
    }
    void take_elsewhere(HotKey key) {
        std::lock_guard lock(mutex_);
        taken_elsewhere_.insert(key);
    }
    // Presses and releases `key`; false when this program does not hold it.
    bool press(HotKey key) {
        std::function<void()> pressed;
        {
            std::lock_guard lock(mutex_);
            auto found = held_.find(key);
            if (found == held_.end()) return false;
            pressed = found->second;
        }
        pressed();
        return true;
    }

  private:
    std::mutex mutex_;
    std::map<HotKey, std::function<void()>> held_;
    std::set<HotKey> taken_elsewhere_;
};

}  // namespace quillet::platform
