// The main window's record commands: the list load at opening, refresh, the queries,
// delete, visit, show real password, the remark detail, the pop-up menu, and opening
// the record window to add or modify.
#pragma once

#include "app/app_state.h"
#include "app/list_load.h"
#include "app/record_list.h"

namespace quillet::app {

// Binds the handlers. The created-event step (the worker list load) is bound first, so
// bind this before the other created-event steps of the main window.
void bind_record_commands(AppState& state);

}  // namespace quillet::app
