#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/session.h"
#include "app/startup.h"
#include "app/text_cipher.h"
#include "app_gui_fixture.h"
#include "db/database.h"
#include "platform/recording_clipboard.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

using ui::kLoginWindow;
using ui::kSetupWindow;

class StartupGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_session(state);
            bind_password_setup(state);
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        platform::set_clipboard(&clipboard_);
    }

    void TearDown() override {
        platform::set_clipboard(nullptr);
        AppGuiTest::TearDown();
    }

    std::string setting(const std::string& section) {
        return platform::read_setting(path("data.ini"), section, section);
    }

    std::string file_bytes(const std::string& name) {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    bool store_opens_with(const std::string& password) {
        db::OpenOptions options;
        options.password = password;
        const bool opened = db::open_database(path("data.edb"), options);
        db::close_database(path("data.edb"));
        return opened;
    }

    void make_store(const std::string& password) {
        ASSERT_TRUE(write_empty_store(path("data.edb")));
        if (password.empty()) return;
        ASSERT_TRUE(db::open_database(path("data.edb")));
        ASSERT_TRUE(db::set_access_password(password));
        db::close_database(path("data.edb"));
    }

    void set_up_with(const std::string& password) {
        windows().type_text(kSetupWindow, "编辑框_设置登录密码", password);
        windows().click(kSetupWindow, "按钮_完成设置");
    }

    platform::RecordingClipboard clipboard_;
};

TEST_F(StartupGuiTest, WithoutTheFlagTheSetupWindowOpensAndNoStoreIsMade) {
    run_startup(state());
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_FALSE(windows().is_open(kLoginWindow));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
    EXPECT_TRUE(shown().empty());
}

TEST_F(StartupGuiTest, AFlagOtherThanOneCountsAsNotSetUpEvenWithAStore) {
    make_store("");
    const std::string before = file_bytes("data.edb");
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "01"));
    run_startup(state());
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_EQ(file_bytes("data.edb"), before);
}

TEST_F(StartupGuiTest, FlagAndStoreOpenTheLoginWindow) {
    make_store("pw");
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    run_startup(state());
    EXPECT_TRUE(windows().is_open(kLoginWindow));
    EXPECT_FALSE(windows().is_open(kSetupWindow));
    EXPECT_TRUE(shown().empty());
}

TEST_F(StartupGuiTest, AMissingStoreIsRecreatedEmptyAndTheUserAskedForAPassword) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    run_startup(state());
    EXPECT_EQ(messages(), std::vector<std::string>{"发现数据库被删除，需重新设置密码"});
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_EQ(file_bytes("data.edb").size(), 548u);
    EXPECT_TRUE(store_opens_with(""));
}

TEST_F(StartupGuiTest, ADirectoryNamedLikeTheStoreCountsAsMissing) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    std::filesystem::create_directory(path("data.edb"));
    run_startup(state());
    EXPECT_EQ(messages(), std::vector<std::string>{"发现数据库被删除，需重新设置密码"});
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_TRUE(std::filesystem::is_directory(path("data.edb")));
}

TEST_F(StartupGuiTest, SetupWithAnEmptyBoxOnlyShowsTheTip) {
    run_startup(state());
    windows().click(kSetupWindow, "按钮_完成设置");
    EXPECT_EQ(balloons(), std::vector<std::string>{"请输入密码"});
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_FALSE(std::filesystem::exists(path("data.ini")));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
}

TEST_F(StartupGuiTest, SetupWithCharactersGbkCannotHoldWritesNothing) {
    run_startup(state());
    windows().type_text(kSetupWindow, "编辑框_设置登录密码", "pw");
    windows().type_utf8(kSetupWindow, "编辑框_设置登录密码", "\xF0\x9F\x98\x80");
    windows().click(kSetupWindow, "按钮_完成设置");
    EXPECT_EQ(messages(), std::vector<std::string>{"登录密码含有无法保存的字符（如表情符号、生僻字），未设置"});
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_FALSE(std::filesystem::exists(path("data.ini")));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
}

// First run without a store: the store is made first and locked with the new password,
// so the first session already has a working store.
TEST_F(StartupGuiTest, FirstSetupStoresSixteenCharactersAndLocksANewStore) {
    run_startup(state());
    set_up_with("Abcdefghijklmn16x");  // the 17th character is refused by the box
    const std::string password = "Abcdefghijklmn16";

    EXPECT_EQ(messages(), std::vector<std::string>{
                              "你设置的密码为：" + password +
                              "\r\n请一定要牢记密码，否则无法查看数据文件，已将密码置剪辑板，你可粘贴保存起来！"});
    EXPECT_EQ(setting("password"), encipher(password, kCipherKey));
    EXPECT_EQ(decipher(setting("password"), kCipherKey), password);
    EXPECT_EQ(clipboard_.content(), password);
    EXPECT_EQ(setting("reg"), "1");
    EXPECT_EQ(setting("tishi"), std::string(kForgottenPasswordNote));
    EXPECT_NE(file_bytes("data.ini").find("[password]"), std::string::npos);
    EXPECT_LT(file_bytes("data.ini").find("[password]"), file_bytes("data.ini").find("[reg]"));
    EXPECT_LT(file_bytes("data.ini").find("[reg]"), file_bytes("data.ini").find("[tishi]"));

    EXPECT_TRUE(store_opens_with(password));
    EXPECT_FALSE(store_opens_with(""));
    EXPECT_TRUE(windows().is_open(kLoginWindow));
    EXPECT_FALSE(windows().is_open(kSetupWindow));

    // The next start goes straight to the login window.
    windows().destroy_window(kLoginWindow);
    run_startup(state());
    EXPECT_TRUE(windows().is_open(kLoginWindow));
}

TEST_F(StartupGuiTest, EveryFileOfTheFirstSetupIsOwnerOnlyUnderTheUsualUmask) {
    const mode_t old_umask = umask(022);
    run_startup(state());
    set_up_with("pw");
    ASSERT_TRUE(windows().is_open(kLoginWindow));
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

TEST_F(StartupGuiTest, SetupAfterTheStoreWasRecreatedLocksTheNewStore) {
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password", encipher("old", kCipherKey)));
    run_startup(state());
    messages();
    set_up_with("new");
    EXPECT_TRUE(store_opens_with("new"));
    EXPECT_EQ(decipher(setting("password"), kCipherKey), "new");
}

TEST_F(StartupGuiTest, SetupOverAStoreLockedWithThatPasswordKeepsIt) {
    make_store("same");
    run_startup(state());
    set_up_with("same");
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(decipher(setting("password"), kCipherKey), "same");
    EXPECT_TRUE(store_opens_with("same"));
    EXPECT_TRUE(windows().is_open(kLoginWindow));
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
    EXPECT_TRUE(windows().is_open(kSetupWindow));
    EXPECT_FALSE(windows().is_open(kLoginWindow));

    // The original password completes the setup.
    windows().set_text(kSetupWindow, "编辑框_设置登录密码", "");
    set_up_with("original");
    EXPECT_EQ(decipher(setting("password"), kCipherKey), "original");
    EXPECT_TRUE(windows().is_open(kLoginWindow));
}

}  // namespace
}  // namespace quillet::app
