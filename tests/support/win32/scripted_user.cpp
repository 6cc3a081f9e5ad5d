// The user's actions on the Win32 window layer, sent as the messages Windows would send.
#include "tests/support/scripted_user.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"
#include "ui/win32/form_window.h"

namespace quillet::ui {
namespace {

// The open form window of this process with that name (a closed one has no window left).
win32::FormWindow* open_window(std::string_view name) {
    for (HWND found = nullptr; (found = FindWindowExW(nullptr, found, L"QuilletForm", nullptr)) != nullptr;) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process != GetCurrentProcessId()) continue;
        auto* window = reinterpret_cast<win32::FormWindow*>(GetWindowLongPtrW(found, GWLP_USERDATA));
        if (window != nullptr && window->hwnd() == found && window->form().name == name) return window;
    }
    return nullptr;
}

win32::Control* control_of(std::string_view window, std::string_view control) {
    win32::FormWindow* w = open_window(window);
    return w ? w->control(control) : nullptr;
}

// Whether a user could reach the control with mouse or keyboard: neither it nor its window
// disabled (as the windows under a modal dialog are), and shown.
bool takes_input(HWND control) {
    return control != nullptr && IsWindowEnabled(control) && IsWindowVisible(control) &&
           IsWindowEnabled(GetAncestor(control, GA_ROOT));
}

// Types UTF-16 units one by one through the box's own input handling, so that its length
// limit and digits-only mode refuse what they would refuse from the keyboard.
void type_units(win32::Control* c, const std::wstring& units) {
    if (c == nullptr || c->def->kind != ControlKind::kEditBox || !takes_input(c->hwnd) || c->def->edit.read_only) {
        return;
    }
    const int end = GetWindowTextLengthW(c->hwnd);
    SendMessageW(c->hwnd, EM_SETSEL, end, end);
    for (wchar_t unit : units) SendMessageW(c->hwnd, WM_CHAR, unit, 1);
}

}  // namespace

void ScriptedUser::click(std::string_view window, std::string_view control) {
    win32::Control* c = control_of(window, control);
    if (c == nullptr || !takes_input(c->hwnd)) return;
    if (c->def->kind == ControlKind::kButton || c->def->kind == ControlKind::kCheckBox) {
        // What the button tells its parent once clicked. BM_CLICK plays the mouse through
        // capture and focus, which another program on the same desktop may hold at that
        // moment: under load a click then did nothing.
        if (c->def->kind == ControlKind::kCheckBox) {
            const bool checked = SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
            SendMessageW(c->hwnd, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
        }
        SendMessageW(GetParent(c->hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c->hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(c->hwnd));
    } else if (c->def->kind == ControlKind::kList) {
        layer_.raise(window, control, Event::kClicked);  // on the row already selected: the selection stays
    }
}

void ScriptedUser::type_text(std::string_view window, std::string_view control, std::string_view text) {
    type_units(control_of(window, control), platform::wide(text));
}

void ScriptedUser::type_utf8(std::string_view window, std::string_view control, std::string_view utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring units(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), units.data(), length);
    }
    type_units(control_of(window, control), units);
}

void ScriptedUser::press_close_box(std::string_view window) {
    win32::FormWindow* w = open_window(window);
    if (w != nullptr && IsWindowEnabled(w->hwnd())) SendMessageW(w->hwnd(), WM_CLOSE, 0, 0);
}

void ScriptedUser::move_mouse_over(std::string_view window, std::string_view control) {
    win32::FormWindow* w = open_window(window);
    if (w != nullptr && control.empty()) {
        RECT client{};
        GetClientRect(w->hwnd(), &client);
        SendMessageW(w->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(client.right / 2, client.bottom / 2));
        return;
    }
    win32::Control* c = w ? w->control(control) : nullptr;
    if (c == nullptr || c->hwnd == nullptr || !IsWindowVisible(c->hwnd)) return;
    const int x = c->def->rect.width / 2;
    const int y = c->def->rect.height / 2;
    // Where Windows would deliver it: a list gets its own moves, a group box's go to the window.
    if (c->def->kind == ControlKind::kList) {
        SendMessageW(c->hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    } else {
        SendMessageW(w->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(c->origin.x + x, c->origin.y + y));
    }
}

void ScriptedUser::right_click(std::string_view window, std::string_view control) {
    win32::Control* c = control_of(window, control);
    if (c == nullptr || !takes_input(c->hwnd)) return;
    const int x = c->def->rect.width / 2;
    const int y = c->def->rect.height / 2;
    if (c->def->kind == ControlKind::kList) {
        layer_.raise(window, control, Event::kRightButtonPressed, x, y);  // the selection stays
        return;
    }
    SendMessageW(c->hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    SendMessageW(c->hwnd, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace quillet::ui
