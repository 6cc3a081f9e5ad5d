#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "tests/ftp/ftp_test_server.h"

namespace quillet::ftp {
namespace {

using test::read_file_bytes;
using test::TestFtpServer;
using test::write_file_bytes;

class FtpClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        client_.set_trust_consent(test::agree_to_plain_ftp());
    }

    bool connect() {
        return client_.connect("127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server_.port(), true).ok();
    }
    void make_server_dir(const std::string& relative) { std::filesystem::create_directories(server_.file(relative)); }
    void put_server_file(const std::string& relative, const std::string& bytes) {
        write_file_bytes(server_.file(relative), bytes);
    }
    std::string local(const std::string& name) const { return local_dir_.path() + "/" + name; }

    TestFtpServer server_;
    test::TempDirectory local_dir_;
    FtpClient client_;
};

TEST_F(FtpClientTest, OneLoginServesAWholeSessionOfOperations) {
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.is_connected());
    write_file_bytes(local("up.bin"), "payload");
    EXPECT_TRUE(client_.make_directory("/store"));
    EXPECT_FALSE(client_.make_directory("/store"));  // a refused command keeps the connection
    EXPECT_TRUE(client_.upload_file(local("up.bin"), "/store/data.edb").ok());
    EXPECT_TRUE(client_.download_file("/store/data.edb", local("down.bin")).ok());
    EXPECT_FALSE(client_.download_file("/store/missing.edb", local("none.bin")).ok());
    EXPECT_TRUE(client_.directory_exists("/store", true));
    EXPECT_TRUE(client_.close());
    EXPECT_FALSE(client_.close());
    EXPECT_EQ(server_.lines("LOGIN").size(), 1u);
    // One control connection for the session, after the one that found no TLS on offer.
    EXPECT_EQ(server_.lines("CONNECT").size(), 2u);
}

TEST_F(FtpClientTest, NothingReachesTheServerWhenNotConnected) {
    write_file_bytes(local("up.bin"), "payload");
    put_server_file("f.txt", "x");
    EXPECT_FALSE(client_.is_connected());
    EXPECT_FALSE(client_.make_directory("/d"));
    EXPECT_FALSE(client_.delete_file("/f.txt"));
    EXPECT_FALSE(client_.rename_file("/f.txt", "/g.txt"));
    EXPECT_FALSE(client_.download_file("/f.txt", local("f.txt")).ok());
    EXPECT_FALSE(client_.upload_file(local("up.bin"), "/up.bin").ok());
    EXPECT_FALSE(client_.directory_exists("/d", true));
    EXPECT_EQ(server_.log(), "");
}

TEST_F(FtpClientTest, LoginDefaultsAndActiveMode) {
    EXPECT_TRUE(client_.connect("127.0.0.1", std::nullopt, "", server_.port(), true).ok());
    EXPECT_EQ(server_.lines("LOGIN"), std::vector<std::string>{"LOGIN anonymous"});
    // Active mode works as well as passive.
    EXPECT_TRUE(client_.connect("127.0.0.1", "user", "secret", server_.port(), false).ok());
    put_server_file("a.txt", "abc");
    EXPECT_TRUE(client_.download_file("/a.txt", local("a.txt")).ok());
    EXPECT_EQ(read_file_bytes(local("a.txt")), "abc");
}

// Each failure a user can fix names its cause, and leaves the client unconnected.
TEST_F(FtpClientTest, AFailedConnectSaysWhy) {
    const auto code_of = [&](const std::string& host, const std::string& password, int port) {
        const platform::Status status = client_.connect(host, "user", password, port, true);
        EXPECT_FALSE(client_.is_connected()) << host << ":" << port;
        EXPECT_FALSE(status.message().empty()) << host << ":" << port;
        return status.code();
    };
    EXPECT_EQ(code_of("127.0.0.1", "wrong", server_.port()), kLoginRefused);
    EXPECT_FALSE(client_.make_directory("/x"));
    EXPECT_EQ(code_of("nohost.invalid", "secret", server_.port()), kHostNotFound);
    EXPECT_EQ(code_of("NoHost.Invalid.", "secret", server_.port()), kHostNotFound);
    EXPECT_EQ(code_of("127.0.0.1", "secret", 70000), kBadAddress);
    EXPECT_EQ(code_of("bad host/name", "secret", server_.port()), kBadAddress);
    EXPECT_EQ(client_.connect("127.0.0.1", "user\r\nDELE x", "secret", server_.port(), true).code(), kBadAddress);

    TestFtpServer gone;
    ASSERT_TRUE(gone.ready());
    const int closed_port = gone.port();
    gone.stop();
    EXPECT_EQ(code_of("127.0.0.1", "secret", closed_port), kConnectionRefused);

    TestFtpServer silent("--silent");
    ASSERT_TRUE(silent.ready());
    client_.set_timeouts({200, 1});
    EXPECT_EQ(code_of("127.0.0.1", "secret", silent.port()), kTimedOut);
    EXPECT_EQ(server_.lines("LOGIN").size(), 0u);
}

TEST(FailureReason, LibcurlResultsAndRepliesBecomeReasons) {
    // Codes as libcurl numbers them: 6 could not resolve, 7 could not connect, 28 timed
    // out, 67 login denied, 8 a weird server reply.
    EXPECT_EQ(failure_reason({6, 0, 0, "Could not resolve host: x"}).code(), kHostNotFound);
    EXPECT_EQ(failure_reason({7, 0, ECONNREFUSED, "Failed to connect"}).code(), kConnectionRefused);
    EXPECT_EQ(failure_reason({7, 0, 10061, "Failed to connect"}).code(), kConnectionRefused);
    // Unreachable is not refused: libcurl's own words are shown.
    const platform::Status unreachable = failure_reason({7, 0, ENETUNREACH, "Failed to connect: unreachable"});
    EXPECT_EQ(unreachable.code(), kOtherFailure);
    EXPECT_EQ(unreachable.message(), "Failed to connect: unreachable");
    EXPECT_EQ(failure_reason({28, 0, 0, ""}).code(), kTimedOut);
    EXPECT_EQ(failure_reason({67, 530, 0, ""}).code(), kLoginRefused);
    EXPECT_EQ(failure_reason({8, 530, 0, ""}).code(), kLoginRefused);
    // With an empty error buffer the text of the result code stands in.
    const platform::Status weird = failure_reason({8, 421, 0, ""});
    EXPECT_EQ(weird.code(), kOtherFailure);
    EXPECT_FALSE(weird.message().empty());
    EXPECT_FALSE(failure_reason({6, 0, 0, ""}).ok());
}

TEST_F(FtpClientTest, ListingsFallBackToListWhereTheServerHasNoMlsd) {
    TestFtpServer plain("--no-mlsd");
    ASSERT_TRUE(plain.ready());
    std::filesystem::create_directories(plain.file("dir/sub dir"));
    write_file_bytes(plain.file("dir/name with spaces.txt"), "123");
    write_file_bytes(plain.file("dir/.dot"), "1");
    ASSERT_TRUE(client_.connect("127.0.0.1", "user", "secret", plain.port(), true).ok());
    EXPECT_TRUE(client_.directory_exists("/dir/sub dir/", true));
    EXPECT_FALSE(client_.directory_exists("/dir/name with spaces.txt", true));  // a file
    EXPECT_EQ(plain.lines("CMD LIST").size(), 2u);
}

TEST_F(FtpClientTest, DirectoryExistsLooksAmongTheParentsDirectories) {
    make_server_dir("a/Backup");
    put_server_file("a/file.txt", "x");
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.directory_exists("/a/Backup", true));
    EXPECT_TRUE(client_.directory_exists("/a/Backup//", true));
    EXPECT_TRUE(client_.directory_exists("/a/backup/", false));
    EXPECT_FALSE(client_.directory_exists("/a/backup", true));
    EXPECT_FALSE(client_.directory_exists("/a/file.txt", false));  // a file is no directory
    EXPECT_FALSE(client_.directory_exists("/a/none", false));
    EXPECT_FALSE(client_.directory_exists("/nowhere/none", false));
    // The parent is the server's reading of "/a/Backup//../*".
    EXPECT_NE(server_.log().find("/a/Backup///.."), std::string::npos);
}

TEST_F(FtpClientTest, FileAndDirectoryCommands) {
    put_server_file("old.txt", "abc");
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.rename_file("/old.txt", "/new.txt"));
    EXPECT_FALSE(client_.rename_file("/old.txt", "/other.txt"));
    EXPECT_TRUE(std::filesystem::exists(server_.file("new.txt")));
    // Relative paths are taken against the login directory.
    EXPECT_TRUE(client_.make_directory("d"));
    EXPECT_TRUE(client_.make_directory("d/e"));
    EXPECT_TRUE(std::filesystem::is_directory(server_.file("d/e")));
    EXPECT_TRUE(client_.delete_file("d/../new.txt"));
    EXPECT_FALSE(client_.delete_file("/new.txt"));
    EXPECT_FALSE(client_.make_directory("/x\r\nDELE /new.txt"));
    EXPECT_EQ(server_.lines("LOGIN").size(), 1u);
}

TEST_F(FtpClientTest, UploadAndDownloadRoundTripByteForByte) {
    std::string bytes;
    for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 % 256);
    write_file_bytes(local("up.bin"), bytes);
    ASSERT_TRUE(connect());
    const std::string gbk_name = "/\xCA\xFD\xBE\xDD.edb";  // 数据.edb
    EXPECT_TRUE(client_.upload_file(local("up.bin"), gbk_name, 0).ok());
#ifndef _WIN32
    // The server keeps the name's bytes; a Windows test program cannot name that file by
    // them, and the download below checks the same copy.
    EXPECT_EQ(read_file_bytes(server_.file("\xCA\xFD\xBE\xDD.edb")), bytes);
#endif
    write_file_bytes(local("down.bin"), "an older, different local file that is long enough");
    EXPECT_TRUE(client_.download_file(gbk_name, local("down.bin")).ok());
    EXPECT_EQ(read_file_bytes(local("down.bin")), bytes);
    // A failed download leaves the local file as it was.
    EXPECT_FALSE(client_.download_file("/missing.edb", local("down.bin")).ok());
    EXPECT_EQ(read_file_bytes(local("down.bin")), bytes);
    EXPECT_FALSE(std::filesystem::exists(local("down.bin.part")));
    // Text mode sends CR LF on the wire and keeps the system's line ends locally.
    write_file_bytes(local("text.txt"), "a\nb\n");
    EXPECT_TRUE(client_.upload_file(local("text.txt"), "/text.txt", kTransferAscii).ok());
    EXPECT_TRUE(client_.download_file("/text.txt", local("text2.txt"), true).ok());
#ifdef _WIN32
    EXPECT_EQ(read_file_bytes(local("text2.txt")), "a\r\nb\r\n");
#else
    EXPECT_EQ(read_file_bytes(local("text2.txt")), "a\nb\n");
#endif
    EXPECT_FALSE(client_.upload_file(local("no such file"), "/x.bin").ok());
}

TEST_F(FtpClientTest, AStalledTransferFailsAndCloseCancelsARunningOne) {
    TestFtpServer stalling("--stall-after 10");
    ASSERT_TRUE(stalling.ready());
    write_file_bytes(stalling.file("big.bin"), std::string(100000, 'b'));
    client_.set_timeouts({2000, 1});
    ASSERT_TRUE(client_.connect("127.0.0.1", "user", "secret", stalling.port(), true).ok());
    EXPECT_FALSE(client_.download_file("/big.bin", local("big.bin")).ok());
    EXPECT_FALSE(std::filesystem::exists(local("big.bin")));
    stalling.stop();

    TestFtpServer stalling_again("--stall-after 10");
    write_file_bytes(stalling_again.file("big.bin"), std::string(100000, 'b'));
    client_.set_timeouts({2000, 600});
    ASSERT_TRUE(client_.connect("127.0.0.1", "user", "secret", stalling_again.port(), true).ok());
    std::thread transfer([&] { EXPECT_FALSE(client_.download_file("/big.bin", local("big.bin")).ok()); });
    while (stalling_again.lines("CMD RETR").empty()) std::this_thread::yield();
    EXPECT_TRUE(client_.close());
    transfer.join();
    EXPECT_FALSE(client_.is_connected());
}

}  // namespace
}  // namespace quillet::ftp
