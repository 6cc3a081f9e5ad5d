// FTP over explicit TLS against pyftpdlib's TLS handler, with a certificate authority
// and server certificates made fresh by the test.
#include <gtest/gtest.h>

#include <string>

#include "ftp/ftp_client.h"
#include "platform/wine.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::ftp {
namespace {

using test::read_file_bytes;
using test::TestFtpServer;
using test::write_file_bytes;

class FtpTlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::make_test_certificates(certificates_.path()));
        client_.SetCertificateAuthorities(certificate("ca.pem"));
        client_.SetTrustStore({[this](const std::string& key) {
                                   const auto found = store_.find(key);
                                   return found == store_.end() ? ServerTrust{} : found->second;
                               },
                               [this](const std::string& key, const ServerTrust& trust) { store_[key] = trust; }});
    }

    std::string certificate(const std::string& name) const { return certificates_.path() + "/" + name; }
    // The server's options for serving the certificate `name`.
    std::string tls(const std::string& name) const { return "--tls " + test::ScriptProcess::unix_path(certificate(name)); }
    bool connect(const TestFtpServer& server) {
        return client_.Connect("localhost", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true);
    }
    static std::string key(const TestFtpServer& server) { return server_key("localhost", server.port()); }
    // How often the user's name went out. (Where the handshake cannot show a certificate,
    // a probe learns it, logging in as "anonymous".)
    static std::size_t user_logins(const TestFtpServer& server) {
        return server.lines(std::string("CMD USER ") + TestFtpServer::kUser).size();
    }

    test::TempDirectory certificates_;
    test::TempDirectory local_;
    TrustList store_;
    FtpClient client_;
};

TEST_F(FtpTlsTest, ATrustedCertificateProtectsLoginAndTransfers) {
    TestFtpServer server(tls("trusted.pem"));
    ASSERT_TRUE(server.ready());
    write_file_bytes(server.file("data.edb"), "secret records");
    ASSERT_TRUE(connect(server));
    EXPECT_EQ(store_[key(server)], (ServerTrust{ServerTrust::Kind::kAuthority, {}}));

    EXPECT_TRUE(client_.DownloadFile("/data.edb", local_.path() + "/down.edb"));
    EXPECT_EQ(read_file_bytes(local_.path() + "/down.edb"), "secret records");
    write_file_bytes(local_.path() + "/up.edb", "new records");
    EXPECT_TRUE(client_.UploadFile(local_.path() + "/up.edb", "/data.edb"));
    EXPECT_EQ(read_file_bytes(server.file("data.edb")), "new records");
    // Wine's Schannel reports no TLS close at the end of a listing, which libcurl then
    // rightly takes for a cut-off one.
    if (!platform::running_under_wine()) {
        EXPECT_EQ(client_.List("/"), 1);
    }

    EXPECT_FALSE(server.lines("CMD AUTH TLS").empty());
    EXPECT_FALSE(server.lines("CMD PROT P").empty());
    EXPECT_TRUE(server.lines("CLEAR").empty()) << server.log();
}

TEST_F(FtpTlsTest, AnUntrustedCertificateIsPinnedOnFirstUseAndAChangeIsRefused) {
    TestFtpServer server(tls("self_a.pem"));
    ASSERT_TRUE(server.ready());
    ASSERT_TRUE(connect(server));
    const ServerTrust pinned = store_[key(server)];
    EXPECT_EQ(pinned.kind, ServerTrust::Kind::kPinned);
    EXPECT_EQ(pinned.fingerprint, read_file_bytes(certificate("self_a.sha256")));
    // The handshake that met the unknown certificate ended before any credentials.
    EXPECT_EQ(user_logins(server), 1u);
    EXPECT_TRUE(server.lines("CLEAR").empty()) << server.log();
    write_file_bytes(server.file("data.edb"), "pinned");
    EXPECT_TRUE(client_.DownloadFile("/data.edb", local_.path() + "/pinned.edb"));
    EXPECT_EQ(read_file_bytes(local_.path() + "/pinned.edb"), "pinned");
    EXPECT_TRUE(client_.Close());

    ASSERT_TRUE(connect(server));  // the same certificate again
    EXPECT_EQ(store_[key(server)], pinned);
    EXPECT_TRUE(client_.Close());

    TestFtpServer changed(tls("self_b.pem"));
    ASSERT_TRUE(changed.ready());
    store_[key(changed)] = pinned;  // as if the server's certificate had been replaced
    EXPECT_FALSE(connect(changed));
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_EQ(store_[key(changed)], pinned);
    EXPECT_EQ(user_logins(changed), 0u) << changed.log();

    TestFtpServer trusted(tls("trusted.pem"));
    ASSERT_TRUE(trusted.ready());
    store_[key(trusted)] = pinned;  // a pin holds even against a certificate the system trusts
    EXPECT_FALSE(connect(trusted));
    EXPECT_EQ(user_logins(trusted), 0u);
    // Pinned by its own certificate, the server that sends a chain is let in.
    store_[key(trusted)] = {ServerTrust::Kind::kPinned, read_file_bytes(certificate("trusted.sha256"))};
    EXPECT_TRUE(connect(trusted));
}

TEST_F(FtpTlsTest, AServerOnceSeenWithTlsMayNotFallBackToPlainFtp) {
    TestFtpServer plain;
    ASSERT_TRUE(plain.ready());
    ASSERT_TRUE(connect(plain));  // never seen with TLS: plain FTP still works
    EXPECT_TRUE(store_.empty());
    EXPECT_EQ(client_.List("/"), 0);
    EXPECT_TRUE(client_.Close());

    store_[key(plain)] = {ServerTrust::Kind::kAuthority, {}};
    EXPECT_FALSE(connect(plain));
    store_[key(plain)] = {ServerTrust::Kind::kPinned, std::string(64, 'a')};
    EXPECT_FALSE(connect(plain));
    EXPECT_EQ(plain.lines("CMD USER").size(), 1u) << "credentials went out in clear";
}

TEST_F(FtpTlsTest, AServerKnownByItsAuthorityMustKeepIt) {
    TestFtpServer server(tls("self_a.pem"));
    ASSERT_TRUE(server.ready());
    store_[key(server)] = {ServerTrust::Kind::kAuthority, {}};
    EXPECT_FALSE(connect(server));  // no pinning for a server that had a vouched-for certificate
    EXPECT_EQ(store_[key(server)].kind, ServerTrust::Kind::kAuthority);
    EXPECT_EQ(user_logins(server), 0u);
}

TEST(ServerTrustList, RoundTripsAndSkipsMalformedEntries) {
    TrustList list;
    list["host:21"] = {ServerTrust::Kind::kAuthority, {}};
    list["[::1]:2121"] = {ServerTrust::Kind::kPinned, std::string(64, 'f')};
    EXPECT_EQ(parse_trust_list(format_trust_list(list)), list);
    EXPECT_EQ(server_key("Example.COM", 0), "example.com:21");

    const TrustList parsed = parse_trust_list("a:21=ca;;=ca;b:21=sha256:xyz;c:21=sha256:" + std::string(64, 'A') +
                                              ";d:21=other;e:21=sha256:" + std::string(64, '0'));
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed.at("a:21").kind, ServerTrust::Kind::kAuthority);
    EXPECT_EQ(parsed.at("e:21").fingerprint, std::string(64, '0'));
}

}  // namespace
}  // namespace quillet::ftp
