// quillet.exe end to end, as a user would drive it on Windows: first setup, login, a new
// record and F1 typing its account into another window, each through the real windows,
// message boxes and keyboard of the running program.
// Controls are found by their form geometry, which the Win32 layer keeps exactly;
// message boxes are answered as a user would press their button. The store written is
// then read back with the session password.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/record_store.h"
#include "platform/program_dir.h"
#include "platform/win32/wide_text.h"
#include "ui/forms.h"
#include "ui/window_layer.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

// Waits for `found` to give a window, up to ten seconds; the program runs in its own process.
HWND wait_for(const std::function<HWND()>& found) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (;;) {
        if (HWND window = found()) return window;
        if (GetTickCount64() > deadline) return nullptr;
        Sleep(20);
    }
}

HWND form_window(std::string_view name) {
    const ui::FormDef* form = ui::find_form(name);
    const std::wstring caption = platform::wide(form->caption);
    return wait_for([&] {
        HWND window = FindWindowW(L"QuilletForm", caption.c_str());
        return window != nullptr && IsWindowVisible(window) ? window : nullptr;
    });
}

// The control of the form named `control`: the child window at its place and of its size.
HWND control(HWND window, std::string_view form_name, std::string_view control) {
    const ui::FormDef& form = *ui::find_form(form_name);
    const ui::ControlDef* def = ui::find_control(form, control);
    RECT wanted{def->rect.left, def->rect.top, 0, 0};
    for (const ui::ControlDef* parent = ui::find_control(form, def->parent); parent != nullptr;
         parent = ui::find_control(form, parent->parent)) {
        wanted.left += parent->rect.left;
        wanted.top += parent->rect.top;
    }
    struct Search {
        HWND window;
        RECT wanted;
        int width, height;
        HWND found = nullptr;
    } search{window, wanted, def->rect.width, def->rect.height};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            RECT r{};
            GetWindowRect(child, &r);
            MapWindowPoints(HWND_DESKTOP, s->window, reinterpret_cast<POINT*>(&r), 2);
            if (r.left == s->wanted.left && r.top == s->wanted.top && r.right - r.left == s->width &&
                r.bottom - r.top == s->height) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void type_into(HWND edit, const std::string& gbk) {
    DWORD_PTR ignored = 0;
    for (wchar_t unit : platform::wide(gbk)) {
        SendMessageTimeoutW(edit, WM_CHAR, unit, 1, SMTO_ABORTIFHUNG, 5000, &ignored);
    }
}

// Posted, not sent: the click's handler shows a modal box and returns only when it closes.
void click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// Presses OK on the next message box of the program and gives its text.
std::wstring confirm_message_box(DWORD process) {
    struct Search {
        DWORD process;
        HWND found = nullptr;
    } search{process};
    wait_for([&] {
        search.found = nullptr;
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                wchar_t type[16] = {};
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                GetClassNameW(window, type, 16);
                if (owner == s->process && std::wstring(type) == L"#32770" && IsWindowVisible(window)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    });
    if (search.found == nullptr) return L"<no message box>";
    wchar_t text[512] = {};
    GetDlgItemTextW(search.found, 0xFFFF, text, 512);  // the box's static text
    PostMessageW(search.found, WM_COMMAND, IDOK, 0);
    wait_for([&] { return IsWindow(search.found) ? nullptr : HWND_DESKTOP; });
    return text;
}

std::wstring windows_path(const std::string& unix_path) {
    std::wstring path = L"Z:" + platform::wide(unix_path);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

TEST(QuilletExeTest, FirstSetupLoginANewRecordAndF1Typing) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("quillet_exe_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    const std::filesystem::path program = directory / "quillet.exe";
    ASSERT_TRUE(CopyFileW(windows_path(QUILLET_EXE).c_str(), program.wstring().c_str(), FALSE));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + program.wstring() + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.wstring().c_str(),
                               &startup, &process));

    // First start: the setup window. The password chosen is shown once and confirmed, then
    // the recovery code.
    HWND setup = form_window(forms::setup::window);
    ASSERT_NE(setup, nullptr);
    type_into(control(setup, forms::setup::window, forms::setup::password), "e2e-Pass");
    click(control(setup, forms::setup::window, forms::setup::finish));
    EXPECT_NE(confirm_message_box(process.dwProcessId).find(L"e2e-Pass"), std::wstring::npos);
    EXPECT_NE(confirm_message_box(process.dwProcessId).find(platform::wide("恢复码")), std::wstring::npos);

    HWND login = form_window(forms::login::window);
    ASSERT_NE(login, nullptr);
    type_into(control(login, forms::login::window, forms::login::password), "e2e-Pass");
    click(control(login, forms::login::window, forms::login::log_in));

    // The main window's menu item "新增", as the menu reports its choice.
    HWND main = form_window(forms::main::window);
    ASSERT_NE(main, nullptr);
    const int add = ui::menu_item_index(*ui::find_form(forms::main::window), "新增");
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(2000 + add, 0), 0);
    HWND record = form_window(forms::record::window);
    ASSERT_NE(record, nullptr);
    type_into(control(record, forms::record::window, forms::record::platform), "邮箱");
    type_into(control(record, forms::record::window, forms::record::account), "me@example.com");
    type_into(control(record, forms::record::window, forms::record::password), "s3cret");
    click(control(record, forms::record::window, forms::record::confirm));
    EXPECT_EQ(confirm_message_box(process.dwProcessId), platform::wide("数据添加成功，可继续添加数据或返回数据页"));

    // F1 types the selected record's account into the window under the pointer, here a
    // window of this process.
    PostMessageW(record, WM_CLOSE, 0, 0);
    HWND list = control(main, forms::main::window, forms::main::list);
    ASSERT_NE(list, nullptr);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 0);  // selects the first row
    HWND target = CreateWindowExW(WS_EX_TOPMOST, L"EDIT", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 600, 600, 300, 30,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    SetCursorPos(750, 615);
    INPUT keys[2] = {};
    keys[0].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_F1;
    keys[1] = keys[0];
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    const ULONGLONG deadline = GetTickCount64() + 10000;
    std::wstring typed;
    for (bool pressed = false; typed != L"me@example.com" && GetTickCount64() < deadline;) {
        if (!pressed) pressed = SendInput(2, keys, sizeof(INPUT)) == 2;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        wchar_t text[64] = {};
        GetWindowTextW(target, text, 64);
        typed = text;
    }
    EXPECT_EQ(typed, L"me@example.com");
    DestroyWindow(target);

    // Closing its last window ends the program.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    platform::set_program_directory_for_testing(platform::narrow(directory.wstring()));
    const std::vector<Record> records = list_records("e2e-Pass");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].platform, "邮箱");
    EXPECT_EQ(records[0].account, "me@example.com");
    platform::set_program_directory_for_testing("");
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace quillet::app
