// The program-wide state that the window handlers share. It belongs to the window
// thread: handlers read and write it there, and a worker thread is handed copies of
// what it needs when it starts.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <string>

#include "app/ftp_password.h"
#include "platform/secret_text.h"

#include "ui/window_layer.h"

namespace quillet::app {

struct AppState {
    explicit AppState(ui::WindowLayer& window_layer) : windows(window_layer) {}

    ui::WindowLayer& windows;
    // The login password of the current session; the access password of the store.
    platform::SecretText session_password;
    // The key that seals ftp.ini's password in this session, derived on a worker thread
    // from the login (empty before a login and after the session ends).
    std::shared_future<std::shared_ptr<const FtpKey>> ftp_key;
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
