// The program-wide state that the window handlers share. It belongs to the window
// thread: handlers read and write it there, and a worker thread is handed copies of
// what it needs when it starts.
#pragma once

#include <cstdint>
#include <string>

#include "ui/window_layer.h"

namespace quillet::app {

struct AppState {
    explicit AppState(ui::WindowLayer& window_layer) : windows(window_layer) {}

    ui::WindowLayer& windows;
    // The login password of the current session; the access password of the store.
    std::string session_password;
    // Ticks of 时钟1 left before the idle logout.
    int idle_countdown = 0;
    // The clock's tick count at the last idle tick (or at the session's start).
    std::uint32_t idle_tick_ms = 0;
    // Record window: 0 = add, 1 = modify; the list row chosen for modify and its ID.
    int edit_mode = 0;
    int remembered_row = -1;
    int remembered_id = 0;
};

}  // namespace quillet::app
