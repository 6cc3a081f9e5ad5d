// End to end on a real X server: the real hot-key grabs, XTest typing into another
// program's window, and the real clipboard read back with xclip. Needs DISPLAY (the test
// command runs an Xvfb); the tests of one display take turns through a lock file, since
// they share its keyboard, pointer and clipboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/copy_and_type.h"
#include "app/record_list.h"
#include "app/text_cipher.h"
#include "platform/clipboard.h"
#include "platform/text_codec.h"
#include "platform/typist.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

// Xlib last: its macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

using test::ChildProcess;

constexpr int kTargetX = 900, kTargetY = 80;  // clear of the main window
constexpr long kPatienceMs = 10000;

class CopyAndTypeX11Test : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') return;
        // Read-only, and opened before it is created: a lock file another user left behind
        // (a test run as root, say) can then still be locked, where opening it for writing
        // or with O_CREAT in sticky /tmp is refused. Without the lock the tests would run
        // against each other, so they fail instead.
        lock_path_ = "/tmp/quillet_x11_tests_" + std::string(display) + ".lock";
        int fd = open(lock_path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = open(lock_path_.c_str(), O_CREAT | O_RDONLY | O_CLOEXEC, 0644);
            if (fd >= 0) fchmod(fd, 0644);  // whatever the umask, others must be able to open it
        }
        display_locked_ = fd >= 0 && flock(fd, LOCK_EX) == 0;  // held until this test program ends
        if (layer_ != nullptr) return;
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        layer_ = new ui::QtWindowLayer();
        user_ = new ui::ScriptedUser(*layer_);
        ui::set_dialog_script(&dialogs_);
        state_ = new AppState(*layer_);
        bind_copy_and_type(*state_);
    }

    void SetUp() override {
        if (layer_ == nullptr) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(display_locked_) << "could not lock " << lock_path_;
        platform::clipboard().set_secret_lifetime_ms(platform::kSecretLifetimeMs);
        layer_->load_window(forms::main::window);
    }

    void TearDown() override {
        if (layer_ == nullptr) return;
        layer_->destroy_window(forms::main::window);
        layer_->process_events();
    }

    // Runs the window thread's events until `done` holds; false when it never did.
    static bool until(const std::function<bool()>& done, ChildProcess* child = nullptr) {
        return test::wait_until(done, kPatienceMs, [child] {
            layer_->process_events();
            if (child != nullptr) {
                child->pump(5);
            } else {
                poll(nullptr, 0, 5);
            }
        });
    }

    // Runs a desktop tool to its end while our events keep running (xclip asks this very
    // program for the clipboard), and gives its output.
    static std::string run(std::vector<std::string> args) {
        ChildProcess child(std::move(args));
        EXPECT_TRUE(until([&] { return child.pump(0); }, &child)) << "tool did not end";
        return child.output();
    }

    static std::string clipboard_utf8() { return run({"xclip", "-o", "-selection", "clipboard"}); }

    static void press(const std::string& key) { run({"xdotool", "key", key}); }

    // Starts a target window with its top-left corner at (x, y), its first box focused,
    // and puts the pointer over it.
    static std::unique_ptr<ChildProcess> start_target(int x = kTargetX, int y = kTargetY) {
        auto target = std::make_unique<ChildProcess>(
            std::vector<std::string>{QUILLET_TYPING_TARGET, std::to_string(x), std::to_string(y)});
        EXPECT_TRUE(until([&] { return target->output().find("ready\n") != std::string::npos; }, target.get()));
        point_at_target(x, y);
        return target;
    }

    static void point_at_target(int x = kTargetX, int y = kTargetY) {
        run({"xdotool", "mousemove", std::to_string(x + 150), std::to_string(y + 30)});
    }

    // Waits until the target's two boxes read `first` and `second` (GBK).
    static bool target_shows(ChildProcess& target, const std::string& first, const std::string& second = {}) {
        std::string expected = platform::gbk_to_utf8(first) + "\x1f" + platform::gbk_to_utf8(second);
        bool shown = until([&] { return target.last_line() == expected; }, &target);
        if (!shown) ADD_FAILURE() << "target shows \"" << target.last_line() << "\"";
        return shown;
    }

    static void select_row(const std::string& platform_name, const std::string& account, const std::string& password,
                           const std::string& address, const std::string& remark) {
        layer_->list_clear(forms::main::window, forms::main::list);
        int row = layer_->list_append_row(forms::main::window, forms::main::list);
        std::string cipher = encipher(password, kCipherKey);
        const std::string cells[] = {"1", platform_name, account, cipher, address, remark};
        for (int column = 0; column < 6; ++column)
            layer_->list_set_cell(forms::main::window, forms::main::list, row, column, cells[column]);
        layer_->list_set_cell_data(forms::main::window, forms::main::list, row, kPasswordColumn, cipher);
        layer_->list_select_row(forms::main::window, forms::main::list, row);
    }

    static inline std::string lock_path_;
    static inline bool display_locked_ = false;
    static inline ui::QtWindowLayer* layer_ = nullptr;
    static inline ui::ScriptedUser* user_ = nullptr;
    static inline ui::DialogScript dialogs_;
    static inline AppState* state_ = nullptr;
};

TEST_F(CopyAndTypeX11Test, F1AndF2TypeAccountAndPasswordIntoTheWindowUnderThePointer) {
    select_row("P", "张三abc", "Pa$$w0rd!~中文", "U", "");
    auto target = start_target();
    press("F1");
    ASSERT_TRUE(target_shows(*target, "张三abc"));
    press("F2");
    ASSERT_TRUE(target_shows(*target, "张三abcPa$$w0rd!~中文"));
}

TEST_F(CopyAndTypeX11Test, F3TypesAccountTabPassword) {
    select_row("P", "user@example", "S3cret 密", "U", "");
    auto target = start_target();
    press("F3");
    ASSERT_TRUE(target_shows(*target, "user@example", "S3cret 密"));
}

TEST_F(CopyAndTypeX11Test, CapsLockDoesNotChangeTheCaseOfTypedText) {
    select_row("P", "aB", "xY1", "U", "");
    auto target = start_target();
    press("Caps_Lock");
    press("F1");
    press("F2");
    bool shown = target_shows(*target, "aBxY1");
    press("Caps_Lock");
    ASSERT_TRUE(shown);
}

TEST_F(CopyAndTypeX11Test, CopiesReachTheClipboardAndASecretLeavesItAgain) {
    select_row("平台", "账号", "密码", "http://a", "");
    const char* items[] = {"复制账号", "复制密码", "账号+密码", "复制所有"};
    const char* expected[] = {"账号", "密码", "账号  密码", "平台  账号  密码  http://a  "};
    for (int i = 0; i < 4; ++i) {
        user_->choose_menu_item(forms::main::window, items[i]);
        EXPECT_EQ(clipboard_utf8(), platform::gbk_to_utf8(expected[i])) << items[i];
    }

    platform::clipboard().set_secret_lifetime_ms(50);
    user_->choose_menu_item(forms::main::window, forms::main::menu::copy_password);
    EXPECT_TRUE(until([] { return clipboard_utf8().empty(); })) << "the password stayed on the clipboard";

    // An account is no secret: what the expiry does leaves it there.
    user_->choose_menu_item(forms::main::window, forms::main::menu::copy_account);
    platform::clipboard().clear_secret();
    EXPECT_EQ(clipboard_utf8(), platform::gbk_to_utf8("账号"));
}

TEST_F(CopyAndTypeX11Test, SecretIsNotRemovedWhenTheClipboardHoldsSomethingElseByThen) {
    select_row("P", "A", "W", "U", "");
    user_->choose_menu_item(forms::main::window, forms::main::menu::copy_password);
    // Another program copies and serves the clipboard until the test ends it.
    ChildProcess other({"xclip", "-quiet", "-selection", "clipboard", "-i"}, "other");
    ASSERT_TRUE(until([] { return clipboard_utf8() == "other"; }));
    platform::clipboard().clear_secret();  // what the expiry does
    EXPECT_EQ(clipboard_utf8(), "other");
}

TEST_F(CopyAndTypeX11Test, SecretLeavesTheClipboardWhenTheProgramEnds) {
    select_row("P", "A", "W", "U", "");
    user_->choose_menu_item(forms::main::window, forms::main::menu::copy_password);
    ASSERT_EQ(clipboard_utf8(), "W");
    layer_->post([] { layer_->destroy_window(forms::main::window); });  // exit: the last window closes
    layer_->run();
    EXPECT_EQ(clipboard_utf8(), "");
}

// Holds F1 from another X client, if the server lets it.
class ForeignGrab {
  public:
    ForeignGrab() : display_(XOpenDisplay(nullptr)) {
        refused_ = false;
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
            refused_ = true;
            return 0;
        });
        XGrabKey(display_, XKeysymToKeycode(display_, XK_F1), 0, DefaultRootWindow(display_), False, GrabModeAsync,
                 GrabModeAsync);
        XSync(display_, False);
        XSetErrorHandler(previous);
    }
    ~ForeignGrab() { XCloseDisplay(display_); }
    bool granted() const { return !refused_; }

  private:
    Display* display_;
    static inline bool refused_ = false;
};

TEST_F(CopyAndTypeX11Test, KeyHeldByAnotherProgramIsRefusedQuietlyAndTheOthersStillWork) {
    layer_->destroy_window(forms::main::window);
    ForeignGrab foreign;
    ASSERT_TRUE(foreign.granted());
    layer_->load_window(forms::main::window);  // F1 is refused, without ending the program
    select_row("P", "A", "W", "U", "");
    auto target = start_target();
    press("F1");  // goes to the other program
    press("F2");
    ASSERT_TRUE(target_shows(*target, "W"));  // the account would have come first
}

TEST_F(CopyAndTypeX11Test, NothingIsTypedAfterTheMainWindowClosed) {
    select_row("P", "A", "W", "U", "");
    auto target = start_target();
    layer_->destroy_window(forms::main::window);  // logout
    {
        ForeignGrab foreign;  // the keys are free for other programs again
        EXPECT_TRUE(foreign.granted());
    }
    press("F1");  // reaches the target as a plain F1 key, which types nothing
    layer_->load_window(forms::main::window);
    select_row("P", "A", "W", "U", "");
    press("F2");
    ASSERT_TRUE(target_shows(*target, "W"));
}

// Passes everything to the desktop's typist, and moves the pointer elsewhere right after
// the Tab, as a user might during F3's pauses.
class PointerMovingTypist : public platform::Typist {
  public:
    PointerMovingTypist(platform::Typist& desktop, int x, int y) : desktop_(desktop), x_(x), y_(y) {}
    platform::DesktopWindow window_under_pointer() override { return desktop_.window_under_pointer(); }
    bool type_text(platform::DesktopWindow window, const std::string& text) override {
        return desktop_.type_text(window, text);
    }
    platform::DesktopWindow top_level_of(platform::DesktopWindow window) override {
        return desktop_.top_level_of(window);
    }
    void press_tab() override {
        desktop_.press_tab();
        Display* display = XOpenDisplay(nullptr);
        XWarpPointer(display, 0, DefaultRootWindow(display), 0, 0, 0, 0, x_, y_);
        XCloseDisplay(display);  // flushes
    }

  private:
    platform::Typist& desktop_;
    int x_, y_;
};

TEST_F(CopyAndTypeX11Test, F3TypesNoPasswordIntoAnotherProgramThePointerMovedTo) {
    constexpr int kOtherY = kTargetY + 250;
    select_row("P", "user", "S3cret", "U", "");
    auto other = start_target(kTargetX, kOtherY);
    auto target = start_target();
    PointerMovingTypist moving(platform::typist(), kTargetX + 150, kOtherY + 30);
    platform::set_typist(&moving);
    press("F3");
    platform::set_typist(nullptr);
    ASSERT_TRUE(target_shows(*target, "user"));
    // Keys reach a window in order: had the password gone to the other program, it would
    // stand before the account typed now.
    press("F1");
    EXPECT_TRUE(target_shows(*other, "user"));
}

// Keys sent after a failed focus change would go to whichever window has the focus.
TEST_F(CopyAndTypeX11Test, NothingIsTypedIntoAWindowThatCannotTakeTheFocus) {
    select_row("P", "A", "W", "U", "");
    auto target = start_target();
    press("F1");
    ASSERT_TRUE(target_shows(*target, "A"));  // the target has the focus now

    Display* display = XOpenDisplay(nullptr);
    const Window root = DefaultRootWindow(display);
    const Window unmapped = XCreateSimpleWindow(display, root, 0, 0, 10, 10, 0, 0, 0);
    const Window destroyed = XCreateSimpleWindow(display, root, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(display, destroyed);
    XSync(display, False);
    platform::Typist& typist = platform::typist();
    EXPECT_FALSE(typist.type_text(unmapped, "x"));
    EXPECT_FALSE(typist.type_text(destroyed, "y"));
    EXPECT_EQ(typist.top_level_of(destroyed), 0u);
    XDestroyWindow(display, unmapped);
    XCloseDisplay(display);

    press("F2");
    EXPECT_TRUE(target_shows(*target, "AW"));
}

}  // namespace
}  // namespace quillet::app
