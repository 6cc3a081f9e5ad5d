#include "app/update_notice.h"

#include <gtest/gtest.h>

#include "platform/recording_shell.h"
#include "tests/app/app_gui_fixture.h"
#include "tests/net/update_service.h"
#include "ui/forms.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

using testing_support::UpdateService;


class UpdateNoticeTest : public AppGuiTest {
protected:
    static void SetUpTestSuite() {
        service_ = new UpdateService();
        client_ = new net::VersionCheckClient(service_->base_address());
        set_up_windows([](AppState& state) { bind_update_notice(state, *client_); });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        ASSERT_NE(service_->server().port(), 0) << "the update service did not start";
        platform::set_shell(&shell_);
    }
    void TearDown() override {
        client_->wait_for_background_checks();
        platform::set_shell(nullptr);
        AppGuiTest::TearDown();
    }

    // Opens the main window and lets its check finish and its outcome reach the window.
    void open_main_window(const std::string& reply) {
        service_->set_replies(reply, "");
        windows().load_window(forms::main::window);
        service_->next_request();
        finish_check();
    }
    void finish_check() {
        client_->wait_for_background_checks();
        windows().process_events();
    }
    void press_notice() {
        windows().raise(forms::main::window, forms::main::update_notice, ui::Event::kLeftButtonPressed);
    }

    static inline UpdateService* service_ = nullptr;
    static inline net::VersionCheckClient* client_ = nullptr;
    platform::RecordingShell shell_;
};

TEST_F(UpdateNoticeTest, ANewerVersionShowsTheNoticeWhichOpensItsAddress) {
    open_main_window("true|false|x|https://127.0.0.1/download?v=2&from=1.0.01|notes");
    ASSERT_TRUE(windows().is_visible(forms::main::window, forms::main::update_notice));
    press_notice();
    EXPECT_EQ(shell_.opened(), std::vector<std::string>{"https://127.0.0.1/download?v=2&from=1.0.01"});
}

TEST_F(UpdateNoticeTest, NoNoticeWithoutAnExactTrue) {
    for (const std::string reply : {"TRUE|false|x|http://127.0.0.1/d|n", "false|false|x|http://127.0.0.1/d|n", "",
                                    "true|false|x|http://127.0.0.1/d"}) {
        open_main_window(reply);
        EXPECT_FALSE(windows().is_visible(forms::main::window, forms::main::update_notice)) << reply;
        windows().destroy_window(forms::main::window);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(UpdateNoticeTest, OnlyWebAddressesReachTheShell) {
    for (const std::string address : {"", "file:///etc/passwd", "xterm -e sh", "http://", "http://127.0.0.1/a b"}) {
        open_main_window("true|false|x|" + address + "|notes");
        EXPECT_TRUE(windows().is_visible(forms::main::window, forms::main::update_notice)) << address;
        press_notice();
        windows().destroy_window(forms::main::window);
    }
    EXPECT_TRUE(shell_.opened().empty());
}

TEST_F(UpdateNoticeTest, TheCheckDoesNotHoldUpTheWindow) {
    service_->set_replies("true|false|x|http://127.0.0.1/d|n", "", /*hold=*/true);
    windows().load_window(forms::main::window);
    // The window is open and handling events while the service has not answered yet.
    service_->next_request();
    windows().process_events();
    EXPECT_TRUE(windows().is_open(forms::main::window));
    EXPECT_FALSE(windows().is_visible(forms::main::window, forms::main::update_notice));

    service_->set_replies("true|false|x|http://127.0.0.1/d|n", "");
    finish_check();
    EXPECT_TRUE(windows().is_visible(forms::main::window, forms::main::update_notice));
}

TEST_F(UpdateNoticeTest, AnOutcomeForAClosedMainWindowIsDropped) {
    service_->set_replies("true|false|x|http://127.0.0.1/old|n", "", /*hold=*/true);
    windows().load_window(forms::main::window);
    service_->next_request();
    windows().destroy_window(forms::main::window);
    service_->set_replies("true|false|x|http://127.0.0.1/old|n", "");
    finish_check();
    EXPECT_FALSE(windows().is_open(forms::main::window));

    // The next opening asks again, and only its own outcome counts.
    open_main_window("false|false|x|http://127.0.0.1/new|n");
    EXPECT_FALSE(windows().is_visible(forms::main::window, forms::main::update_notice));
}

}  // namespace
}  // namespace quillet::app
