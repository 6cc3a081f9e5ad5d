// quillet-cli clip end to end on a real X server: the copy read back with xclip while the
// command waits, its secret marker, and the clipboard emptied when the wait is cut short.
// Needs DISPLAY (the test command runs an Xvfb); tests of one display take turns through
// a lock file, since they share its clipboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/record_store.h"
#include "app/startup.h"
#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"

extern char** environ;

namespace quillet::app {
namespace {

constexpr long kPatienceMs = 10000;
constexpr char kPassword[] = "login1";

long now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// A process whose standard error (or output) is read through a pipe; its input is fed
// and closed at start.
class Child {
  public:
    Child(std::vector<std::string> args, const std::string& input, int captured) {
        int out[2], in[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], captured);
        posix_spawn_file_actions_addopen(&actions, captured == STDOUT_FILENO ? STDERR_FILENO : STDOUT_FILENO,
                                         "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(in[0]);
        out_ = out[0];
        if (!input.empty()) (void)!write(in[1], input.data(), input.size());
        close(in[1]);
        fcntl(out_, F_SETFL, O_NONBLOCK);
    }
    ~Child() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads what is there, waiting at most `ms` for it; whether the process has ended.
    bool pump(int ms) {
        pollfd fd{out_, POLLIN, 0};
        if (poll(&fd, 1, ms) > 0) {
            char buffer[4096];
            ssize_t n;
            while ((n = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, n);
        }
        int status = 0;
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exited_ || pid_ <= 0;
    }
    bool until(const std::function<bool()>& done) {
        const long deadline = now_ms() + kPatienceMs;
        while (!done()) {
            if (now_ms() > deadline) return false;
            pump(5);
        }
        return true;
    }
    void signal(int number) { kill(pid_, number); }
    const std::string& output() const { return output_; }
    int status() const { return status_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string output_;
};

std::string run_tool(std::vector<std::string> args) {
    Child tool(std::move(args), "", STDOUT_FILENO);
    EXPECT_TRUE(tool.until([&] { return tool.pump(0); })) << "tool did not end";
    return tool.output();
}

std::string clipboard() { return run_tool({"xclip", "-o", "-selection", "clipboard"}); }
std::string clipboard_targets() { return run_tool({"xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"}); }

class QuilletCliClipTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') return;
        const std::string lock = "/tmp/quillet_x11_tests_" + std::string(display) + ".lock";
        const int fd = open(lock.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) flock(fd, LOCK_EX);  // held until this test program ends
    }
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') GTEST_SKIP() << "no X display";
        dir_ = std::filesystem::temp_directory_path() / ("quillet_cli_clip_" + std::to_string(getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        platform::set_program_directory_for_testing(dir_.string());
        const std::string store = platform::program_file("data.edb");
        ASSERT_TRUE(write_empty_store(store));
        ASSERT_TRUE(db::open_database(store));
        ASSERT_TRUE(db::set_access_password(kPassword));
        db::close_database(store);
        const std::string ini = platform::program_file("data.ini");
        ASSERT_TRUE(platform::write_setting(ini, "password", "password", encipher(kPassword, kCipherKey)));
        ASSERT_TRUE(platform::write_setting(ini, "reg", "reg", "1"));
        ASSERT_EQ(add_record(kPassword, {"平台", "账号", "密码pw", "", ""}), WriteResult::kDone);
    }
    void TearDown() override {
        platform::set_program_directory_for_testing("");
        std::filesystem::remove_all(dir_);
    }

    Child clip(const std::string& what) const {
        return Child({QUILLET_CLI_PATH, "clip", "1", what, "--password-stdin", "--dir", dir_.string()},
                     std::string(kPassword) + "\n", STDERR_FILENO);
    }

    std::filesystem::path dir_;
};

TEST_F(QuilletCliClipTest, PasswordIsPasteableMarkedAndGoneWhenTheWaitIsCutShort) {
    Child command = clip("password");
    ASSERT_TRUE(command.until([&] { return command.output().find("Copied") != std::string::npos; }))
        << command.output();
    EXPECT_EQ(clipboard(), reinterpret_cast<const char*>(u8"密码pw"));
    EXPECT_NE(clipboard_targets().find("x-kde-passwordManagerHint"), std::string::npos);
    EXPECT_FALSE(command.pump(0));  // still waiting in the foreground
    command.signal(SIGINT);
    ASSERT_TRUE(command.until([&] { return command.pump(0); }));
    EXPECT_EQ(command.status(), 0);
    EXPECT_NE(command.output().find("Clipboard cleared"), std::string::npos) << command.output();
    EXPECT_EQ(clipboard(), "");
}

TEST_F(QuilletCliClipTest, BothCopiesAccountAndPasswordAsTheListDoes) {
    Child command = clip("both");
    ASSERT_TRUE(command.until([&] { return command.output().find("Copied") != std::string::npos; }))
        << command.output();
    EXPECT_EQ(clipboard(), reinterpret_cast<const char*>(u8"账号  密码pw"));
    command.signal(SIGTERM);
    ASSERT_TRUE(command.until([&] { return command.pump(0); }));
    EXPECT_EQ(clipboard(), "");
}

}  // namespace
}  // namespace quillet::app
