// The window layer as both toolkits share it: windows by name and their bindings, the
// window thread, the dialogs (answered from an installed DialogScript, or shown for real
// on the window thread while the caller waits), and when a destroyed window is freed. A
// toolkit (toolkit.h) supplies the windows and dialogs themselves.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog_script.h"
#include "ui/event_bindings.h"
#include "ui/in_use.h"
#include "ui/toolkit.h"
#include "ui/window_layer.h"

namespace quillet::ui {

class FrontEnd : public WindowLayer {
  public:
    ~FrontEnd() override;

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
    std::string list_cell_data(std::string_view window, std::string_view control, int row, int column) const override;
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
    void balloon_tip(std::string_view window, std::string_view control, std::string_view text, Point screen) override;
    Point cursor_position() const override;
    void post(std::function<void()> task) override;
    void run_on_window_thread(std::function<void()> task) override;
    bool on_window_thread() const override;
    void wait_processing_events(int milliseconds) override;
    void process_events() override;
    int run() override;

  protected:
    explicit FrontEnd(std::unique_ptr<Toolkit> toolkit);

  private:
    struct OpenWindow {
        std::unique_ptr<ToolkitWindow> live;
        bool destroying = false;  // its destroyed handlers are running
    };

    // The one lookup of a window and one of its controls ("" for the window itself), and
    // of a window and one of its menu items; nullptr when the window is not open. A name no
    // form has is a program error, reported by the form tables' check (forms.h).
    ToolkitWindow* find(std::string_view window, std::string_view control) const;
    ToolkitWindow* find_menu_item(std::string_view window, std::string_view item) const;
    ToolkitWindow* open_window(std::string_view window) const;
    // Runs `task` on the window thread for a const operation.
    void on_window_thread_const(const std::function<void()>& task) const;
    // Runs a real dialog on the window thread, counted as a nested loop.
    void in_dialog(const std::function<void()>& show);
    void record_popup(DialogScript& script, const ToolkitWindow& window, std::string_view menu) const;

    std::unique_ptr<Toolkit> toolkit_;  // first in, last out: it owns the event loop
    InUse in_use_;
    EventBindings bindings_;
    std::map<std::string, OpenWindow, std::less<>> windows_;
    bool running_ = false;
};

// Whether a user could choose the menu item: it is enabled, and so is every item above it
// below the top level (a greyed sub-menu hides its children).
bool menu_item_reachable(const WindowLayer& layer, std::string_view window, std::string_view item);
// Whether the item has children: it opens a sub-menu (or is a pop-up of its own).
bool opens_sub_menu(const FormDef& form, std::string_view item);

}  // namespace quillet::ui
