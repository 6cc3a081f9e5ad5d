// The window layer: the only way the program reaches its windows. Windows are loaded
// from their form definitions (forms.h) and addressed by window name and control name
// (the constants in forms.h);
// menu items are addressed by their caption. Every text crossing this interface is GBK.
//
// All calls are made on the window thread, except the list operations and post(),
// which may be called from any thread: each list operation is carried out in one piece
// on the window thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::ui {

enum class Event {
    kCreated,             // window: after all controls exist
    kDestroyed,           // window: while it is being destroyed
    kMouseMoved,          // window, group box, list: (x, y) in client coordinates
    kLeftButtonPressed,   // any control: (x, y)
    kRightButtonPressed,  // any control: (x, y)
    kClicked,             // button, list (after the selection changed)
    kTick,                // timer
    kFeedback,            // label: two integers
    kChosen,              // menu item
};

// Handlers receive the event's two integers (mouse position, feedback arguments; 0 otherwise).
using Handler = std::function<void(int, int)>;

struct Point {
    int x = 0;
    int y = 0;
};

class WindowLayer {
public:
    virtual ~WindowLayer() = default;

    // Binds `handler` to an event of a control of a window; control "" is the window
    // itself. Bindings outlive the windows: they apply to every later load. Several
    // handlers may be bound to one event; they run in the order they were bound.
    virtual void bind(std::string_view window, std::string_view control, Event event, Handler handler) = 0;
    // Runs the handlers bound to an event now, on the window thread (hot keys arrive so).
    virtual void raise(std::string_view window, std::string_view control, Event event, int a = 0, int b = 0) = 0;

    // Creates a window from its form, fires its created event and shows it, modeless.
    // A window that is already open is brought to the front instead.
    virtual void load_window(std::string_view window) = 0;
    // Fires the destroyed event and destroys the window; nothing when it is not open.
    // Inside a menu or dialog the window is hidden and silent at once, and freed only once
    // those have returned: the code that opened them may still be using it.
    virtual void destroy_window(std::string_view window) = 0;
    virtual bool is_open(std::string_view window) const = 0;

    // Edit box content, label text, button, check box, group box or window caption.
    virtual std::string text(std::string_view window, std::string_view control) const = 0;
    // False when the text holds a character GBK cannot (an emoji, a CJK extension
    // character), which text() gives as "?". A missing control's empty text fits.
    virtual bool text_fits_gbk(std::string_view window, std::string_view control) const = 0;
    virtual void set_text(std::string_view window, std::string_view control, std::string_view text) = 0;
    virtual void set_enabled(std::string_view window, std::string_view control, bool enabled) = 0;
    virtual bool is_enabled(std::string_view window, std::string_view control) const = 0;
    virtual void set_visible(std::string_view window, std::string_view control, bool visible) = 0;
    virtual bool is_visible(std::string_view window, std::string_view control) const = 0;
    virtual bool is_checked(std::string_view window, std::string_view control) const = 0;
    virtual void set_checked(std::string_view window, std::string_view control, bool checked) = 0;
    // 0 stops the timer.
    virtual void set_timer_interval(std::string_view window, std::string_view control, int milliseconds) = 0;

    // Report-style list. Each cell holds a shown text and a hidden data text.
    // Safe from any thread; reading a cell of a missing row gives empty text.
    virtual void list_clear(std::string_view window, std::string_view control) = 0;
    virtual int list_append_row(std::string_view window, std::string_view control) = 0;
    // Appends whole rows at once (shown texts only), in one piece.
    virtual void list_append_rows(std::string_view window, std::string_view control,
                                  const std::vector<std::vector<std::string>>& rows) = 0;
    virtual void list_set_cell(std::string_view window, std::string_view control, int row, int column,
                               std::string_view text) = 0;
    virtual std::string list_cell(std::string_view window, std::string_view control, int row, int column) const = 0;
    virtual void list_set_cell_data(std::string_view window, std::string_view control, int row, int column,
                                    std::string_view data) = 0;
    virtual std::string list_cell_data(std::string_view window, std::string_view control, int row,
                                       int column) const = 0;
    virtual int list_row_count(std::string_view window, std::string_view control) const = 0;
    // -1 when no row is selected.
    virtual int list_selected_row(std::string_view window, std::string_view control) const = 0;
    virtual void list_select_row(std::string_view window, std::string_view control, int row) = 0;

    // Menu items by caption.
    virtual void set_menu_item_enabled(std::string_view window, std::string_view item, bool enabled) = 0;
    virtual bool is_menu_item_enabled(std::string_view window, std::string_view item) const = 0;
    // Pops up the children of the top-level item `menu` at a screen position; returns
    // after the menu closed (a chosen item's handler has run by then).
    virtual void popup_menu(std::string_view window, std::string_view menu, Point screen) = 0;

    // Dialogs modal for the whole program; callers name no owner. Caption "信息：".
    virtual void message_box(std::string_view text) = 0;
    // Yes/No with the question icon; true only for Yes.
    virtual bool question_box(std::string_view text) = 0;
    // Buttons "确认输入(&O)" and "取消(&C)"; true when confirmed.
    virtual bool input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                           std::string* entered) = 0;
    // The access-password prompt; tries_left < 3 shows the retry line.
    virtual bool password_prompt(int tries_left, std::string* password) = 0;
    // Closes every open pop-up menu and modal dialog as if the user cancelled it: a menu
    // chooses nothing, a question answers No, an input box and the password prompt are
    // cancelled. Their callers go on once the window thread gets back to them.
    virtual void close_dialogs() = 0;
    virtual void balloon_tip(std::string_view window, std::string_view control, std::string_view text,
                             Point screen) = 0;
    virtual Point cursor_position() const = 0;

    // Runs `task` on the window thread, soon; callable from any thread.
    virtual void post(std::function<void()> task) = 0;
    // Runs `task` on the window thread and waits for it; runs it at once on the window thread.
    virtual void run_on_window_thread(std::function<void()> task) = 0;
    virtual bool on_window_thread() const = 0;
    // Waits `milliseconds` while window events keep running.
    virtual void wait_processing_events(int milliseconds) = 0;
    virtual void process_events() = 0;
    // Runs the message loop until the last window has closed.
    virtual int run() = 0;
};

}  // namespace quillet::ui
