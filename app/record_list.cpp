#include "app/record_list.h"

#include "ui/forms.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

std::string row_password_cipher(const ui::WindowLayer& windows, int row) {
    return windows.list_cell_data(forms::main::window, forms::main::list, row, kPasswordColumn);
}

std::string selected_password_cipher(const ui::WindowLayer& windows) {
    const int row = windows.list_selected_row(forms::main::window, forms::main::list);
    return row < 0 ? std::string() : row_password_cipher(windows, row);
}

}  // namespace quillet::app
