// The Win32 window layer. The thread that creates it is the window thread; other
// threads hand it work through a queue that a hidden message window drains, so list
// operations from workers run in one piece there. Dialogs are the system's message
// boxes and a small prompt window.
//
// A window is often destroyed from inside its own message handling: a button's handler
// closes its window, WM_CLOSE arrives in the window's procedure, an idle timeout fires in
// the loop of a dialog that one of the window's handlers opened. Its Win32 window goes at
// once, but the C++ object is only closed and set aside; it is freed from a posted task
// once no handler and no message of any form window is running any more.
#include "ui/win32_window_layer.h"

#include <windows.h>
#include <commctrl.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/text_codec.h"
#include "platform/win32/wide_text.h"
#include "ui/dialog_script.h"
#include "ui/event_bindings.h"
#include "ui/forms.h"
#include "ui/win32/form_window.h"
#include "ui/win32/prompt_window.h"

namespace quillet::ui {
namespace {

constexpr UINT kRunTasks = WM_APP + 1;
const std::wstring kInfoCaption = L"\u4FE1\u606F\uFF1A";  // 信息：

std::wstring wide(std::string_view gbk) { return platform::wide(gbk); }
std::string narrow(const std::wstring& text) { return platform::narrow(text); }

Win32WindowLayer::Impl* the_layer = nullptr;

std::wstring window_text(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
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

}  // namespace

struct Win32WindowLayer::Impl {
    DWORD thread = GetCurrentThreadId();
    HWND task_window = nullptr;
    std::mutex tasks_mutex;
    std::deque<std::function<void()>> tasks;  // guarded by tasks_mutex
    EventBindings bindings;
    DialogScript script;
    std::map<std::string, std::unique_ptr<win32::FormWindow>, std::less<>> windows;
    std::vector<std::unique_ptr<win32::FormWindow>> closed;  // destroyed, not yet freed
    int busy = 0;  // handlers and form messages running, nested loops included
    std::map<std::string, bool, std::less<>> last_popup;
    HWND balloon = nullptr;
    bool running = false;
    Win32WindowLayer* layer = nullptr;

    win32::FormWindow* window(std::string_view name) const {
        auto it = windows.find(name);
        return it == windows.end() ? nullptr : it->second.get();
    }
    win32::Control* control(std::string_view window_name, std::string_view name) const {
        if (!forms::check_control(window_name, name)) return nullptr;
        win32::FormWindow* w = window(window_name);
        return w ? w->control(name) : nullptr;
    }
    HWND hwnd(std::string_view window_name, std::string_view name) const {
        if (name.empty()) {
            if (!forms::check_control(window_name, name)) return nullptr;
            win32::FormWindow* w = window(window_name);
            return w ? w->hwnd() : nullptr;
        }
        win32::Control* c = control(window_name, name);
        return c ? c->hwnd : nullptr;
    }
    void run_tasks() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(tasks_mutex);
                if (tasks.empty()) return;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }
    // Held while code that may use a form window runs.
    class Busy {
    public:
        explicit Busy(Impl& impl) : impl_(impl) { ++impl_.busy; }
        ~Busy() {
            if (--impl_.busy == 0 && !impl_.closed.empty()) impl_.free_closed_later();
        }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        Impl& impl_;
    };
    void free_closed_later() {
        layer->post([this] {
            if (busy == 0) closed.clear();
        });
    }
    bool is_form(HWND hwnd) const {
        for (const auto& [name, w] : windows) {
            if (w->hwnd() == hwnd) return true;
        }
        return false;
    }
    void quit_when_no_window_is_left() {
        if (running && windows.empty()) PostQuitMessage(0);
    }
    static void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
                return;
            }
            HWND root = GetAncestor(message.hwnd, GA_ROOT);
            if (root == nullptr || !IsDialogMessageW(root, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
};

namespace {

// While a dialog is up, the program's windows take no input, as under the system's own
// modal dialogs. The dialog is owned by the window that was active: the dialog disables
// it and enables it again before it goes, so that activation returns there and not to
// another program. The scope disables the other forms, and enables them once the dialog
// is gone. An owner destroyed meanwhile takes its dialog with it (answered No/cancel).
class ModalScope {
public:
    explicit ModalScope(const Win32WindowLayer::Impl& impl) : impl_(impl), owner_(pick_owner()) {
        for (const auto& [name, w] : impl_.windows) {
            if (w->hwnd() != owner_ && IsWindowEnabled(w->hwnd())) {
                EnableWindow(w->hwnd(), FALSE);
                disabled_.push_back(w->hwnd());
            }
        }
    }
    ~ModalScope() {
        for (HWND hwnd : disabled_) {
            if (impl_.is_form(hwnd)) EnableWindow(hwnd, TRUE);
        }
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    HWND owner() const { return owner_; }

private:
    // The active window of this thread (a form, or a dialog when dialogs nest), else the
    // uppermost visible form.
    HWND pick_owner() const {
        if (HWND active = GetActiveWindow()) return active;
        for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
            if (IsWindowVisible(hwnd) && impl_.is_form(hwnd)) return hwnd;
        }
        return nullptr;
    }

    const Win32WindowLayer::Impl& impl_;
    HWND owner_;
    std::vector<HWND> disabled_;
};

LRESULT CALLBACK task_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kRunTasks && the_layer != nullptr) {
        the_layer->run_tasks();
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK form_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<win32::FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form != nullptr && form->hwnd() == hwnd && the_layer != nullptr) {
        Win32WindowLayer::Impl::Busy busy(*the_layer);
        if (message == WM_CLOSE) {
            the_layer->layer->destroy_window(form->form().name);
            return 0;
        }
        LRESULT result = 0;
        if (form->handle(message, wparam, lparam, &result)) return result;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

Win32WindowLayer::Win32WindowLayer() : impl_(std::make_unique<Impl>()) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    impl_->layer = this;
    the_layer = impl_.get();
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = task_procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"QuilletTasks";
    RegisterClassExW(&type);
    impl_->task_window = CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         type.hInstance, nullptr);
    win32::form_window_class(form_procedure);
}

Win32WindowLayer::~Win32WindowLayer() {
    impl_->windows.clear();
    impl_->closed.clear();
    if (impl_->balloon != nullptr) DestroyWindow(impl_->balloon);
    if (impl_->task_window != nullptr) DestroyWindow(impl_->task_window);
    the_layer = nullptr;
}

void Win32WindowLayer::bind(std::string_view window, std::string_view control, Event event, Handler handler) {
    impl_->bindings.bind(window, control, event, std::move(handler));
}

void Win32WindowLayer::raise(std::string_view window, std::string_view control, Event event, int a, int b) {
    Impl::Busy busy(*impl_);
    for (const Handler& handler : impl_->bindings.handlers(window, control, event)) handler(a, b);
}

void Win32WindowLayer::load_window(std::string_view window) {
    if (win32::FormWindow* open = impl_->window(window)) {
        SetForegroundWindow(open->hwnd());
        return;
    }
    const FormDef* form = find_form(window);
    if (form == nullptr) return;
    const std::string name(window);
    auto created = std::make_unique<win32::FormWindow>(
        *form, [this, name](std::string_view control, Event event, int a, int b) { raise(name, control, event, a, b); });
    if (created->hwnd() == nullptr) return;
    win32::FormWindow* w = created.get();
    impl_->windows.emplace(name, std::move(created));
    raise(window, "", Event::kCreated);
    if (impl_->window(window) == w) {
        ShowWindow(w->hwnd(), SW_SHOW);
        UpdateWindow(w->hwnd());
    }
}

void Win32WindowLayer::destroy_window(std::string_view window) {
    auto it = impl_->windows.find(window);
    if (it == impl_->windows.end()) return;
    raise(window, "", Event::kDestroyed);
    it = impl_->windows.find(window);  // a handler may have destroyed it already
    if (it == impl_->windows.end()) return;
    std::unique_ptr<win32::FormWindow> gone = std::move(it->second);
    impl_->windows.erase(it);
    gone->close();
    impl_->closed.push_back(std::move(gone));
    impl_->free_closed_later();
    // Checked once the current handler has finished, so that it may load the next window.
    post([this] { impl_->quit_when_no_window_is_left(); });
}

bool Win32WindowLayer::is_open(std::string_view window) const { return impl_->window(window) != nullptr; }

std::string Win32WindowLayer::text(std::string_view window, std::string_view control) const {
    HWND hwnd = impl_->hwnd(window, control);
    return hwnd == nullptr ? std::string() : narrow(window_text(hwnd));
}

bool Win32WindowLayer::text_fits_gbk(std::string_view window, std::string_view control) const {
    HWND hwnd = impl_->hwnd(window, control);
    if (hwnd == nullptr) return true;
    const std::wstring text = window_text(hwnd);
    std::string ignored;
    return platform::utf16_to_gbk_exactly(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()),
                                          &ignored);
}

void Win32WindowLayer::set_text(std::string_view window, std::string_view control, std::string_view text) {
    if (HWND hwnd = impl_->hwnd(window, control)) SetWindowTextW(hwnd, wide(text).c_str());
}

void Win32WindowLayer::set_enabled(std::string_view window, std::string_view control, bool enabled) {
    if (HWND hwnd = impl_->hwnd(window, control)) EnableWindow(hwnd, enabled);
}

bool Win32WindowLayer::is_enabled(std::string_view window, std::string_view control) const {
    HWND hwnd = impl_->hwnd(window, control);
    return hwnd != nullptr && IsWindowEnabled(hwnd);
}

void Win32WindowLayer::set_visible(std::string_view window, std::string_view control, bool visible) {
    win32::FormWindow* w = impl_->window(window);
    if (w == nullptr) return;
    if (control.empty()) {
        ShowWindow(w->hwnd(), visible ? SW_SHOW : SW_HIDE);
        return;
    }
    win32::Control* c = w->control(control);
    if (c == nullptr || c->hwnd == nullptr) return;
    ShowWindow(c->hwnd, visible ? SW_SHOW : SW_HIDE);
    // A group box's children go with it, as they would inside a container.
    for (win32::Control* child : w->children_of(control)) {
        if (child->hwnd != nullptr) ShowWindow(child->hwnd, visible ? SW_SHOW : SW_HIDE);
    }
}

bool Win32WindowLayer::is_visible(std::string_view window, std::string_view control) const {
    win32::Control* c = impl_->control(window, control);
    if (control.empty()) {
        win32::FormWindow* w = impl_->window(window);
        return w != nullptr && (GetWindowLongPtrW(w->hwnd(), GWL_STYLE) & WS_VISIBLE);
    }
    // The control's own state, as the form says it; not whether its window is on screen.
    return c != nullptr && c->hwnd != nullptr && (GetWindowLongPtrW(c->hwnd, GWL_STYLE) & WS_VISIBLE);
}

bool Win32WindowLayer::is_checked(std::string_view window, std::string_view control) const {
    HWND hwnd = impl_->hwnd(window, control);
    return hwnd != nullptr && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32WindowLayer::set_checked(std::string_view window, std::string_view control, bool checked) {
    if (HWND hwnd = impl_->hwnd(window, control)) SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32WindowLayer::set_timer_interval(std::string_view window, std::string_view control, int milliseconds) {
    win32::FormWindow* w = impl_->window(window);
    win32::Control* c = w ? w->control(control) : nullptr;
    if (c != nullptr && c->def->kind == ControlKind::kTimer) w->set_timer(*c, milliseconds);
}

// Lists: the model (shown and hidden texts) lives in the Control; the list view shows it.

void Win32WindowLayer::list_clear(std::string_view window, std::string_view control) {
    run_on_window_thread([&] {
        win32::Control* c = impl_->control(window, control);
        if (c == nullptr || c->def->kind != ControlKind::kList) return;
        c->rows.clear();
        ListView_DeleteAllItems(c->hwnd);
    });
}

int Win32WindowLayer::list_append_row(std::string_view window, std::string_view control) {
    int row = -1;
    run_on_window_thread([&] {
        win32::FormWindow* w = impl_->window(window);
        win32::Control* c = w ? w->control(control) : nullptr;
        if (c == nullptr || c->def->kind != ControlKind::kList) return;
        c->rows.emplace_back(c->def->list.columns.size());
        row = static_cast<int>(c->rows.size()) - 1;
        w->show_row(*c, row);
    });
    return row;
}

void Win32WindowLayer::list_append_rows(std::string_view window, std::string_view control,
                                        const std::vector<std::vector<std::string>>& rows) {
    run_on_window_thread([&] {
        win32::FormWindow* w = impl_->window(window);
        win32::Control* c = w ? w->control(control) : nullptr;
        if (c == nullptr || c->def->kind != ControlKind::kList) return;
        SendMessageW(c->hwnd, WM_SETREDRAW, FALSE, 0);
        for (const auto& shown : rows) {
            std::vector<win32::Cell> cells(c->def->list.columns.size());
            for (std::size_t i = 0; i < cells.size() && i < shown.size(); ++i) cells[i].shown = shown[i];
            c->rows.push_back(std::move(cells));
            w->show_row(*c, static_cast<int>(c->rows.size()) - 1);
        }
        SendMessageW(c->hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(c->hwnd, nullptr, TRUE);
    });
}

namespace {

win32::Cell* cell_of(win32::Control* c, int row, int column) {
    if (c == nullptr || row < 0 || column < 0 || row >= static_cast<int>(c->rows.size())) return nullptr;
    auto& cells = c->rows[static_cast<std::size_t>(row)];
    return column < static_cast<int>(cells.size()) ? &cells[static_cast<std::size_t>(column)] : nullptr;
}

}  // namespace

void Win32WindowLayer::list_set_cell(std::string_view window, std::string_view control, int row, int column,
                                     std::string_view text) {
    run_on_window_thread([&] {
        win32::FormWindow* w = impl_->window(window);
        win32::Control* c = w ? w->control(control) : nullptr;
        if (win32::Cell* cell = cell_of(c, row, column)) {
            cell->shown = std::string(text);
            w->show_row(*c, row);
        }
    });
}

std::string Win32WindowLayer::list_cell(std::string_view window, std::string_view control, int row,
                                        int column) const {
    std::string text;
    const_cast<Win32WindowLayer*>(this)->run_on_window_thread([&] {
        if (win32::Cell* cell = cell_of(impl_->control(window, control), row, column)) text = cell->shown;
    });
    return text;
}

void Win32WindowLayer::list_set_cell_data(std::string_view window, std::string_view control, int row, int column,
                                          std::string_view data) {
    run_on_window_thread([&] {
        if (win32::Cell* cell = cell_of(impl_->control(window, control), row, column)) cell->data = std::string(data);
    });
}

std::string Win32WindowLayer::list_cell_data(std::string_view window, std::string_view control, int row,
                                             int column) const {
    std::string data;
    const_cast<Win32WindowLayer*>(this)->run_on_window_thread([&] {
        if (win32::Cell* cell = cell_of(impl_->control(window, control), row, column)) data = cell->data;
    });
    return data;
}

int Win32WindowLayer::list_row_count(std::string_view window, std::string_view control) const {
    int count = 0;
    const_cast<Win32WindowLayer*>(this)->run_on_window_thread([&] {
        if (win32::Control* c = impl_->control(window, control)) count = static_cast<int>(c->rows.size());
    });
    return count;
}

int Win32WindowLayer::list_selected_row(std::string_view window, std::string_view control) const {
    int row = -1;
    const_cast<Win32WindowLayer*>(this)->run_on_window_thread([&] {
        win32::Control* c = impl_->control(window, control);
        if (c != nullptr && c->def->kind == ControlKind::kList) row = ListView_GetNextItem(c->hwnd, -1, LVNI_SELECTED);
    });
    return row;
}

void Win32WindowLayer::list_select_row(std::string_view window, std::string_view control, int row) {
    run_on_window_thread([&] {
        win32::Control* c = impl_->control(window, control);
        if (c == nullptr || c->def->kind != ControlKind::kList) return;
        ListView_SetItemState(c->hwnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (row >= 0 && row < static_cast<int>(c->rows.size())) {
            ListView_SetItemState(c->hwnd, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(c->hwnd, row, FALSE);
        }
    });
}

void Win32WindowLayer::set_menu_item_enabled(std::string_view window, std::string_view item, bool enabled) {
    if (win32::FormWindow* w = impl_->window(window)) w->set_menu_enabled(item, enabled);
}

bool Win32WindowLayer::is_menu_item_enabled(std::string_view window, std::string_view item) const {
    win32::FormWindow* w = impl_->window(window);
    return w != nullptr && w->menu_enabled(item);
}

void Win32WindowLayer::popup_menu(std::string_view window, std::string_view menu, Point screen) {
    win32::FormWindow* w = impl_->window(window);
    HMENU popup = w ? w->submenu(menu) : nullptr;
    if (popup == nullptr) return;
    if (impl_->script.scripted()) {
        // Tests look at what the menu would show instead of waiting for a person.
        impl_->last_popup.clear();
        const int index = menu_item_index(w->form(), menu);
        const int level = w->form().menu[static_cast<std::size_t>(index)].level;
        for (std::size_t i = static_cast<std::size_t>(index) + 1;
             i < w->form().menu.size() && w->form().menu[i].level > level; ++i) {
            std::string caption(w->form().menu[i].caption);
            impl_->last_popup[caption] = w->menu_item_reachable(caption);
        }
        return;
    }
    Impl::Busy busy(*impl_);  // the menu's loop may destroy the window; `w` stays valid
    SetForegroundWindow(w->hwnd());
    const int chosen = static_cast<int>(
        TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, w->hwnd(), nullptr));
    if (chosen != 0 && w->hwnd() != nullptr) {
        const std::string caption(w->menu_caption(chosen));
        if (!caption.empty()) raise(window, caption, Event::kChosen);
    }
}

// Dialogs: scripted ones answer on the calling thread; real ones are shown on the window
// thread, the calling thread waiting until they are closed.

void Win32WindowLayer::message_box(std::string_view text) {
    if (impl_->script.scripted()) return impl_->script.record(ShownDialog::Kind::kMessage, text);
    run_on_window_thread([&] {
        ModalScope modal(*impl_);
        MessageBoxW(modal.owner(), wide(text).c_str(), kInfoCaption.c_str(), MB_OK | MB_ICONINFORMATION);
    });
}

bool Win32WindowLayer::question_box(std::string_view text) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kQuestion, text);
        return impl_->script.next_question();
    }
    bool yes = false;
    run_on_window_thread([&] {
        ModalScope modal(*impl_);
        yes = MessageBoxW(modal.owner(), wide(text).c_str(), kInfoCaption.c_str(), MB_YESNO | MB_ICONQUESTION) ==
              IDYES;
    });
    return yes;
}

bool Win32WindowLayer::input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                                 std::string* entered) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kInput, caption);
        return impl_->script.next_input(entered);
    }
    bool confirmed = false;
    run_on_window_thread([&] {
        win32::PromptTexts texts;
        texts.caption = wide(caption);
        texts.prompt = wide(prompt);
        texts.initial = wide(initial);
        std::wstring line;
        ModalScope modal(*impl_);
        confirmed = win32::ask_line(texts, modal.owner(), &line);
        if (confirmed) *entered = narrow(line);
    });
    return confirmed;
}

bool Win32WindowLayer::password_prompt(int tries_left, std::string* password) {
    if (impl_->script.scripted()) {
        impl_->script.record(ShownDialog::Kind::kPassword, std::to_string(tries_left));
        return impl_->script.next_password(password);
    }
    bool confirmed = false;
    run_on_window_thread([&] {
        win32::PromptTexts texts;
        texts.caption = L"\u5BC6\u7801\u8F93\u5165";                   // 密码输入
        texts.prompt = L"\u8BF7\u8F93\u5165\u6570\u636E\u5E93\u8BBF\u95EE\u5BC6\u7801\uFF1A";  // 请输入数据库访问密码：
        if (tries_left < 3) {
            // 密码错误，您还有 N 次重新输入的机会。
            texts.prompt += L"\r\n\u5BC6\u7801\u9519\u8BEF\uFF0C\u60A8\u8FD8\u6709 " + std::to_wstring(tries_left) +
                            L" \u6B21\u91CD\u65B0\u8F93\u5165\u7684\u673A\u4F1A\u3002";
        }
        texts.confirm = L"\u786E\u8BA4(&O)";  // 确认(&O)
        texts.hidden = true;
        std::wstring line;
        ModalScope modal(*impl_);
        confirmed = win32::ask_line(texts, modal.owner(), &line);
        if (confirmed) *password = narrow(line);
        SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    });
    return confirmed;
}

// Every balloon of this program is shown at the mouse, not at its control.
void Win32WindowLayer::balloon_tip(std::string_view, std::string_view, std::string_view text, Point screen) {
    if (impl_->script.scripted()) return impl_->script.record(ShownDialog::Kind::kBalloon, text);
    run_on_window_thread([&] {
        if (impl_->balloon == nullptr) {
            impl_->balloon = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                             WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        }
        static std::wstring shown;
        shown = wide(text);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        tool.lpszText = shown.data();
        SendMessageW(impl_->balloon, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(impl_->balloon, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(impl_->balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
        SendMessageW(impl_->balloon, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    });
}

Point Win32WindowLayer::cursor_position() const {
    POINT point{};
    GetCursorPos(&point);
    return Point{point.x, point.y};
}

void Win32WindowLayer::post(std::function<void()> task) {
    {
        std::lock_guard lock(impl_->tasks_mutex);
        impl_->tasks.push_back(std::move(task));
    }
    PostMessageW(impl_->task_window, kRunTasks, 0, 0);
}

void Win32WindowLayer::run_on_window_thread(std::function<void()> task) {
    if (on_window_thread()) {
        task();
        return;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    post([&] {
        task();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
}

bool Win32WindowLayer::on_window_thread() const { return GetCurrentThreadId() == impl_->thread; }

void Win32WindowLayer::wait_processing_events(int milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
    for (;;) {
        Impl::pump();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

void Win32WindowLayer::process_events() { Impl::pump(); }

int Win32WindowLayer::run() {
    if (impl_->windows.empty()) return 0;
    impl_->running = true;
    MSG message;
    int code = 0;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            code = got == 0 ? static_cast<int>(message.wParam) : 1;
            break;
        }
        HWND root = GetAncestor(message.hwnd, GA_ROOT);
        if (root == nullptr || !IsDialogMessageW(root, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    impl_->running = false;
    return code;
}

// The scripted half: answers for dialogs and the actions of a user.

void Win32WindowLayer::set_scripted(bool scripted) { impl_->script.set_scripted(scripted); }
void Win32WindowLayer::answer_question(bool yes) { impl_->script.queue_question(yes); }
void Win32WindowLayer::answer_input(bool confirmed, std::string_view text) { impl_->script.queue_input(confirmed, text); }
void Win32WindowLayer::answer_password(bool confirmed, std::string_view password) {
    impl_->script.queue_password(confirmed, password);
}
std::vector<ShownDialog> Win32WindowLayer::take_shown() { return impl_->script.take_shown(); }

// A click reaches only a visible, enabled control, as with a real mouse.
void Win32WindowLayer::click(std::string_view window, std::string_view control) {
    win32::Control* c = impl_->control(window, control);
    if (c == nullptr || !takes_input(c->hwnd)) return;
    if (c->def->kind == ControlKind::kButton || c->def->kind == ControlKind::kCheckBox) {
        SendMessageW(c->hwnd, BM_CLICK, 0, 0);
    } else if (c->def->kind == ControlKind::kList) {
        raise(window, control, Event::kClicked);  // on the row already selected: the selection stays
    }
}

void Win32WindowLayer::choose_menu_item(std::string_view window, std::string_view item) {
    win32::FormWindow* w = impl_->window(window);
    if (w == nullptr || !IsWindowEnabled(w->hwnd()) || w->submenu(item) != nullptr || !w->menu_item_reachable(item)) {
        return;
    }
    raise(window, item, Event::kChosen);
}

void Win32WindowLayer::type_text(std::string_view window, std::string_view control, std::string_view text) {
    type_units(impl_->control(window, control), wide(text));
}

void Win32WindowLayer::type_utf8(std::string_view window, std::string_view control, std::string_view utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring units(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), units.data(), length);
    }
    type_units(impl_->control(window, control), units);
}

void Win32WindowLayer::press_close_box(std::string_view window) {
    win32::FormWindow* w = impl_->window(window);
    if (w != nullptr && IsWindowEnabled(w->hwnd())) SendMessageW(w->hwnd(), WM_CLOSE, 0, 0);
}

void Win32WindowLayer::close_dialogs() {
    run_on_window_thread([this] {
        EndMenu();
        EnumThreadWindows(impl_->thread, cancel_dialog, 0);
    });
}

void Win32WindowLayer::move_mouse_over(std::string_view window, std::string_view control) {
    win32::FormWindow* w = impl_->window(window);
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

void Win32WindowLayer::right_click(std::string_view window, std::string_view control) {
    win32::Control* c = impl_->control(window, control);
    if (c == nullptr || !takes_input(c->hwnd)) return;
    const int x = c->def->rect.width / 2;
    const int y = c->def->rect.height / 2;
    if (c->def->kind == ControlKind::kList) {
        raise(window, control, Event::kRightButtonPressed, x, y);  // the selection stays
        return;
    }
    SendMessageW(c->hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    SendMessageW(c->hwnd, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
}

bool Win32WindowLayer::last_popup_item_enabled(std::string_view item) const {
    auto it = impl_->last_popup.find(item);
    return it != impl_->last_popup.end() && it->second;
}

}  // namespace quillet::ui
