// One live form window on Win32: the top-level window, its controls by name, the list
// contents (shown and hidden texts of every cell) and the menu. Window thread only.
// Closing destroys the Win32 windows at once but leaves the object whole and silent: the
// message that closed it may still be running in its code.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/forms.h"
#include "ui/window_layer.h"

namespace quillet::ui::win32 {

struct Cell {
    std::string shown;
    std::string data;
};

struct Control {
    const ControlDef* def = nullptr;
    HWND hwnd = nullptr;  // none for timers
    int id = 0;           // control id and timer id
    Point origin;         // position in the window's client area
    std::vector<std::vector<Cell>> rows;  // lists only
};

// Raised events go back to the layer through this.
using Raise = std::function<void(std::string_view control, Event event, int a, int b)>;

class FormWindow {
public:
    FormWindow(const FormDef& form, Raise raise);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Destroys the window and its controls; no event is raised after it. Null once closed.
    void close();
    HWND hwnd() const { return hwnd_; }
    const FormDef& form() const { return form_; }
    Control* control(std::string_view name);
    const Control* control(std::string_view name) const;
    // The child controls placed inside `name` (group box children), transitively.
    std::vector<Control*> children_of(std::string_view name);

    HMENU submenu(std::string_view caption) const;
    int menu_id(std::string_view caption) const;  // 0 when none
    bool menu_enabled(std::string_view caption) const;
    void set_menu_enabled(std::string_view caption, bool enabled);
    // Enabled, and so is every item above it below the top level.
    bool menu_item_reachable(std::string_view caption) const;
    std::string_view menu_caption(int id) const;

    void set_timer(Control& timer, int milliseconds);
    void show_row(Control& list, int row);  // mirrors a model row into the list view

    // The window procedure's share: true when the message was handled.
    bool handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
    static LRESULT CALLBACK control_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                              DWORD_PTR self);

private:
    void create_controls();
    void create_menu();
    Control* control_by_id(int id);
    Control* control_by_hwnd(HWND hwnd);
    void notify(std::string_view control, Event event, int a, int b);
    void draw_label(const Control& label, HDC dc, RECT area) const;

    const FormDef& form_;
    Raise raise_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    std::map<std::string, Control, std::less<>> controls_;
    std::vector<std::string> order_;  // control names in form order
    std::map<std::string, int, std::less<>> menu_ids_;
    std::map<std::string, HMENU, std::less<>> submenus_;
    std::map<std::string, bool, std::less<>> menu_enabled_;
    HMENU menu_root_ = nullptr;
    std::vector<HMENU> loose_menus_;  // pop-up menus on no bar: no window destroys them
};

// The font of every control of the forms and prompts.
HFONT form_font();

// Registers a window class that looks like the forms (arrow cursor, dialog face); its name.
const wchar_t* register_window_class(const wchar_t* name, WNDPROC procedure);
// Registers the window class of the forms; the layer's procedure routes to FormWindow::handle.
const wchar_t* form_window_class(WNDPROC procedure);

}  // namespace quillet::ui::win32
