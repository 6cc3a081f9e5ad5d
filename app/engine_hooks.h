// Fills the database engine's two hooks, the access-password prompt and the fatal
// report, from the window layer. The engine may call them from a worker thread (the
// list load); the dialogs are shown on the window thread.
#pragma once

#include "ui/window_layer.h"

namespace quillet::app {

void connect_engine_hooks(ui::WindowLayer& windows);
// Before the window layer goes away.
void disconnect_engine_hooks();

}  // namespace quillet::app
