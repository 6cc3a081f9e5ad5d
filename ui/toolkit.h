// What a toolkit supplies to the front end (front_end.h): its form windows, its event
// loop and its real dialogs. Everything the toolkits share (name lookup, bindings, the
// window thread, scripted dialogs, when a destroyed window may be freed) lives in the
// front end, so a toolkit holds only the operations that differ between them.
//
// Every call is made on the window thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/forms.h"
#include "ui/window_layer.h"

namespace quillet::ui {

class InUse;

// How a window reports back to the front end.
struct WindowEvents {
    // An event of one of its controls ("" for the window, a caption for a menu item).
    std::function<void(std::string_view control, Event event, int a, int b)> raise;
    // The user asked to close the window (close box, Alt+F4); the front end destroys it.
    std::function<void()> close_box;
    // Held while the toolkit runs code of the window's own (its message handling), so
    // that the window is not freed under it.
    InUse* in_use = nullptr;
};

// One open form window. Control "" is the window itself; control names the front end
// passes are looked up already, menu items are named by caption.
class ToolkitWindow {
  public:
    virtual ~ToolkitWindow() = default;

    virtual const FormDef& form() const = 0;
    virtual void show_window() = 0;
    virtual void bring_to_front() = 0;
    // Takes the window off the screen and silences it for good; the object stays usable
    // until the front end frees it, since code below on the stack may still touch it.
    virtual void shut_down() = 0;

    virtual std::string text(std::string_view control) const = 0;
    virtual bool text_fits_gbk(std::string_view control) const = 0;
    virtual void set_text(std::string_view control, std::string_view text) = 0;
    virtual void set_enabled(std::string_view control, bool enabled) = 0;
    virtual bool is_enabled(std::string_view control) const = 0;
    virtual void set_visible(std::string_view control, bool visible) = 0;
    virtual bool is_visible(std::string_view control) const = 0;
    virtual bool is_checked(std::string_view control) const = 0;
    virtual void set_checked(std::string_view control, bool checked) = 0;
    virtual void set_timer_interval(std::string_view control, int milliseconds) = 0;

    virtual void list_clear(std::string_view control) = 0;
    virtual int list_append_row(std::string_view control) = 0;
    virtual void list_append_rows(std::string_view control, const std::vector<std::vector<std::string>>& rows) = 0;
    virtual void list_set_cell(std::string_view control, int row, int column, std::string_view text) = 0;
    virtual std::string list_cell(std::string_view control, int row, int column) const = 0;
    virtual void list_set_cell_data(std::string_view control, int row, int column, std::string_view data) = 0;
    virtual std::string list_cell_data(std::string_view control, int row, int column) const = 0;
    virtual int list_row_count(std::string_view control) const = 0;
    virtual int list_selected_row(std::string_view control) const = 0;
    virtual void list_select_row(std::string_view control, int row) = 0;

    virtual void set_menu_item_enabled(std::string_view item, bool enabled) = 0;
    virtual bool is_menu_item_enabled(std::string_view item) const = 0;
    // Shows the pop-up of a top-level item and returns once it closed, a chosen item
    // raised. The window may have been shut down meanwhile.
    virtual void popup_menu(std::string_view menu, Point screen) = 0;
};

// The toolkit as a whole.
class Toolkit {
  public:
    virtual ~Toolkit() = default;

    // nullptr when the system refused to create it.
    virtual std::unique_ptr<ToolkitWindow> create_window(const FormDef& form, WindowEvents events) = 0;

    // Real dialogs, modal for the whole program (texts as WindowLayer describes them).
    virtual void show_message(std::string_view text) = 0;
    virtual bool ask_question(std::string_view text) = 0;
    virtual bool ask_input(std::string_view caption, std::string_view prompt, std::string_view initial,
                           std::string* entered) = 0;
    virtual bool ask_password(int tries_left, std::string* password) = 0;
    virtual void show_balloon(std::string_view text, Point screen) = 0;
    // Cancels every open pop-up menu and dialog, innermost first.
    virtual void close_dialogs() = 0;
    virtual Point cursor_position() const = 0;

    // The only calls made from any thread.
    virtual void post(std::function<void()> task) = 0;
    virtual bool on_window_thread() const = 0;

    virtual void process_events() = 0;
    virtual void wait_processing_events(int milliseconds) = 0;
    // Runs the message loop until quit() is called; its exit code.
    virtual int run_loop() = 0;
    virtual void quit() = 0;
};

}  // namespace quillet::ui
