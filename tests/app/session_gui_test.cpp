#include <gtest/gtest.h>

#include <filesystem>

#include "app/generator_window.h"
#include "app/password_vault.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/text_cipher.h"
#include "app_gui_fixture.h"
#include "db/database_handle.h"
#include "platform/manual_clock.h"
#include "platform/recording_clipboard.h"
#include "platform/settings_file.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using ui::Event;
namespace forms = quillet::ui::forms;

enum class Leave { kLogout, kExit, kCloseBox };
constexpr Leave kWaysToLeave[] = {Leave::kLogout, Leave::kExit, Leave::kCloseBox};

const char* name_of(Leave way) {
    switch (way) {
        case Leave::kLogout:
            return "logout";
        case Leave::kExit:
            return "exit";
        case Leave::kCloseBox:
            return "close box";
    }
    return "";
}

class SessionGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_session(state);
            bind_generator_window(state);
        });
    }

    // A store locked with `password` and data.ini as the setup leaves them.
    void store_login_password(const std::string& password) {
        ASSERT_TRUE(write_empty_store(path("data.edb")));
        db::Database db;
        ASSERT_TRUE(db::Database::open(path("data.edb"), {}, &db).ok());
        ASSERT_TRUE(db.set_password(password).ok());
        std::string recovery_code;
        ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password",
                                            format_vault(new_vault(password, &recovery_code))));
        ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    }

    void try_login(const std::string& typed) {
        windows().load_window(forms::login::window);
        windows().set_text(forms::login::window, forms::login::password, "");
        user().type_text(forms::login::window, forms::login::password, typed);
        user().click(forms::login::window, forms::login::log_in);
    }

    // Logs in and stops the real one-second timer, so that only the ticks a test raises count.
    void log_in(const std::string& password) {
        try_login(password);
        ASSERT_TRUE(windows().is_open(forms::main::window));
        windows().set_timer_interval(forms::main::window, forms::main::idle_timer, 0);
    }

    void leave(Leave way) {
        switch (way) {
            case Leave::kLogout:
                return user().click(forms::main::window, forms::main::log_out);
            case Leave::kExit:
                return user().click(forms::main::window, forms::main::quit);
            case Leave::kCloseBox:
                return user().press_close_box(forms::main::window);
        }
    }

    void tick(int times) {
        for (int i = 0; i < times; ++i) windows().raise(forms::main::window, forms::main::idle_timer, Event::kTick);
    }

    void expect_refused(const std::string& typed, const std::string& tip) {
        try_login(typed);
        EXPECT_EQ(balloons(), std::vector<std::string>{tip}) << "typed: " << typed;
        EXPECT_FALSE(windows().is_open(forms::main::window));
        EXPECT_TRUE(windows().is_open(forms::login::window));
        EXPECT_EQ(windows().text(forms::login::window, forms::login::password), typed);
        EXPECT_EQ(state().session_password.text(), "");
    }
};

TEST_F(SessionGuiTest, TheRightPasswordOpensTheMainWindowAndStartsTheSession) {
    store_login_password("Secret 密码");
    try_login("Secret 密码");
    EXPECT_TRUE(windows().is_open(forms::main::window));
    EXPECT_FALSE(windows().is_open(forms::login::window));
    EXPECT_EQ(state().session_password.text(), "Secret 密码");
    EXPECT_EQ(state().idle_countdown, kIdleTicks);
    EXPECT_TRUE(shown().empty());
}

TEST_F(SessionGuiTest, AnythingButTheExactPasswordIsRefused) {
    store_login_password("Secret");
    expect_refused("secret", "密码错误");
    expect_refused("Secret ", "密码错误");
    expect_refused(" Secret", "密码错误");
    expect_refused("Secre", "密码错误");
    expect_refused("", "请输入密码");
}

// With "?" in place of the characters GBK lacks, "pw" and an emoji would match a stored "pw?".
TEST_F(SessionGuiTest, APasswordWithCharactersGbkCannotHoldIsRefusedNotMatched) {
    store_login_password("pw?");
    windows().load_window(forms::login::window);
    user().type_text(forms::login::window, forms::login::password, "pw");
    user().type_utf8(forms::login::window, forms::login::password, "\xF0\x9F\x98\x80");
    user().click(forms::login::window, forms::login::log_in);
    EXPECT_EQ(messages(), std::vector<std::string>{"登录密码含有无法保存的字符（如表情符号、生僻字），未登录"});
    EXPECT_FALSE(windows().is_open(forms::main::window));
    EXPECT_EQ(state().session_password.text(), "");

    try_login("pw?");  // a real question mark is just a character
    EXPECT_TRUE(windows().is_open(forms::main::window));
}

TEST_F(SessionGuiTest, AMissingOrForeignStoredPasswordMatchesNothing) {
    expect_refused("anything", "密码错误");
    expect_refused("", "请输入密码");

    ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password", encipher("pw", "1234567890")));
    expect_refused("pw", "密码错误");
    // The bare digits without the check tag.
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password", "6067"));
    expect_refused("pw", "密码错误");

    std::filesystem::remove(path("data.ini"));
    std::filesystem::create_directory(path("data.ini"));
    expect_refused("pw", "密码错误");
}

TEST_F(SessionGuiTest, EachLoginRoundTakesTheNewlyTypedPassword) {
    for (const std::string password : {"first", "second", "third"}) {
        store_login_password(password);
        log_in(password);
        EXPECT_EQ(state().session_password.text(), password);
        user().click(forms::main::window, forms::main::log_out);
        EXPECT_TRUE(windows().is_open(forms::login::window));
        EXPECT_FALSE(windows().is_open(forms::main::window));
        EXPECT_EQ(state().session_password.text(), "");
    }
}

TEST_F(SessionGuiTest, LogoutExitAndTheCloseBoxCloseTheSessionsOtherWindows) {
    store_login_password("pw");
    for (const Leave way : kWaysToLeave) {
        SCOPED_TRACE(name_of(way));
        log_in("pw");
        windows().load_window(forms::record::window);
        user().click(forms::record::window, forms::record::random_password);
        windows().load_window(forms::ftp::window);
        ASSERT_TRUE(windows().is_open(forms::generator::window));

        leave(way);
        EXPECT_FALSE(windows().is_open(forms::main::window));
        EXPECT_FALSE(windows().is_open(forms::record::window));
        EXPECT_FALSE(windows().is_open(forms::generator::window));
        EXPECT_FALSE(windows().is_open(forms::ftp::window));
        EXPECT_EQ(windows().is_open(forms::login::window), way == Leave::kLogout);
        EXPECT_EQ(state().session_password.text(), "");
    }
}

TEST_F(SessionGuiTest, LeavingTheSessionTakesItsPasswordOffTheClipboard) {
    platform::RecordingClipboard clipboard;
    platform::set_clipboard(&clipboard);
    store_login_password("pw");
    for (const Leave way : kWaysToLeave) {
        SCOPED_TRACE(name_of(way));
        log_in("pw");
        clipboard.set_text("secret", platform::Sensitivity::kSecret);
        leave(way);
        EXPECT_EQ(clipboard.content(), "");
    }
    // What the user copied from elsewhere since is theirs and stays.
    log_in("pw");
    clipboard.set_text("secret", platform::Sensitivity::kSecret);
    clipboard.copy_from_elsewhere("theirs");
    user().click(forms::main::window, forms::main::log_out);
    EXPECT_EQ(clipboard.content(), "theirs");
    platform::set_clipboard(nullptr);
}

TEST_F(SessionGuiTest, PointerMovementOverTheWindowListOrGroupKeepsTheSessionAlive) {
    store_login_password("pw");
    log_in("pw");
    for (std::string_view control : {std::string_view(), forms::main::list, forms::main::data_group}) {
        tick(kIdleTicks - 1);
        ASSERT_TRUE(windows().is_open(forms::main::window)) << control;
        user().move_mouse_over(forms::main::window, control);
        EXPECT_EQ(state().idle_countdown, kIdleTicks) << control;
    }
    // Other controls do not count.
    windows().raise(forms::main::window, forms::main::log_out, Event::kMouseMoved);
    tick(kIdleTicks - 1);
    EXPECT_TRUE(windows().is_open(forms::main::window));
    tick(1);
    EXPECT_FALSE(windows().is_open(forms::main::window));
    EXPECT_TRUE(windows().is_open(forms::login::window));
    EXPECT_EQ(state().session_password.text(), "");
}

// After an idle logout the countdown is spent; the next session must still get its
// full ten minutes.
TEST_F(SessionGuiTest, ASessionAfterAnIdleLogoutStartsWithTheFullCountdown) {
    store_login_password("pw");
    log_in("pw");
    tick(kIdleTicks);
    ASSERT_FALSE(windows().is_open(forms::main::window));
    EXPECT_LE(state().idle_countdown, 0);

    log_in("pw");
    EXPECT_EQ(state().idle_countdown, kIdleTicks);
    tick(1);
    EXPECT_TRUE(windows().is_open(forms::main::window));
}

// The timer only says when to look; the clock says how much time has passed, so a tick
// that comes late (a busy window thread, a suspended machine) does not stretch the session.
TEST_F(SessionGuiTest, TheIdleCountdownFollowsTheClockNotTheNumberOfTicks) {
    platform::ManualClock clock;
    platform::set_clock(&clock);
    store_login_password("pw");
    log_in("pw");
    clock.advance((kIdleTicks - 1) * 1000);
    tick(1);
    EXPECT_EQ(state().idle_countdown, 1);
    user().move_mouse_over(forms::main::window, "");
    clock.advance(kIdleTicks * 1000 - 1);  // just short of ten minutes
    tick(1);
    EXPECT_TRUE(windows().is_open(forms::main::window));
    clock.advance(1);
    tick(1);
    EXPECT_FALSE(windows().is_open(forms::main::window));
    EXPECT_TRUE(windows().is_open(forms::login::window));
    platform::set_clock(nullptr);
}

}  // namespace
}  // namespace quillet::app
