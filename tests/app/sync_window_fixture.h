// Shared fixture of the sync window's tests (FTP and WebDAV): the program's FTP client, a
// store of two records, the main window listing them, and a fixed clock for the dated
// backup's name. Each test suite starts its own server first.
#pragma once

#include <string>
#include <string_view>

#include "app/ftp_window.h"
#include "app/main_list.h"
#include "app/record_store.h"
#include "platform/manual_clock.h"
#include "tests/app/app_gui_fixture.h"
#include "tests/app/record_store_fixture.h"
#include "ui/forms.h"

namespace quillet::app {

inline ftp::FtpClient& program_client() {
    static ftp::FtpClient client;
    return client;
}

class SyncWindowTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_record_commands(state);
            bind_ftp_window(state, program_client());
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        clock_.set_local_time({2021, 10, 6, 20, 0, 0, 0});
        platform::set_clock(&clock_);
        state().session_password = platform::SecretText(kStorePassword);
        create_record_store();
        ASSERT_EQ(add_record(kStorePassword, {"平台一", "账号一", "pw1", "a.example", ""}), WriteResult::kDone);
        ASSERT_EQ(add_record(kStorePassword, {"平台二", "账号二", "pw2", "b.example", ""}), WriteResult::kDone);
        windows().load_window(ui::forms::main::window);
        wait_until([&] { return list_rows() == 2; });
    }

    void TearDown() override {
        AppGuiTest::TearDown();
        wait_for_list_loads();
        platform::set_clock(nullptr);
    }

    // Lets window events run until `done` holds; a generous bound keeps a broken test
    // from hanging.
    template <typename Condition>
    void wait_until(Condition done) {
        for (int round = 0; round < 6000 && !done(); ++round) windows().wait_processing_events(5);
        ASSERT_TRUE(done());
    }

    int list_rows() { return windows().list_row_count(ui::forms::main::window, ui::forms::main::list); }
    std::string caption() { return windows().text(ui::forms::ftp::window, ui::forms::ftp::status_group); }
    bool enabled(std::string_view button) { return windows().is_enabled(ui::forms::ftp::window, button); }

    platform::ManualClock clock_;
};

}  // namespace quillet::app
