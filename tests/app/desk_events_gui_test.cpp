// Leaving the desk (a locked screen, a suspend, a switched session) ends the session the
// way the idle logout does, and the program holds a suspend back only while a session runs.
#include <gtest/gtest.h>

#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <wtsapi32.h>
#endif

#include "app/copy_and_type.h"
#include "app/ftp_window.h"
#include "app/generator_window.h"
#include "app/password_vault.h"
#include "app/record_window.h"
#include "app/session.h"
#include "app_gui_fixture.h"
#include "ftp/ftp_client.h"
#include "platform/recording_clipboard.h"
#include "platform/recording_desk_events.h"
#include "platform/recording_hot_keys.h"
#include "platform/settings_file.h"
#include "tests/app/record_store_fixture.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using platform::HotKey;
namespace forms = quillet::ui::forms;

constexpr char kPassword[] = "pw";

class DeskEventsGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            static ftp::FtpClient client;
            bind_copy_and_type(state);
            bind_session(state);
            bind_record_window(state);
            bind_generator_window(state);
            bind_ftp_window(state, client);
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        platform::set_desk_events(&desk_);
        platform::set_hot_keys(&hot_keys_);
        platform::set_clipboard(&clipboard_);
        create_record_store(kPassword);
        std::string recovery_code;
        ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password",
                                            format_vault(new_vault(kPassword, &recovery_code))));
    }

    void TearDown() override {
        AppGuiTest::TearDown();
        platform::set_clipboard(nullptr);
        platform::set_hot_keys(nullptr);
        platform::set_desk_events(nullptr);
    }

    void log_in() {
        windows().load_window(forms::login::window);
        windows().set_text(forms::login::window, forms::login::password, kPassword);
        user().click(forms::login::window, forms::login::log_in);
        ASSERT_TRUE(windows().is_open(forms::main::window));
        windows().set_timer_interval(forms::main::window, forms::main::idle_timer, 0);
    }

    platform::RecordingDeskEvents desk_;
    platform::RecordingHotKeys hot_keys_;
    platform::RecordingClipboard clipboard_;
};

TEST_F(DeskEventsGuiTest, LeavingTheDeskEndsTheSessionAsTheIdleLogoutDoes) {
    log_in();
    ASSERT_TRUE(hot_keys_.is_held(HotKey::kF1));
    for (std::string_view window : {forms::record::window, forms::generator::window, forms::ftp::window}) {
        windows().load_window(window);
    }
    session_ftp_key(state());
    clipboard_.set_text("secret", platform::Sensitivity::kSecret);

    ASSERT_TRUE(desk_.leave());

    EXPECT_TRUE(windows().is_open(forms::login::window));
    for (std::string_view window :
         {forms::main::window, forms::record::window, forms::generator::window, forms::ftp::window}) {
        EXPECT_FALSE(windows().is_open(window)) << window;
    }
    EXPECT_EQ(state().session_password.text(), "");
    EXPECT_FALSE(state().ftp_key.valid());
    EXPECT_EQ(clipboard_.content(), "");
    for (HotKey key : {HotKey::kF1, HotKey::kF2, HotKey::kF3}) EXPECT_FALSE(hot_keys_.is_held(key));
    // The logout is done: a suspend that waited for it may go on.
    EXPECT_FALSE(desk_.is_watching());
}

// Only a session is held against a suspend, and each new session is watched again,
// however the last one ended.
TEST_F(DeskEventsGuiTest, OnlyALoggedInSessionIsWatched) {
    windows().load_window(forms::login::window);
    EXPECT_FALSE(desk_.is_watching());
    EXPECT_FALSE(desk_.leave());

    log_in();
    EXPECT_TRUE(desk_.is_watching());
    user().click(forms::main::window, forms::main::log_out);
    EXPECT_FALSE(desk_.is_watching());

    log_in();
    EXPECT_TRUE(desk_.is_watching());
    user().press_close_box(forms::main::window);
    EXPECT_FALSE(desk_.is_watching());

    windows().load_window(forms::login::window);
    log_in();
    ASSERT_TRUE(desk_.leave());
    EXPECT_TRUE(windows().is_open(forms::login::window));
    log_in();
    EXPECT_TRUE(desk_.is_watching());
    EXPECT_TRUE(hot_keys_.is_held(HotKey::kF3));
}

#ifdef _WIN32
// The system's own desk events on the Win32 window layer: Windows' lock broadcast and
// its suspend message, delivered to the window the session watches with, log it out.
TEST_F(DeskEventsGuiTest, WindowsLockAndSuspendLogTheSessionOut) {
    platform::set_desk_events(nullptr);
    // This thread's own: another test program under the same Wine desktop (the end-to-end
    // one) may have a desk window of its own, and a message sent there waits on that program.
    const auto desk_window = [] {
        HWND found = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM result) {
                wchar_t name[32] = {};
                GetClassNameW(window, name, 32);
                if (std::wstring_view(name) != L"QuilletDeskWindow") return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    };
    log_in();
    windows().load_window(forms::record::window);
    ASSERT_NE(desk_window(), nullptr);

    // Windows sends it; posted, it goes through the window thread's loop as the program runs it.
    ASSERT_TRUE(PostMessageW(desk_window(), WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0));
    windows().process_events();
    EXPECT_TRUE(windows().is_open(forms::login::window));
    EXPECT_FALSE(windows().is_open(forms::main::window));
    EXPECT_FALSE(windows().is_open(forms::record::window));
    EXPECT_EQ(state().session_password.text(), "");
    EXPECT_EQ(desk_window(), nullptr);

    // Windows waits for the answer to this one before it suspends: the logout is done by then.
    log_in();
    ASSERT_NE(desk_window(), nullptr);
    SendMessageW(desk_window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_TRUE(windows().is_open(forms::login::window));
    EXPECT_FALSE(windows().is_open(forms::main::window));
    EXPECT_EQ(desk_window(), nullptr);
}
#endif

}  // namespace
}  // namespace quillet::app
