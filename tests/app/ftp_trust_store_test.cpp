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

// Pins with their public keys and long host names fill the value sooner than a fixed
// count of servers allows for; every write must still read back.
TEST_F(FtpTrustStoreTest, KeepsTheNewestServerWhenFull) {
    const ServerTrust pinned{ServerTrust::Kind::kPinned, std::string(64, 'e'), std::string(64, 'f')};
    for (int i = 0; i < 100; ++i) {
        const std::string server = "server" + std::to_string(i) + std::string(40, 'x') + ".example:21";
        store().remember(server, pinned);
        ASSERT_EQ(store().recall(server), pinned) << i;
    }
    store().remember("plain:21", {ServerTrust::Kind::kPlainAgreed, {}, {}});
    EXPECT_EQ(store().recall("plain:21").kind, ServerTrust::Kind::kPlainAgreed);
    EXPECT_LE(platform::read_setting(file(), "ftp", "zhengshu").size(), 10239u);
}

}  // namespace
}  // namespace quillet::app
