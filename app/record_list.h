// The main window's record list: where each record field sits, and where a row keeps
// its stored password. Column 3 shows the cipher text until "显示真实密码" replaces it
// with the clear password; the cell's hidden data always holds the stored cipher text,
// so every command that needs the password reads it from there.
#pragma once

#include <string>
#include <string_view>

#include "ui/window_layer.h"

namespace quillet::app {


enum RecordColumn : int {
    kIdColumn = 0,
    kPlatformColumn = 1,
    kAccountColumn = 2,
    kPasswordColumn = 3,
    kAddressColumn = 4,
    kRemarkColumn = 5,
};

// The stored cipher text of a row of the main window's list; empty for a missing row.
std::string row_password_cipher(const ui::WindowLayer& windows, int row);
// The same for the selected row; empty when no row is selected.
std::string selected_password_cipher(const ui::WindowLayer& windows);

}  // namespace quillet::app
