// What happens underneath a confirmation question: while it is open the window thread
// keeps running events (a list reload, the idle logout), and the answer must act on
// what the user confirmed, not on what is there after.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "app/ftp_window.h"
#include "app/list_load.h"
#include "app/main_list.h"
#include "app/record_list.h"
#include "app/record_store.h"
#include "ftp/ftp_client.h"
#include "platform/program_dir.h"
#include "tests/app/forwarding_window_layer.h"
#include "tests/app/record_store_fixture.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

// Runs `during_question` while a question is open, as the window thread's events would.
class InterruptingLayer : public ForwardingWindowLayer {
  public:
    using ForwardingWindowLayer::ForwardingWindowLayer;
    bool question_box(std::string_view text) override {
        if (during_question) during_question();
        return ForwardingWindowLayer::question_box(text);
    }
    void set_enabled(std::string_view w, std::string_view c, bool on) override {
        if (w == forms::ftp::window) ++ftp_enabled_changes;
        ForwardingWindowLayer::set_enabled(w, c, on);
    }

    std::function<void()> during_question;
    int ftp_enabled_changes = 0;
};

ftp::FtpClient& program_client() {
    static ftp::FtpClient client;
    return client;
}

class ModalQuestionTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (qt_ != nullptr) return;  // bindings outlive windows: one layer and one binding per process
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qt_ = new ui::QtWindowLayer();
        user_ = new ui::ScriptedUser(*qt_);
        layer_ = new InterruptingLayer(*qt_);
        state_ = new AppState(*layer_);
        bind_record_commands(*state_);
        bind_ftp_window(*state_, program_client());
    }

    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quillet_modal_" + std::to_string(std::random_device{}()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        platform::set_program_directory_for_testing(dir_.string());
        ui::set_dialog_script(&dialogs_);
        dialogs_.take_shown();
        layer_->during_question = nullptr;
        state_->session_password = platform::SecretText(kStorePassword);
        create_record_store();
    }

    void TearDown() override {
        for (std::string_view window : {forms::main::window, forms::ftp::window}) layer_->destroy_window(window);
        wait_for_list_loads();
        qt_->process_events();
        std::filesystem::remove_all(dir_);
    }

    std::vector<std::string> platforms() {
        std::vector<std::string> cells;
        for (int row = 0; row < layer_->list_row_count(forms::main::window, forms::main::list); ++row) {
            cells.push_back(layer_->list_cell(forms::main::window, forms::main::list, row, kPlatformColumn));
        }
        return cells;
    }

    static inline ui::QtWindowLayer* qt_ = nullptr;
    static inline ui::ScriptedUser* user_ = nullptr;
    static inline ui::DialogScript dialogs_;
    static inline InterruptingLayer* layer_ = nullptr;
    static inline AppState* state_ = nullptr;
    std::filesystem::path dir_;
};

TEST_F(ModalQuestionTest, DeleteRemovesTheConfirmedRecordEvenIfTheListWasReloadedMeanwhile) {
    for (const char* platform : {"keep", "gone"}) {
        ASSERT_EQ(add_record(kStorePassword, {platform, "a", "pw", "", ""}), WriteResult::kDone);
    }
    layer_->load_window(forms::main::window);
    load_list(*state_);
    layer_->list_select_row(forms::main::window, forms::main::list, 1);
    layer_->during_question = [] { load_list(*state_); };  // e.g. a "刷新" that ends now
    dialogs_.answer_question(true);
    user_->choose_menu_item(forms::main::window, forms::main::menu::remove);
    EXPECT_EQ(platforms(), std::vector<std::string>{"keep"});
    EXPECT_EQ(list_records(kStorePassword).size(), 1u);
}

TEST_F(ModalQuestionTest, ATransferConfirmedAfterItsWindowClosedStartsNothing) {
    for (std::string_view button : {forms::ftp::upload, forms::ftp::download}) {
        layer_->load_window(forms::ftp::window);
        layer_->during_question = [] { layer_->destroy_window(forms::ftp::window); };  // the idle logout
        layer_->ftp_enabled_changes = 0;
        dialogs_.answer_question(true);
        layer_->raise(forms::ftp::window, button, ui::Event::kClicked, 0, 0);
        EXPECT_EQ(layer_->ftp_enabled_changes, 0) << button;
        qt_->process_events();
        EXPECT_TRUE(dialogs_.take_shown().size() == 1u) << button;  // the question only
    }
}

}  // namespace
}  // namespace quillet::app
