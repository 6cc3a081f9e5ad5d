// Windows destroyed from inside their own message handling on the Win32 layer: gone for
// the user at once, silent for the rest of the message, freed only once it was handled.
#include <string>
#include <vector>

#include "tests/ui/win32_layer_fixture.h"

namespace quillet::ui {
namespace {

TEST_F(Win32WindowLayerTest, AClickHandlerMayCloseItsOwnWindowAndOpenAnother) {
    layer_->load_window(kRecordWindow);
    HWND record = top(kRecordWindow);
    ASSERT_NE(record, nullptr);
    static std::vector<std::string> seen;
    seen.clear();
    layer_->bind(kRecordWindow, "按钮_确认", Event::kClicked, [](int, int) {
        layer_->destroy_window(kRecordWindow);
        layer_->load_window(kGeneratorWindow);
    });
    // A later handler of the same click still runs, and finds the window closed.
    layer_->bind(kRecordWindow, "按钮_确认", Event::kClicked, [record](int, int) {
        seen.push_back(layer_->is_open(kRecordWindow) ? "record open" : "record closed");
        seen.push_back(IsWindow(record) ? "still on screen" : "gone");
        layer_->set_text(kRecordWindow, "编辑框_平台", "ignored");  // reaches nothing
    });
    user_->click(kRecordWindow, "按钮_确认");
    EXPECT_EQ(seen, (std::vector<std::string>{"record closed", "gone"}));
    layer_->process_events();
    EXPECT_FALSE(layer_->is_open(kRecordWindow));
    EXPECT_TRUE(layer_->is_open(kGeneratorWindow));
    EXPECT_EQ(top(kRecordWindow), nullptr);
    // The window comes back whole when loaded again.
    layer_->load_window(kRecordWindow);
    layer_->set_text(kRecordWindow, "编辑框_平台", "again");
    EXPECT_EQ(layer_->text(kRecordWindow, "编辑框_平台"), "again");
}

TEST_F(Win32WindowLayerTest, AWindowDestroyedWhileHandlingAMessageIsSilentForTheRestOfIt) {
    static int window_moves = 0;
    static bool reload = true;
    layer_->bind(kMainWindow, "分组框_数据", Event::kMouseMoved, [](int, int) {
        if (!reload) return;
        reload = false;
        layer_->destroy_window(kMainWindow);
        layer_->load_window(kMainWindow);  // a new window: the move was not over it
    });
    layer_->bind(kMainWindow, "", Event::kMouseMoved, [](int, int) { ++window_moves; });
    layer_->load_window(kMainWindow);
    user_->move_mouse_over(kMainWindow, "分组框_数据");
    EXPECT_EQ(window_moves, 0);
    layer_->process_events();
    ASSERT_TRUE(layer_->is_open(kMainWindow));
    user_->move_mouse_over(kMainWindow, "分组框_数据");
    EXPECT_EQ(window_moves, 1);
}

TEST_F(Win32WindowLayerTest, TheCloseBoxMayLeadToTheNextWindow) {
    static int destroyed = 0;
    layer_->bind(kLoginWindow, "", Event::kDestroyed, [](int, int) {
        ++destroyed;
        layer_->load_window(kSetupWindow);
    });
    layer_->load_window(kLoginWindow);
    HWND login = top(kLoginWindow);
    ASSERT_NE(login, nullptr);
    const int before = destroyed;
    PostMessageW(login, WM_CLOSE, 0, 0);  // as the system sends it
    layer_->process_events();
    EXPECT_EQ(destroyed, before + 1);
    EXPECT_FALSE(layer_->is_open(kLoginWindow));
    EXPECT_FALSE(IsWindow(login));
    EXPECT_TRUE(layer_->is_open(kSetupWindow));
}

TEST_F(Win32WindowLayerTest, AWindowDestroyedUnderADialogItsHandlerOpenedIsGoneAtOnce) {
    static std::vector<std::string> seen;
    seen.clear();
    layer_->bind(kGeneratorWindow, "按钮_生成", Event::kClicked, [](int, int) {
        HWND generator = top(kGeneratorWindow);
        // Runs inside the question's own message loop, as an idle timeout would.
        layer_->post([generator] {
            layer_->destroy_window(kGeneratorWindow);
            seen.push_back(IsWindow(generator) ? "on screen" : "gone");
            layer_->close_dialogs();
        });
        ui::set_dialog_script(nullptr);
        const bool yes = layer_->question_box("?");
        ui::set_dialog_script(&dialogs_);
        seen.push_back(yes ? "yes" : "no");
        seen.push_back(layer_->is_open(kGeneratorWindow) ? "open" : "closed");
    });
    layer_->load_window(kGeneratorWindow);
    user_->click(kGeneratorWindow, "按钮_生成");
    layer_->process_events();
    EXPECT_EQ(seen, (std::vector<std::string>{"gone", "no", "closed"}));
    layer_->load_window(kGeneratorWindow);
    EXPECT_TRUE(layer_->is_open(kGeneratorWindow));
}

}  // namespace
}  // namespace quillet::ui
