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

namespace quillet::app {
namespace {

using ui::Event;
using ui::kLoginWindow;
using ui::kMainWindow;

void show_login_tip(ui::WindowLayer& windows, std::string_view text) {
    windows.balloon_tip(kLoginWindow, "气球提示框1", text, windows.cursor_position());
}

void log_in(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    std::string typed = windows.text(kLoginWindow, "编辑框_登录密码");
    if (typed.empty()) {
        show_login_tip(windows, "请输入密码");
        return;
    }
    // Told apart from a wrong password: with "?" in their place, two different passwords
    // would count as the same.
    if (refuse_unstorable_text(windows, kLoginWindow, {{"编辑框_登录密码", "登录密码"}}, "未登录")) {
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
    windows.load_window(kMainWindow);
    windows.destroy_window(kLoginWindow);
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
    windows.destroy_window(ui::kRecordWindow);
    windows.destroy_window(ui::kGeneratorWindow);
    windows.destroy_window(ui::kFtpWindow);
    release_session_password(state);
    // A password copied in this session does not wait out its lifetime after the user left.
    platform::clipboard().clear_secret();
    // Last: a suspend waits for this, so that the machine sleeps with the session ended.
    platform::desk_events().stop();
}

void log_out(AppState& state) {
    state.windows.load_window(kLoginWindow);
    state.windows.destroy_window(kMainWindow);
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
    windows.bind(kLoginWindow, "按钮_登录", Event::kClicked, [&state](int, int) { log_in(state); });
    windows.bind(kMainWindow, "按钮_注销", Event::kClicked, [&state](int, int) { log_out(state); });
    windows.bind(kMainWindow, "按钮_退出", Event::kClicked,
                 [&state](int, int) { state.windows.destroy_window(kMainWindow); });
    windows.bind(kMainWindow, "", Event::kDestroyed, [&state](int, int) { end_session(state); });

    const auto reset_countdown = [&state](int, int) { state.idle_countdown = kIdleTicks; };
    windows.bind(kMainWindow, "", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "超级列表框1", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "分组框_数据", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "时钟1", Event::kTick, [&state](int, int) { idle_tick(state); });

    // Every session starts with the full ten minutes, not with what the last one left.
    windows.bind(kMainWindow, "", Event::kCreated, [&state](int, int) {
        state.idle_countdown = kIdleTicks;
        state.idle_tick_ms = platform::clock().tick_count_ms();
        state.windows.set_timer_interval(kMainWindow, "时钟1", 1000);
        // A locked screen, a sleeping machine or another user's session: the user has left.
        platform::desk_events().watch([&state] { log_out(state); });
    });
}

}  // namespace quillet::app
