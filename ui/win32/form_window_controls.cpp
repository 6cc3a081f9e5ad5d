// FormWindow's share of the window layer: its controls, lists and menus by name. A list's
// model (shown and hidden texts) lives in its Control; the list view shows it.
#include <windows.h>

#include <commctrl.h>

#include <type_traits>

#include "platform/text_codec.h"
#include "platform/win32/wide_text.h"
#include "ui/win32/form_window.h"

namespace quillet::ui::win32 {
namespace {

std::wstring window_text(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

bool has_visible_style(HWND hwnd) { return hwnd != nullptr && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE); }

template <typename ControlT>
auto* cell_of(ControlT* c, int row, int column) {
    using CellT = std::conditional_t<std::is_const_v<ControlT>, const Cell, Cell>;
    if (c == nullptr || row < 0 || column < 0 || row >= static_cast<int>(c->rows.size()))
        return static_cast<CellT*>(nullptr);
    auto& cells = c->rows[static_cast<std::size_t>(row)];
    return column < static_cast<int>(cells.size()) ? &cells[static_cast<std::size_t>(column)]
                                                   : static_cast<CellT*>(nullptr);
}

}  // namespace

HWND FormWindow::handle(std::string_view name) const {
    if (name.empty()) return hwnd_;
    const Control* c = control(name);
    return c ? c->hwnd : nullptr;
}

Control* FormWindow::list(std::string_view name) {
    Control* c = control(name);
    return c != nullptr && c->def->kind == ControlKind::kList ? c : nullptr;
}

const Control* FormWindow::list(std::string_view name) const {
    const Control* c = control(name);
    return c != nullptr && c->def->kind == ControlKind::kList ? c : nullptr;
}

void FormWindow::show_window() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void FormWindow::bring_to_front() { SetForegroundWindow(hwnd_); }

std::string FormWindow::text(std::string_view control) const {
    HWND hwnd = handle(control);
    return hwnd == nullptr ? std::string() : platform::narrow(window_text(hwnd));
}

bool FormWindow::text_fits_gbk(std::string_view control) const {
    HWND hwnd = handle(control);
    if (hwnd == nullptr) return true;
    const std::wstring text = window_text(hwnd);
    std::string ignored;
    return platform::utf16_to_gbk_exactly(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), &ignored);
}

void FormWindow::set_text(std::string_view control, std::string_view text) {
    if (HWND hwnd = handle(control)) SetWindowTextW(hwnd, platform::wide(text).c_str());
}

void FormWindow::set_enabled(std::string_view control, bool enabled) {
    if (HWND hwnd = handle(control)) EnableWindow(hwnd, enabled);
}

bool FormWindow::is_enabled(std::string_view control) const {
    HWND hwnd = handle(control);
    return hwnd != nullptr && IsWindowEnabled(hwnd);
}

void FormWindow::set_visible(std::string_view name, bool visible) {
    HWND hwnd = handle(name);
    if (hwnd == nullptr) return;
    ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
    if (name.empty()) return;
    // A group box's children go with it, as they would inside a container.
    for (Control* child : children_of(name)) {
        if (child->hwnd != nullptr) ShowWindow(child->hwnd, visible ? SW_SHOW : SW_HIDE);
    }
}

// The control's own state, as the form says it; not whether its window is on screen.
bool FormWindow::is_visible(std::string_view control) const { return has_visible_style(handle(control)); }

bool FormWindow::is_checked(std::string_view control) const {
    HWND hwnd = handle(control);
    return hwnd != nullptr && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FormWindow::set_checked(std::string_view control, bool checked) {
    if (HWND hwnd = handle(control)) SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void FormWindow::set_timer_interval(std::string_view name, int milliseconds) {
    Control* c = control(name);
    if (c != nullptr && c->def->kind == ControlKind::kTimer) set_timer(*c, milliseconds);
}

void FormWindow::list_clear(std::string_view name) {
    Control* c = list(name);
    if (c == nullptr) return;
    c->rows.clear();
    ListView_DeleteAllItems(c->hwnd);
}

int FormWindow::list_append_row(std::string_view name) {
    Control* c = list(name);
    if (c == nullptr) return -1;
    c->rows.emplace_back(c->def->list.columns.size());
    const int row = static_cast<int>(c->rows.size()) - 1;
    show_row(*c, row);
    return row;
}

void FormWindow::list_append_rows(std::string_view name, const std::vector<std::vector<std::string>>& rows) {
    Control* c = list(name);
    if (c == nullptr) return;
    SendMessageW(c->hwnd, WM_SETREDRAW, FALSE, 0);
    for (const auto& shown : rows) {
        std::vector<Cell> cells(c->def->list.columns.size());
        for (std::size_t i = 0; i < cells.size() && i < shown.size(); ++i) cells[i].shown = shown[i];
        c->rows.push_back(std::move(cells));
        show_row(*c, static_cast<int>(c->rows.size()) - 1);
    }
    SendMessageW(c->hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(c->hwnd, nullptr, TRUE);
}

void FormWindow::list_set_cell(std::string_view name, int row, int column, std::string_view text) {
    Control* c = list(name);
    if (Cell* cell = cell_of(c, row, column)) {
        cell->shown = std::string(text);
        show_row(*c, row);
    }
}

std::string FormWindow::list_cell(std::string_view name, int row, int column) const {
    const Cell* cell = cell_of(list(name), row, column);
    return cell ? cell->shown : std::string();
}

void FormWindow::list_set_cell_data(std::string_view name, int row, int column, std::string_view data) {
    if (Cell* cell = cell_of(list(name), row, column)) cell->data = std::string(data);
}

std::string FormWindow::list_cell_data(std::string_view name, int row, int column) const {
    const Cell* cell = cell_of(list(name), row, column);
    return cell ? cell->data : std::string();
}

int FormWindow::list_row_count(std::string_view name) const {
    const Control* c = list(name);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

int FormWindow::list_selected_row(std::string_view name) const {
    const Control* c = list(name);
    return c ? ListView_GetNextItem(c->hwnd, -1, LVNI_SELECTED) : -1;
}

void FormWindow::list_select_row(std::string_view name, int row) {
    Control* c = list(name);
    if (c == nullptr) return;
    ListView_SetItemState(c->hwnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0 && row < static_cast<int>(c->rows.size())) {
        ListView_SetItemState(c->hwnd, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(c->hwnd, row, FALSE);
    }
}

void FormWindow::popup_menu(std::string_view menu, Point screen) {
    HMENU popup = submenu(menu);
    if (popup == nullptr || hwnd_ == nullptr) return;
    SetForegroundWindow(hwnd_);
    const int chosen =
        static_cast<int>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd_, nullptr));
    const std::string_view caption = chosen != 0 ? menu_caption(chosen) : std::string_view();
    if (!caption.empty()) notify(caption, Event::kChosen, 0, 0);  // silent when the menu's loop closed the window
}

}  // namespace quillet::ui::win32
