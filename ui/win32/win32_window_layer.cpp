// The Win32 toolkit under the front end. The thread that creates it is the window thread;
// other threads hand it work through a queue that a hidden message window drains. Dialogs
// are the system's message boxes and a small prompt window.
#include "ui/win32_window_layer.h"

#include <windows.h>

#include <commctrl.h>

#include <deque>
#include <mutex>
#include <vector>

#include "platform/win32/wide_text.h"
#include "ui/win32/form_window.h"
#include "ui/win32/prompt_window.h"

namespace quillet::ui {
namespace {

constexpr UINT kRunTasks = WM_APP + 1;
const std::wstring kInfoCaption = L"\u4FE1\u606F\uFF1A";  // 信息：

std::wstring wide(std::string_view gbk) { return platform::wide(gbk); }
std::string narrow(const std::wstring& text) { return platform::narrow(text); }

// A live form window of this program (a destroyed one's handle is no window any more).
bool is_form(HWND hwnd) {
    wchar_t type[32] = {};
    return IsWindow(hwnd) && GetClassNameW(hwnd, type, 32) > 0 && std::wstring_view(type) == L"QuilletForm";
}

std::vector<HWND> forms_of_this_thread() {
    std::vector<HWND> forms;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM found) {
            if (is_form(hwnd)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&forms));
    return forms;
}

// While a dialog is up, the program's windows take no input, as under the system's own
// modal dialogs. The dialog is owned by the window that was active: the dialog disables
// it and enables it again before it goes, so that activation returns there and not to
// another program. The scope disables the other forms, and enables them once the dialog
// is gone. An owner destroyed meanwhile takes its dialog with it (answered No/cancel).
class ModalScope {
  public:
    ModalScope() : owner_(pick_owner()) {
        for (HWND form : forms_of_this_thread()) {
            if (form != owner_ && IsWindowEnabled(form)) {
                EnableWindow(form, FALSE);
                disabled_.push_back(form);
            }
        }
    }
    ~ModalScope() {
        for (HWND hwnd : disabled_) {
            if (is_form(hwnd)) EnableWindow(hwnd, TRUE);
        }
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    HWND owner() const { return owner_; }

  private:
    // The active window of this thread (a form, or a dialog when dialogs nest), else the
    // uppermost visible form.
    static HWND pick_owner() {
        if (HWND active = GetActiveWindow()) return active;
        for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
            DWORD process = 0;
            if (IsWindowVisible(hwnd) && GetWindowThreadProcessId(hwnd, &process) == GetCurrentThreadId() &&
                is_form(hwnd)) {
                return hwnd;
            }
        }
        return nullptr;
    }

    HWND owner_;
    std::vector<HWND> disabled_;
};

// Cancels a message box (No for a question) or an input prompt of this thread. Form
// windows are left alone: a command of theirs would be a click on one of their controls.
BOOL CALLBACK cancel_dialog(HWND hwnd, LPARAM) {
    wchar_t type[32] = {};
    GetClassNameW(hwnd, type, 32);
    const std::wstring_view name(type);
    if (name == L"#32770") {
        PostMessageW(hwnd, WM_COMMAND, GetDlgItem(hwnd, IDNO) != nullptr ? IDNO : IDCANCEL, 0);
    } else if (name == L"QuilletPrompt") {
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

// Hands a message to its window, with the dialog keys (Tab, Enter) of its top-level window.
void dispatch(MSG& message) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (root == nullptr || !IsDialogMessageW(root, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Every message of a form runs inside the front end's in-use scope: a handler it calls
// may destroy the window, whose code is still below on the stack.
LRESULT CALLBACK form_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<win32::FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form != nullptr && form->hwnd() == hwnd) {
        InUse::Scope in_use(*form->events().in_use);
        if (message == WM_CLOSE) {
            form->events().close_box();
            return 0;
        }
        LRESULT result = 0;
        if (form->handle(message, wparam, lparam, &result)) return result;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

class Win32Toolkit final : public Toolkit {
  public:
    Win32Toolkit() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        const wchar_t* type = win32::register_window_class(L"QuilletTasks", task_procedure);
        task_window_ =
            CreateWindowExW(0, type, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(task_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        win32::form_window_class(form_procedure);
    }
    ~Win32Toolkit() override {
        if (balloon_ != nullptr) DestroyWindow(balloon_);
        if (task_window_ != nullptr) DestroyWindow(task_window_);
    }

    std::unique_ptr<ToolkitWindow> create_window(const FormDef& form, WindowEvents events) override {
        auto created = std::make_unique<win32::FormWindow>(form, std::move(events));
        if (created->hwnd() == nullptr) return nullptr;
        return created;
    }

    void show_message(std::string_view text) override {
        ModalScope modal;
        MessageBoxW(modal.owner(), wide(text).c_str(), kInfoCaption.c_str(), MB_OK | MB_ICONINFORMATION);
    }

    bool ask_question(std::string_view text) override {
        ModalScope modal;
        return MessageBoxW(modal.owner(), wide(text).c_str(), kInfoCaption.c_str(), MB_YESNO | MB_ICONQUESTION) ==
               IDYES;
    }

    bool ask_input(std::string_view caption, std::string_view prompt, std::string_view initial,
                   std::string* entered) override {
        win32::PromptTexts texts;
        texts.caption = wide(caption);
        texts.prompt = wide(prompt);
        texts.initial = wide(initial);
        std::wstring line;
        ModalScope modal;
        const bool confirmed = win32::ask_line(texts, modal.owner(), &line);
        if (confirmed) *entered = narrow(line);
        return confirmed;
    }

    bool ask_password(int tries_left, std::string* password) override {
        win32::PromptTexts texts;
        texts.caption = L"\u5BC6\u7801\u8F93\u5165";                                           // 密码输入
        texts.prompt = L"\u8BF7\u8F93\u5165\u6570\u636E\u5E93\u8BBF\u95EE\u5BC6\u7801\uFF1A";  // 请输入数据库访问密码：
        if (tries_left < 3) {
            // 密码错误，您还有 N 次重新输入的机会。
            texts.prompt += L"\r\n\u5BC6\u7801\u9519\u8BEF\uFF0C\u60A8\u8FD8\u6709 " + std::to_wstring(tries_left) +
                            L" \u6B21\u91CD\u65B0\u8F93\u5165\u7684\u673A\u4F1A\u3002";
        }
        texts.confirm = L"\u786E\u8BA4(&O)";  // 确认(&O)
        texts.hidden = true;
        std::wstring line;
        ModalScope modal;
        const bool confirmed = win32::ask_line(texts, modal.owner(), &line);
        if (confirmed) *password = narrow(line);
        SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
        return confirmed;
    }

    void show_balloon(std::string_view text, Point screen) override {
        if (balloon_ == nullptr) {
            balloon_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                       WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0, nullptr,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
        }
        balloon_text_ = wide(text);  // the tool keeps a pointer to it
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        tool.lpszText = balloon_text_.data();
        SendMessageW(balloon_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(balloon_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(balloon_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
        SendMessageW(balloon_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    }

    void close_dialogs() override {
        EndMenu();
        EnumThreadWindows(thread_, cancel_dialog, 0);
    }

    Point cursor_position() const override {
        POINT point{};
        GetCursorPos(&point);
        return Point{point.x, point.y};
    }

    void post(std::function<void()> task) override {
        {
            std::lock_guard lock(tasks_mutex_);
            tasks_.push_back(std::move(task));
        }
        PostMessageW(task_window_, kRunTasks, 0, 0);
    }

    bool on_window_thread() const override { return GetCurrentThreadId() == thread_; }

    void process_events() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
                return;
            }
            dispatch(message);
        }
    }

    void wait_processing_events(int milliseconds) override {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
        for (;;) {
            process_events();
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        }
    }

    int run_loop() override {
        MSG message;
        for (;;) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got <= 0) return got == 0 ? static_cast<int>(message.wParam) : 1;
            dispatch(message);
        }
    }

    void quit() override { PostQuitMessage(0); }

  private:
    static LRESULT CALLBACK task_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* self = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kRunTasks && self != nullptr) {
            self->run_tasks();
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    void run_tasks() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(tasks_mutex_);
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    DWORD thread_ = GetCurrentThreadId();
    HWND task_window_ = nullptr;
    std::mutex tasks_mutex_;
    std::deque<std::function<void()>> tasks_;  // guarded by tasks_mutex_
    HWND balloon_ = nullptr;
    std::wstring balloon_text_;
};

}  // namespace

Win32WindowLayer::Win32WindowLayer() : FrontEnd(std::make_unique<Win32Toolkit>()) {}

}  // namespace quillet::ui
