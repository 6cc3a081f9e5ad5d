#include "app/record_list.h"

namespace quillet::app {

std::string row_password_cipher(const ui::WindowLayer& windows, int row) {
    return windows.list_cell_data(ui::kMainWindow, kRecordList, row, kPasswordColumn);
}

std::string selected_password_cipher(const ui::WindowLayer& windows) {
    const int row = windows.list_selected_row(ui::kMainWindow, kRecordList);
    return row < 0 ? std::string() : row_password_cipher(windows, row);
}

}  // namespace quillet::app
