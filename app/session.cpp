#include "app/session.h"

#include "app/login_password.h"
#include "app/unstorable_text.h"
#include "db/database.h"
#include "platform/clipboard.h"
#include "platform/secret_text.h"

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
    if (!check_login_password(typed)) {
        wipe_text(typed);
        show_login_tip(windows, "密码错误");
        return;
    }
    release_session_password(state);
    state.session_password = std::move(typed);
    windows.load_window(kMainWindow);
    windows.destroy_window(kLoginWindow);
}

// The secondary windows belong to the session that opened them; none may outlive it
// and keep working on the store after the user left.
void close_session_windows(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    windows.destroy_window(ui::kRecordWindow);
    windows.destroy_window(ui::kGeneratorWindow);
    windows.destroy_window(ui::kFtpWindow);
    windows.destroy_window(kMainWindow);
    release_session_password(state);
    // A password copied in this session does not wait out its lifetime after the user left.
    platform::clipboard().clear_secret();
}

void log_out(AppState& state) {
    state.windows.load_window(kLoginWindow);
    close_session_windows(state);
}

void idle_tick(AppState& state) {
    if (--state.idle_countdown <= 0) log_out(state);
}

}  // namespace

void wipe_text(std::string& text) { platform::wipe_secret(text); }

void release_session_password(AppState& state) {
    wipe_text(state.session_password);
    db::forget_cached_keys();
}

void bind_session(AppState& state) {
    ui::WindowLayer& windows = state.windows;
    windows.bind(kLoginWindow, "按钮_登录", Event::kClicked, [&state](int, int) { log_in(state); });
    windows.bind(kMainWindow, "按钮_注销", Event::kClicked, [&state](int, int) { log_out(state); });
    windows.bind(kMainWindow, "按钮_退出", Event::kClicked, [&state](int, int) { close_session_windows(state); });

    const auto reset_countdown = [&state](int, int) { state.idle_countdown = kIdleTicks; };
    windows.bind(kMainWindow, "", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "超级列表框1", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "分组框_数据", Event::kMouseMoved, reset_countdown);
    windows.bind(kMainWindow, "时钟1", Event::kTick, [&state](int, int) { idle_tick(state); });

    // Every session starts with the full ten minutes, not with what the last one left.
    windows.bind(kMainWindow, "", Event::kCreated, [&state](int, int) {
        state.idle_countdown = kIdleTicks;
        state.windows.set_timer_interval(kMainWindow, "时钟1", 1000);
    });
}

}  // namespace quillet::app
