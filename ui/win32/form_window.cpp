// Building a form on Win32. The forms' geometry is Win32 geometry: the window's outer
// size, and control positions relative to the client area (or, for the children of a
// group box, relative to the group box). Group boxes are no containers on Win32, so their
// children are children of the window placed at the summed offset, and hiding a group
// box hides them too.
#include "ui/win32/form_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cwchar>

#include "platform/win32/wide_text.h"

namespace quillet::ui::win32 {
namespace {

constexpr int kFirstControlId = 1000;
constexpr int kFirstMenuId = 2000;
constexpr int kFontPixels = 12;  // the forms' font size, and the pitch of the lines in their labels

std::wstring wide(std::string_view gbk) { return platform::wide(gbk); }

DWORD window_style(const FormDef& form) {
    // No WS_CLIPCHILDREN: group boxes do not paint their inside, the window must.
    DWORD style = WS_CAPTION;
    if (form.control_box) style |= WS_SYSMENU;
    if (form.minimise_box) style |= WS_MINIMIZEBOX;
    if (form.maximise_box) style |= WS_MAXIMIZEBOX;
    if (form.resizable) style |= WS_THICKFRAME;
    return style;
}

DWORD edit_style(const EditProps& edit) {
    DWORD style = ES_LEFT;
    if (edit.multi_line) style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN;
    else style |= ES_AUTOHSCROLL;
    if (edit.read_only) style |= ES_READONLY;
    if (edit.password) style |= ES_PASSWORD;
    if (edit.centred) style |= ES_CENTER;
    if (edit.border == Border::kThinLine) style |= WS_BORDER;
    return style;
}

// The forms are laid out for SimSun at 12 pixels: a CJK character 12 pixels wide, a space
// or letter 6, lines 12 high. The label lines and their runs of spaces line up with the
// edit boxes only with those widths, and the 16-pixel edit boxes show whole letters only
// with that height. A face asked for by name may come out as another one (Wine hands
// SimSun to whatever Chinese font it finds, which may have narrow spaces), so each
// candidate is measured and the first whose widths fit is taken.
bool has_form_metrics(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    auto width = [dc](const wchar_t* text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
        return size.cx;
    };
    const bool fits = width(L"\u5E73\u53F0") == 24 && width(L"  ") == 12 && width(L"Wi:") == 18;  // 平台
    SelectObject(dc, old);
    DeleteDC(dc);
    return fits;
}

HFONT create_form_font(const wchar_t* face) {
    return CreateFontW(-kFontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

}  // namespace

HFONT form_font() {
    static HFONT font = [] {
        // SimSun by either name and its fixed-pitch twin; on Wine a Song face of the same
        // metrics, else the monospaced Zen Hei, whose taller lines the edit boxes cut short.
        for (const wchar_t* face :
             {L"SimSun", L"\u5B8B\u4F53", L"NSimSun", L"AR PL SungtiL GB", L"WenQuanYi Zen Hei Mono"}) {
            HFONT candidate = create_form_font(face);
            if (candidate != nullptr && has_form_metrics(candidate)) return candidate;
            if (candidate != nullptr) DeleteObject(candidate);
        }
        return create_form_font(L"SimSun");  // the nearest the system has
    }();
    return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

const wchar_t* register_window_class(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = procedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = name;
    RegisterClassExW(&type);
    return name;
}

const wchar_t* form_window_class(WNDPROC procedure) {
    static const wchar_t* name = register_window_class(L"QuilletForm", procedure);
    return name;
}

FormWindow::FormWindow(const FormDef& form, WindowEvents events) : form_(form), events_(std::move(events)) {
    font_ = form_font();
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    if (form.centred) {
        x = (GetSystemMetrics(SM_CXSCREEN) - form.width) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - form.height) / 2;
    }
    DWORD extended = form.always_on_top ? WS_EX_TOPMOST : 0;
    if (!form.in_task_bar) extended |= WS_EX_TOOLWINDOW;
    hwnd_ = CreateWindowExW(extended, L"QuilletForm", wide(form.caption).c_str(), window_style(form), x, y, form.width,
                            form.height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr) return;
    create_menu();
    create_controls();
}

FormWindow::~FormWindow() {
    shut_down();
    if (menu_root_ != nullptr) DestroyMenu(menu_root_);
    for (HMENU menu : loose_menus_) DestroyMenu(menu);
}

void FormWindow::shut_down() {
    if (hwnd_ == nullptr) return;
    HWND window = hwnd_;
    hwnd_ = nullptr;  // silent from here on, the destroy messages included
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    // A menu on the bar goes with its window.
    if (menu_root_ != nullptr && GetMenu(window) == menu_root_) menu_root_ = nullptr;
    DestroyWindow(window);
}

void FormWindow::notify(std::string_view control, Event event, int a, int b) {
    if (hwnd_ != nullptr) events_.raise(control, event, a, b);
}

void FormWindow::create_controls() {
    int next_id = kFirstControlId;
    for (const ControlDef& def : form_.controls) {
        Control control;
        control.def = &def;
        control.id = next_id++;
        control.origin = {def.rect.left, def.rect.top};
        if (const Control* parent = this->control(def.parent)) {
            control.origin.x += parent->origin.x;
            control.origin.y += parent->origin.y;
        }
        const wchar_t* type = nullptr;
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
        DWORD extended = 0;
        switch (def.kind) {
            case ControlKind::kLabel:
            case ControlKind::kTransparentLabel:
                type = L"STATIC";
                style |= SS_OWNERDRAW | SS_NOTIFY;  // drawn by draw_label
                break;
            case ControlKind::kButton:
                type = L"BUTTON";
                style |= BS_PUSHBUTTON;
                break;
            case ControlKind::kGroupBox:
                type = L"BUTTON";
                style |= BS_GROUPBOX;
                break;
            case ControlKind::kCheckBox:
                type = L"BUTTON";
                style |= BS_AUTOCHECKBOX;
                break;
            case ControlKind::kEditBox:
                type = L"EDIT";
                style |= edit_style(def.edit);
                if (def.edit.border == Border::kSunken) extended |= WS_EX_CLIENTEDGE;
                break;
            case ControlKind::kList:
                type = WC_LISTVIEWW;
                style |= LVS_REPORT | LVS_SHOWSELALWAYS;
                if (def.list.single_select) style |= LVS_SINGLESEL;
                if (def.list.border == Border::kThinLine) style |= WS_BORDER;
                else if (def.list.border == Border::kSunken) extended |= WS_EX_CLIENTEDGE;
                break;
            case ControlKind::kTimer:
            case ControlKind::kBalloonTip:
                break;
        }
        if (type != nullptr) {
            if (def.visible) style |= WS_VISIBLE;
            if (def.disabled) style |= WS_DISABLED;
            if (def.tab_stop) style |= WS_TABSTOP;
            control.hwnd = CreateWindowExW(extended, type, wide(def.caption).c_str(), style, control.origin.x,
                                           control.origin.y, def.rect.width, def.rect.height, hwnd_,
                                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                           GetModuleHandleW(nullptr), nullptr);
            // A later control lies above the earlier ones it overlaps (Windows would put it beneath).
            SetWindowPos(control.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
            SetWindowSubclass(control.hwnd, control_procedure, static_cast<UINT_PTR>(control.id),
                              reinterpret_cast<DWORD_PTR>(this));
        }
        if (def.kind == ControlKind::kEditBox && def.edit.max_length > 0) {
            SendMessageW(control.hwnd, EM_LIMITTEXT, static_cast<WPARAM>(def.edit.max_length), 0);
        }
        if (def.kind == ControlKind::kCheckBox && def.checked) SendMessageW(control.hwnd, BM_SETCHECK, BST_CHECKED, 0);
        if (def.kind == ControlKind::kList) {
            DWORD list_extended = LVS_EX_DOUBLEBUFFER;
            if (def.list.full_row_select) list_extended |= LVS_EX_FULLROWSELECT;
            if (def.list.grid_lines) list_extended |= LVS_EX_GRIDLINES;
            ListView_SetExtendedListViewStyle(control.hwnd, list_extended);
            int index = 0;
            for (const ListColumn& column : def.list.columns) {
                std::wstring title = wide(column.title);
                LVCOLUMNW info{};
                info.mask = LVCF_TEXT | LVCF_WIDTH;
                info.pszText = title.data();
                info.cx = column.width;  // 0 keeps the column hidden; its cells still hold data
                ListView_InsertColumn(control.hwnd, index++, &info);
            }
        }
        order_.emplace_back(def.name);
        Control& placed = controls_.emplace(std::string(def.name), std::move(control)).first->second;
        if (def.kind == ControlKind::kTimer && def.interval > 0) set_timer(placed, def.interval);
    }
    // Group boxes go beneath everything, an outer one beneath the ones inside it, so that
    // the controls they frame are found and drawn above them.
    for (auto name = order_.rbegin(); name != order_.rend(); ++name) {
        const Control& c = controls_.find(*name)->second;
        if (c.def->kind != ControlKind::kGroupBox) continue;
        SetWindowPos(c.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void FormWindow::create_menu() {
    if (form_.menu.empty()) return;
    menu_root_ = CreateMenu();
    std::vector<HMENU> parents{menu_root_};
    bool bar_visible = false;
    for (std::size_t i = 0; i < form_.menu.size(); ++i) {
        const MenuItemDef& item = form_.menu[i];
        const int id = kFirstMenuId + static_cast<int>(i);
        const std::string caption(item.caption);
        menu_ids_[caption] = id;
        menu_enabled_[caption] = !item.disabled;
        parents.resize(static_cast<std::size_t>(item.level) + 1);
        const bool has_children = i + 1 < form_.menu.size() && form_.menu[i + 1].level > item.level;
        if (item.level == 0 && item.visible) bar_visible = true;
        if (!item.visible) {
            if (has_children) {
                HMENU hidden = CreatePopupMenu();  // a pop-up menu only, not on the bar
                submenus_[caption] = hidden;
                loose_menus_.push_back(hidden);
                parents.push_back(hidden);
            }
            continue;
        }
        UINT flags = MF_STRING | (item.disabled ? MF_GRAYED : 0) | (item.checked ? MF_CHECKED : 0);
        std::wstring text = wide(item.caption);
        if (text == L"-") flags = MF_SEPARATOR;
        if (has_children) {
            HMENU sub = CreatePopupMenu();
            AppendMenuW(parents[static_cast<std::size_t>(item.level)], flags | MF_POPUP,
                        reinterpret_cast<UINT_PTR>(sub), text.c_str());
            submenus_[caption] = sub;
            parents.push_back(sub);
        } else {
            AppendMenuW(parents[static_cast<std::size_t>(item.level)], flags, static_cast<UINT_PTR>(id), text.c_str());
        }
    }
    if (bar_visible) SetMenu(hwnd_, menu_root_);
}

Control* FormWindow::control(std::string_view name) {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

const Control* FormWindow::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

std::vector<Control*> FormWindow::children_of(std::string_view name) {
    std::vector<Control*> found;
    for (const std::string& candidate : order_) {
        Control* c = control(candidate);
        if (c->def->parent == name) {
            found.push_back(c);
            for (Control* grandchild : children_of(candidate)) found.push_back(grandchild);
        }
    }
    return found;
}

Control* FormWindow::control_by_id(int id) {
    for (auto& [name, c] : controls_) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

Control* FormWindow::control_by_hwnd(HWND hwnd) {
    for (auto& [name, c] : controls_) {
        if (c.hwnd == hwnd) return &c;
    }
    return nullptr;
}

HMENU FormWindow::submenu(std::string_view caption) const {
    auto it = submenus_.find(caption);
    return it == submenus_.end() ? nullptr : it->second;
}

int FormWindow::menu_id(std::string_view caption) const {
    auto it = menu_ids_.find(caption);
    return it == menu_ids_.end() ? 0 : it->second;
}

bool FormWindow::is_menu_item_enabled(std::string_view caption) const {
    auto it = menu_enabled_.find(caption);
    return it != menu_enabled_.end() && it->second;
}

void FormWindow::set_menu_item_enabled(std::string_view caption, bool enabled) {
    auto it = menu_enabled_.find(caption);
    if (it == menu_enabled_.end()) return;
    it->second = enabled;
    if (menu_root_ != nullptr) {
        // The item lives in one of the menus; only the one holding it changes.
        EnableMenuItem(menu_root_, static_cast<UINT>(menu_id(caption)), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        for (auto& [name, sub] : submenus_) {
            EnableMenuItem(sub, static_cast<UINT>(menu_id(caption)), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        }
        if (GetMenu(hwnd_) != nullptr) DrawMenuBar(hwnd_);
    }
}

std::string_view FormWindow::menu_caption(int id) const {
    const int index = id - kFirstMenuId;
    if (index < 0 || index >= static_cast<int>(form_.menu.size())) return {};
    return form_.menu[static_cast<std::size_t>(index)].caption;
}

void FormWindow::set_timer(Control& timer, int milliseconds) {
    if (hwnd_ == nullptr) return;  // a null window would make it a thread timer
    if (milliseconds > 0) {
        SetTimer(hwnd_, static_cast<UINT_PTR>(timer.id), static_cast<UINT>(milliseconds), nullptr);
    } else {
        KillTimer(hwnd_, static_cast<UINT_PTR>(timer.id));
    }
}

void FormWindow::show_row(Control& list, int row) {
    const auto& cells = list.rows[static_cast<std::size_t>(row)];
    if (ListView_GetItemCount(list.hwnd) <= row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        std::wstring empty;
        item.pszText = empty.data();
        ListView_InsertItem(list.hwnd, &item);
    }
    for (std::size_t column = 0; column < cells.size(); ++column) {
        std::wstring text = wide(cells[column].shown);
        ListView_SetItemText(list.hwnd, row, static_cast<int>(column), text.data());
    }
}

bool FormWindow::handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    switch (message) {
        case WM_COMMAND: {
            if (lparam == 0 && HIWORD(wparam) == 0) {  // a menu item
                std::string_view caption = menu_caption(LOWORD(wparam));
                if (!caption.empty()) notify(caption, Event::kChosen, 0, 0);
                return true;
            }
            Control* c = control_by_id(LOWORD(wparam));
            if (c != nullptr && HIWORD(wparam) == BN_CLICKED &&
                (c->def->kind == ControlKind::kButton || c->def->kind == ControlKind::kCheckBox)) {
                notify(c->def->name, Event::kClicked, 0, 0);
                return true;
            }
            return false;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            Control* c = control_by_hwnd(header->hwndFrom);
            if (c == nullptr || c->def->kind != ControlKind::kList) return false;
            if (header->code == NM_CLICK) {
                notify(c->def->name, Event::kClicked, 0, 0);
            } else if (header->code == NM_RCLICK) {
                const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(lparam);
                notify(c->def->name, Event::kRightButtonPressed, click->ptAction.x, click->ptAction.y);
            }
            return false;
        }
        case WM_TIMER: {
            Control* c = control_by_id(static_cast<int>(wparam));
            if (c != nullptr) notify(c->def->name, Event::kTick, 0, 0);
            return c != nullptr;
        }
        case WM_MOUSEMOVE: {
            const int x = GET_X_LPARAM(lparam);
            const int y = GET_Y_LPARAM(lparam);
            // Group boxes let the mouse through to the window; tell them too.
            for (auto& [name, c] : controls_) {
                if (c.def->kind != ControlKind::kGroupBox || !IsWindowVisible(c.hwnd)) continue;
                const Rect& r = c.def->rect;
                if (x >= c.origin.x && x < c.origin.x + r.width && y >= c.origin.y && y < c.origin.y + r.height) {
                    notify(name, Event::kMouseMoved, x - c.origin.x, y - c.origin.y);
                }
            }
            notify("", Event::kMouseMoved, x, y);
            return true;
        }
        case WM_LBUTTONDOWN:
            notify("", Event::kLeftButtonPressed, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            return true;
        case WM_RBUTTONDOWN:
            notify("", Event::kRightButtonPressed, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            return true;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            const Control* c = control_by_hwnd(item->hwndItem);
            if (c == nullptr || (c->def->kind != ControlKind::kLabel && c->def->kind != ControlKind::kTransparentLabel)) {
                return false;
            }
            draw_label(*c, item->hDC, item->rcItem);
            *result = TRUE;
            return true;
        }
        default:
            return false;
    }
}

// Labels are drawn here, one line every kFontPixels as the forms were laid out: the
// static control would step by the font's own line height, which in a substitute for
// SimSun is often more, and the lower lines would slide away from their edit boxes.
void FormWindow::draw_label(const Control& label, HDC dc, RECT area) const {
    const bool transparent = label.def->kind == ControlKind::kTransparentLabel;
    if (!transparent) FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));  // else the window shows through
    const std::uint32_t rgb = label.def->text_color;
    SetTextColor(dc, transparent ? RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF) : GetSysColor(COLOR_BTNTEXT));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, font_);
    const int length = GetWindowTextLengthW(label.hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(label.hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    RECT line = area;
    for (std::size_t start = 0; start <= text.size(); line.top += kFontPixels) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::size_t shown = end > start && text[end - 1] == L'\r' ? end - 1 : end;
        DrawTextW(dc, text.data() + start, static_cast<int>(shown - start), &line,
                  DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        start = end + 1;
    }
    SelectObject(dc, old);
}

LRESULT CALLBACK FormWindow::control_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                               DWORD_PTR self_pointer) {
    auto* self = reinterpret_cast<FormWindow*>(self_pointer);
    Control* c = self->control_by_id(static_cast<int>(id));
    if (c != nullptr) {
        switch (message) {
            case WM_CHAR:
                // Digits-only boxes refuse typed characters other than 0-9 and "-".
                if (c->def->kind == ControlKind::kEditBox && c->def->edit.digits_only && wparam >= 0x20 &&
                    !(wparam >= L'0' && wparam <= L'9') && wparam != L'-') {
                    return 0;
                }
                break;
            case WM_LBUTTONDOWN:
                self->notify(c->def->name, Event::kLeftButtonPressed, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
                break;
            case WM_RBUTTONDOWN:
                if (c->def->kind != ControlKind::kList) {  // lists report it with the selection (NM_RCLICK)
                    self->notify(c->def->name, Event::kRightButtonPressed, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
                }
                break;
            case WM_MOUSEMOVE:
                if (c->def->kind == ControlKind::kList) {
                    self->notify(c->def->name, Event::kMouseMoved, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
                }
                break;
            case WM_NCDESTROY:
                RemoveWindowSubclass(hwnd, control_procedure, id);
                break;
            default:
                break;
        }
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace quillet::ui::win32
