// The FTP client against servers that misbehave: huge listings, and a server that stops
// answering after the login.
#include <gtest/gtest.h>

#include <thread>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::ftp {
namespace {

using test::TestFtpServer;

bool connect(FtpClient& client, const TestFtpServer& server) {
    client.set_trust_consent(test::agree_to_plain_ftp());
    return client.connect("127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true).ok();
}

TEST(FtpClientHostileServer, AListingOverTheCapIsRefused) {
    TestFtpServer server("--huge-listing");
    ASSERT_TRUE(server.ready());
    FtpClient client;
    ASSERT_TRUE(connect(client, server));
    EXPECT_FALSE(client.directory_exists("/any", true));
    EXPECT_TRUE(client.is_connected());
}

// The stall limit is far beyond the test's time limit: only a close that does not wait
// on the server lets these tests end.
TEST(FtpClientHostileServer, CloseReturnsWhenTheServerStoppedAnswering) {
    TestFtpServer server("--mute-after-login");
    ASSERT_TRUE(server.ready());
    FtpClient client;
    client.set_timeouts({5000, 600});
    ASSERT_TRUE(connect(client, server));
    EXPECT_TRUE(client.close());  // its QUIT is never answered
    EXPECT_FALSE(client.is_connected());

    ASSERT_TRUE(connect(client, server));
    std::thread lister([&] { EXPECT_FALSE(client.directory_exists("/store", true)); });
    while (server.lines("CMD").size() < 3 || server.lines("LOGIN").size() < 2) std::this_thread::yield();
    while (server.lines("CMD").back().rfind("CMD PASS", 0) == 0) std::this_thread::yield();
    EXPECT_TRUE(client.close());
    lister.join();
    EXPECT_FALSE(client.is_connected());
}

TEST(FtpClientHostileServer, AConnectTicketTakenBeforeCloseNeverLogsIn) {
    TestFtpServer server;
    ASSERT_TRUE(server.ready());
    FtpClient client;
    client.set_trust_consent(test::agree_to_plain_ftp());
    const ConnectTicket stale = client.take_connect_ticket();
    client.close();
    EXPECT_EQ(
        client.connect(stale, "127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true).code(),
        kCancelled);
    EXPECT_FALSE(client.is_connected());
    EXPECT_TRUE(server.lines("CONNECT").empty());

    const ConnectTicket fresh = client.take_connect_ticket();
    EXPECT_TRUE(
        client.connect(fresh, "127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true).ok());
    EXPECT_EQ(server.lines("LOGIN").size(), 1u);
}

}  // namespace
}  // namespace quillet::ftp
