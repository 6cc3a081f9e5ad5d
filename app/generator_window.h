// The generator window: opened from the record window, it makes a random password and
// hands it to the record window's password box.
#pragma once

#include "app/app_state.h"

namespace quillet::app {

void bind_generator_window(AppState& state);

}  // namespace quillet::app
