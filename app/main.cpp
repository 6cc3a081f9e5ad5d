// The program: the window layer, the program-wide objects, the handlers of every window,
// the start-up decision and the message loop.
#include <string>

#include "app/app_state.h"
#include "app/copy_and_type.h"
#include "app/ftp_window.h"
#include "app/generator_window.h"
#include "app/main_list.h"
#include "app/record_window.h"
#include "app/session.h"
#include "app/startup.h"
#include "db/hooks.h"
#include "ftp/ftp_client.h"
#include "net/version_check_client.h"
#include "ui/qt_window_layer.h"

namespace {

using quillet::ui::WindowLayer;

// The engine may call its hooks from a worker thread (the list load); dialogs belong
// to the window thread.
void wire_engine_hooks(WindowLayer& windows) {
    quillet::db::set_password_prompt([&windows](int tries_left, std::string* password) {
        bool confirmed = false;
        windows.run_on_window_thread([&] { confirmed = windows.password_prompt(tries_left, password); });
        return confirmed;
    });
    quillet::db::set_fatal_report(
        [&windows](const std::string& text) { windows.run_on_window_thread([&] { windows.message_box(text); }); });
}

}  // namespace

int main() {
    quillet::ui::QtWindowLayer windows;
    // The program-wide objects; they end after the message loop, before the window layer.
    quillet::ftp::FtpClient ftp_client;
    quillet::net::VersionCheckClient version_check_client;
    quillet::app::AppState state(windows);
    wire_engine_hooks(windows);

    // Bound in this order so that the main window's created-event steps run in order:
    // list load, hot keys, idle timer, update check.
    quillet::app::bind_record_commands(state);
    quillet::app::bind_record_window(state);
    quillet::app::bind_copy_and_type(state);
    quillet::app::bind_session(state);
    quillet::app::bind_generator_window(state);
    quillet::app::bind_ftp_window(state, ftp_client);
    quillet::app::bind_password_setup(state);

    quillet::app::run_startup(state);
    const int exit_code = windows.run();
    quillet::app::wait_for_list_loads();

    quillet::app::release_session_password(state);
    // The hooks refer to the window layer, which ends with this function.
    quillet::db::set_password_prompt(nullptr);
    quillet::db::set_fatal_report(nullptr);
    return exit_code;
}
