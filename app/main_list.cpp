#include "app/main_list.h"

#include <array>
#include <string>
#include <string_view>

#include "app/record_store.h"
#include "app/text_cipher.h"
#include "app/web_address.h"
#include "platform/shell.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;

// The items that need a selected row.
constexpr std::array<std::string_view, 5> kRowItems = {forms::main::menu::remove, forms::main::menu::modify,
                                                       forms::main::menu::copy, forms::main::menu::password,
                                                       forms::main::menu::visit};

int selected_row(const ui::WindowLayer& windows) {
    return windows.list_selected_row(forms::main::window, forms::main::list);
}

std::string selected_cell(const ui::WindowLayer& windows, RecordColumn column) {
    return windows.list_cell(forms::main::window, forms::main::list, selected_row(windows), column);
}

void query(AppState& state, std::string_view caption, SearchField field) {
    std::string entered;
    if (!state.windows.input_box(caption, "", "", &entered)) return;
    show_records(state.windows, filter_records(state.session_password.text(), field, entered));
}

void delete_selected(AppState& state) {
    if (selected_row(state.windows) < 0) return;
    // The ID is read before asking: the user confirms the record shown selected, and a
    // reload while the question is open clears the selection.
    const std::int32_t id = parse_id(selected_cell(state.windows, kIdColumn));
    if (!state.windows.question_box("确认删除该数据吗，删除后无法找回！")) return;
    if (delete_record(state.session_password.text(), id) == WriteResult::kDone) load_list(state);
}

void visit_selected(AppState& state) {
    if (selected_row(state.windows) < 0) return;
    if (auto address = web_address_to_open(selected_cell(state.windows, kAddressColumn))) {
        platform::shell().open(*address);
    }
}

// Deciphers the row's stored cipher text, not the cell's shown text, so revealing twice
// still shows the password.
void reveal_selected(AppState& state) {
    const int row = selected_row(state.windows);
    if (row < 0) return;
    state.windows.list_set_cell(forms::main::window, forms::main::list, row, kPasswordColumn,
                                decipher(row_password_cipher(state.windows, row), kCipherKey));
}

void show_remark(AppState& state) {
    state.windows.set_text(forms::main::window, forms::main::remark, selected_cell(state.windows, kRemarkColumn));
}

void pop_up_menu(AppState& state) {
    const bool has_row = selected_row(state.windows) >= 0;
    for (std::string_view item : kRowItems) state.windows.set_menu_item_enabled(forms::main::window, item, has_row);
    state.windows.popup_menu(forms::main::window, forms::main::menu::root, state.windows.cursor_position());
}

// Opens the record window in `mode`. An open window in another mode, or one opened to
// modify, is opened anew so that its boxes match the command chosen.
void open_record_window(AppState& state, int mode) {
    const bool reopen = state.windows.is_open(forms::record::window) && (mode == 1 || state.edit_mode != mode);
    if (reopen) state.windows.destroy_window(forms::record::window);
    state.edit_mode = mode;
    if (mode == 1) state.remembered_row = selected_row(state.windows);
    state.windows.load_window(forms::record::window);
}

}  // namespace

void bind_record_commands(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    AppState* s = &state;
    windows.bind(forms::main::window, "", Event::kCreated, [s](int, int) { start_list_load(*s); });
    auto on_menu = [&windows](std::string_view item, auto action) {
        windows.bind(forms::main::window, item, Event::kChosen, [action](int, int) { action(); });
    };
    on_menu(forms::main::menu::refresh, [s] { start_list_load(*s); });
    on_menu(forms::main::menu::search_platform, [s] { query(*s, "输入平台名", SearchField::kPlatform); });
    on_menu(forms::main::menu::search_address, [s] { query(*s, "输入网址", SearchField::kAddress); });
    on_menu(forms::main::menu::remove, [s] { delete_selected(*s); });
    on_menu(forms::main::menu::visit, [s] { visit_selected(*s); });
    on_menu(forms::main::menu::reveal_password, [s] { reveal_selected(*s); });
    on_menu(forms::main::menu::add, [s] { open_record_window(*s, 0); });
    on_menu(forms::main::menu::modify, [s] {
        if (selected_row(s->windows) >= 0) open_record_window(*s, 1);
    });
    windows.bind(forms::main::window, forms::main::list, Event::kClicked, [s](int, int) { show_remark(*s); });
    windows.bind(forms::main::window, forms::main::list, Event::kRightButtonPressed,
                 [s](int, int) { pop_up_menu(*s); });
}

}  // namespace quillet::app
