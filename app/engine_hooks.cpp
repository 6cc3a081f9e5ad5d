#include "app/engine_hooks.h"

#include <string>

#include "db/hooks.h"

namespace quillet::app {

void connect_engine_hooks(ui::WindowLayer& windows) {
    // A message box needs no window of its own, so the report shows even before the
    // first window opens.
    db::set_fatal_report(
        [&windows](const std::string& text) { windows.run_on_window_thread([&] { windows.message_box(text); }); });
}

void disconnect_engine_hooks() { db::set_fatal_report(nullptr); }

}  // namespace quillet::app
