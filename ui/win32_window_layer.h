// The Win32 window layer: the forms as plain Win32 windows and common controls. Free of
// Windows types so that the program's main can create it without the system headers.
#pragma once

#include <memory>

#include "ui/scripted_dialogs.h"
#include "ui/window_layer.h"

namespace quillet::ui {

// One per process, created on the thread that becomes the window thread.
class Win32WindowLayer final : public WindowLayer, public ScriptedDialogs {
public:
    Win32WindowLayer();
    ~Win32WindowLayer() override;

    // WindowLayer
    void bind(std::string_view window, std::string_view control, Event event, Handler handler) override;
    void raise(std::string_view window, std::string_view control, Event event, int a = 0, int b = 0) override;
    void load_window(std::string_view window) override;
    void destroy_window(std::string_view window) override;
    bool is_open(std::string_view window) const override;
    std::string text(std::string_view window, std::string_view control) const override;
    bool text_fits_gbk(std::string_view window, std::string_view control) const override;
    void set_text(std::string_view window, std::string_view control, std::string_view text) override;
    void set_enabled(std::string_view window, std::string_view control, bool enabled) override;
    bool is_enabled(std::string_view window, std::string_view control) const override;
    void set_visible(std::string_view window, std::string_view control, bool visible) override;
    bool is_visible(std::string_view window, std::string_view control) const override;
    bool is_checked(std::string_view window, std::string_view control) const override;
    void set_checked(std::string_view window, std::string_view control, bool checked) override;
    void set_timer_interval(std::string_view window, std::string_view control, int milliseconds) override;
    void list_clear(std::string_view window, std::string_view control) override;
    int list_append_row(std::string_view window, std::string_view control) override;
    void list_append_rows(std::string_view window, std::string_view control,
                          const std::vector<std::vector<std::string>>& rows) override;
    void list_set_cell(std::string_view window, std::string_view control, int row, int column,
                       std::string_view text) override;
    std::string list_cell(std::string_view window, std::string_view control, int row, int column) const override;
    void list_set_cell_data(std::string_view window, std::string_view control, int row, int column,
                            std::string_view data) override;
    std::string list_cell_data(std::string_view window, std::string_view control, int row,
                               int column) const override;
    int list_row_count(std::string_view window, std::string_view control) const override;
    int list_selected_row(std::string_view window, std::string_view control) const override;
    void list_select_row(std::string_view window, std::string_view control, int row) override;
    void set_menu_item_enabled(std::string_view window, std::string_view item, bool enabled) override;
    bool is_menu_item_enabled(std::string_view window, std::string_view item) const override;
    void popup_menu(std::string_view window, std::string_view menu, Point screen) override;
    void message_box(std::string_view text) override;
    bool question_box(std::string_view text) override;
    bool input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                   std::string* entered) override;
    bool password_prompt(int tries_left, std::string* password) override;
    void close_dialogs() override;
    void balloon_tip(std::string_view window, std::string_view control, std::string_view text,
                     Point screen) override;
    Point cursor_position() const override;
    void post(std::function<void()> task) override;
    void run_on_window_thread(std::function<void()> task) override;
    bool on_window_thread() const override;
    void wait_processing_events(int milliseconds) override;
    void process_events() override;
    int run() override;

    // ScriptedDialogs
    void set_scripted(bool scripted) override;
    void answer_question(bool yes) override;
    void answer_input(bool confirmed, std::string_view text = {}) override;
    void answer_password(bool confirmed, std::string_view password = {}) override;
    std::vector<ShownDialog> take_shown() override;
    void click(std::string_view window, std::string_view control) override;
    void choose_menu_item(std::string_view window, std::string_view item) override;
    void type_text(std::string_view window, std::string_view control, std::string_view text) override;
    void type_utf8(std::string_view window, std::string_view control, std::string_view utf8) override;
    void move_mouse_over(std::string_view window, std::string_view control) override;
    void right_click(std::string_view window, std::string_view control) override;
    void press_close_box(std::string_view window) override;
    bool last_popup_item_enabled(std::string_view item) const override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace quillet::ui
