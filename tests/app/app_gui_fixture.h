// Shared fixture of the app's window tests: one offscreen window layer per test
// program, the program's handlers bound once, scripted dialogs, and a fresh program
// directory for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/program_dir.h"
#include "platform/recording_desk_events.h"
#include "platform/recording_hot_keys.h"
#include "tests/support/cheap_keys.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"

#ifdef _WIN32
#include "ui/win32_window_layer.h"
#else
#include "ui/qt_window_layer.h"
#endif

namespace quillet::app {

// The system's window layer; on Linux drawn offscreen.
#ifdef _WIN32
using TestWindowLayer = ui::Win32WindowLayer;
#else
using TestWindowLayer = ui::QtWindowLayer;
#endif

class AppGuiTest : public testing::Test {
  protected:
    // Each test suite names the modules it binds; the first call of the program creates
    // the window layer, since bindings outlive windows and there is one layer per process.
    static void set_up_windows(const std::function<void(AppState&)>& bind_modules) {
        if (layer_ != nullptr) return;
#ifndef _WIN32
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
        layer_ = new TestWindowLayer();
        user_ = new ui::ScriptedUser(*layer_);
        state_ = new AppState(*layer_);
        bind_modules(*state_);
    }

    void SetUp() override {
        ASSERT_NE(layer_, nullptr) << "the test program must call set_up_windows";
        dir_ = std::filesystem::temp_directory_path() / ("quillet_app_" + std::to_string(std::random_device{}()) + "_" +
                                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        platform::set_program_directory_for_testing(dir_.string());
        ui::set_dialog_script(&dialogs_);
        dialogs_.take_shown();
        state_->session_password = {};
        state_->ftp_key = {};
        state_->idle_countdown = 0;
        testing_support::use_cheap_key_derivations();
        // The system's hot keys and desk watch would reach the display and buses that the
        // end-to-end tests share: another test's program pressing F1 must not find it
        // grabbed by this one. Tests that look at them install their own.
        platform::set_hot_keys(&hot_keys_);
        platform::set_desk_events(&desk_events_);
    }

    void TearDown() override {
        for (std::string_view window :
             {ui::forms::main::window, ui::forms::login::window, ui::forms::setup::window, ui::forms::ftp::window,
              ui::forms::record::window, ui::forms::generator::window}) {
            layer_->destroy_window(window);
        }
        layer_->process_events();
        platform::set_hot_keys(nullptr);
        platform::set_desk_events(nullptr);
        std::filesystem::remove_all(dir_);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::vector<ui::ShownDialog> shown() { return dialogs_.take_shown(); }

    // The texts of every dialog shown since the last call, of one kind.
    std::vector<std::string> shown_texts(ui::ShownDialog::Kind kind) {
        std::vector<std::string> texts;
        for (const ui::ShownDialog& dialog : dialogs_.take_shown()) {
            if (dialog.kind == kind) texts.push_back(dialog.text);
        }
        return texts;
    }

    std::vector<std::string> balloons() { return shown_texts(ui::ShownDialog::Kind::kBalloon); }
    std::vector<std::string> messages() { return shown_texts(ui::ShownDialog::Kind::kMessage); }

    TestWindowLayer& windows() { return *layer_; }
    ui::ScriptedUser& user() { return *user_; }
    ui::DialogScript& dialogs() { return dialogs_; }
    AppState& state() { return *state_; }

    static inline TestWindowLayer* layer_ = nullptr;
    static inline AppState* state_ = nullptr;
    static inline ui::ScriptedUser* user_ = nullptr;
    static inline ui::DialogScript dialogs_;  // installed for every test
    std::filesystem::path dir_;
    platform::RecordingHotKeys hot_keys_;
    platform::RecordingDeskEvents desk_events_;
};

}  // namespace quillet::app
