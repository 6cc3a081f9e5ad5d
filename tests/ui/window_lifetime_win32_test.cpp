// Windows destroyed from inside their own message handling on the Win32 layer: gone for
// the user at once, silent for the rest of the message, freed only once it was handled.
#include <string>
#include <vector>

#include "tests/ui/win32_layer_fixture.h"
#include "ui/forms.h"

namespace quillet::ui {
namespace {

TEST_F(Win32WindowLayerTest, AClickHandlerMayCloseItsOwnWindowAndOpenAnother) {
    layer_->load_window(forms::record::window);
    HWND record = top(forms::record::window);
    ASSERT_NE(record, nullptr);
    static std::vector<std::string> seen;
    seen.clear();
    layer_->bind(forms::record::window, forms::record::confirm, Event::kClicked, [](int, int) {
        layer_->destroy_window(forms::record::window);
        layer_->load_window(forms::generator::window);
    });
    // A later handler of the same click still runs, and finds the window closed.
    layer_->bind(forms::record::window, forms::record::confirm, Event::kClicked, [record](int, int) {
        seen.push_back(layer_->is_open(forms::record::window) ? "record open" : "record closed");
        seen.push_back(IsWindow(record) ? "still on screen" : "gone");
        layer_->set_text(forms::record::window, forms::record::platform, "ignored");  // reaches nothing
    });
    user_->click(forms::record::window, forms::record::confirm);
    EXPECT_EQ(seen, (std::vector<std::string>{"record closed", "gone"}));
    layer_->process_events();
    EXPECT_FALSE(layer_->is_open(forms::record::window));
    EXPECT_TRUE(layer_->is_open(forms::generator::window));
    EXPECT_EQ(top(forms::record::window), nullptr);
    // The window comes back whole when loaded again.
    layer_->load_window(forms::record::window);
    layer_->set_text(forms::record::window, forms::record::platform, "again");
    EXPECT_EQ(layer_->text(forms::record::window, forms::record::platform), "again");
}

TEST_F(Win32WindowLayerTest, AWindowDestroyedWhileHandlingAMessageIsSilentForTheRestOfIt) {
    static int window_moves = 0;
    static bool reload = true;
    layer_->bind(forms::main::window, forms::main::data_group, Event::kMouseMoved, [](int, int) {
        if (!reload) return;
        reload = false;
        layer_->destroy_window(forms::main::window);
        layer_->load_window(forms::main::window);  // a new window: the move was not over it
    });
    layer_->bind(forms::main::window, "", Event::kMouseMoved, [](int, int) { ++window_moves; });
    layer_->load_window(forms::main::window);
    user_->move_mouse_over(forms::main::window, forms::main::data_group);
    EXPECT_EQ(window_moves, 0);
    layer_->process_events();
    ASSERT_TRUE(layer_->is_open(forms::main::window));
    user_->move_mouse_over(forms::main::window, forms::main::data_group);
    EXPECT_EQ(window_moves, 1);
}

TEST_F(Win32WindowLayerTest, TheCloseBoxMayLeadToTheNextWindow) {
    static int destroyed = 0;
    layer_->bind(forms::login::window, "", Event::kDestroyed, [](int, int) {
        ++destroyed;
        layer_->load_window(forms::setup::window);
    });
    layer_->load_window(forms::login::window);
    HWND login = top(forms::login::window);
    ASSERT_NE(login, nullptr);
    const int before = destroyed;
    PostMessageW(login, WM_CLOSE, 0, 0);  // as the system sends it
    layer_->process_events();
    EXPECT_EQ(destroyed, before + 1);
    EXPECT_FALSE(layer_->is_open(forms::login::window));
    EXPECT_FALSE(IsWindow(login));
    EXPECT_TRUE(layer_->is_open(forms::setup::window));
}

TEST_F(Win32WindowLayerTest, AWindowDestroyedUnderADialogItsHandlerOpenedIsGoneAtOnce) {
    static std::vector<std::string> seen;
    seen.clear();
    layer_->bind(forms::generator::window, forms::generator::generate, Event::kClicked, [](int, int) {
        HWND generator = top(forms::generator::window);
        // Runs inside the question's own message loop, as an idle timeout would.
        layer_->post([generator] {
            layer_->destroy_window(forms::generator::window);
            seen.push_back(IsWindow(generator) ? "on screen" : "gone");
            layer_->close_dialogs();
        });
        ui::set_dialog_script(nullptr);
        const bool yes = layer_->question_box("?");
        ui::set_dialog_script(&dialogs_);
        seen.push_back(yes ? "yes" : "no");
        seen.push_back(layer_->is_open(forms::generator::window) ? "open" : "closed");
    });
    layer_->load_window(forms::generator::window);
    user_->click(forms::generator::window, forms::generator::generate);
    layer_->process_events();
    EXPECT_EQ(seen, (std::vector<std::string>{"gone", "no", "closed"}));
    layer_->load_window(forms::generator::window);
    EXPECT_TRUE(layer_->is_open(forms::generator::window));
}

}  // namespace
}  // namespace quillet::ui
