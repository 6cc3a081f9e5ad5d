#include "app/ftp_trust_store.h"

#include <gtest/gtest.h>

#include <string>

#include "app/text_cipher.h"
#include "platform/settings_file.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::app {
namespace {

using ftp::ServerTrust;

class FtpTrustStoreTest : public ::testing::Test {
  protected:
    std::string file() const { return directory_.path() + "/ftp.ini"; }
    ftp::TrustStore store() const {
        return ftp_trust_store([this] { return file(); });
    }

    test::TempDirectory directory_;
};

TEST_F(FtpTrustStoreTest, RemembersServersEncipheredBesideTheOtherSettings) {
    platform::write_setting(file(), "ftp", "fuwuqi", encipher("host", kCipherKey));
    const ServerTrust pinned{ServerTrust::Kind::kPinned, std::string(64, 'c')};
    store().remember("host:21", pinned);
    store().remember("other:2121", {ServerTrust::Kind::kAuthority, {}});

    EXPECT_EQ(store().recall("host:21"), pinned);
    EXPECT_EQ(store().recall("other:2121").kind, ServerTrust::Kind::kAuthority);
    EXPECT_EQ(store().recall("unknown:21"), ServerTrust{});
    EXPECT_EQ(decipher(platform::read_setting(file(), "ftp", "fuwuqi"), kCipherKey), "host");
    const std::string stored = test::read_file_bytes(file());
    EXPECT_EQ(stored.find(std::string(64, 'c')), std::string::npos) << "the fingerprint is stored in clear";
    EXPECT_EQ(stored.find("host:21"), std::string::npos);
}

TEST_F(FtpTrustStoreTest, ForgettingIsRemovingTheKeyAndDamageForgetsToo) {
    store().remember("host:21", {ServerTrust::Kind::kAuthority, {}});
    platform::write_setting(file(), "ftp", "zhengshu", "not enciphered");
    EXPECT_EQ(store().recall("host:21"), ServerTrust{});
}

TEST_F(FtpTrustStoreTest, KeepsTheNewestServerWhenFull) {
    for (int i = 0; i < 100; ++i) {
        store().remember("server" + std::to_string(i) + ":21", {ServerTrust::Kind::kPinned, std::string(64, 'e')});
    }
    EXPECT_EQ(store().recall("server99:21").kind, ServerTrust::Kind::kPinned);
    EXPECT_LT(platform::read_setting(file(), "ftp", "zhengshu").size(), 10239u);
}

}  // namespace
}  // namespace quillet::app
