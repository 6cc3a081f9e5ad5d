// Dialogs on the Win32 layer are modal for the whole program, as the system's own are:
// while one is up the forms take no input, scripted or real; once it is gone they do
// again, and the window that was active is active again.
#include <string>
#include <vector>

#include "tests/ui/win32_layer_fixture.h"
#include "ui/forms.h"

namespace quillet::ui {
namespace {

// The message box or prompt this thread shows; null when none.
HWND shown_dialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM result) {
            wchar_t type[32] = {};
            GetClassNameW(hwnd, type, 32);
            if (std::wstring_view(type) != L"#32770" && std::wstring_view(type) != L"QuilletPrompt") return TRUE;
            *reinterpret_cast<HWND*>(result) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A real left click at the middle of a window, through the system's input queue.
void mouse_click(HWND target) {
    RECT area{};
    GetWindowRect(target, &area);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

HWND button(HWND window, const wchar_t* caption) { return FindWindowExW(window, nullptr, L"Button", caption); }

struct Seen {
    bool main_enabled = true;
    bool generator_enabled = true;
    HWND dialog_owner = nullptr;
    std::string typed;
};

class ModalDialogTest : public Win32WindowLayerTest {
  protected:
    static void SetUpTestSuite() {
        Win32WindowLayerTest::SetUpTestSuite();
        for (auto [window, control] : {std::pair{forms::generator::window, forms::generator::export_result},
                                       std::pair{forms::main::window, forms::main::log_out}}) {
            layer_->bind(window, control, Event::kClicked, [](int, int) { ++clicks_; });
        }
        layer_->bind(forms::main::window, forms::main::menu::add, Event::kChosen, [](int, int) { ++clicks_; });
    }
    void SetUp() override {
        Win32WindowLayerTest::SetUp();
        clicks_ = 0;
        seen_ = Seen{};
        layer_->load_window(forms::main::window);
        layer_->load_window(forms::generator::window);
        main_ = top(forms::main::window);
        generator_ = top(forms::generator::window);
        ASSERT_NE(main_, nullptr);
        ASSERT_NE(generator_, nullptr);
        ASSERT_EQ(GetActiveWindow(), generator_);
    }

    // Run inside the dialog's loop: what the forms let through.
    static void try_the_forms() {
        seen_.main_enabled = IsWindowEnabled(main_);
        seen_.generator_enabled = IsWindowEnabled(generator_);
        seen_.dialog_owner = GetWindow(shown_dialog(), GW_OWNER);
        user_->click(forms::generator::window, forms::generator::export_result);
        user_->click(forms::main::window, forms::main::log_out);
        layer_->set_text(forms::generator::window, forms::generator::length, "");
        user_->type_text(forms::generator::window, forms::generator::length, "7");
        seen_.typed = layer_->text(forms::generator::window, forms::generator::length);
        user_->choose_menu_item(forms::main::window, forms::main::menu::add);
        user_->press_close_box(forms::main::window);
    }

    static inline int clicks_ = 0;
    static inline Seen seen_;
    static inline HWND main_ = nullptr;
    static inline HWND generator_ = nullptr;
};

TEST_F(ModalDialogTest, WhileAQuestionIsUpTheFormsRefuseInputAndTheOwnerIsActiveAgainAfterwards) {
    layer_->post([] {
        try_the_forms();
        layer_->close_dialogs();
    });
    ui::set_dialog_script(nullptr);
    EXPECT_FALSE(layer_->question_box("?"));
    EXPECT_FALSE(seen_.main_enabled);
    EXPECT_FALSE(seen_.generator_enabled);
    EXPECT_EQ(seen_.dialog_owner, generator_);
    EXPECT_EQ(clicks_, 0);
    EXPECT_EQ(seen_.typed, "");
    EXPECT_TRUE(layer_->is_open(forms::main::window));

    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_TRUE(IsWindowEnabled(generator_));
    EXPECT_EQ(GetActiveWindow(), generator_);
    user_->click(forms::generator::window, forms::generator::export_result);
    EXPECT_EQ(clicks_, 1);
}

TEST_F(ModalDialogTest, WhileAnInputBoxIsUpTheFormsRefuseInputAndTheOwnerIsActiveAgainAfterwards) {
    layer_->post([] {
        try_the_forms();
        layer_->close_dialogs();
    });
    ui::set_dialog_script(nullptr);
    std::string entered;
    EXPECT_FALSE(layer_->input_box("caption", "prompt", "", &entered));
    EXPECT_FALSE(seen_.main_enabled);
    EXPECT_FALSE(seen_.generator_enabled);
    EXPECT_EQ(seen_.dialog_owner, generator_);
    EXPECT_EQ(clicks_, 0);
    EXPECT_EQ(seen_.typed, "");
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_TRUE(IsWindowEnabled(generator_));
    EXPECT_EQ(GetActiveWindow(), generator_);
}

TEST_F(ModalDialogTest, ARealClickOnAnotherWindowIsRefusedWhileAMessageIsUp) {
    layer_->post([] {
        mouse_click(button(main_, L"\u6CE8 \u9500"));  // 注 销: dropped, the main window is disabled
        mouse_click(button(shown_dialog(), nullptr));   // the box's OK, queued after it
    });
    ui::set_dialog_script(nullptr);
    layer_->message_box("!");
    ui::set_dialog_script(&dialogs_);
    layer_->process_events();
    EXPECT_EQ(clicks_, 0);
    // The same click reaches the window once the box is gone.
    mouse_click(button(main_, L"\u6CE8 \u9500"));
    layer_->process_events();
    EXPECT_EQ(clicks_, 1);
}

TEST_F(ModalDialogTest, APromptWhoseOwnerIsDestroyedEndsCancelled) {
    layer_->post([] { layer_->destroy_window(forms::generator::window); });
    ui::set_dialog_script(nullptr);
    std::string entered = "kept";
    EXPECT_FALSE(layer_->input_box("caption", "prompt", "typed", &entered));
    EXPECT_EQ(entered, "kept");
    EXPECT_EQ(shown_dialog(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(main_));
}

}  // namespace
}  // namespace quillet::ui
