#include "app/engine_hooks.h"

#include <string>

#include "db/hooks.h"

namespace quillet::app {

void connect_engine_hooks(ui::WindowLayer& windows) {
    db::set_password_prompt([&windows](int tries_left, std::string* password) {
        bool confirmed = false;
        windows.run_on_window_thread([&] { confirmed = windows.password_prompt(tries_left, password); });
        return confirmed;
    });
    // A message box needs no window of its own, so the report shows even before the
    // first window opens.
    db::set_fatal_report(
        [&windows](const std::string& text) { windows.run_on_window_thread([&] { windows.message_box(text); }); });
}

void disconnect_engine_hooks() {
    db::set_password_prompt(nullptr);
    db::set_fatal_report(nullptr);
}

}  // namespace quillet::app
