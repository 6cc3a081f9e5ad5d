#include "ftp/webdav_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "ftp/webdav_failure.h"
#include "tests/ftp/webdav_test_server.h"
#include "tests/net/local_server.h"

namespace quillet::ftp {
namespace {

using test::read_file_bytes;
using test::TestWebDavServer;
using test::write_file_bytes;

WebDavAccount account(const std::string& url, const std::string& storage = "",
                      const std::string& password = TestWebDavServer::kPassword) {
    return {url, 0, TestWebDavServer::kUser, password, storage};
}

std::vector<std::string> names_in(WebDavClient& client) {
    std::vector<WebDavEntry> entries;
    EXPECT_TRUE(client.list(&entries).ok());
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

class WebDavClientTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.ready()); }
    std::string local(const std::string& name) const { return local_.path() + "/" + name; }

    TestWebDavServer server_;
    test::TempDirectory local_;
};

TEST_F(WebDavClientTest, FirstUploadCreatesEveryMissingFolderAndLaterUploadsReplaceTheCopy) {
    WebDavClient client;
    // A GBK folder name goes out as UTF-8, percent-encoded.
    ASSERT_TRUE(client.connect(account(server_.http_url(), "sync/\xD6\xD0\xCE\xC4/deep")).ok());
    write_file_bytes(local("data.edb"), "first copy");
    const platform::Status first = client.upload(local("data.edb"), "data.edb.qlt");
    ASSERT_TRUE(first.ok()) << first.message();
    // The server keeps the folder's name as UTF-8; a Windows test program cannot name that
    // file by those bytes, and reads the copy back through the client instead.
    const auto stored = [&] {
#ifdef _WIN32
        EXPECT_TRUE(client.download("data.edb.qlt", local("back")).ok());
        return read_file_bytes(local("back"));
#else
        return read_file_bytes(server_.file("sync/\xE4\xB8\xAD\xE6\x96\x87/deep/data.edb.qlt"));
#endif
    };
    EXPECT_EQ(stored(), "first copy");

    write_file_bytes(local("data.edb"), "second, longer copy");
    ASSERT_TRUE(client.upload(local("data.edb"), "data.edb.qlt").ok());
    EXPECT_EQ(stored(), "second, longer copy");
    // No temporary is left beside it.
    EXPECT_EQ(names_in(client), std::vector<std::string>{"data.edb.qlt"});
}

TEST_F(WebDavClientTest, DownloadReplacesTheLocalFileOnlyWithAWholeCopy) {
    WebDavClient client;
    ASSERT_TRUE(client.connect(account(server_.http_url(), "box")).ok());
    write_file_bytes(local("sent"), std::string(300000, 'x'));
    ASSERT_TRUE(client.upload(local("sent"), "data.edb.qlt").ok());
    std::filesystem::remove(local("sent"));
    write_file_bytes(local("data.edb"), "local");
    ASSERT_TRUE(client.download("data.edb.qlt", local("data.edb")).ok());
    EXPECT_EQ(read_file_bytes(local("data.edb")), std::string(300000, 'x'));

    const platform::Status missing = client.download("nothing.qlt", local("data.edb"));
    EXPECT_EQ(missing.code(), kDavNotFound);
    EXPECT_EQ(read_file_bytes(local("data.edb")), std::string(300000, 'x'));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local_.path()), {}), 1);  // no temporary left

    ASSERT_TRUE(client.remove("data.edb.qlt").ok());
    EXPECT_FALSE(std::filesystem::exists(server_.file("box/data.edb.qlt")));
    EXPECT_EQ(client.remove("data.edb.qlt").code(), kDavNotFound);
}

TEST_F(WebDavClientTest, AWrongPasswordOrAWrongAddressFailsAtConnectWithItsReason) {
    WebDavClient client;
    const platform::Status refused = client.connect(account(server_.http_url(), "", "wrong"));
    EXPECT_EQ(refused.code(), kDavLoginRefused);
    EXPECT_NE(refused.message().find("401"), std::string::npos);
    EXPECT_FALSE(client.connected());

    EXPECT_EQ(client.connect(account(server_.http_url("/dav/nothere/"))).code(), kDavNotFound);
    EXPECT_EQ(client.connect(account("ftp://127.0.0.1/")).code(), kDavBadAddress);
    EXPECT_EQ(client.connect(account(server_.http_url(), "a/../b")).code(), kDavBadAddress);
    EXPECT_EQ(client.connect(account("http://127.0.0.1:1/dav/")).code(), kDavConnectionRefused);
}

TEST_F(WebDavClientTest, AServerKilledMidUploadLeavesThePreviousCopy) {
    WebDavClient client;
    ASSERT_TRUE(client.connect(account(server_.http_url())).ok());
    write_file_bytes(local("data.edb"), "the previous copy");
    ASSERT_TRUE(client.upload(local("data.edb"), "data.edb.qlt").ok());

    write_file_bytes(local("data.edb"), std::string(64 * 1024 * 1024, 'n'));
    client.set_progress([&](std::int64_t done, std::int64_t) {
        if (done > 1024 * 1024) server_.stop();
    });
    EXPECT_FALSE(client.upload(local("data.edb"), "data.edb.qlt").ok());
    EXPECT_EQ(read_file_bytes(server_.file("data.edb.qlt")), "the previous copy");
}

TEST(WebDavPlainHttp, APasswordForAnotherMachineOverPlainHttpIsRefusedBeforeAnyRequest) {
    WebDavClient client;
    // The name cannot resolve: a "host not found" would show that a request was tried.
    const platform::Status refused = client.connect(account("http://dav.invalid/remote.php/dav/"));
    EXPECT_EQ(refused.code(), kDavPlainRefused);
    EXPECT_NE(refused.message().find("https://"), std::string::npos);
    EXPECT_EQ(client.connect(account("http://dav.invalid/", "", "")).code(), kDavPlainRefused);
    EXPECT_EQ(client.connect(account("https://dav.invalid/")).code(), kDavHostNotFound);
}

class WebDavTlsTest : public WebDavClientTest {
  protected:
    TrustStore store() {
        return {[this](const std::string& key) { return trust_.contains(key) ? trust_[key] : ServerTrust{}; },
                [this](const std::string& key, const ServerTrust& trust) { trust_[key] = trust; }};
    }
    TrustConsent answer(bool agree) {
        return {{}, [this, agree](const std::string&, const std::string& fingerprint) {
                    asked_.push_back(fingerprint);
                    return agree;
                }};
    }
    TrustList trust_;
    std::vector<std::string> asked_;
};

TEST_F(WebDavTlsTest, ASelfSignedCertificateIsUsedOnlyOncePinnedAndAChangedOneFailsWithoutAQuestion) {
    {
        WebDavClient client;
        client.set_trust_store(store());
        client.set_trust_consent(answer(false));
        EXPECT_EQ(client.connect(account(server_.https_url())).code(), kDavCertificateDeclined);
        EXPECT_TRUE(trust_.empty());
    }
    {
        WebDavClient client;
        client.set_trust_store(store());
        client.set_trust_consent(answer(true));
        ASSERT_TRUE(client.connect(account(server_.https_url())).ok());
        write_file_bytes(local("data.edb"), "over TLS");
        ASSERT_TRUE(client.upload(local("data.edb"), "data.edb.qlt").ok());
    }
    ASSERT_EQ(asked_.size(), 2u);
    EXPECT_EQ(asked_[1], grouped_fingerprint(server_.fingerprint("self_a.pem")));
    ASSERT_EQ(trust_.size(), 1u);
    EXPECT_EQ(trust_.begin()->second.kind, ServerTrust::Kind::kPinned);
    EXPECT_EQ(trust_.begin()->second.fingerprint, server_.fingerprint("self_a.pem"));
    {
        WebDavClient client;  // pinned: no question
        client.set_trust_store(store());
        ASSERT_TRUE(client.connect(account(server_.https_url())).ok());
    }

    server_.restart("self_b.pem");
    ASSERT_TRUE(server_.ready());
    WebDavClient client;
    client.set_trust_store(store());
    client.set_trust_consent(answer(true));
    const platform::Status changed = client.connect(account(server_.https_url()));
    EXPECT_EQ(changed.code(), kDavCertificateChanged);
    EXPECT_EQ(asked_.size(), 2u);  // never offered for pinning in its place
    EXPECT_EQ(trust_.begin()->second.fingerprint, server_.fingerprint("self_a.pem"));
}

TEST_F(WebDavTlsTest, ACertificateAnAuthorityVouchesForIsRememberedAsSuch) {
    server_.restart("trusted.pem");
    ASSERT_TRUE(server_.ready());
    WebDavClient client;
    client.set_trust_store(store());
    client.set_certificate_authorities(server_.certificates() + "/ca.pem");
    const platform::Status connected = client.connect(account(server_.https_url()));
    ASSERT_TRUE(connected.ok()) << connected.message();
    EXPECT_TRUE(asked_.empty());
    ASSERT_EQ(trust_.size(), 1u);
    EXPECT_EQ(trust_.begin()->second.kind, ServerTrust::Kind::kAuthority);

    // Later the same server shows a certificate no authority vouches for.
    server_.restart("self_b.pem");
    WebDavClient again;
    again.set_trust_store(store());
    again.set_trust_consent(answer(true));
    again.set_certificate_authorities(server_.certificates() + "/ca.pem");
    EXPECT_EQ(again.connect(account(server_.https_url())).code(), kDavCertificateChanged);
    EXPECT_TRUE(asked_.empty());
}

class WebDavHostileServerTest : public ::testing::Test {
  protected:
    platform::Status list(const std::string& folder) {
        WebDavClient client;
        const platform::Status connected = client.connect(account(server_.address(folder)));
        if (!connected.ok()) return connected;
        std::vector<WebDavEntry> entries;
        platform::Status listed = client.list(&entries);
        EXPECT_TRUE(entries.empty());
        return listed;
    }
    testing_support::LocalServer server_{"tests/ftp/webdav_hostile_server.py"};
};

TEST_F(WebDavHostileServerTest, ListingsThatClimbOutLeaveTheServerOrAreNotXmlAreRefused) {
    EXPECT_EQ(list("/dotdot/").code(), kDavBadReply);
    EXPECT_EQ(list("/otherhost/").code(), kDavBadReply);
    EXPECT_EQ(list("/invalid/").code(), kDavBadReply);
    EXPECT_EQ(list("/huge/").code(), kDavReplyTooLarge);
}

TEST_F(WebDavHostileServerTest, ARedirectToAnotherHostIsNotFollowed) {
    EXPECT_EQ(list("/away/").code(), kDavRedirectRefused);
}

TEST_F(WebDavHostileServerTest, CloseGivesUpARequestTheServerNeverAnswers) {
    WebDavClient client;
    client.set_timeouts({2000, 600, 600});  // only close can end it in time
    std::thread connecting([&] { EXPECT_EQ(client.connect(account(server_.address("/hold/"))).code(), kDavCancelled); });
    EXPECT_EQ(server_.next_line(), "HOLD");
    client.close();
    connecting.join();
    EXPECT_FALSE(client.connected());
}

}  // namespace
}  // namespace quillet::ftp
