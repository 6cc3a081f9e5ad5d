// One Win32 window layer per test program, with scripted dialogs, and the way to find the
// Win32 window of a form. Every test leaves no window open behind it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/win32_window_layer.h"

namespace quillet::ui {

class Win32WindowLayerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        layer_ = new Win32WindowLayer();
        user_ = new ScriptedUser(*layer_);
    }
    void SetUp() override { ui::set_dialog_script(&dialogs_); }
    void TearDown() override {
        ui::set_dialog_script(&dialogs_);
        for (const FormDef& form : all_forms()) layer_->destroy_window(form.name);
        layer_->process_events();
        dialogs_.take_shown();
    }

    // The top-level window of a form.
    static HWND top(std::string_view window) {
        const std::string_view gbk = find_form(window)->caption;
        std::wstring caption(gbk.size(), L'\0');
        caption.resize(static_cast<std::size_t>(
            MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), caption.data(), static_cast<int>(caption.size()))));
        // Only this process's window: other test programs under the same Wine desktop
        // open forms of the same class and caption at the same time.
        for (HWND found = nullptr;
             (found = FindWindowExW(nullptr, found, L"QuilletForm", caption.c_str())) != nullptr;) {
            DWORD process = 0;
            GetWindowThreadProcessId(found, &process);
            if (process == GetCurrentProcessId()) return found;
        }
        return nullptr;
    }

    static inline Win32WindowLayer* layer_ = nullptr;
    static inline ScriptedUser* user_ = nullptr;
    static inline DialogScript dialogs_;
};

}  // namespace quillet::ui
