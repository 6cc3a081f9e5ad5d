// The front end's own rules, over a toolkit that only records: when a destroyed window is
// freed, which names reach a window, and where dialogs go with and without a script.
#include "ui/forms.h"
#include "ui/front_end.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/support/expect_reported.h"
#include "ui/dialog_script.h"

namespace quillet::ui {
namespace {

struct Record {
    std::vector<std::string> calls;
    int windows_alive = 0;
    std::deque<std::function<void()>> posted;
};

class FakeWindow final : public ToolkitWindow {
  public:
    FakeWindow(const FormDef& form, Record& record) : form_(form), record_(record) { ++record_.windows_alive; }
    ~FakeWindow() override { --record_.windows_alive; }
    const FormDef& form() const override { return form_; }
    void show_window() override {}
    void bring_to_front() override {}
    void shut_down() override { record_.calls.push_back("shut_down"); }
    std::string text(std::string_view control) const override { return "text of " + std::string(control); }
    bool text_fits_gbk(std::string_view) const override { return true; }
    void set_text(std::string_view control, std::string_view) override {
        record_.calls.push_back(std::string(control));
    }
    void set_enabled(std::string_view, bool) override {}
    bool is_enabled(std::string_view) const override { return true; }
    void set_visible(std::string_view, bool) override {}
    bool is_visible(std::string_view) const override { return true; }
    bool is_checked(std::string_view) const override { return false; }
    void set_checked(std::string_view, bool) override {}
    void set_timer_interval(std::string_view, int) override {}
    void list_clear(std::string_view) override {}
    int list_append_row(std::string_view) override { return 0; }
    void list_append_rows(std::string_view, const std::vector<std::vector<std::string>>&) override {}
    void list_set_cell(std::string_view, int, int, std::string_view) override {}
    std::string list_cell(std::string_view, int, int) const override { return {}; }
    void list_set_cell_data(std::string_view, int, int, std::string_view) override {}
    std::string list_cell_data(std::string_view, int, int) const override { return {}; }
    int list_row_count(std::string_view) const override { return 0; }
    int list_selected_row(std::string_view) const override { return -1; }
    void list_select_row(std::string_view, int) override {}
    void set_menu_item_enabled(std::string_view, bool) override {}
    bool is_menu_item_enabled(std::string_view item) const override { return item != "复制"; }
    void popup_menu(std::string_view menu, Point) override { record_.calls.push_back("popup " + std::string(menu)); }

  private:
    const FormDef& form_;
    Record& record_;
};

class FakeToolkit final : public Toolkit {
  public:
    explicit FakeToolkit(Record& record) : record_(record) {}
    std::unique_ptr<ToolkitWindow> create_window(const FormDef& form, WindowEvents) override {
        return std::make_unique<FakeWindow>(form, record_);
    }
    // As a real dialog's loop would, it runs what was posted meanwhile.
    void show_message(std::string_view text) override {
        record_.calls.push_back("message " + std::string(text));
        process_events();
    }
    bool ask_question(std::string_view) override { return true; }
    bool ask_input(std::string_view, std::string_view, std::string_view, std::string*) override { return true; }
    bool ask_password(int, std::string*) override { return true; }
    void show_balloon(std::string_view, Point) override {}
    void close_dialogs() override {}
    Point cursor_position() const override { return {}; }
    void post(std::function<void()> task) override { record_.posted.push_back(std::move(task)); }
    bool on_window_thread() const override { return true; }
    void process_events() override {
        while (!record_.posted.empty()) {
            auto task = std::move(record_.posted.front());
            record_.posted.pop_front();
            task();
        }
    }
    void wait_processing_events(int) override { process_events(); }
    int run_loop() override { return 0; }
    void quit() override { record_.calls.push_back("quit"); }

  private:
    Record& record_;
};

class RecordingFrontEnd final : public FrontEnd {
  public:
    explicit RecordingFrontEnd(Record& record) : FrontEnd(std::make_unique<FakeToolkit>(record)) {}
};

class FrontEndTest : public testing::Test {
  protected:
    void TearDown() override { set_dialog_script(nullptr); }
    Record record_;
    RecordingFrontEnd layer_{record_};
};

TEST_F(FrontEndTest, AWindowDestroyedInsideItsHandlerOrADialogIsFreedOnlyOnceNothingRunsThere) {
    layer_.bind(forms::main::window, forms::main::log_out, Event::kClicked, [&](int, int) {
        layer_.destroy_window(forms::main::window);
        layer_.process_events();  // a posted task runs while the handler is still going
        EXPECT_EQ(record_.windows_alive, 1) << "freed under its own handler";
        layer_.message_box("bye");  // a dialog's loop runs posted tasks too
        EXPECT_EQ(record_.windows_alive, 1) << "freed inside a dialog of its handler";
    });
    layer_.load_window(forms::main::window);
    layer_.raise(forms::main::window, forms::main::log_out, Event::kClicked);
    EXPECT_FALSE(layer_.is_open(forms::main::window));
    EXPECT_EQ(record_.windows_alive, 1);
    layer_.process_events();
    EXPECT_EQ(record_.windows_alive, 0);
}

TEST_F(FrontEndTest, ADestroyedHandlerThatDestroysAgainRunsOnce) {
    int destroyed = 0;
    layer_.bind(forms::login::window, "", Event::kDestroyed, [&](int, int) {
        ++destroyed;
        layer_.destroy_window(forms::login::window);
    });
    layer_.load_window(forms::login::window);
    layer_.destroy_window(forms::login::window);
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(layer_.is_open(forms::login::window));
}

TEST_F(FrontEndTest, OnlyNamesOfTheFormReachItsWindow) {
    layer_.load_window(forms::login::window);
    EXPECT_EQ(layer_.text(forms::login::window, forms::login::log_in), "text of 按钮_登录");
    EXPECT_EQ(layer_.text(forms::setup::window, forms::setup::finish), "") << "not open";
    EXPECT_REPORTED(layer_.text(forms::login::window, "no such button"), "unknown control");
    // A control of another form.
    EXPECT_REPORTED(layer_.set_text(forms::login::window, forms::setup::password, "x"), "unknown control");
    EXPECT_REPORTED(layer_.set_menu_item_enabled(forms::login::window, forms::main::menu::add, false),
                    "unknown menu item");
    layer_.set_text(forms::login::window, forms::login::password, "x");
    EXPECT_EQ(record_.calls, (std::vector<std::string>{std::string(forms::login::password)}));
}

TEST_F(FrontEndTest, AnInstalledScriptAnswersDialogsAndMenusAndNothingReachesTheToolkit) {
    layer_.load_window(forms::main::window);
    DialogScript script;
    set_dialog_script(&script);
    script.answer_input(false, "ignored");
    std::string entered = "kept";
    EXPECT_FALSE(layer_.input_box("输入平台名", "", "", &entered));
    EXPECT_EQ(entered, "kept");
    layer_.message_box("scripted");
    layer_.popup_menu(forms::main::window, forms::main::menu::root, {});
    EXPECT_TRUE(script.last_popup_item_enabled(forms::main::menu::add));
    EXPECT_FALSE(script.last_popup_item_enabled(forms::main::menu::copy));
    EXPECT_FALSE(script.last_popup_item_enabled(forms::main::menu::copy_password)) << "under a disabled sub-menu";
    EXPECT_FALSE(script.last_popup_item_enabled("没有这一项"));
    ASSERT_EQ(script.take_shown().size(), 2u);

    set_dialog_script(nullptr);
    layer_.message_box("real");
    layer_.popup_menu(forms::main::window, forms::main::menu::root, {});
    layer_.popup_menu(forms::main::window, forms::main::menu::add, {});  // no sub-menu: nothing pops up
    EXPECT_EQ(record_.calls, (std::vector<std::string>{"message real", "popup 菜单"}));
    EXPECT_TRUE(script.take_shown().empty());
}

}  // namespace
}  // namespace quillet::ui
