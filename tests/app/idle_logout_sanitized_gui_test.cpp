// The idle logout, and leaving the desk, while the window thread is deep inside real nested
// loops: the list's pop-up menu, and a question, input box, message box or password prompt
// opened from it.
// Nothing here is answered by script; a polling timer acts as the user from inside the
// loops, and the clock is moved by hand. Built with the sanitizers too, where a window
// freed while the code below it on the stack still uses it is reported.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>

#include "app/engine_hooks.h"
#include "app/list_load.h"
#include "app/main_list.h"
#include "app/record_list.h"
#include "app/record_store.h"
#include "app/record_window.h"
#include "app/session.h"
#include "platform/manual_clock.h"
#include "platform/recording_desk_events.h"
#include "tests/app/record_store_fixture.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

// Under AddressSanitizer, freed memory is filled, so that the toolkit's own code, which is
// not instrumented, fails too when it reads a freed window.
extern "C" const char* __asan_default_options() { return "max_free_fill_size=65536:free_fill_byte=190"; }
// The font library keeps its caches until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

constexpr int kPatienceMs = 10000;

QWidget* open_popup() { return QApplication::activePopupWidget(); }

template <typename Dialog>
Dialog* open_dialog() {
    return qobject_cast<Dialog*>(QApplication::activeModalWidget());
}

// Acts as the user from inside whatever nested loop runs: each step waits until what it
// needs is on screen, then acts and lets the next one wait. The next look is scheduled
// before a step acts, since acting may open the next nested loop.
class User {
  public:
    User() {
        look_later();
        // A dialog the logout left open would hold the test forever.
        QTimer::singleShot(kPatienceMs, &alive_, [] {
            ADD_FAILURE() << "a menu or dialog stayed open";
            while (QWidget* popup = QApplication::activePopupWidget()) popup->hide();
            while (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->done(0);
        });
    }
    // A step returns false while it has to wait.
    void then(std::function<bool()> step) { steps_.push_back(std::move(step)); }
    bool done() const { return steps_.empty(); }

  private:
    void look_later() {
        QTimer::singleShot(2, &alive_, [this] {
            look_later();
            if (steps_.empty()) return;
            // Taken off first: while it acts, the next step already watches.
            std::function<bool()> step = std::move(steps_.front());
            steps_.pop_front();
            if (!step()) steps_.push_front(std::move(step));
        });
    }

    QObject alive_;  // pending looks end with the user
    std::deque<std::function<bool()>> steps_;
};

constexpr int kAskPassword = 1, kPause = 2;
constexpr int kPauseMs = 1000;

QWidget* main_window() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String(forms::main::window.data(), forms::main::window.size()) &&
            top->isVisible()) {
            return top;
        }
    }
    return nullptr;
}

QTreeWidget* record_list_widget() {
    QWidget* main = main_window();
    return main != nullptr ? main->findChild<QTreeWidget*>() : nullptr;
}

class IdleLogoutTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (layer_ != nullptr) return;  // bindings outlive windows: one layer per process
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        layer_ = new ui::QtWindowLayer();
        user_ = new ui::ScriptedUser(*layer_);
        state_ = new AppState(*layer_);
        connect_engine_hooks(*layer_);
        bind_record_commands(*state_);
        bind_record_window(*state_);
        bind_session(*state_);
        layer_->bind(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, [](int what, int) {
            if (what == kAskPassword) {
                std::string typed;
                prompt_confirmed_ = layer_->password_prompt(3, &typed);
                return;
            }
            // As F3 pauses between the account and the password.
            QPointer<QWidget> main = main_window();
            in_pause_ = true;
            layer_->wait_processing_events(kPauseMs);
            in_pause_ = false;
            main_alive_after_pause_ = !main.isNull();
        });
    }

    void SetUp() override {
        platform::set_clock(&clock_);
        platform::set_desk_events(&desk_);
        create_record_store();
        ASSERT_EQ(add_record(kStorePassword, {"keep", "a", "pw", "", ""}), WriteResult::kDone);
        ui::set_dialog_script(nullptr);
        state_->session_password = platform::SecretText(kStorePassword);
        layer_->load_window(forms::main::window);
        wait_for_list_loads();
        run_until([] { return layer_->list_row_count(forms::main::window, forms::main::list) == 1; });
        layer_->list_select_row(forms::main::window, forms::main::list, 0);
        // Ticks come quickly; how much time they count is the clock's business.
        layer_->set_timer_interval(forms::main::window, forms::main::idle_timer, 5);
    }

    void TearDown() override {
        layer_->close_dialogs();
        for (std::string_view window : {forms::main::window, forms::login::window, forms::record::window}) {
            layer_->destroy_window(window);
        }
        wait_for_list_loads();
        layer_->process_events();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::set_clock(nullptr);
        platform::set_desk_events(nullptr);
    }

    // Runs the window thread's events until `done` holds.
    static bool run_until(const std::function<bool()>& done) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (done()) loop.quit();
        });
        QTimer::singleShot(kPatienceMs, &loop, &QEventLoop::quit);
        poll.start(2);
        if (!done()) loop.exec();
        return done();
    }

    // A real right press on the selected row, delivered to the main window as the window
    // system delivers it: the toolkit's and the list's press handling run, pop up the menu
    // and go on after the menu has returned.
    static void right_press_on_the_row() {
        QTreeWidget* list = record_list_widget();
        ASSERT_NE(list, nullptr);
        QWindow* window = list->window()->windowHandle();
        ASSERT_NE(window, nullptr);
        const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
        const QPointF in_window = list->viewport()->mapTo(list->window(), at);
        QMouseEvent press(QEvent::MouseButtonPress, in_window, list->viewport()->mapToGlobal(at), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(window, &press);
    }

    // Chooses an item of the open pop-up menu (or of one of its sub-menus) as a click
    // does: the menus close, then the item's action runs, inside the menu's loop.
    static std::function<bool()> choose(const char16_t* caption) {
        return [caption] {
            auto* menu = qobject_cast<QMenu*>(open_popup());
            if (menu == nullptr) return false;
            for (QAction* action : menu->findChildren<QAction*>()) {
                if (action->text() != QString::fromUtf16(caption)) continue;
                menu->hide();
                action->trigger();

                return true;
            }
            ADD_FAILURE() << "no such item in the menu";
            return true;
        };
    }

    // Lets ten minutes pass once `is_open` holds: the next tick is the idle logout.
    std::function<bool()> ten_minutes_pass_while(std::function<bool()> is_open) {
        return [this, is_open] {
            if (!is_open()) return false;
            clock_.advance(kIdleTicks * 1000);
            return true;
        };
    }

    // Locks the screen once `is_open` holds.
    std::function<bool()> desk_left_while(std::function<bool()> is_open) {
        return [this, is_open] {
            if (!is_open()) return false;
            EXPECT_TRUE(desk_.leave());
            return true;
        };
    }

    void expect_logged_out_with_nothing_left_open() {
        EXPECT_FALSE(layer_->is_open(forms::main::window));
        EXPECT_FALSE(layer_->is_open(forms::record::window));
        EXPECT_TRUE(layer_->is_open(forms::login::window));
        EXPECT_EQ(open_popup(), nullptr);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(state_->session_password.text(), "");
        layer_->process_events();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(list_records(kStorePassword).size(), 1u);
    }

    platform::ManualClock clock_;
    platform::RecordingDeskEvents desk_;
    TempProgramDirectory dir_;
    static inline ui::QtWindowLayer* layer_ = nullptr;
    static inline ui::ScriptedUser* user_ = nullptr;
    static inline AppState* state_ = nullptr;
    static inline bool prompt_confirmed_ = false;
    static inline bool in_pause_ = false;
    static inline bool main_alive_after_pause_ = false;
};

TEST_F(IdleLogoutTest, InsideThePopUpMenu) {
    User user;
    user.then(ten_minutes_pass_while([] { return open_popup() != nullptr; }));
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    expect_logged_out_with_nothing_left_open();
}

// The case that crashed: the question of "删除" open inside the menu's loop. Closed by
// the logout, it counts as No.
TEST_F(IdleLogoutTest, InsideTheDeleteQuestionOpenedFromTheMenu) {
    User user;
    user.then(choose(u"删除"));
    user.then(ten_minutes_pass_while([] { return open_dialog<QMessageBox>() != nullptr; }));
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    expect_logged_out_with_nothing_left_open();
}

TEST_F(IdleLogoutTest, LeavingTheDeskInsideThePopUpMenu) {
    User user;
    user.then(desk_left_while([] { return open_popup() != nullptr; }));
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    expect_logged_out_with_nothing_left_open();
    EXPECT_FALSE(desk_.is_watching());
}

TEST_F(IdleLogoutTest, LeavingTheDeskInsideTheDeleteQuestion) {
    User user;
    user.then(choose(u"删除"));
    user.then(desk_left_while([] { return open_dialog<QMessageBox>() != nullptr; }));
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    expect_logged_out_with_nothing_left_open();
    EXPECT_FALSE(desk_.is_watching());
}

TEST_F(IdleLogoutTest, InsideTheSearchInputBoxOpenedFromASubMenu) {
    User user;
    user.then(choose(u"按平台"));
    user.then(ten_minutes_pass_while([] { return open_dialog<QInputDialog>() != nullptr; }));
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    expect_logged_out_with_nothing_left_open();
}

// The record window's handler goes on with its boxes and the list after the message.
TEST_F(IdleLogoutTest, InsideTheMessageOfTheRecordWindow) {
    layer_->load_window(forms::record::window);
    layer_->set_text(forms::record::window, forms::record::platform, "new");
    User user;
    user.then(ten_minutes_pass_while([] { return open_dialog<QMessageBox>() != nullptr; }));
    user_->click(forms::record::window, forms::record::confirm);
    EXPECT_TRUE(user.done());
    EXPECT_FALSE(layer_->is_open(forms::main::window));
    EXPECT_FALSE(layer_->is_open(forms::record::window));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(state_->session_password.text(), "");
}

// The program opens the store with the typed password itself; the engine's prompt comes
// from a handler of the main window here, as it would from any command that asked.
TEST_F(IdleLogoutTest, InsideThePasswordPrompt) {
    prompt_confirmed_ = true;
    User user;
    user.then(ten_minutes_pass_while([] {
        QDialog* prompt = open_dialog<QDialog>();
        return prompt != nullptr && qobject_cast<QMessageBox*>(prompt) == nullptr;
    }));
    layer_->raise(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, kAskPassword);
    EXPECT_TRUE(user.done());
    EXPECT_FALSE(prompt_confirmed_);
    expect_logged_out_with_nothing_left_open();
}

// A nested loop that the logout does not end: the window is gone for the program at once,
// but freed only after the handler that waits in there has returned.
TEST_F(IdleLogoutTest, InsideAPauseThatGoesOn) {
    User user;
    user.then(ten_minutes_pass_while([] { return in_pause_; }));
    layer_->raise(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, kPause);
    EXPECT_TRUE(user.done());
    EXPECT_TRUE(main_alive_after_pause_);
    expect_logged_out_with_nothing_left_open();
    EXPECT_EQ(main_window(), nullptr);
}

// The window manager's close request can come while the list's menu is open: the session
// ends the same way, and no window is left.
TEST_F(IdleLogoutTest, CloseRequestWhileThePopUpMenuIsOpen) {
    User user;
    user.then([] {
        if (open_popup() == nullptr) return false;
        user_->press_close_box(forms::main::window);
        return true;
    });
    right_press_on_the_row();
    EXPECT_TRUE(user.done());
    EXPECT_FALSE(layer_->is_open(forms::main::window));
    EXPECT_FALSE(layer_->is_open(forms::login::window));
    EXPECT_EQ(open_popup(), nullptr);
    EXPECT_EQ(state_->session_password.text(), "");
}

}  // namespace
}  // namespace quillet::app
