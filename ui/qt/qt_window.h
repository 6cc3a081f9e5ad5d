// A form window of the Qt toolkit as the front end sees it.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace quillet::ui {

std::unique_ptr<ToolkitWindow> make_qt_window(const FormDef& form, WindowEvents events);

}  // namespace quillet::ui
