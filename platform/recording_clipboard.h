// A Clipboard for tests: keeps the texts it was given instead of reaching the system.
// A secret stays until the test lets its lifetime run out with expire_secret().
// Thread-safe: every member is guarded by mutex_.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/clipboard.h"

namespace quillet::platform {

class RecordingClipboard : public Clipboard {
  public:
    struct Copy {
        std::string text;
        Sensitivity sensitivity;
    };

    bool set_text(const std::string& text, Sensitivity sensitivity) override {
        std::lock_guard lock(mutex_);
        copies_.push_back({text, sensitivity});
        content_ = text;
        secret_ = sensitivity == Sensitivity::kSecret;
        return true;
    }
    void clear_secret() override {
        std::lock_guard lock(mutex_);
        if (secret_) content_.clear();
        secret_ = false;
    }
    bool holds_secret() override {
        std::lock_guard lock(mutex_);
        return secret_;
    }
    void set_secret_lifetime_ms(int milliseconds) override {
        std::lock_guard lock(mutex_);
        lifetime_ms_ = milliseconds;
    }

    // What another program would paste now.
    std::string content() {
        std::lock_guard lock(mutex_);
        return content_;
    }
    std::vector<Copy> copies() {
        std::lock_guard lock(mutex_);
        return copies_;
    }
    // Another program copies something, so a pending secret is no longer there to remove.
    void copy_from_elsewhere(const std::string& text) {
        std::lock_guard lock(mutex_);
        content_ = text;
        secret_ = false;
    }
    int secret_lifetime_ms() {
        std::lock_guard lock(mutex_);
        return lifetime_ms_;
    }

  private:
    std::mutex mutex_;
    std::vector<Copy> copies_;
    std::string content_;
    bool secret_ = false;
    int lifetime_ms_ = kSecretLifetimeMs;
};

}  // namespace quillet::platform
