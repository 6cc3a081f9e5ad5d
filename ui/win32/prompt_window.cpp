#include "ui/win32/prompt_window.h"

#include <windows.h>

#include "ui/win32/form_window.h"

namespace quillet::ui::win32 {
namespace {

constexpr int kEditId = 100;  // apart from IDOK and IDCANCEL, whose commands answer the prompt

struct PromptState {
    bool done = false;
    bool confirmed = false;
    bool destroyed = false;
    HWND edit = nullptr;
    std::wstring text;
};

LRESULT CALLBACK prompt_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            // A button, Enter or Escape; the edit box's notifications carry a code.
            if (state != nullptr && HIWORD(wparam) == BN_CLICKED && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
                state->confirmed = LOWORD(wparam) == IDOK;
                const int length = GetWindowTextLengthW(state->edit);
                state->text.assign(static_cast<std::size_t>(length) + 1, L'\0');
                GetWindowTextW(state->edit, state->text.data(), length + 1);
                state->text.resize(static_cast<std::size_t>(length));
                state->done = true;
                return 0;
            }
            break;
        case WM_CLOSE:
            if (state != nullptr) state->done = true;
            return 0;
        case WM_DESTROY:  // with its owner, or by a program-wide close
            if (state != nullptr) {
                state->done = true;
                state->destroyed = true;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND child(HWND parent, const wchar_t* type, const std::wstring& text, DWORD style, int x, int y, int w, int h, int id) {
    HWND hwnd = CreateWindowExW(type == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, type, text.c_str(),
                                WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form_font()), FALSE);
    return hwnd;
}

}  // namespace

bool ask_line(const PromptTexts& texts, HWND owner, std::wstring* entered) {
    static const wchar_t* type = register_window_class(L"QuilletPrompt", prompt_procedure);
    constexpr int kWidth = 360;
    constexpr int kHeight = 160;
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, type, texts.caption.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, kWidth, kHeight, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return false;
    const bool disable_owner = owner != nullptr && IsWindowEnabled(owner);
    if (disable_owner) EnableWindow(owner, FALSE);
    PromptState state;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    child(window, L"STATIC", texts.prompt, SS_LEFT, 12, 10, 330, 36, 0);
    state.edit = child(window, L"EDIT", texts.initial, WS_TABSTOP | ES_AUTOHSCROLL | (texts.hidden ? ES_PASSWORD : 0),
                       12, 50, 330, 22, kEditId);
    child(window, L"BUTTON", texts.confirm, WS_TABSTOP | BS_DEFPUSHBUTTON, 150, 84, 94, 26, IDOK);
    child(window, L"BUTTON", texts.cancel, WS_TABSTOP | BS_PUSHBUTTON, 250, 84, 94, 26, IDCANCEL);
    ShowWindow(window, SW_SHOW);
    SetFocus(state.edit);
    MSG message;
    while (!state.done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The owner first, so that it is the window activated when the prompt goes.
    if (disable_owner && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (!state.destroyed) DestroyWindow(window);
    if (state.confirmed) *entered = state.text;
    SecureZeroMemory(state.text.data(), state.text.size() * sizeof(wchar_t));
    return state.confirmed;
}

}  // namespace quillet::ui::win32
