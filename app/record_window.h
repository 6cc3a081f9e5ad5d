// The record window's own handlers: filling the boxes when it opens to modify, and
// 按钮_确认 (add or modify).
#pragma once

#include "app/app_state.h"

namespace quillet::app {

void bind_record_window(AppState& state);

}  // namespace quillet::app
