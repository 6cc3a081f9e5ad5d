#include "platform/win32/desktop/message_window.h"

#include <map>

namespace quillet::platform {
namespace {

// Window thread only, like the window itself.
std::map<UINT, std::function<void(WPARAM, LPARAM)>>& handlers() {
    static std::map<UINT, std::function<void(WPARAM, LPARAM)>> table;
    return table;
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto found = handlers().find(message);
    if (found != handlers().end()) {
        auto handler = found->second;  // a copy: the handler may register others
        handler(wparam, lparam);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND create() {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"QuilletMessageWindow";
    RegisterClassExW(&type);  // fails harmlessly when the class exists
    return CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
}

}  // namespace

HWND message_window() {
    static HWND window = create();
    return window;
}

void handle_message(UINT message, std::function<void(WPARAM, LPARAM)> handler) {
    handlers()[message] = std::move(handler);
}

}  // namespace quillet::platform
