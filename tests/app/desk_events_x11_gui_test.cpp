// The program itself on a real X server with private buses (tests/app/desk_bus.py): the
// screen saver's and logind's signals log it out whatever is open, including the list's
// pop-up menu and the 删除 question; the same signals from a client that owns no name
// change nothing. Needs DISPLAY.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "tests/app/x11_program_fixture.h"

namespace quillet::app {
namespace {

// The list's first row, in the main window's coordinates.
constexpr char kListX[] = "229";
constexpr char kFirstRowY[] = "50";

class DeskEventsX11Test : public X11ProgramTest {
  protected:
    void SetUp() override {
        X11ProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(add_record(kLoginPassword, {"site", "me", "pw", "", ""}), WriteResult::kDone);
        commands_ = (dir_ / "desk_commands").string();
        ASSERT_EQ(mkfifo(commands_.c_str(), 0600), 0);
        buses_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
            "/usr/bin/python3", "-u", std::string(QUILLET_SOURCE_DIR) + "/tests/app/desk_bus.py", commands_});
        ASSERT_TRUE(buses_->until([&] { return buses_->output().find("ready\n") != std::string::npos; }, kPatienceMs))
            << buses_->output();
        start_program({"DBUS_SESSION_BUS_ADDRESS=" + address_of("session"),
                       "DBUS_SYSTEM_BUS_ADDRESS=" + address_of("system")});
    }

    std::string address_of(const std::string& bus) {
        const std::string& out = buses_->output();
        const std::size_t start = out.find(bus + " ") + bus.size() + 1;
        return out.substr(start, out.find('\n', start) - start);
    }

    // Sends one of desk_bus.py's signals and waits until it has gone out.
    void send(const std::string& command) {
        std::ofstream(commands_) << command << "\n";
        ASSERT_TRUE(buses_->until(
            [&] { return buses_->output().find("sent " + command + "\n") != std::string::npos; }, kPatienceMs));
    }

    // Logs in and waits until the program holds logind's sleep back.
    Window log_in_and_hold_sleep() {
        const std::size_t holds = count("inhibited sleep delay\n");
        const Window main = log_in();
        if (!buses_->until([&] { return count("inhibited sleep delay\n") > holds; }, kPatienceMs)) return None;
        return main;
    }

    std::size_t count(const std::string& line) {
        std::size_t found = 0;
        for (std::size_t at = buses_->output().find(line); at != std::string::npos;
             at = buses_->output().find(line, at + 1)) {
            ++found;
        }
        return found;
    }

    bool logged_out() {
        return program_window_named("Quillet") == None && program_window_named("Login") != None &&
               program_windows().size() == 1;
    }

    // The pop-up menu's window, or None when it did not open.
    Window open_menu(Window main, const char* y) {
        if (!run({"xdotool", "mousemove", "--window", id(main), kListX, y, "click", "3"})) return None;
        if (!until([&] { return program_windows().size() == 2; })) return None;
        for (Window window : program_windows()) {
            if (window != main) return window;
        }
        return None;
    }

    bool is_open(Window window) {
        const std::vector<Window> open = program_windows();
        return std::find(open.begin(), open.end(), window) != open.end();
    }

    void open_record_window(Window main) {
        ASSERT_NE(open_menu(main, kFirstRowY), None) << "no pop-up menu";
        ASSERT_TRUE(run({"xdotool", "key", "Down", "Return"}));  // 新增
        ASSERT_TRUE(until([&] { return program_window_named("New") != None; })) << "no record window";
    }

    std::string commands_;
    std::unique_ptr<test::ChildProcess> buses_;
};

TEST_F(DeskEventsX11Test, ScreenLockAndSuspendFromTheirOwnersLogOut) {
    Window main = log_in_and_hold_sleep();
    ASSERT_NE(main, None) << "login failed";
    send("stranger-screensaver");
    send("stranger-sleep");
    send("stranger-lock");
    // A round trip through the program's event loop after the strangers' signals.
    open_record_window(main);
    EXPECT_NE(program_window_named("Quillet"), None) << "a signal from a stranger logged out";
    EXPECT_EQ(count("released\n"), 0u);
    send("gnome");
    ASSERT_TRUE(until([&] { return logged_out(); })) << "GNOME's screen lock left the session open";
    EXPECT_TRUE(buses_->until([&] { return count("released\n") == 1; }, kPatienceMs));

    for (const char* signal : {"screensaver", "sleep", "lock"}) {
        SCOPED_TRACE(signal);
        main = log_in_and_hold_sleep();
        ASSERT_NE(main, None) << "login failed";
        open_record_window(main);
        const std::size_t released = count("released\n");
        send(signal);
        ASSERT_TRUE(until([&] { return logged_out(); }));
        // The suspend waits no longer once the logout is done.
        EXPECT_TRUE(buses_->until([&] { return count("released\n") > released; }, kPatienceMs));
    }
}

TEST_F(DeskEventsX11Test, ScreenLockInsideThePopUpMenuAndTheDeleteQuestion) {
    Window main = log_in_and_hold_sleep();
    ASSERT_NE(main, None) << "login failed";
    ASSERT_NE(open_menu(main, kFirstRowY), None) << "no pop-up menu";
    send("screensaver");
    ASSERT_TRUE(until([&] { return logged_out(); }));

    main = log_in_and_hold_sleep();
    ASSERT_NE(main, None) << "login failed";
    const Window menu = open_menu(main, kFirstRowY);
    ASSERT_NE(menu, None) << "no pop-up menu";
    ASSERT_TRUE(run({"xdotool", "key", "Down", "Down", "Down", "Return"}));  // 删除
    // The menu's window must be gone first: with the menu still up, two windows were
    // already open, and the signal could arrive before the question did.
    ASSERT_TRUE(until([&] {
        return !is_open(menu) && program_windows().size() == 2 && program_window_named("Quillet") != None;
    })) << "no 删除 question";
    send("sleep");
    ASSERT_TRUE(until([&] { return logged_out(); }));
    // Closed by the logout, the question counts as No.
    EXPECT_EQ(list_records(kLoginPassword).size(), 1u);
}

}  // namespace
}  // namespace quillet::app
