// Fills the database engine's fatal report from the window layer. The engine may raise it
// from a worker thread (the list load); the message box is shown on the window thread.
// The engine's other hook, the password prompt, stays empty: the program opens every
// store with the session password and never asks the engine to prompt.
#pragma once

#include "ui/window_layer.h"

namespace quillet::app {

void connect_engine_hooks(ui::WindowLayer& windows);
// Before the window layer goes away.
void disconnect_engine_hooks();

}  // namespace quillet::app
