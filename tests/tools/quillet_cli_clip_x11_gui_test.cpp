// quillet-cli clip end to end on a real X server: the copy read back with xclip while the
// command waits, its secret marker, and the clipboard emptied when the wait is cut short.
// Needs DISPLAY (the test command runs an Xvfb); tests of one display take turns through
// a lock file, since they share its clipboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/password_vault.h"
#include "app/record_store.h"
#include "app/startup.h"
#include "app/text_cipher.h"
#include "db/database_handle.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "tests/support/cheap_keys.h"
#include "tests/support/child_process.h"

namespace quillet::app {
namespace {

using test::ChildProcess;

constexpr long kPatienceMs = 10000;
constexpr char kPassword[] = "login1";

std::string run_tool(std::vector<std::string> args) {
    ChildProcess tool(std::move(args));
    EXPECT_TRUE(tool.until([&] { return tool.pump(0); }, kPatienceMs)) << "tool did not end";
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
        db::Database db;
        ASSERT_TRUE(db::Database::open(store, {}, &db).ok());
        ASSERT_TRUE(db.set_password(kPassword).ok());
        const std::string ini = platform::program_file("data.ini");
        std::string recovery_code;
        testing_support::use_cheap_key_derivations();
        ASSERT_TRUE(platform::write_setting(ini, "password", "password",
                                            format_vault(new_vault(kPassword, &recovery_code))));
        ASSERT_TRUE(platform::write_setting(ini, "reg", "reg", "1"));
        ASSERT_EQ(add_record(kPassword, {"平台", "账号", "密码pw", "", ""}), WriteResult::kDone);
    }
    void TearDown() override {
        platform::set_program_directory_for_testing("");
        std::filesystem::remove_all(dir_);
    }

    ChildProcess clip(const std::string& what) const {
        return ChildProcess({QUILLET_CLI_PATH, "clip", "1", what, "--password-stdin", "--dir", dir_.string()},
                     std::string(kPassword) + "\n", STDERR_FILENO);
    }

    std::filesystem::path dir_;
};

TEST_F(QuilletCliClipTest, PasswordIsPasteableMarkedAndGoneWhenTheWaitIsCutShort) {
    ChildProcess command = clip("password");
    ASSERT_TRUE(command.until([&] { return command.output().find("Copied") != std::string::npos; }, kPatienceMs))
        << command.output();
    EXPECT_EQ(clipboard(), reinterpret_cast<const char*>(u8"密码pw"));
    EXPECT_NE(clipboard_targets().find("x-kde-passwordManagerHint"), std::string::npos);
    EXPECT_FALSE(command.pump(0));  // still waiting in the foreground
    command.signal(SIGINT);
    ASSERT_TRUE(command.until([&] { return command.pump(0); }, kPatienceMs));
    EXPECT_EQ(command.status(), 0);
    EXPECT_NE(command.output().find("Clipboard cleared"), std::string::npos) << command.output();
    EXPECT_EQ(clipboard(), "");
}

TEST_F(QuilletCliClipTest, BothCopiesAccountAndPasswordAsTheListDoes) {
    ChildProcess command = clip("both");
    ASSERT_TRUE(command.until([&] { return command.output().find("Copied") != std::string::npos; }, kPatienceMs))
        << command.output();
    EXPECT_EQ(clipboard(), reinterpret_cast<const char*>(u8"账号  密码pw"));
    command.signal(SIGTERM);
    ASSERT_TRUE(command.until([&] { return command.pump(0); }, kPatienceMs));
    EXPECT_EQ(clipboard(), "");
}

}  // namespace
}  // namespace quillet::app
