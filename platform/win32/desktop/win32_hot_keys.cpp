// Hot keys on Windows: RegisterHotKey on the window thread's message window, with the
// identifiers 33001 (F1), 33002 (F2) and 33003 (F3). MOD_NOREPEAT: a key held down
// reports once, not once per repeat. Num Lock and Caps Lock do not take part in
// hot-key matching on Windows.
#include <windows.h>

#include <map>

#include "platform/desktop_registry.h"
#include "platform/hot_keys.h"
#include "platform/win32/desktop/message_window.h"

namespace quillet::platform {
namespace {

constexpr int kFirstIdentifier = 33001;

int identifier_of(HotKey key) { return kFirstIdentifier + static_cast<int>(key); }

UINT virtual_key_of(HotKey key) {
    switch (key) {
        case HotKey::kF1:
            return VK_F1;
        case HotKey::kF2:
            return VK_F2;
        case HotKey::kF3:
            return VK_F3;
    }
    return 0;
}

// Window thread only.
class Win32HotKeys : public HotKeys {
  public:
    bool grab(HotKey key, std::function<void()> pressed) override {
        HWND window = message_window();
        if (window == nullptr) return false;
        handle_message(WM_HOTKEY, [this](WPARAM id, LPARAM) {
            auto found = handlers_.find(static_cast<int>(id));
            if (found == handlers_.end()) return;
            auto handler = found->second;  // a copy: the handler may release the key
            handler();
        });
        release(key);
        if (!RegisterHotKey(window, identifier_of(key), MOD_NOREPEAT, virtual_key_of(key))) return false;
        handlers_[identifier_of(key)] = std::move(pressed);
        return true;
    }

    void release(HotKey key) override {
        auto found = handlers_.find(identifier_of(key));
        if (found == handlers_.end()) return;
        UnregisterHotKey(message_window(), identifier_of(key));
        handlers_.erase(found);
    }

  private:
    std::map<int, std::function<void()>> handlers_;
};

Win32HotKeys system_hot_keys;
const bool registered = (register_system_hot_keys(&system_hot_keys), true);

}  // namespace
}  // namespace quillet::platform
