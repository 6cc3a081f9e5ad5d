// Settles where the program's files live before the start-up decision, and tells the user
// what a system install cannot do by itself: create that place, or find the data of an
// earlier per-user install (scripts/install.sh kept it in ~/.local/opt/quillet).
#pragma once

#include <string>

#include "ui/window_layer.h"

namespace quillet::app {

// The folder the per-user install kept its program and data in, under `home`.
std::string earlier_install_directory(const std::string& home);

// The message for a user whose data lies in `earlier` while the program now keeps its
// files in `data_directory` (which holds no data.ini yet): where it is and how to move
// it. Empty when there is nothing to say.
std::string earlier_data_notice(const std::string& earlier, const std::string& data_directory);

// Points the program at its data directory, then shows at most one message box: the data
// directory could not be created, or earlier data waits to be moved.
void settle_data_location(ui::WindowLayer& windows);

}  // namespace quillet::app
