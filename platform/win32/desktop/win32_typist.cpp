// Typing on Windows: each UTF-16 unit of the text is posted to the window as a character
// message, as if the keyboard had produced it. Character messages need no key of the
// current layout and are untouched by Caps Lock, so any text arrives as it is, Chinese
// included. The window's top-level window is brought to the front first so that the
// user sees where the text goes. Tab, which moves the focus, is a real key press.
#include <windows.h>

#include "platform/desktop_registry.h"
#include "platform/typist.h"
#include "platform/win32/wide_text.h"

namespace quillet::platform {
namespace {

HWND as_window(DesktopWindow window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }

class Win32Typist : public Typist {
  public:
    DesktopWindow window_under_pointer() override {
        POINT cursor{};
        if (!GetCursorPos(&cursor)) return 0;
        HWND window = WindowFromPoint(cursor);
        if (window == nullptr) return 0;
        // Down to the innermost child under the pointer, disabled and hidden ones passed over.
        for (;;) {
            POINT client = cursor;
            ScreenToClient(window, &client);
            HWND child = RealChildWindowFromPoint(window, client);
            if (child == nullptr || child == window) break;
            window = child;
        }
        return reinterpret_cast<std::uintptr_t>(window);
    }

    bool type_text(DesktopWindow window, const std::string& text) override {
        HWND target = as_window(window);
        // A window that is gone by now gets nothing, and nothing goes elsewhere instead.
        if (window == 0 || !IsWindow(target) || !IsWindowVisible(target)) return false;
        if (text.empty()) return true;
        // The characters are posted to the window itself, so they reach it even when the
        // system refuses to bring it to the front; only a window that is gone is refused.
        SetForegroundWindow(GetAncestor(target, GA_ROOT));
        for (wchar_t unit : wide(text)) {
            if (!PostMessageW(target, WM_CHAR, unit, 1)) return false;
        }
        return true;
    }

    DesktopWindow top_level_of(DesktopWindow window) override {
        HWND target = as_window(window);
        if (window == 0 || !IsWindow(target)) return 0;
        return reinterpret_cast<std::uintptr_t>(GetAncestor(target, GA_ROOT));
    }

    void press_tab() override {
        INPUT keys[2] = {};
        keys[0].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = VK_TAB;
        keys[1] = keys[0];
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
    }
};

Win32Typist system_typist;
const bool registered = (register_system_typist(&system_typist), true);

}  // namespace
}  // namespace quillet::platform
