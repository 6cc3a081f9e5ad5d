// The program: the window layer, the program-wide objects, the handlers of every window,
// the start-up decision and the message loop.
#include "app/app_state.h"
#include "app/copy_and_type.h"
#include "app/data_location.h"
#include "app/engine_hooks.h"
#include "app/ftp_window.h"
#include "app/generator_window.h"
#include "app/main_list.h"
#include "app/record_window.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/update_notice.h"
#include "ftp/ftp_client.h"
#include "net/version_check_client.h"
#include "platform/process_privacy.h"

#ifdef _WIN32
#include "ui/win32_window_layer.h"
using SystemWindowLayer = quillet::ui::Win32WindowLayer;
#else
#include "ui/qt_window_layer.h"
using SystemWindowLayer = quillet::ui::QtWindowLayer;
#endif

int main() {
    quillet::platform::keep_process_memory_private();
    SystemWindowLayer windows;
    // The program-wide objects; they end after the message loop, before the window layer.
    quillet::ftp::FtpClient ftp_client;
    quillet::net::VersionCheckClient version_check_client;
    quillet::app::AppState state(windows);
    quillet::app::connect_engine_hooks(windows);

    // Bound in this order so that the main window's created-event steps run in order:
    // list load, hot keys, idle timer, update check.
    quillet::app::bind_record_commands(state);
    quillet::app::bind_record_window(state);
    quillet::app::bind_copy_and_type(state);
    quillet::app::bind_session(state);
    quillet::app::bind_generator_window(state);
    quillet::app::bind_ftp_window(state, ftp_client);
    quillet::app::bind_password_setup(state);
    quillet::app::bind_update_notice(state, version_check_client);

    quillet::app::settle_data_location(windows);
    quillet::app::run_startup(state);
    const int exit_code = windows.run();
    quillet::app::wait_for_list_loads();

    quillet::app::release_session_password(state);
    quillet::app::disconnect_engine_hooks();
    return exit_code;
}
