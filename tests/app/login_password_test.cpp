#include "app/login_password.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app/record_store.h"
#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "record_store_fixture.h"

namespace quillet::app {
namespace {

constexpr char kOld[] = "old密码1";
constexpr char kNew[] = "new密码2";

std::string settings() { return platform::program_file("data.ini"); }

bool store_opens_with(const std::string& password) {
    db::OpenOptions options;
    options.password = password;
    const std::string path = platform::program_file("data.edb");
    if (!db::open_database(path, options)) return false;
    db::close_database(path);
    return true;
}

class LoginPasswordTest : public testing::Test {
  protected:
    void SetUp() override {
        create_record_store(kOld);
        ASSERT_TRUE(platform::write_setting(settings(), "password", "password", encipher(kOld, kCipherKey)));
        ASSERT_EQ(add_record(kOld, {"平台", "acct", "pw", "https://a.example", "备注"}), WriteResult::kDone);
    }
    void TearDown() override { set_password_change_step_hook({}); }

    // Which of the two passwords log in and open the store now.
    void expect_only_working(const std::string& working, const std::string& failing) {
        EXPECT_TRUE(check_login_password(working));
        EXPECT_FALSE(check_login_password(failing));
        EXPECT_TRUE(store_opens_with(working));
        const std::vector<Record> records = list_records(working);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(decipher(records[0].password_cipher, kCipherKey), "pw");
    }

    TempProgramDirectory dir_;
};

TEST_F(LoginPasswordTest, ChecksTheStoredPasswordByteForByte) {
    EXPECT_TRUE(check_login_password(kOld));
    EXPECT_FALSE(check_login_password("OLD密码1"));
    EXPECT_FALSE(check_login_password(std::string(kOld) + " "));
    EXPECT_FALSE(check_login_password(""));
}

TEST_F(LoginPasswordTest, NoSettingsFileAcceptsNothing) {
    std::remove(settings().c_str());
    EXPECT_FALSE(check_login_password(kOld));
    EXPECT_FALSE(check_login_password(""));
}

TEST_F(LoginPasswordTest, ChangeReKeysTheStoreAndLeavesNothingPending) {
    EXPECT_EQ(change_login_password(kOld, kNew), PasswordChange::kDone);
    expect_only_working(kNew, kOld);
    EXPECT_EQ(platform::read_setting(settings(), "pending", "pending"), "");
    EXPECT_EQ(decipher(platform::read_setting(settings(), "password", "password"), kCipherKey), kNew);
    // And back again: a second change starts from a clean state.
    EXPECT_EQ(change_login_password(kNew, kOld), PasswordChange::kDone);
    expect_only_working(kOld, kNew);
}

TEST_F(LoginPasswordTest, WrongCurrentPasswordChangesNothing) {
    EXPECT_EQ(change_login_password("guess", kNew), PasswordChange::kWrongPassword);
    expect_only_working(kOld, kNew);
}

// data.ini names a password the store was never locked with (a store replaced by hand):
// the change cannot re-key it and must not leave the new password counting.
TEST_F(LoginPasswordTest, StoreLockedWithAnotherPasswordIsLeftAndNothingPends) {
    create_record_store("other");
    EXPECT_EQ(change_login_password(kOld, kNew), PasswordChange::kStoreFailed);
    EXPECT_TRUE(check_login_password(kOld));
    EXPECT_FALSE(check_login_password(kNew));
    EXPECT_TRUE(store_opens_with("other"));
}

// A crash right after a step, simulated by killing a forked child from the step hook.
// Whatever the step, exactly one of the passwords logs in afterwards and opens the store
// with its records: the old one before the re-key, the new one after it.
TEST_F(LoginPasswordTest, KillAfterAnyStepLeavesExactlyOnePasswordWorking) {
    for (int step = 1; step <= 3; ++step) {
        SCOPED_TRACE(step);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            set_password_change_step_hook([step](int done) {
                if (done == step) raise(SIGKILL);
            });
            change_login_password(kOld, kNew);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        if (step == 1) {
            expect_only_working(kOld, kNew);
        } else {
            expect_only_working(kNew, kOld);
            // Put the old password back for the next round.
            ASSERT_EQ(change_login_password(kNew, kOld), PasswordChange::kDone);
        }
        EXPECT_EQ(platform::read_setting(settings(), "pending", "pending"), "");
    }
}

// The same at every single file change of the whole password change, the re-key's own
// writes, syncs and renames included: a crash anywhere leaves one password working.
int g_changes_left = 0;

platform::FileError kill_at_the_chosen_change() {
    if (--g_changes_left == 0) raise(SIGKILL);
    return platform::FileError::kNone;
}

TEST_F(LoginPasswordTest, KillAtAnyFileChangeLeavesExactlyOnePasswordWorking) {
    bool completed = false;
    int change = 1;
    for (; !completed && change < 200; ++change) {
        SCOPED_TRACE(change);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            g_changes_left = change;
            platform::set_change_hook(kill_at_the_chosen_change);
            _exit(change_login_password(kOld, kNew) == PasswordChange::kDone ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        completed = WIFEXITED(status);
        if (completed) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        if (check_login_password(kOld)) {
            expect_only_working(kOld, kNew);
        } else {
            expect_only_working(kNew, kOld);
            ASSERT_EQ(change_login_password(kNew, kOld), PasswordChange::kDone);
        }
    }
    EXPECT_TRUE(completed) << "the change never ran to its end";
    // data.ini's two rewrites alone are two changes; the re-key adds its writes and syncs.
    EXPECT_GT(change, 6) << "the kills did not reach into the re-key";
}

// A pending change the store cannot decide (the store is gone) keeps both passwords
// usable rather than locking the user out, and is settled once the store is back.
TEST_F(LoginPasswordTest, UndecidablePendingChangeAcceptsEitherUntilTheStoreTells) {
    ASSERT_TRUE(platform::write_setting(settings(), "pending", "pending", encipher(kNew, kCipherKey)));
    const std::string path = platform::program_file("data.edb");
    const std::string aside = path + ".aside";
    ASSERT_EQ(std::rename(path.c_str(), aside.c_str()), 0);
    EXPECT_TRUE(check_login_password(kOld));
    EXPECT_TRUE(check_login_password(kNew));
    ASSERT_EQ(std::rename(aside.c_str(), path.c_str()), 0);
    expect_only_working(kOld, kNew);
    EXPECT_EQ(platform::read_setting(settings(), "pending", "pending"), "");
}

}  // namespace
}  // namespace quillet::app
