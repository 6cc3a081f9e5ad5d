// A Shell for tests: remembers every address it was asked to open and opens nothing.
// Thread-safe: opened_ is guarded by mutex_.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace quillet::platform {

class RecordingShell : public Shell {
  public:
    bool open(const std::string& address) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(address);
        return succeed_;
    }
    std::vector<std::string> opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }
    // Lets a test see how its caller handles a handler that cannot be started.
    void set_succeed(bool succeed) {
        std::lock_guard lock(mutex_);
        succeed_ = succeed;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> opened_;
    bool succeed_ = true;
};

}  // namespace quillet::platform
