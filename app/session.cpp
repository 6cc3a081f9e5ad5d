#include "app/session.h"

#include <algorithm>
#include <cstdint>
#include <future>

#include "app/ftp_password.h"
#include "app/login_password.h"
#include "app/recovery_notice.h"
#include "app/unstorable_text.h"
#include "db/database_handle.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/desk_events.h"
#include "platform/program_dir.h"
#include "platform/secret_text.h"
#include "platform/settings_file.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;

void show_login_tip(ui::WindowLayer& windows, std::string_view text) {
    windows.balloon_tip(forms::login::window, forms::login::tip, text, windows.cursor_position());
}

void log_in(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    std::string typed = windows.text(forms::login::window, forms::login::password);
    if (typed.empty()) {
        show_login_tip(windows, "请输入密码");
        return;
    }
    // Told apart from a wrong password: with "?" in their place, two different passwords
    // would count as the same.
    if (refuse_unstorable_text(windows, forms::login::window, {{forms::login::password, "登录密码"}}, "未登录")) {
        wipe_text(typed);
        return;
    }
    const LoginResult login = log_in_with(typed);
    switch (login.kind) {
        case LoginResult::Kind::kLoggedIn:
            break;
        case LoginResult::Kind::kWrongPassword:
            wipe_text(typed);
            show_login_tip(windows, "密码错误");
            return;
        case LoginResult::Kind::kStoreWithoutPassword:
            wipe_text(typed);
            windows.message_box(
                "数据文件 data.edb 没有设置访问密码，无法核对登录密码，未登录。\r\n"
                "请先用命令 edb passwd data.edb 给它设置访问密码（即登录密码），再登录。");
            return;
    }
    release_session_password(state);
    state.session_password = platform::SecretText(std::move(typed));
    start_ftp_key(state);
    windows.load_window(forms::main::window);
    windows.destroy_window(forms::login::window);
    if (!login.store_problem.empty()) windows.message_box(login.store_problem);
    if (!login.new_recovery_code.empty()) show_recovery_code(windows, login.new_recovery_code);
}

// Whatever ends the main window ends the session: 注销, 退出, the idle logout, leaving the
// desk and the window's own close box alike. The secondary windows belong to the session that opened
// them; none may outlive it and keep working on the store after the user left.
void end_session(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    // The end may come inside the nested loop of a menu or a dialog (the idle logout, a
    // close request while a menu is open); they are closed as if cancelled, so that
    // nothing the user answers later acts for an ended session.
    windows.close_dialogs();
    windows.destroy_window(forms::record::window);
    windows.destroy_window(forms::generator::window);
    windows.destroy_window(forms::ftp::window);
    release_session_password(state);
    // A password copied in this session does not wait out its lifetime after the user left.
    platform::clipboard().clear_secret();
    // Last: a suspend waits for this, so that the machine sleeps with the session ended.
    platform::desk_events().stop();
}

void log_out(AppState& state) {
    state.windows.load_window(forms::login::window);
    state.windows.destroy_window(forms::main::window);
}

// Counts the whole seconds the clock says have passed, at least one per tick: a tick that
// comes late (a busy window thread, a suspended machine) must not stretch the session.
void idle_tick(AppState& state) {
    const std::uint32_t now = platform::clock().tick_count_ms();
    const std::uint32_t seconds = (now - state.idle_tick_ms) / 1000;
    if (seconds == 0) {
        state.idle_tick_ms = now;
        --state.idle_countdown;
    } else {
        state.idle_tick_ms += seconds * 1000;  // the part of a second left counts next time
        state.idle_countdown -= static_cast<int>(std::min<std::uint32_t>(seconds, kIdleTicks));
    }
    if (state.idle_countdown > 0) return;
    log_out(state);
}

}  // namespace

void start_ftp_key(AppState& state) {
    // Derived off the window thread: it takes a noticeable fraction of a second.
    state.ftp_key = std::async(std::launch::async, [password = state.session_password] {
                        return derive_ftp_key(platform::read_setting(platform::program_file("ftp.ini"), "ftp",
                                                                     "password"),
                                              password.text());
                    }).share();
}

const FtpKey& session_ftp_key(AppState& state) {
    if (!state.ftp_key.valid()) start_ftp_key(state);
    return *state.ftp_key.get();
}

void wipe_text(std::string& text) { platform::wipe_secret(text); }

void release_session_password(AppState& state) {
    state.session_password = {};
    state.ftp_key = {};
    db::forget_cached_keys();
}

void bind_session(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    windows.bind(forms::login::window, forms::login::log_in, Event::kClicked, [&state](int, int) { log_in(state); });
    windows.bind(forms::main::window, forms::main::log_out, Event::kClicked, [&state](int, int) { log_out(state); });
    windows.bind(forms::main::window, forms::main::quit, Event::kClicked,
                 [&state](int, int) { state.windows.destroy_window(forms::main::window); });
    windows.bind(forms::main::window, "", Event::kDestroyed, [&state](int, int) { end_session(state); });

    const auto reset_countdown = [&state](int, int) { state.idle_countdown = kIdleTicks; };
    windows.bind(forms::main::window, "", Event::kMouseMoved, reset_countdown);
    windows.bind(forms::main::window, forms::main::list, Event::kMouseMoved, reset_countdown);
    windows.bind(forms::main::window, forms::main::data_group, Event::kMouseMoved, reset_countdown);
    windows.bind(forms::main::window, forms::main::idle_timer, Event::kTick, [&state](int, int) { idle_tick(state); });

    // Every session starts with the full ten minutes, not with what the last one left.
    windows.bind(forms::main::window, "", Event::kCreated, [&state](int, int) {
        state.idle_countdown = kIdleTicks;
        state.idle_tick_ms = platform::clock().tick_count_ms();
        state.windows.set_timer_interval(forms::main::window, forms::main::idle_timer, 1000);
        // A locked screen, a sleeping machine or another user's session: the user has left.
        platform::desk_events().watch([&state] { log_out(state); });
    });
}

}  // namespace quillet::app
