// The message that shows a new recovery code, once.
#pragma once

#include <string>

#include "ui/window_layer.h"

namespace quillet::app {

void show_recovery_code(ui::WindowLayer& windows, const std::string& code);

}  // namespace quillet::app
