#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/session.h"
#include "app/startup.h"
#include "app/password_vault.h"
#include "app/text_cipher.h"
#include "app_gui_fixture.h"
#include "db/database_handle.h"
#include "platform/recording_clipboard.h"
#include "platform/settings_file.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

namespace forms = quillet::ui::forms;

class StartupGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_session(state);
            bind_password_setup(state, [](const std::string& file, const std::string& section, const std::string& key,
                                          const std::string& value) {
                // Counts down to the write that fails, like a disk that fills up.
                if (writes_until_failure_ >= 0 && writes_until_failure_-- == 0) return false;
                return platform::write_setting(file, section, key, value);
            });
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        writes_until_failure_ = -1;
        platform::set_clipboard(&clipboard_);
    }

    void TearDown() override {
        platform::set_clipboard(nullptr);
        AppGuiTest::TearDown();
    }

    std::string setting(const std::string& section) {
        return platform::read_setting(path("data.ini"), section, section);
    }

    // Whether data.ini's vault keeps exactly `password`.
    bool vault_holds_password(const std::string& password) {
        PasswordVault vault;
        return parse_vault(setting("password"), &vault) && vault_holds(vault, password);
    }

    // The message that shows a recovery code, and the code it shows.
    static std::string code_shown_in(const std::string& message) {
        const std::string before = "你的恢复码为：\r\n\r\n";
        if (message.rfind(before, 0) != 0) return {};
        return message.substr(before.size(), message.find('\r', before.size()) - before.size());
    }

    std::string file_bytes(const std::string& name) {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    bool store_opens_with(const std::string& password) {
        db::Database db;
        db::AccessOptions options;
        options.password = password;
        return db::Database::open(path("data.edb"), options, &db).ok();
    }

    void make_store(const std::string& password) {
        ASSERT_TRUE(write_empty_store(path("data.edb")));
        if (password.empty()) return;
        db::Database db;
        ASSERT_TRUE(db::Database::open(path("data.edb"), {}, &db).ok());
        ASSERT_TRUE(db.set_password(password).ok());
    }

    void set_up_with(const std::string& password) {
        user().type_text(forms::setup::window, forms::setup::password, password);
        user().click(forms::setup::window, forms::setup::finish);
    }

    // The setup's data.ini writes that succeed before one fails; -1: none fails.
    static inline int writes_until_failure_ = -1;
    platform::RecordingClipboard clipboard_;
};

TEST_F(StartupGuiTest, WithoutTheFlagTheSetupWindowOpensAndNoStoreIsMade) {
    run_startup(state());
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(windows().is_open(forms::login::window));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
    EXPECT_TRUE(shown().empty());
}

TEST_F(StartupGuiTest, AFlagOtherThanOneCountsAsNotSetUpEvenWithAStore) {
    make_store("");
    const std::string before = file_bytes("data.edb");
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "01"));
    run_startup(state());
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_EQ(file_bytes("data.edb"), before);
}

TEST_F(StartupGuiTest, FlagAndStoreOpenTheLoginWindow) {
    make_store("pw");
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    run_startup(state());
    EXPECT_TRUE(windows().is_open(forms::login::window));
    EXPECT_FALSE(windows().is_open(forms::setup::window));
    EXPECT_TRUE(shown().empty());
}

TEST_F(StartupGuiTest, AMissingStoreIsRecreatedEmptyAndTheUserAskedForAPassword) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    run_startup(state());
    EXPECT_EQ(messages(), std::vector<std::string>{"发现数据库被删除，需重新设置密码"});
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_EQ(file_bytes("data.edb").size(), 548u);
    EXPECT_TRUE(store_opens_with(""));

    // Quitting without a new password: the next start asks for one again instead of
    // a login with the old password, which the new store does not have.
    windows().destroy_window(forms::setup::window);
    run_startup(state());
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(windows().is_open(forms::login::window));
}

TEST_F(StartupGuiTest, ADirectoryNamedLikeTheStoreCountsAsMissing) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    std::filesystem::create_directory(path("data.edb"));
    run_startup(state());
    EXPECT_EQ(messages(), std::vector<std::string>{"发现数据库被删除，需重新设置密码"});
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_TRUE(std::filesystem::is_directory(path("data.edb")));
}

#ifndef _WIN32
TEST_F(StartupGuiTest, AStoreLinkPointingNowhereIsLeftAndNothingIsMadeWhereItPoints) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    std::filesystem::create_symlink(path("victim.bin"), path("data.edb"));
    run_startup(state());
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(std::filesystem::exists(path("victim.bin")));
    EXPECT_TRUE(std::filesystem::is_symlink(path("data.edb")));
}
#endif

TEST_F(StartupGuiTest, SetupWithAnEmptyBoxOnlyShowsTheTip) {
    run_startup(state());
    user().click(forms::setup::window, forms::setup::finish);
    EXPECT_EQ(balloons(), std::vector<std::string>{"请输入密码"});
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(std::filesystem::exists(path("data.ini")));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
}

TEST_F(StartupGuiTest, SetupWithCharactersGbkCannotHoldWritesNothing) {
    run_startup(state());
    user().type_text(forms::setup::window, forms::setup::password, "pw");
    user().type_utf8(forms::setup::window, forms::setup::password, "\xF0\x9F\x98\x80");
    user().click(forms::setup::window, forms::setup::finish);
    EXPECT_EQ(messages(), std::vector<std::string>{"登录密码含有无法保存的字符（如表情符号、生僻字），未设置"});
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(std::filesystem::exists(path("data.ini")));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
}

// First run without a store: the store is made first and locked with the new password,
// so the first session already has a working store.
TEST_F(StartupGuiTest, FirstSetupStoresSixteenCharactersAndLocksANewStore) {
    run_startup(state());
    set_up_with("Abcdefghijklmn16x");  // the 17th character is refused by the box
    const std::string password = "Abcdefghijklmn16";

    const std::vector<std::string> shown = messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "你设置的密码为：" + password +
                            "\r\n请一定要牢记密码，否则无法查看数据文件，已将密码置剪辑板，你可粘贴保存起来！");
    // The recovery code opens the vault; nothing in data.ini gives the password away.
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(setting("password"), &vault));
    platform::LockedBytes data_key, kept;
    ASSERT_TRUE(open_with_recovery_code(vault, code_shown_in(shown[1]), &data_key)) << shown[1];
    ASSERT_TRUE(kept_password(vault, data_key, &kept));
    EXPECT_EQ(kept.view(), password);
    EXPECT_TRUE(vault_holds_password(password));
    EXPECT_EQ(decipher(setting("password"), kCipherKey), "");
    EXPECT_EQ(clipboard_.content(), password);
    EXPECT_EQ(setting("reg"), "1");
    EXPECT_EQ(setting("tishi"), std::string(kForgottenPasswordNote));
    EXPECT_NE(file_bytes("data.ini").find("[password]"), std::string::npos);
    EXPECT_LT(file_bytes("data.ini").find("[password]"), file_bytes("data.ini").find("[reg]"));
    EXPECT_LT(file_bytes("data.ini").find("[reg]"), file_bytes("data.ini").find("[tishi]"));

    EXPECT_TRUE(store_opens_with(password));
    EXPECT_FALSE(store_opens_with(""));
    EXPECT_TRUE(windows().is_open(forms::login::window));
    EXPECT_FALSE(windows().is_open(forms::setup::window));

    // The next start goes straight to the login window.
    windows().destroy_window(forms::login::window);
    run_startup(state());
    EXPECT_TRUE(windows().is_open(forms::login::window));
}

#ifndef _WIN32  // file modes and the umask; Windows files get an owner-only DACL instead
TEST_F(StartupGuiTest, EveryFileOfTheFirstSetupIsOwnerOnlyUnderTheUsualUmask) {
    const mode_t old_umask = umask(022);
    run_startup(state());
    set_up_with("pw");
    ASSERT_TRUE(windows().is_open(forms::login::window));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path(""))) {
        const std::string name = entry.path().filename().string();
        names.push_back(name);
        struct stat info {};
        ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "data.edb"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "data.ini"), names.end());
    umask(old_umask);
}
#endif

TEST_F(StartupGuiTest, SetupAfterTheStoreWasRecreatedLocksTheNewStore) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password", encipher("old", kCipherKey)));
    run_startup(state());
    messages();
    set_up_with("new");
    EXPECT_TRUE(store_opens_with("new"));
    EXPECT_TRUE(vault_holds_password("new"));
}

TEST_F(StartupGuiTest, SetupOverAStoreLockedWithThatPasswordKeepsIt) {
    make_store("same");
    run_startup(state());
    set_up_with("same");
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_TRUE(vault_holds_password("same"));
    EXPECT_TRUE(store_opens_with("same"));
    EXPECT_TRUE(windows().is_open(forms::login::window));
}

TEST_F(StartupGuiTest, SetupOverAStoreLockedWithAnotherPasswordWritesNothing) {
    make_store("original");
    const std::string before = file_bytes("data.edb");
    run_startup(state());
    set_up_with("other");
    const std::vector<std::string> shown_messages = messages();
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_NE(shown_messages[0].find("原来的密码"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path("data.ini")));
    EXPECT_EQ(clipboard_.content(), "");
    EXPECT_EQ(file_bytes("data.edb"), before);
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(windows().is_open(forms::login::window));

    // The original password completes the setup.
    windows().set_text(forms::setup::window, forms::setup::password, "");
    set_up_with("original");
    EXPECT_TRUE(vault_holds_password("original"));
    EXPECT_TRUE(windows().is_open(forms::login::window));
}

// A directory where data.ini belongs makes every write of it fail, even for root.
TEST_F(StartupGuiTest, SetupThatCannotWriteTheSettingsSaysSoAndTheSamePasswordCompletesItLater) {
    make_store("");
    std::filesystem::create_directory(path("data.ini"));
    run_startup(state());
    set_up_with("chosen");
    const std::vector<std::string> shown_messages = messages();
    ASSERT_EQ(shown_messages.size(), 1u);
    EXPECT_NE(shown_messages[0].find("data.ini"), std::string::npos) << shown_messages[0];
    EXPECT_NE(shown_messages[0].find("密码设置未完成"), std::string::npos) << shown_messages[0];
    EXPECT_NE(shown_messages[0].find("（chosen）"), std::string::npos) << shown_messages[0];
    EXPECT_EQ(clipboard_.content(), "");
    EXPECT_TRUE(windows().is_open(forms::setup::window));
    EXPECT_FALSE(windows().is_open(forms::login::window));
    EXPECT_TRUE(store_opens_with("chosen"));

    // Once the file can be written, the next start asks again and the same password finishes.
    std::filesystem::remove(path("data.ini"));
    windows().destroy_window(forms::setup::window);
    run_startup(state());
    ASSERT_TRUE(windows().is_open(forms::setup::window));
    set_up_with("chosen");
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_EQ(setting("reg"), "1");
    EXPECT_TRUE(vault_holds_password("chosen"));
    EXPECT_TRUE(windows().is_open(forms::login::window));
}

// Setup on a first run and after the store was recreated, with each data.ini write
// failing in turn: the setup completes only with the password and the flag stored, and
// a failed one leaves a state from which the next start and the same password recover.
TEST_F(StartupGuiTest, EachFailedSettingsWriteLeavesAStateTheNextStartRecoversFrom) {
    const std::string kFinished = "你设置的密码为：";
    for (const bool recreated : {false, true}) {
        // Password, flag, note; where the start could not clear the old flag, that first.
        const int writes = recreated ? 4 : 3;
        for (int failing = 0; failing < writes; ++failing) {
            SCOPED_TRACE((recreated ? "recreated store, failing write " : "first run, failing write ") +
                         std::to_string(failing));
            windows().destroy_window(forms::setup::window);
            windows().destroy_window(forms::login::window);
            std::filesystem::remove(path("data.ini"));
            std::filesystem::remove(path("data.edb"));
            if (recreated) {
                ASSERT_TRUE(
                    platform::write_setting(path("data.ini"), "password", "password", encipher("old", kCipherKey)));
                ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
            }
            run_startup(state());
            messages();
            if (recreated) {
                EXPECT_EQ(setting("reg"), "");
                ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));  // as if not cleared
            }
            const std::string settings_before = file_bytes("data.ini");

            writes_until_failure_ = failing;
            set_up_with("new");
            writes_until_failure_ = -1;
            const std::vector<std::string> told = messages();
            const bool finished = failing == writes - 1;  // only the note failed
            ASSERT_EQ(told.size(), finished ? 2u : 1u);
            EXPECT_EQ(told[0].rfind(kFinished, 0) == 0, finished) << told[0];
            EXPECT_EQ(windows().is_open(forms::login::window), finished);
            if (recreated && failing == 0) {
                // Nothing could be written: nothing was changed, the setup window stays.
                EXPECT_NE(told[0].find("未做任何修改"), std::string::npos) << told[0];
                EXPECT_EQ(file_bytes("data.ini"), settings_before);
                EXPECT_TRUE(store_opens_with(""));
                EXPECT_TRUE(windows().is_open(forms::setup::window));
                continue;
            }
            EXPECT_TRUE(store_opens_with("new"));
            EXPECT_EQ(setting("reg") == "1", finished);

            // The next start.
            windows().destroy_window(forms::setup::window);
            windows().destroy_window(forms::login::window);
            run_startup(state());
            if (finished) {
                EXPECT_TRUE(windows().is_open(forms::login::window));
                continue;
            }
            ASSERT_TRUE(windows().is_open(forms::setup::window));
            windows().set_text(forms::setup::window, forms::setup::password, "");
            set_up_with("new");
            const std::vector<std::string> then = messages();
            ASSERT_EQ(then.size(), 2u);
            EXPECT_EQ(then[0].rfind(kFinished, 0), 0u) << then[0];
            EXPECT_NE(code_shown_in(then[1]), "");
            EXPECT_EQ(setting("reg"), "1");
            EXPECT_TRUE(vault_holds_password("new"));
            EXPECT_TRUE(store_opens_with("new"));
        }
    }
}

}  // namespace
}  // namespace quillet::app
