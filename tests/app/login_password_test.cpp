#include "app/login_password.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app/ftp_password.h"
#include "app/password_vault.h"
#include "app/record_store.h"
#include "app/store_sync.h"
#include "app/text_cipher.h"
#include "db/database_handle.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/settings_file.h"
#include "record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"
#include "tests/support/cheap_keys.h"

namespace quillet::app {
namespace {

using Kind = LoginResult::Kind;

constexpr char kOld[] = "old密码1";
constexpr char kNew[] = "new密码2";
constexpr char kFtpPassword[] = "ftp-口令";

std::string settings() { return platform::program_file("data.ini"); }
std::string ftp_settings() { return platform::program_file("ftp.ini"); }
std::string stored_vault() { return platform::read_setting(settings(), "password", "password"); }
std::string pending_vault() { return platform::read_setting(settings(), "pending", "pending"); }

bool store_opens_with(const std::string& password) {
    db::Database store;
    db::AccessOptions options;
    options.password = password;
    return db::Database::open(platform::program_file("data.edb"), options, &store).ok();
}

// What the FTP window would show in a session of `login_password`.
std::string ftp_password_for(const std::string& login_password) {
    const std::string stored = platform::read_setting(ftp_settings(), "ftp", "password");
    platform::LockedBytes opened;
    if (!open_ftp_password(*derive_ftp_key(stored, login_password), stored, &opened)) return {};
    return std::string(opened.view());
}

class LoginPasswordTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::use_cheap_key_derivations();
        create_record_store(kOld);
        ASSERT_TRUE(platform::write_setting(settings(), "password", "password",
                                            format_vault(new_vault(kOld, &recovery_code_))));
        ASSERT_TRUE(platform::write_setting(ftp_settings(), "ftp", "password",
                                            seal_ftp_password(*derive_ftp_key({}, kOld), kFtpPassword)));
        ASSERT_EQ(add_record(kOld, {"平台", "acct", "pw", "https://a.example", "备注"}), WriteResult::kDone);
    }
    void TearDown() override { set_password_change_step_hook({}); }

    // Which of the two passwords log in and open the store and the FTP password now.
    void expect_only_working(const std::string& working, const std::string& failing) {
        EXPECT_EQ(log_in_with(failing).kind, Kind::kWrongPassword);
        const LoginResult login = log_in_with(working);
        EXPECT_EQ(login.kind, Kind::kLoggedIn);
        EXPECT_EQ(login.new_recovery_code, "") << "the vault did not follow the store";
        EXPECT_TRUE(store_opens_with(working));
        const std::vector<Record> records = list_records(working);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(decipher(records[0].password_cipher, kCipherKey), "pw");
        EXPECT_EQ(ftp_password_for(working), kFtpPassword);
        EXPECT_EQ(pending_vault(), "") << "the login did not settle the change";
        EXPECT_EQ(platform::read_setting(settings(), "pending", "pending", "<none>"), "<none>");
    }

    void move_store_aside() { ASSERT_EQ(std::rename(platform::program_file("data.edb").c_str(), aside().c_str()), 0); }
    void put_store_back() { ASSERT_EQ(std::rename(aside().c_str(), platform::program_file("data.edb").c_str()), 0); }
    static std::string aside() { return platform::program_file("data.edb.aside"); }

    TempProgramDirectory dir_;
    std::string recovery_code_;
};

TEST_F(LoginPasswordTest, TheStoreDecidesByteForByte) {
    EXPECT_EQ(log_in_with(kOld).kind, Kind::kLoggedIn);
    for (const std::string wrong : {"OLD密码1", "old密码1 ", "", "?", "old密码"}) {
        EXPECT_EQ(log_in_with(wrong).kind, Kind::kWrongPassword) << wrong;
    }
    // data.ini lost: the store still knows its password; the vault starts anew.
    std::remove(settings().c_str());
    const LoginResult login = log_in_with(kOld);
    EXPECT_EQ(login.kind, Kind::kLoggedIn);
    EXPECT_NE(login.new_recovery_code, "");
    EXPECT_EQ(log_in_with(kOld).new_recovery_code, "") << "a code is made once, not at every login";
}

// A store that cannot tell (gone, or held by another program) must not lock the user out:
// the vault decides, and the user is told what is wrong with the store.
TEST_F(LoginPasswordTest, AStoreThatCannotTellLeavesTheDecisionToTheVault) {
    move_store_aside();
    const LoginResult login = log_in_with(kOld);
    EXPECT_EQ(login.kind, Kind::kLoggedIn);
    EXPECT_NE(login.store_problem.find("data.edb"), std::string::npos);
    EXPECT_EQ(log_in_with(kNew).kind, Kind::kWrongPassword);
    put_store_back();

    db::AccessOptions exclusive;
    exclusive.password = kOld;
    exclusive.share_mode = 0;
    db::Database held;
    ASSERT_TRUE(db::Database::open(platform::program_file("data.edb"), exclusive, &held).ok());
    // Another opening in this process stands for another program holding the store.
    EXPECT_EQ(log_in_with(kNew).kind, Kind::kWrongPassword);
}

// A store of another layout is no store to confirm a password with: the vault decides, the
// user is told what is wrong with it, and a password change leaves it alone.
TEST_F(LoginPasswordTest, AStoreWithOtherFieldsIsRefusedWithWhatIsWrongAndLeftAlone) {
    create_foreign_store(kOld);
    const std::string before = test::read_file_bytes(platform::program_file("data.edb"));
    const LoginResult login = log_in_with(kOld);
    EXPECT_EQ(login.kind, Kind::kLoggedIn);
    EXPECT_NE(login.store_problem.find("数据文件的字段结构不对，无法使用"), std::string::npos) << login.store_problem;
    EXPECT_NE(login.store_problem.find("“NO”"), std::string::npos) << login.store_problem;
    EXPECT_EQ(log_in_with(kNew).kind, Kind::kWrongPassword);
    EXPECT_EQ(change_login_password(kOld, kNew), PasswordChange::kStoreFailed);
    EXPECT_EQ(test::read_file_bytes(platform::program_file("data.edb")), before);
}

TEST_F(LoginPasswordTest, AStoreWithoutAccessPasswordLetsNoPasswordIn) {
    ASSERT_TRUE(db::create_data_file(platform::program_file("data.edb"), credential_fields()).ok());
    EXPECT_EQ(log_in_with(kOld).kind, Kind::kStoreWithoutPassword);
    EXPECT_EQ(log_in_with("anything").kind, Kind::kStoreWithoutPassword);
}

// A store re-keyed by another tool, or copied in: its password logs in, the vault is made
// anew for it with a new recovery code, and the vault's old password no longer counts.
TEST_F(LoginPasswordTest, AStoreWithAnotherPasswordDecidesAndTheVaultFollows) {
    create_record_store("other");
    EXPECT_EQ(log_in_with(kOld).kind, Kind::kWrongPassword);
    const LoginResult login = log_in_with("other");
    EXPECT_EQ(login.kind, Kind::kLoggedIn);
    EXPECT_NE(login.new_recovery_code, "");
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(stored_vault(), &vault));
    EXPECT_TRUE(vault_holds(vault, "other"));
}

// An old folder: data.ini holds the enciphered password (and an old change's pending
// one). It logs in as before, once; then neither is left and a recovery code exists.
TEST_F(LoginPasswordTest, AnOldFolderLogsInOnceAndKeepsNoReadablePassword) {
    ASSERT_TRUE(platform::write_setting(settings(), "password", "password", encipher(kOld, kCipherKey)));
    ASSERT_TRUE(platform::write_setting(settings(), "pending", "pending", encipher(kNew, kCipherKey)));
    EXPECT_EQ(log_in_with(kNew).kind, Kind::kWrongPassword);
    const LoginResult login = log_in_with(kOld);
    EXPECT_EQ(login.kind, Kind::kLoggedIn);
    EXPECT_NE(login.new_recovery_code, "");
    EXPECT_EQ(pending_vault(), "");
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(stored_vault(), &vault));
    EXPECT_TRUE(vault_holds(vault, kOld));

    // With the store away, the old value alone still lets its password in, and is upgraded.
    ASSERT_TRUE(platform::write_setting(settings(), "password", "password", encipher(kOld, kCipherKey)));
    move_store_aside();
    const LoginResult offline = log_in_with(kOld);
    EXPECT_EQ(offline.kind, Kind::kLoggedIn);
    EXPECT_NE(offline.store_problem, "");
    EXPECT_NE(offline.new_recovery_code, "");
    EXPECT_TRUE(parse_vault(stored_vault(), &vault));
}

TEST_F(LoginPasswordTest, ChangeReKeysTheStoreReSealsTheFtpPasswordAndKeepsTheRecoveryCode) {
    EXPECT_EQ(change_login_password(kOld, kNew), PasswordChange::kDone);
    expect_only_working(kNew, kOld);
    EXPECT_EQ(platform::read_setting(ftp_settings(), "ftp", "password").find(','), std::string::npos);
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(stored_vault(), &vault));
    platform::LockedBytes data_key;
    EXPECT_TRUE(open_with_recovery_code(vault, recovery_code_, &data_key)) << "the recovery code changed";
    // And back again: a second change starts from a clean state.
    EXPECT_EQ(change_login_password(kNew, kOld), PasswordChange::kDone);
    expect_only_working(kOld, kNew);
}

TEST_F(LoginPasswordTest, ChangeReKeysTheSyncBaseWithTheStore) {
    {
        const auto lock = lock_store();
        ASSERT_TRUE(
            write_store_file(sync_base_file(), kOld, *read_store_file(platform::program_file("data.edb"), kOld)));
    }
    ASSERT_EQ(change_login_password(kOld, kNew), PasswordChange::kDone);
    const auto lock = lock_store();
    EXPECT_FALSE(read_store_file(sync_base_file(), kOld));
    const auto base = read_store_file(sync_base_file(), kNew);
    ASSERT_TRUE(base);
    EXPECT_EQ(base->size(), 1u);
}

TEST_F(LoginPasswordTest, WrongCurrentPasswordOrAForeignStoreChangesNothing) {
    EXPECT_EQ(change_login_password("guess", kNew), PasswordChange::kWrongPassword);
    expect_only_working(kOld, kNew);
    move_store_aside();
    EXPECT_EQ(change_login_password(kOld, kNew), PasswordChange::kStoreFailed);
    put_store_back();
    expect_only_working(kOld, kNew);
}

TEST_F(LoginPasswordTest, TheRecoveryCodeSetsANewPasswordAndAWrongCodeChangesNothing) {
    std::string wrong = recovery_code_;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    EXPECT_EQ(recover_login_password(wrong, kNew), Recovery::kWrongCode);
    EXPECT_EQ(recover_login_password("not a code", kNew), Recovery::kWrongCode);
    expect_only_working(kOld, kNew);

    // Typed in lower case with spaces for dashes, after a password change.
    ASSERT_EQ(change_login_password(kOld, "third密码"), PasswordChange::kDone);
    std::string typed;
    for (char c : recovery_code_) typed += c == '-' ? ' ' : static_cast<char>(std::tolower(c));
    EXPECT_EQ(recover_login_password(typed, kNew), Recovery::kDone);
    expect_only_working(kNew, "third密码");
    EXPECT_EQ(recover_login_password(recovery_code_, kOld), Recovery::kDone) << "the code stays valid";
    expect_only_working(kOld, kNew);
}

TEST_F(LoginPasswordTest, ANewRecoveryCodeReplacesTheOldOne) {
    std::string replacement;
    EXPECT_FALSE(replace_recovery_code(kNew, &replacement));
    ASSERT_TRUE(replace_recovery_code(kOld, &replacement));
    EXPECT_NE(replacement, recovery_code_);
    EXPECT_EQ(recover_login_password(recovery_code_, kNew), Recovery::kWrongCode);
    EXPECT_EQ(recover_login_password(replacement, kNew), Recovery::kDone);
    expect_only_working(kNew, kOld);
}

// A crash right after a step, simulated by killing a forked child from the step hook.
// Whatever the step, exactly one of the passwords logs in afterwards and opens the store
// and the FTP password: the old one before the re-key, the new one after it.
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
    }
}

// The same at every single file change of the whole password change, the re-key's own
// writes, syncs and renames and the settings files' rewrites included.
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
        if (store_opens_with(kOld)) {
            expect_only_working(kOld, kNew);
        } else {
            expect_only_working(kNew, kOld);
            ASSERT_EQ(change_login_password(kNew, kOld), PasswordChange::kDone);
        }
    }
    EXPECT_TRUE(completed) << "the change never ran to its end";
    // The settings files' four renames alone are four changes; the re-key adds its own.
    EXPECT_GT(change, 8) << "the kills did not reach into the re-key";
}

// A pending change the store cannot decide (the store is gone) keeps both passwords
// usable rather than locking the user out, and is settled once the store is back.
TEST_F(LoginPasswordTest, UndecidablePendingChangeAcceptsEitherUntilTheStoreTells) {
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(stored_vault(), &vault));
    platform::LockedBytes data_key;
    ASSERT_TRUE(open_with_password(vault, kOld, &data_key));
    ASSERT_TRUE(platform::write_setting(settings(), "pending", "pending",
                                        format_vault(vault_for_new_password(vault, data_key, kNew))));
    move_store_aside();
    EXPECT_EQ(log_in_with(kOld).kind, Kind::kLoggedIn);
    EXPECT_EQ(log_in_with(kNew).kind, Kind::kLoggedIn);
    EXPECT_NE(pending_vault(), "");
    put_store_back();
    expect_only_working(kOld, kNew);
}

}  // namespace
}  // namespace quillet::app
