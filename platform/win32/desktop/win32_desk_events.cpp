// Desk events on Windows: the session locked or switched away (WM_WTSSESSION_CHANGE after
// WTSRegisterSessionNotification) and the machine about to sleep or hibernate
// (WM_POWERBROADCAST with PBT_APMSUSPEND).
//
// Why a hidden top-level window and not the thread's message-only window: Windows
// broadcasts the power and session-change messages to top-level windows only, and a
// message-only window is none. The window exists only while watching, so that nothing
// arrives for a session that has ended.
//
// Why there is nothing like logind's delay inhibitor here: Windows sends PBT_APMSUSPEND and
// waits for the window procedure to return (about two seconds at most) before the machine
// sleeps. `left` runs inside that handling, so the logout is done before the sleep as long
// as it is quick, and stop(), which it calls, lets nothing wait beyond it.
#include <windows.h>
#include <wtsapi32.h>

#include <functional>
#include <utility>

#include "platform/desk_events.h"
#include "platform/desktop_registry.h"

namespace quillet::platform {
namespace {

constexpr wchar_t kWindowClass[] = L"QuilletDeskWindow";

bool means_left(UINT message, WPARAM wparam) {
    switch (message) {
        case WM_WTSSESSION_CHANGE:
            // A console disconnect is a switch to another user; a remote one, a closed
            // remote desktop connection that leaves the session running.
            return wparam == WTS_SESSION_LOCK || wparam == WTS_CONSOLE_DISCONNECT || wparam == WTS_REMOTE_DISCONNECT;
        case WM_POWERBROADCAST:
            return wparam == PBT_APMSUSPEND;  // suspend and hibernation alike
    }
    return false;
}

// Window thread only: the window and its messages belong to the thread that called watch().
class Win32DeskEvents : public DeskEvents {
  public:
    void watch(std::function<void()> left) override {
        left_ = std::move(left);
        if (window_ == nullptr) window_ = create_window();
    }

    void stop() override {
        left_ = nullptr;
        if (window_ == nullptr) return;
        WTSUnRegisterSessionNotification(window_);
        HWND window = std::exchange(window_, nullptr);
        DestroyWindow(window);
    }

  private:
    HWND create_window() {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = procedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = kWindowClass;
        RegisterClassExW(&type);  // fails harmlessly when the class exists
        // Never shown; no parent, so that the broadcasts reach it.
        HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      type.hInstance, this);
        // Without it only the power messages arrive; the session is then not watched, quietly.
        if (window != nullptr) WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
        return window;
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32DeskEvents*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && self->window_ == window && self->left_ && means_left(message, wparam)) {
            // A copy: `left` stops the watch, which destroys this window and clears left_.
            std::function<void()> left = self->left_;
            left();
            return message == WM_POWERBROADCAST ? TRUE : 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    std::function<void()> left_;
    HWND window_ = nullptr;
};

Win32DeskEvents system_desk_events;
const bool registered = (register_system_desk_events(&system_desk_events), true);

}  // namespace
}  // namespace quillet::platform
