// Form definitions of the six windows, held as data: window properties, then the
// controls with kind, name, parent, geometry, flags, caption and kind-specific
// properties, list columns and the menu tree. The window layer builds live windows from
// these; nothing here knows a toolkit. Texts are GBK.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillet::ui {

enum class ControlKind { kLabel, kTransparentLabel, kButton, kGroupBox, kEditBox, kCheckBox, kList, kTimer, kBalloonTip };

// Border styles of edit boxes and the list; only these two are used.
enum class Border { kNone = 0, kSunken = 1, kThinLine = 5 };

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct EditProps {
    bool multi_line = false;
    bool read_only = false;
    bool password = false;     // every character drawn as "*"
    bool digits_only = false;  // typed characters other than 0-9 and "-" are refused
    bool centred = false;
    int max_length = 0;  // characters; 0 = no limit
    Border border = Border::kSunken;
};

struct ListColumn {
    std::string_view title;
    int width = 0;  // 0 hides the column; its cells still hold data
};

struct ListProps {
    bool full_row_select = true;
    bool single_select = true;
    bool grid_lines = false;
    Border border = Border::kThinLine;
    std::span<const ListColumn> columns;
};

struct ControlDef {
    ControlKind kind = ControlKind::kLabel;
    std::string_view name;
    std::string_view parent;  // "" = the window
    Rect rect;
    bool visible = true;
    bool disabled = false;
    bool tab_stop = false;
    std::string_view caption;  // caption or initial text; lines separated by CR LF
    EditProps edit;
    ListProps list;
    std::uint32_t text_color = 0;  // 0xRRGGBB; transparent label only
    bool checked = false;          // check box
    int interval = 0;              // timer, milliseconds; 0 = stopped
};

struct MenuItemDef {
    std::string_view caption;
    int level = 0;  // 0 = top-level; an item's children follow it one level deeper
    bool visible = true;
    bool disabled = false;
    bool checked = false;
};

struct FormDef {
    std::string_view name;  // kMainWindow, kLoginWindow, ...
    std::string_view caption;
    int width = 0;  // outer size in pixels, frame and title bar included
    int height = 0;
    bool resizable = false;
    bool control_box = true;
    bool minimise_box = true;
    bool maximise_box = false;
    bool centred = true;
    bool movable = true;
    bool in_task_bar = true;
    bool always_on_top = false;
    bool modal = false;
    std::span<const ControlDef> controls;  // parents come before their children
    std::span<const MenuItemDef> menu;
};

struct Size {
    int width = 0;
    int height = 0;
};

// The frame of a fixed single-border window with a title bar in the metrics these forms
// were laid out with; used while the window system does not report its own.
inline constexpr Size kNominalFrame{6, 29};

std::span<const FormDef> all_forms();
const FormDef* find_form(std::string_view window);
const ControlDef* find_control(const FormDef& form, std::string_view control);
const MenuItemDef* find_menu_item(const FormDef& form, std::string_view caption);
// Index of the menu item `caption` in form.menu, or -1.
int menu_item_index(const FormDef& form, std::string_view caption);
// Client size for an outer size minus `frame`, grown where needed so that every
// control directly on the window fits.
Size client_size(const FormDef& form, Size frame);

}  // namespace quillet::ui
