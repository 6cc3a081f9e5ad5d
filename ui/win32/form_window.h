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
#include "ui/toolkit.h"

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

class FormWindow final : public ToolkitWindow {
public:
    FormWindow(const FormDef& form, WindowEvents events);
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Null once shut down.
    HWND hwnd() const { return hwnd_; }
    const WindowEvents& events() const { return events_; }
    Control* control(std::string_view name);
    const Control* control(std::string_view name) const;
    // The child controls placed inside `name` (group box children), transitively.
    std::vector<Control*> children_of(std::string_view name);

    HMENU submenu(std::string_view caption) const;
    int menu_id(std::string_view caption) const;  // 0 when none
    std::string_view menu_caption(int id) const;

    void set_timer(Control& timer, int milliseconds);
    void show_row(Control& list, int row);  // mirrors a model row into the list view

    // ToolkitWindow (form_window_controls.cpp). shut_down() destroys the window and its
    // controls at once; no event is raised after it.
    const FormDef& form() const override { return form_; }
    void show_window() override;
    void bring_to_front() override;
    void shut_down() override;
    std::string text(std::string_view control) const override;
    bool text_fits_gbk(std::string_view control) const override;
    void set_text(std::string_view control, std::string_view text) override;
    void set_enabled(std::string_view control, bool enabled) override;
    bool is_enabled(std::string_view control) const override;
    void set_visible(std::string_view control, bool visible) override;
    bool is_visible(std::string_view control) const override;
    bool is_checked(std::string_view control) const override;
    void set_checked(std::string_view control, bool checked) override;
    void set_timer_interval(std::string_view control, int milliseconds) override;
    void list_clear(std::string_view control) override;
    int list_append_row(std::string_view control) override;
    void list_append_rows(std::string_view control, const std::vector<std::vector<std::string>>& rows) override;
    void list_set_cell(std::string_view control, int row, int column, std::string_view text) override;
    std::string list_cell(std::string_view control, int row, int column) const override;
    void list_set_cell_data(std::string_view control, int row, int column, std::string_view data) override;
    std::string list_cell_data(std::string_view control, int row, int column) const override;
    int list_row_count(std::string_view control) const override;
    int list_selected_row(std::string_view control) const override;
    void list_select_row(std::string_view control, int row) override;
    void set_menu_item_enabled(std::string_view item, bool enabled) override;
    bool is_menu_item_enabled(std::string_view item) const override;
    void popup_menu(std::string_view menu, Point screen) override;

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
    // The window for "", else the control's window; nullptr for unknown names and timers.
    HWND handle(std::string_view control) const;
    // The list called `control`, or nullptr.
    Control* list(std::string_view control);
    const Control* list(std::string_view control) const;

    const FormDef& form_;
    WindowEvents events_;
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
