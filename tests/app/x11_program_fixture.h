// The program itself on a real X server, started from a fresh folder and driven from
// outside as a user would. Needs DISPLAY; takes turns with the other tests of the display.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/password_vault.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "tests/app/record_store_fixture.h"
#include "tests/support/cheap_keys.h"
#include "tests/support/child_process.h"

// Xlib last: its macros (None, Bool) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

extern char** environ;

namespace quillet::app {

inline constexpr long kPatienceMs = 15000;
inline constexpr char kLoginPassword[] = "pw";

// Another process is doing the work; this only polls.
inline bool until(const std::function<bool()>& done) {
    return test::wait_until(done, kPatienceMs, [] { poll(nullptr, 0, 10); });
}

// Runs a desktop tool to its end.
inline bool run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts the program itself from a fresh folder holding a store and data.ini for
// kLoginPassword, and finds its windows on the X server.
class X11ProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display";
        std::string lock = "/tmp/quillet_x11_tests_" + std::string(display) + ".lock";
        lock_fd_ = open(lock.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (lock_fd_ >= 0) flock(lock_fd_, LOCK_EX);
        // A window of the program may go between listing it and asking about it.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr);

        // The program finds its files beside itself.
        dir_ = std::filesystem::temp_directory_path() / ("quillet_close_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        platform::set_program_directory_for_testing(dir_.string());
        create_record_store(kLoginPassword);
        const std::string settings = platform::program_file("data.ini");
        std::string recovery_code;
        testing_support::use_cheap_key_derivations();
        ASSERT_TRUE(platform::write_setting(settings, "password", "password",
                                            format_vault(new_vault(kLoginPassword, &recovery_code))));
        ASSERT_TRUE(platform::write_setting(settings, "reg", "reg", "1"));
        program_ = (dir_ / "quillet").string();
        std::filesystem::copy_file(QUILLET_PROGRAM, program_);
    }

    void TearDown() override {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (display_ != nullptr) XCloseDisplay(display_);
        if (lock_fd_ >= 0) close(lock_fd_);
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    // `extra_env` entries (NAME=value) are added to, or replace, the test's own environment.
    void start_program(const std::vector<std::string>& extra_env = {}) {
        std::vector<std::string> env_strings;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            bool replaced = entry.rfind("QT_QPA_PLATFORM=", 0) == 0;
            for (const std::string& extra : extra_env) {
                replaced = replaced || entry.rfind(extra.substr(0, extra.find('=') + 1), 0) == 0;
            }
            if (!replaced) env_strings.push_back(entry);
        }
        env_strings.emplace_back("QT_QPA_PLATFORM=xcb");
        env_strings.insert(env_strings.end(), extra_env.begin(), extra_env.end());
        std::vector<char*> env;
        for (std::string& entry : env_strings) env.push_back(entry.data());
        env.push_back(nullptr);
        char* argv[] = {program_.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawn(&pid_, program_.c_str(), &actions, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0);
    }

    // The program's shown top-level windows, found by the process id the toolkit sets.
    std::vector<Window> program_windows() {
        const Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", False);
        Window root = None, parent = None, *children = nullptr;
        unsigned count = 0;
        std::vector<Window> found;
        if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return found;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display_, children[i], &attributes) || attributes.map_state != IsViewable) {
                continue;
            }
            Atom type = None;
            int format = 0;
            unsigned long items = 0, left = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                                   &left, &data) == Success &&
                data != nullptr) {
                if (items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_) {
                    found.push_back(children[i]);
                }
                XFree(data);
            }
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    Window program_window_named(const char* name) {
        for (Window window : program_windows()) {
            char* title = nullptr;
            bool match = XFetchName(display_, window, &title) && title != nullptr && std::string(title) == name;
            if (title != nullptr) XFree(title);
            if (match) return window;
        }
        return None;
    }

    bool has_ended() {
        if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return ended_;
    }

    // What a window manager sends for the close box and for Alt+F4.
    void request_close(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }

    static std::string id(Window window) { return std::to_string(window); }

    // Types the password into the login window and presses 登 录; the main window's handle.
    Window log_in() {
        Window login = None;
        if (!until([&] { return (login = program_window_named("Login")) != None; })) return None;
        // The password box has the focus within the window; Tab and Space press 登 录.
        if (!run({"xdotool", "windowfocus", "--sync", id(login)}) || !run({"xdotool", "type", kLoginPassword}) ||
            !run({"xdotool", "key", "Tab", "space"})) {
            return None;
        }
        Window main = None;
        until([&] { return (main = program_window_named("Quillet")) != None; });
        return main;
    }

    Display* display_ = nullptr;
    int lock_fd_ = -1;
    std::filesystem::path dir_;
    std::string program_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

}  // namespace quillet::app
