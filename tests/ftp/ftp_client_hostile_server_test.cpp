// The FTP client against servers that misbehave: crafted listings, endless trees,
// huge listings, and a server that stops answering after the login.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "ftp/ftp_client.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::ftp {
namespace {

using test::read_file_bytes;
using test::TestFtpServer;
using test::write_file_bytes;

bool connect(FtpClient& client, const TestFtpServer& server) {
    client.SetTrustConsent(test::agree_to_plain_ftp());
    return client.Connect("127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true);
}

TEST(FtpClientHostileServer, DownloadDirectoryKeepsEveryNameInsideTheLocalDirectory) {
    TestFtpServer server("--hostile-listing");
    ASSERT_TRUE(server.ready());
    write_file_bytes(server.file("ok.txt"), "ok");
    test::TempDirectory local;
    const std::string target = local.path() + "/inner/copy";
    FtpClient client;
    ASSERT_TRUE(connect(client, server));

    std::vector<std::string> failed;
    EXPECT_TRUE(client.DownloadDirectory("/", target, false, &failed));
    EXPECT_EQ(read_file_bytes(target + "/ok.txt"), "ok");
    for (const char* refused : {"/a/b.txt", "/a\\b.txt"}) {
        EXPECT_NE(std::find(failed.begin(), failed.end(), refused), failed.end()) << refused;
    }
    EXPECT_NE(std::find(failed.begin(), failed.end(), std::string("/nul\0.txt", 9)), failed.end());
    EXPECT_FALSE(std::filesystem::exists(target + "/a"));
    // Only the copy itself was written: nothing beside it or above it.
    std::vector<std::string> outside;
    for (const auto& entry : std::filesystem::directory_iterator(local.path() + "/inner")) {
        outside.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(outside, std::vector<std::string>{"copy"});

    // "d" holds "d" without end: the walk stops at a fixed depth and says so.
    std::size_t deepest = 0;
    for (const std::string& path : failed) {
        deepest = std::max<std::size_t>(deepest, std::count(path.begin(), path.end(), 'd'));
    }
    EXPECT_GE(deepest, 8u);
    EXPECT_LE(deepest, 20u);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_GT(client.RemoteDirectorySize("/"), 0);  // ends too, in spite of the endless tree
}

TEST(FtpClientHostileServer, AListingOverTheCapIsRefused) {
    TestFtpServer server("--huge-listing");
    ASSERT_TRUE(server.ready());
    FtpClient client;
    ASSERT_TRUE(connect(client, server));
    Listing listing;
    EXPECT_EQ(client.List("/", kDefaultListFilter, &listing), 0);
    EXPECT_TRUE(listing.names.empty());
}

// The stall limit is far beyond the test's time limit: only a close that does not wait
// on the server lets these tests end.
TEST(FtpClientHostileServer, CloseReturnsWhenTheServerStoppedAnswering) {
    TestFtpServer server("--mute-after-login");
    ASSERT_TRUE(server.ready());
    FtpClient client;
    client.SetTimeouts({5000, 600});
    ASSERT_TRUE(connect(client, server));
    EXPECT_TRUE(client.Close());  // its QUIT is never answered
    EXPECT_FALSE(client.IsConnected());

    ASSERT_TRUE(connect(client, server));
    std::thread lister([&] { EXPECT_EQ(client.List("/"), 0); });
    while (server.lines("CMD").size() < 3 || server.lines("LOGIN").size() < 2) std::this_thread::yield();
    while (server.lines("CMD").back().rfind("CMD PASS", 0) == 0) std::this_thread::yield();
    EXPECT_TRUE(client.Close());
    lister.join();
    EXPECT_FALSE(client.IsConnected());
}

TEST(FtpClientHostileServer, AConnectTicketTakenBeforeCloseNeverLogsIn) {
    TestFtpServer server;
    ASSERT_TRUE(server.ready());
    FtpClient client;
    client.SetTrustConsent(test::agree_to_plain_ftp());
    const ConnectTicket stale = client.TakeConnectTicket();
    client.Close();
    EXPECT_FALSE(
        client.Connect(stale, "127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_TRUE(server.lines("CONNECT").empty());

    const ConnectTicket fresh = client.TakeConnectTicket();
    EXPECT_TRUE(
        client.Connect(fresh, "127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true));
    EXPECT_EQ(server.lines("LOGIN").size(), 1u);
}

}  // namespace
}  // namespace quillet::ftp
