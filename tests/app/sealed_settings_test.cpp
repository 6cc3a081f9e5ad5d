// data.ini and ftp.ini sealed by the Linux build and by the Windows build, committed under
// tests/app/fixtures/: each build opens both, so that a folder moved between the systems
// keeps its login, its recovery code and its FTP password.
//
// To make a fixture anew, run this test with QUILLET_WRITE_SEALED_FIXTURE set to an empty
// directory; it writes data.ini, ftp.ini and recovery_code.txt there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/ftp_password.h"
#include "app/password_vault.h"
#include "platform/settings_file.h"
#include "tests/support/cheap_keys.h"

namespace quillet::app {
namespace {

constexpr char kLoginPassword[] = "登录Login1";
constexpr char kFtpPassword[] = "ftp密码Ftp2";

std::string fixture(const std::string& system, const std::string& name) {
    return std::string(QUILLET_SOURCE_DIR) + "/tests/app/fixtures/sealed_" + system + "/" + name;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

TEST(SealedSettingsTest, WritesAFixtureWhenAsked) {
    const char* directory = std::getenv("QUILLET_WRITE_SEALED_FIXTURE");
    if (directory == nullptr) GTEST_SKIP() << "QUILLET_WRITE_SEALED_FIXTURE is not set";
    testing_support::use_cheap_key_derivations();
    const std::string dir(directory);
    std::string code;
    ASSERT_TRUE(platform::write_setting(dir + "/data.ini", "password", "password",
                                        format_vault(new_vault(kLoginPassword, &code))));
    ASSERT_TRUE(platform::write_setting(dir + "/ftp.ini", "ftp", "password",
                                        seal_ftp_password(*derive_ftp_key({}, kLoginPassword), kFtpPassword)));
    std::ofstream(dir + "/recovery_code.txt", std::ios::binary) << code << "\n";
}

class SealedFixtureTest : public testing::TestWithParam<const char*> {};

TEST_P(SealedFixtureTest, OpensWithTheLoginPasswordAndTheRecoveryCode) {
    const std::string system = GetParam();
    PasswordVault vault;
    ASSERT_TRUE(parse_vault(platform::read_setting(fixture(system, "data.ini"), "password", "password"), &vault));
    EXPECT_TRUE(vault_holds(vault, kLoginPassword));
    EXPECT_FALSE(vault_holds(vault, "登录Login2"));

    platform::LockedBytes data_key, kept;
    ASSERT_TRUE(open_with_recovery_code(vault, read_text(fixture(system, "recovery_code.txt")), &data_key));
    ASSERT_TRUE(kept_password(vault, data_key, &kept));
    EXPECT_EQ(kept.view(), kLoginPassword);

    const std::string stored = platform::read_setting(fixture(system, "ftp.ini"), "ftp", "password");
    platform::LockedBytes ftp_password;
    ASSERT_TRUE(open_ftp_password(*derive_ftp_key(stored, kLoginPassword), stored, &ftp_password));
    EXPECT_EQ(ftp_password.view(), kFtpPassword);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, SealedFixtureTest, testing::Values("linux", "windows"));

}  // namespace
}  // namespace quillet::app
