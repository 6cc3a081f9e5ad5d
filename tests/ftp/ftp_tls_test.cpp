// FTP over explicit TLS against pyftpdlib's TLS handler, with a certificate authority
// and server certificates made fresh by the test, and the user's answers scripted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        client_.set_certificate_authorities(certificate("ca.pem"));
        client_.set_trust_store({[this](const std::string& key) {
                                   const auto found = store_.find(key);
                                   return found == store_.end() ? ServerTrust{} : found->second;
                               },
                               [this](const std::string& key, const ServerTrust& trust) { store_[key] = trust; }});
        client_.set_trust_consent({[this](const std::string& server) {
                                     asked_.push_back("plain " + server);
                                     if (during_question_) during_question_();
                                     return answer_;
                                 },
                                 [this](const std::string& server, const std::string& fingerprint) {
                                     asked_.push_back("pin " + server + " " + fingerprint);
                                     return answer_;
                                 }});
    }

    std::string certificate(const std::string& name) const { return certificates_.path() + "/" + name; }
    // The server's options for serving the certificate `name`.
    std::string tls(const std::string& name) const {
        return "--tls " + test::ScriptProcess::unix_path(certificate(name));
    }
    bool connect(const TestFtpServer& server) {
        last_ = client_.connect("localhost", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true);
        return last_.ok();
    }
    static std::string key(const TestFtpServer& server) { return server_key("localhost", server.port()); }
    static std::string shown(const TestFtpServer& server) { return "localhost:" + std::to_string(server.port()); }
    ServerTrust pin_of(const std::string& name) const {
        return {ServerTrust::Kind::kPinned, read_file_bytes(certificate(name + ".sha256")),
                read_file_bytes(certificate(name + ".key.sha256"))};
    }
    std::string pin_question(const TestFtpServer& server, const std::string& name) const {
        return "pin " + shown(server) + " " + grouped_fingerprint(read_file_bytes(certificate(name + ".sha256")));
    }
    // How often the user's name went out. (Where the handshake cannot show a certificate,
    // a probe learns it, logging in as "anonymous".)
    static std::size_t user_logins(const TestFtpServer& server) {
        return server.lines(std::string("CMD USER ") + TestFtpServer::kUser).size();
    }
    static std::size_t probes(const TestFtpServer& server) { return server.lines("CMD USER anonymous").size(); }

    test::TempDirectory certificates_;
    test::TempDirectory local_;
    TrustList store_;
    FtpClient client_;
    platform::Status last_;  // of the last connect
    bool answer_ = true;
    std::vector<std::string> asked_;
    std::function<void()> during_question_;
};

TEST_F(FtpTlsTest, ATrustedCertificateProtectsLoginAndTransfers) {
    TestFtpServer server(tls("trusted.pem"));
    ASSERT_TRUE(server.ready());
    write_file_bytes(server.file("data.edb"), "secret records");
    ASSERT_TRUE(connect(server));
    EXPECT_EQ(store_[key(server)], (ServerTrust{ServerTrust::Kind::kAuthority, {}, {}}));
    EXPECT_TRUE(asked_.empty());

    EXPECT_TRUE(client_.download_file("/data.edb", local_.path() + "/down.edb").ok());
    EXPECT_EQ(read_file_bytes(local_.path() + "/down.edb"), "secret records");
    write_file_bytes(local_.path() + "/up.edb", "new records");
    EXPECT_TRUE(client_.upload_file(local_.path() + "/up.edb", "/data.edb").ok());
    EXPECT_EQ(read_file_bytes(server.file("data.edb")), "new records");
    // Wine's Schannel reports no TLS close at the end of a listing, which libcurl then
    // rightly takes for a cut-off one.
    EXPECT_TRUE(client_.make_directory("/d"));
    if (!platform::running_under_wine()) {
        EXPECT_TRUE(client_.directory_exists("/d", true));
    }

    EXPECT_FALSE(server.lines("CMD AUTH TLS").empty());
    EXPECT_FALSE(server.lines("CMD PROT P").empty());
    EXPECT_TRUE(server.lines("CLEAR").empty()) << server.log();
}

TEST_F(FtpTlsTest, AnUntrustedCertificateIsPinnedOnlyOnceTheUserAgreedToItsFingerprint) {
    TestFtpServer server(tls("self_a.pem"));
    ASSERT_TRUE(server.ready());
    answer_ = false;
    EXPECT_FALSE(connect(server));
    EXPECT_EQ(last_.code(), kPinDeclined);
    EXPECT_EQ(asked_, std::vector<std::string>{pin_question(server, "self_a")});
    EXPECT_TRUE(store_.empty());
    EXPECT_EQ(user_logins(server), 0u) << server.log();

    asked_.clear();
    answer_ = true;
    ASSERT_TRUE(connect(server));
    EXPECT_EQ(asked_, std::vector<std::string>{pin_question(server, "self_a")});
    EXPECT_EQ(store_[key(server)], pin_of("self_a"));
    // The handshakes that met the unknown certificate ended before any credentials.
    EXPECT_EQ(user_logins(server), 1u);
    EXPECT_TRUE(server.lines("CLEAR").empty()) << server.log();
    write_file_bytes(server.file("data.edb"), "pinned");
    EXPECT_TRUE(client_.download_file("/data.edb", local_.path() + "/pinned.edb").ok());
    EXPECT_EQ(read_file_bytes(local_.path() + "/pinned.edb"), "pinned");
    EXPECT_TRUE(client_.close());

    asked_.clear();
    ASSERT_TRUE(connect(server));  // the same certificate again: nothing to ask
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(store_[key(server)], pin_of("self_a"));
    EXPECT_TRUE(client_.close());
}

TEST_F(FtpTlsTest, AChangedCertificateIsRefusedWithoutAQuestionAndThePinKept) {
    const ServerTrust pinned = pin_of("self_a");
    TestFtpServer changed(tls("self_b.pem"));
    ASSERT_TRUE(changed.ready());
    store_[key(changed)] = pinned;  // as if the server's certificate had been replaced
    EXPECT_FALSE(connect(changed));
    EXPECT_FALSE(client_.is_connected());
    EXPECT_EQ(last_.code(), kCertificateChanged);
    EXPECT_EQ(store_[key(changed)], pinned);
    EXPECT_EQ(user_logins(changed), 0u) << changed.log();

    TestFtpServer trusted(tls("trusted.pem"));
    ASSERT_TRUE(trusted.ready());
    store_[key(trusted)] = pinned;  // a pin holds even against a certificate the system trusts
    EXPECT_FALSE(connect(trusted));
    EXPECT_EQ(last_.code(), kCertificateChanged);
    EXPECT_EQ(user_logins(trusted), 0u);
    // Pinned by its own certificate, the server that sends a chain is let in.
    store_[key(trusted)] = pin_of("trusted");
    EXPECT_TRUE(connect(trusted));
    EXPECT_TRUE(last_.ok());
    EXPECT_TRUE(asked_.empty());
}

TEST_F(FtpTlsTest, ACertificateAnAuthorityIssuedForAnotherNameIsRefusedAndNeverPinned) {
    TestFtpServer server(tls("misnamed.pem"));
    ASSERT_TRUE(server.ready());
    EXPECT_FALSE(connect(server));  // even though the user would agree to anything
    EXPECT_EQ(last_.code(), kHostNameMismatch);
    EXPECT_TRUE(asked_.empty());
    EXPECT_TRUE(store_.empty());
    EXPECT_EQ(user_logins(server), 0u) << server.log();
}

TEST_F(FtpTlsTest, PlainFtpNeedsTheUsersConsentBeforeTheUserNameGoesOut) {
    TestFtpServer plain;  // answers 500 to AUTH
    ASSERT_TRUE(plain.ready());
    answer_ = false;
    EXPECT_FALSE(connect(plain));
    EXPECT_EQ(last_.code(), kPlainDeclined);
    EXPECT_EQ(asked_, std::vector<std::string>{"plain " + shown(plain)});
    EXPECT_TRUE(plain.lines("CMD USER").empty()) << plain.log();
    EXPECT_FALSE(plain.lines("CMD AUTH TLS").empty());
    EXPECT_TRUE(store_.empty());

    answer_ = true;
    std::size_t users_when_asked = 1;
    during_question_ = [&] { users_when_asked = plain.lines("CMD USER").size(); };
    ASSERT_TRUE(connect(plain));
    EXPECT_EQ(users_when_asked, 0u);
    EXPECT_EQ(user_logins(plain), 1u);
    EXPECT_EQ(store_[key(plain)].kind, ServerTrust::Kind::kPlainAgreed);
    EXPECT_FALSE(client_.directory_exists("/none", true));
    EXPECT_TRUE(client_.close());

    asked_.clear();
    ASSERT_TRUE(connect(plain));  // remembered: not asked again
    EXPECT_TRUE(asked_.empty());
}

TEST_F(FtpTlsTest, AServerAgreedToAsPlainThatNowOffersTlsIsUsedWithTls) {
    TestFtpServer server(tls("trusted.pem"));
    ASSERT_TRUE(server.ready());
    store_[key(server)] = {ServerTrust::Kind::kPlainAgreed, {}, {}};
    ASSERT_TRUE(connect(server));
    EXPECT_EQ(store_[key(server)].kind, ServerTrust::Kind::kAuthority);
    EXPECT_TRUE(server.lines("CLEAR").empty()) << server.log();
    EXPECT_TRUE(asked_.empty());
}

TEST_F(FtpTlsTest, AServerOnceSeenWithTlsMayNotFallBackToPlainFtp) {
    TestFtpServer plain;
    ASSERT_TRUE(plain.ready());
    store_[key(plain)] = {ServerTrust::Kind::kAuthority, {}, {}};
    EXPECT_FALSE(connect(plain));
    EXPECT_EQ(last_.code(), kTrustBroken);
    store_[key(plain)] = pin_of("self_a");
    EXPECT_FALSE(connect(plain));
    EXPECT_EQ(last_.code(), kTrustBroken);
    EXPECT_TRUE(asked_.empty());
    EXPECT_TRUE(plain.lines("CMD USER").empty()) << "credentials went out in clear";
}

TEST_F(FtpTlsTest, AServerKnownByItsAuthorityMustKeepIt) {
    TestFtpServer server(tls("self_a.pem"));
    ASSERT_TRUE(server.ready());
    store_[key(server)] = {ServerTrust::Kind::kAuthority, {}, {}};
    EXPECT_FALSE(connect(server));  // no pinning for a server that had a vouched-for certificate
    EXPECT_EQ(store_[key(server)].kind, ServerTrust::Kind::kAuthority);
    EXPECT_TRUE(asked_.empty());
    EXPECT_EQ(user_logins(server), 0u);
}

// Where the handshake shows no certificate (Schannel), only a pin without its public key
// needs a probe, once; elsewhere there is never one.
TEST_F(FtpTlsTest, APinStoredWithoutItsPublicKeyGainsItAndThenNeedsNoProbe) {
#ifdef _WIN32
    constexpr std::size_t kProbesForAnOldPin = 1;
#else
    constexpr std::size_t kProbesForAnOldPin = 0;
#endif
    TestFtpServer server(tls("self_a.pem"));
    ASSERT_TRUE(server.ready());
    store_ = parse_trust_list(key(server) + "=sha256:" + read_file_bytes(certificate("self_a.sha256")));
    ASSERT_TRUE(connect(server));
    EXPECT_EQ(store_[key(server)], pin_of("self_a"));
    EXPECT_EQ(probes(server), kProbesForAnOldPin);
    EXPECT_TRUE(client_.close());

    ASSERT_TRUE(connect(server));
    EXPECT_EQ(probes(server), kProbesForAnOldPin);
    EXPECT_TRUE(asked_.empty());
}

// The stall limit is beyond the test's time limit: only a probe that ends its connection
// with a briefly waited-for QUIT lets the connect end in time.
TEST_F(FtpTlsTest, AProbeDoesNotWaitForAServerThatIgnoresQuit) {
    TestFtpServer mute(tls("self_a.pem") + " --mute-after-login");
    ASSERT_TRUE(mute.ready());
    client_.set_timeouts({5000, 600});
    store_ = parse_trust_list(key(mute) + "=sha256:" + read_file_bytes(certificate("self_a.sha256")));
    ASSERT_TRUE(connect(mute));
    EXPECT_EQ(store_[key(mute)], pin_of("self_a"));
}

TEST(ServerTrustList, RoundTripsReadsOldPinsAndSkipsMalformedEntries) {
    TrustList list;
    list["host:21"] = {ServerTrust::Kind::kAuthority, {}, {}};
    list["plain.example:21"] = {ServerTrust::Kind::kPlainAgreed, {}, {}};
    list["[::1]:2121"] = {ServerTrust::Kind::kPinned, std::string(64, 'f'), std::string(64, '1')};
    list["old:21"] = {ServerTrust::Kind::kPinned, std::string(64, 'e'), {}};
    EXPECT_EQ(parse_trust_list(format_trust_list(list)), list);
    EXPECT_EQ(server_key("Example.COM", 0), "example.com:21");

    const std::string digest(64, '0');
    const TrustList parsed = parse_trust_list("a:21=ca;;=ca;b:21=sha256:xyz;c:21=sha256:" + std::string(64, 'A') +
                                              ";d:21=other;e:21=sha256:" + digest + ";f:21=sha256:" + digest + ":" +
                                              digest + ";g:21=sha256:" + digest + ":short;h:21=plain");
    ASSERT_EQ(parsed.size(), 4u);
    EXPECT_EQ(parsed.at("a:21").kind, ServerTrust::Kind::kAuthority);
    EXPECT_EQ(parsed.at("e:21"), (ServerTrust{ServerTrust::Kind::kPinned, digest, {}}));
    EXPECT_EQ(parsed.at("f:21"), (ServerTrust{ServerTrust::Kind::kPinned, digest, digest}));
    EXPECT_EQ(parsed.at("h:21").kind, ServerTrust::Kind::kPlainAgreed);
}

TEST(ServerTrustList, FingerprintsAreShownInUpperCasePairs) {
    EXPECT_EQ(grouped_fingerprint("0a1b2c"), "0A:1B:2C");
    EXPECT_EQ(grouped_fingerprint(std::string(64, 'f')).size(), 95u);
}

}  // namespace
}  // namespace quillet::ftp
