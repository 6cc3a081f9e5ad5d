// A hidden message-only window of the window thread: it receives the hot-key messages
// and the clipboard's expiry timer, which Windows delivers to a window of the thread
// that asked for them.
#pragma once

#include <windows.h>

#include <functional>

namespace quillet::platform {

// Created on first use by the calling thread (the window thread); nullptr when Windows
// refuses to create it.
HWND message_window();
// `handler` receives every `message` the window gets from now on, replacing an earlier one.
void handle_message(UINT message, std::function<void(WPARAM, LPARAM)> handler);

}  // namespace quillet::platform
