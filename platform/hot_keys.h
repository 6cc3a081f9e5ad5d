// System-wide hot keys: keys that reach this program whichever program is in front.
// Replaceable so that tests press keys without a keyboard.
#pragma once

#include <functional>

namespace quillet::platform {

enum class HotKey { kF1, kF2, kF3 };

class HotKeys {
  public:
    virtual ~HotKeys() = default;
    // Takes `key` without modifier keys (Num Lock and Caps Lock do not matter) and calls
    // `pressed` on the window thread each time it is released. Returns false, quietly,
    // when the key cannot be taken, for example because another program holds it.
    // Called on the window thread.
    virtual bool grab(HotKey key, std::function<void()> pressed) = 0;
    // Gives the key back to the other programs; nothing when it is not held.
    virtual void release(HotKey key) = 0;
};

HotKeys& hot_keys();
void set_hot_keys(HotKeys* replacement);  // not owned; nullptr restores the system hot keys

}  // namespace quillet::platform
