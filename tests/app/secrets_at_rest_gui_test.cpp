// What a copy of the program folder gives away: after a first setup, a saved FTP password,
// a login-password change and the upgrade of an old folder, no file in the folder holds
// either password in any form that can be turned back without guessing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/ftp_window.h"
#include "app/login_password.h"
#include "app/record_store.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/text_cipher.h"
#include "platform/settings_file.h"
#include "platform/text_codec.h"
#include "tests/app/app_gui_fixture.h"
#include "tests/app/record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

using test::TestFtpServer;
namespace forms = quillet::ui::forms;

constexpr char kLogin[] = "Login密码9";
constexpr char kChanged[] = "Changed口令7";

ftp::FtpClient& program_client() {
    static ftp::FtpClient client;
    return client;
}

std::string hex(std::string_view bytes, const char* digits) {
    std::string text;
    for (char c : bytes) {
        text += digits[static_cast<unsigned char>(c) >> 4];
        text += digits[static_cast<unsigned char>(c) & 15];
    }
    return text;
}

std::string base64(std::string_view bytes, bool url_safe) {
    const char* alphabet = url_safe ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
                                    : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {  // whole groups only: no padding to match
        const unsigned value = static_cast<unsigned char>(bytes[i]) << 16 |
                               static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) text += alphabet[(value >> shift) & 63];
    }
    return text;
}

std::string utf16(std::string_view gbk, bool big_endian) {
    std::string text;
    for (char16_t unit : platform::gbk_to_utf16(gbk)) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        text += big_endian ? high : low;
        text += big_endian ? low : high;
    }
    return text;
}

// Every reversible form a secret (GBK) could be stored in.
std::vector<std::pair<std::string, std::string>> encodings(const std::string& gbk) {
    const std::string utf8 = platform::gbk_to_utf8(gbk);
    const std::string cipher = encipher(gbk, kCipherKey);
    return {{"GBK", gbk},
            {"UTF-8", utf8},
            {"UTF-16LE", utf16(gbk, false)},
            {"UTF-16BE", utf16(gbk, true)},
            {"hex", hex(gbk, "0123456789ABCDEF")},
            {"hex lower", hex(gbk, "0123456789abcdef")},
            {"hex UTF-8", hex(utf8, "0123456789abcdef")},
            {"base64", base64(gbk, false)},
            {"base64 UTF-8", base64(utf8, false)},
            {"base64url", base64(gbk, true)},
            {"text cipher", cipher.substr(0, cipher.size() - 9)}};
}

class SecretsAtRestTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) {
            bind_session(state);
            bind_password_setup(state);
            bind_ftp_window(state, program_client());
        });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        ASSERT_TRUE(server_.ready());
        program_client().set_timeouts({5000, 30});
    }

    // Every file of the folder, searched for every form of every secret.
    void expect_no_secret_in_folder(const std::vector<std::string>& secrets) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path(""))) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            for (const std::string& secret : secrets) {
                for (const auto& [form, encoded] : encodings(secret)) {
                    EXPECT_EQ(bytes.find(encoded), std::string::npos)
                        << entry.path().filename() << " holds " << platform::gbk_to_utf8(secret) << " as " << form;
                }
            }
        }
    }

    void log_in(const std::string& password) {
        windows().set_text(forms::login::window, forms::login::password, "");
        user().type_text(forms::login::window, forms::login::password, password);
        user().click(forms::login::window, forms::login::log_in);
        ASSERT_TRUE(windows().is_open(forms::main::window)) << "the login failed";
    }

    // Opens the FTP window and connects with what it shows.
    bool connect_with_saved_settings() {
        user().click(forms::main::window, forms::main::open_ftp);
        return connect();
    }

    // Connects with what the open FTP window shows, which saves it, and closes the window.
    bool connect() {
        dialogs().answer_question(true);  // plain FTP on the test server
        user().click(forms::ftp::window, forms::ftp::connect);
        for (int round = 0; round < 6000 && !windows().is_enabled(forms::ftp::window, forms::ftp::connect); ++round) {
            windows().wait_processing_events(5);
        }
        const bool connected = windows().text(forms::ftp::window, forms::ftp::status_group) == "FTP - 连接成功";
        windows().destroy_window(forms::ftp::window);
        return connected;
    }

    TestFtpServer server_;
};

TEST_F(SecretsAtRestTest, ANewFolderKeepsNeitherPasswordThroughSetupFtpAndAPasswordChange) {
    run_startup(state());
    user().type_text(forms::setup::window, forms::setup::password, kLogin);
    user().click(forms::setup::window, forms::setup::finish);
    ASSERT_TRUE(windows().is_open(forms::login::window));
    log_in(kLogin);
    user().click(forms::main::window, forms::main::open_ftp);
    user().type_text(forms::ftp::window, forms::ftp::address, "127.0.0.1");
    user().type_text(forms::ftp::window, forms::ftp::port, std::to_string(server_.port()));
    user().type_text(forms::ftp::window, forms::ftp::account, TestFtpServer::kUser);
    user().type_text(forms::ftp::window, forms::ftp::password, TestFtpServer::kPassword);
    ASSERT_TRUE(connect());
    expect_no_secret_in_folder({kLogin, TestFtpServer::kPassword});

    windows().destroy_window(forms::main::window);
    ASSERT_EQ(change_login_password(kLogin, kChanged), PasswordChange::kDone);
    expect_no_secret_in_folder({kLogin, kChanged, TestFtpServer::kPassword});

    // After a restart: the new password logs in, the old one not, and the sealed FTP
    // password still logs in to the server.
    run_startup(state());
    user().type_text(forms::login::window, forms::login::password, kLogin);
    user().click(forms::login::window, forms::login::log_in);
    EXPECT_FALSE(windows().is_open(forms::main::window));
    log_in(kChanged);
    EXPECT_TRUE(connect_with_saved_settings());
}

// A folder written before the passwords were sealed: the old password logs in, the FTP
// password keeps working, and afterwards the folder holds neither.
TEST_F(SecretsAtRestTest, AnOldFolderLogsInKeepsItsFtpPasswordAndThenHoldsNeither) {
    create_record_store(kLogin);
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "password", "password", encipher(kLogin, kCipherKey)));
    ASSERT_TRUE(platform::write_setting(path("data.ini"), "reg", "reg", "1"));
    const std::pair<const char*, std::string> ftp_settings[] = {{"fuwuqi", "127.0.0.1"},
                                                                {"duankou", std::to_string(server_.port())},
                                                                {"name", TestFtpServer::kUser},
                                                                {"password", TestFtpServer::kPassword}};
    for (const auto& [key, value] : ftp_settings) {
        ASSERT_TRUE(platform::write_setting(path("ftp.ini"), "ftp", key, encipher(value, kCipherKey)));
    }

    run_startup(state());
    log_in(kLogin);
    const std::vector<std::string> told = messages();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("恢复码"), std::string::npos) << "the upgrade made no recovery code";
    EXPECT_TRUE(connect_with_saved_settings());
    expect_no_secret_in_folder({kLogin, TestFtpServer::kPassword});
}

}  // namespace
}  // namespace quillet::app
