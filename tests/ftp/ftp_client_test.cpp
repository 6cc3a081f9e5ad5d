#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/date_time.h"
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
        client_.SetTrustConsent(test::agree_to_plain_ftp());
    }

    bool connect() {
        return client_.Connect("127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server_.port(), true);
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
    EXPECT_TRUE(client_.IsConnected());
    write_file_bytes(local("up.bin"), "payload");
    EXPECT_TRUE(client_.MakeDirectory("/store"));
    EXPECT_FALSE(client_.MakeDirectory("/store"));  // a refused command keeps the connection
    EXPECT_TRUE(client_.UploadFile(local("up.bin"), "/store/data.edb"));
    EXPECT_TRUE(client_.DownloadFile("/store/data.edb", local("down.bin")));
    EXPECT_FALSE(client_.DownloadFile("/store/missing.edb", local("none.bin")));
    EXPECT_TRUE(client_.DirectoryExists("/store", true));
    EXPECT_EQ(client_.List("/store"), 1);
    EXPECT_EQ(client_.RemoteFileSize("/store/data.edb"), 7);
    EXPECT_TRUE(client_.Close());
    EXPECT_FALSE(client_.Close());
    EXPECT_EQ(server_.lines("LOGIN").size(), 1u);
    // One control connection for the session, after the one that found no TLS on offer.
    EXPECT_EQ(server_.lines("CONNECT").size(), 2u);
}

TEST_F(FtpClientTest, NothingReachesTheServerWhenNotConnected) {
    write_file_bytes(local("up.bin"), "payload");
    put_server_file("f.txt", "x");
    Listing listing;
    listing.names.push_back("stale");
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_FALSE(client_.MakeDirectory("/d"));
    EXPECT_FALSE(client_.DeleteDirectory("/d"));
    EXPECT_FALSE(client_.UploadDirectory(local_dir_.path(), "/d"));
    EXPECT_EQ(client_.List("/", kDefaultListFilter, &listing), 0);
    EXPECT_TRUE(listing.names.empty());
    EXPECT_FALSE(client_.ChangeDirectory("/"));
    EXPECT_EQ(client_.CurrentDirectory(), "");
    EXPECT_FALSE(client_.DeleteRemoteFile("/f.txt"));
    EXPECT_FALSE(client_.RenameRemoteFile("/f.txt", "/g.txt"));
    EXPECT_FALSE(client_.DownloadFile("/f.txt", local("f.txt")));
    EXPECT_FALSE(client_.UploadFile(local("up.bin"), "/up.bin"));
    EXPECT_EQ(client_.RemoteFileSize("/f.txt"), 0);
    EXPECT_EQ(client_.RemoteDirectorySize("/"), 0);
    EXPECT_EQ(client_.GetAttributes("/f.txt", true), -1);
    EXPECT_EQ(client_.GetEntryAttributes("/d", true), 0u);
    EXPECT_EQ(client_.GetModifiedTime("/f.txt", true), kNoModifiedTime);
    EXPECT_EQ(client_.GetEntryModifiedTime("/d", true), 0.0);
    EXPECT_FALSE(client_.FileExists("/f.txt", true));
    EXPECT_FALSE(client_.DirectoryExists("/d", true));
    EXPECT_FALSE(client_.DownloadWithProgress("/f.txt", local("f.txt")));
    // The local directory is still created first.
    EXPECT_FALSE(client_.DownloadDirectory("/", local("made/deeper")));
    EXPECT_TRUE(std::filesystem::is_directory(local("made/deeper")));
    EXPECT_EQ(server_.log(), "");
}

TEST_F(FtpClientTest, LoginDefaultsAndFailures) {
    EXPECT_TRUE(client_.Connect("127.0.0.1", std::nullopt, "", server_.port(), true));
    EXPECT_EQ(server_.lines("LOGIN"), std::vector<std::string>{"LOGIN anonymous"});

    EXPECT_FALSE(client_.Connect("127.0.0.1", "user", "wrong", server_.port(), true));
    EXPECT_FALSE(client_.IsConnected());
    EXPECT_FALSE(client_.MakeDirectory("/x"));
    EXPECT_FALSE(client_.Connect("127.0.0.1", "user", "secret", 70000, true));
    EXPECT_FALSE(client_.Connect("bad host/name", "user", "secret", server_.port(), true));
    EXPECT_FALSE(client_.Connect("127.0.0.1", "user\r\nDELE x", "secret", server_.port(), true));

    // Active mode works as well as passive.
    EXPECT_TRUE(client_.Connect("127.0.0.1", "user", "secret", server_.port(), false));
    put_server_file("a.txt", "abc");
    EXPECT_TRUE(client_.DownloadFile("/a.txt", local("a.txt")));
    EXPECT_EQ(read_file_bytes(local("a.txt")), "abc");
}

TEST_F(FtpClientTest, ConnectingToAServerThatNeverAnswersGivesUp) {
    TestFtpServer silent("--silent");
    ASSERT_TRUE(silent.ready());
    client_.SetTimeouts({200, 1});
    EXPECT_FALSE(client_.Connect("127.0.0.1", "user", "secret", silent.port(), true));
    EXPECT_FALSE(client_.IsConnected());
}

TEST_F(FtpClientTest, ListingsReportNamesAttributesSizesAndTimesWithoutDotNames) {
    make_server_dir("dir/sub");
    put_server_file("dir/file.txt", "12345");
    put_server_file("dir/.hidden", "h");
    put_server_file("dir/other.bin", "1");
    ASSERT_TRUE(connect());

    Listing listing;
    ASSERT_EQ(client_.List("/dir", kDefaultListFilter, &listing), 3);
    std::map<std::string, std::pair<std::uint32_t, std::int64_t>> seen;
    for (std::size_t i = 0; i < listing.names.size(); ++i) {
        seen[listing.names[i]] = {listing.attributes[i], listing.sizes[i]};
        EXPECT_GT(listing.last_write_times[i], 40000.0);  // some day after 2009
    }
    EXPECT_EQ(seen["sub"].first, kAttributeDirectory);
    EXPECT_EQ(seen["file.txt"], (std::pair<std::uint32_t, std::int64_t>{kAttributeNormal, 5}));
    EXPECT_EQ(seen.count(".hidden"), 0u);

    EXPECT_EQ(client_.List("/dir/*.txt", kDefaultListFilter, &listing), 1);
    EXPECT_EQ(listing.names, std::vector<std::string>{"file.txt"});
    EXPECT_EQ(client_.List("/dir/file.txt", kDefaultListFilter, &listing), 1);
    EXPECT_EQ(client_.List("/dir/sub/../*", kDefaultListFilter, &listing), 3);
    EXPECT_EQ(client_.List("/missing", kDefaultListFilter, &listing), 0);
    ASSERT_TRUE(client_.ChangeDirectory("/dir"));
    EXPECT_EQ(client_.List("", kDefaultListFilter, &listing), 3);  // "*.*" of the current directory
}

TEST_F(FtpClientTest, ListingsFallBackToListWhereTheServerHasNoMlsd) {
    TestFtpServer plain("--no-mlsd");
    ASSERT_TRUE(plain.ready());
    std::filesystem::create_directories(plain.file("dir/sub dir"));
    write_file_bytes(plain.file("dir/name with spaces.txt"), "123");
    write_file_bytes(plain.file("dir/.dot"), "1");
    ASSERT_TRUE(client_.Connect("127.0.0.1", "user", "secret", plain.port(), true));
    Listing listing;
    ASSERT_EQ(client_.List("/dir", kDefaultListFilter, &listing), 2);
    for (std::size_t i = 0; i < 2; ++i) {
        if (listing.names[i] == "sub dir") {
            EXPECT_EQ(listing.attributes[i], kAttributeDirectory);
        } else {
            EXPECT_EQ(listing.names[i], "name with spaces.txt");
            EXPECT_EQ(listing.sizes[i], 3);
        }
    }
    EXPECT_TRUE(client_.DirectoryExists("/dir/sub dir/", true));
    EXPECT_TRUE(client_.FileExists("/dir/name with spaces.txt", true));
}

TEST_F(FtpClientTest, DirectoryExistsLooksAmongTheParentsDirectories) {
    make_server_dir("a/Backup");
    put_server_file("a/file.txt", "x");
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.DirectoryExists("/a/Backup", true));
    EXPECT_TRUE(client_.DirectoryExists("/a/Backup//", true));
    EXPECT_TRUE(client_.DirectoryExists("/a/backup/", false));
    EXPECT_FALSE(client_.DirectoryExists("/a/backup", true));
    EXPECT_FALSE(client_.DirectoryExists("/a/file.txt", false));  // a file is no directory
    EXPECT_FALSE(client_.DirectoryExists("/a/none", false));
    EXPECT_FALSE(client_.DirectoryExists("/nowhere/none", false));
    // The parent is the server's reading of "/a/Backup//../*".
    EXPECT_NE(server_.log().find("/a/Backup///.."), std::string::npos);
    EXPECT_EQ(client_.GetEntryAttributes("/a/BACKUP", false), kAttributeDirectory);
    EXPECT_EQ(client_.GetEntryAttributes("/a/BACKUP", true), 0u);
    EXPECT_GT(client_.GetEntryModifiedTime("/a/Backup", true), 40000.0);
    EXPECT_EQ(client_.GetEntryModifiedTime("/a/none", true), 0.0);
}

TEST_F(FtpClientTest, LookupsOfTheEntryItself) {
    put_server_file("a/File.txt", "hello");
    make_server_dir("a/d");
    ASSERT_TRUE(connect());
    EXPECT_TRUE(client_.FileExists("/a/File.txt", true));
    EXPECT_FALSE(client_.FileExists("/a/file.txt", true));
    EXPECT_TRUE(client_.FileExists("/a/file.txt", false));
    EXPECT_TRUE(client_.FileExists("/a/*.txt", true));
    EXPECT_EQ(client_.GetAttributes("/a/File.txt", true), static_cast<std::int32_t>(kAttributeNormal));
    EXPECT_EQ(client_.GetAttributes("/a/d", true), static_cast<std::int32_t>(kAttributeDirectory));
    EXPECT_EQ(client_.GetAttributes("/a/none", true), -1);
    EXPECT_GT(client_.GetModifiedTime("/a/File.txt", true), 40000.0);
    EXPECT_EQ(client_.GetModifiedTime("/a/none", true), kNoModifiedTime);
}

TEST_F(FtpClientTest, FileAndDirectoryCommands) {
    put_server_file("old.txt", "abc");
    ASSERT_TRUE(connect());
    EXPECT_EQ(client_.CurrentDirectory(), "/");
    EXPECT_TRUE(client_.RenameRemoteFile("/old.txt", "/new.txt"));
    EXPECT_FALSE(client_.RenameRemoteFile("/old.txt", "/other.txt"));
    EXPECT_TRUE(std::filesystem::exists(server_.file("new.txt")));
    EXPECT_TRUE(client_.MakeDirectory("/d"));
    EXPECT_TRUE(client_.ChangeDirectory("d"));
    EXPECT_EQ(client_.CurrentDirectory(), "/d");
    EXPECT_FALSE(client_.ChangeDirectory("/missing"));
    EXPECT_EQ(client_.CurrentDirectory(), "/d");
    // Relative paths are taken against the current directory.
    EXPECT_TRUE(client_.MakeDirectory("e"));
    EXPECT_TRUE(std::filesystem::is_directory(server_.file("d/e")));
    EXPECT_TRUE(client_.DeleteDirectory("/d/e"));
    EXPECT_FALSE(client_.DeleteDirectory("/d/e"));
    EXPECT_TRUE(client_.DeleteRemoteFile("../new.txt"));
    EXPECT_FALSE(client_.DeleteRemoteFile("/new.txt"));
    EXPECT_FALSE(client_.MakeDirectory("/x\r\nDELE /new.txt"));
    EXPECT_EQ(server_.lines("LOGIN").size(), 1u);
}

TEST_F(FtpClientTest, UploadAndDownloadRoundTripByteForByte) {
    std::string bytes;
    for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 % 256);
    write_file_bytes(local("up.bin"), bytes);
    ASSERT_TRUE(connect());
    const std::string gbk_name = "/\xCA\xFD\xBE\xDD.edb";  // 数据.edb
    EXPECT_TRUE(client_.UploadFile(local("up.bin"), gbk_name, 0));
    EXPECT_TRUE(client_.FileExists(gbk_name, true));
    write_file_bytes(local("down.bin"), "an older, different local file that is long enough");
    EXPECT_TRUE(client_.DownloadFile(gbk_name, local("down.bin")));
    EXPECT_EQ(read_file_bytes(local("down.bin")), bytes);
    // A failed download leaves the local file as it was.
    EXPECT_FALSE(client_.DownloadFile("/missing.edb", local("down.bin")));
    EXPECT_EQ(read_file_bytes(local("down.bin")), bytes);
    EXPECT_FALSE(std::filesystem::exists(local("down.bin.part")));
    // Text mode sends CR LF on the wire and keeps the system's line ends locally.
    write_file_bytes(local("text.txt"), "a\nb\n");
    EXPECT_TRUE(client_.UploadFile(local("text.txt"), "/text.txt", kTransferAscii));
    EXPECT_TRUE(client_.DownloadFile("/text.txt", local("text2.txt"), true));
#ifdef _WIN32
    EXPECT_EQ(read_file_bytes(local("text2.txt")), "a\r\nb\r\n");
#else
    EXPECT_EQ(read_file_bytes(local("text2.txt")), "a\nb\n");
#endif
    EXPECT_FALSE(client_.UploadFile(local("no such file"), "/x.bin"));
}

TEST_F(FtpClientTest, SizesOfFilesAndDirectoryTrees) {
    put_server_file("t/a.bin", std::string(100, 'a'));
    make_server_dir("t/s/u");
    put_server_file("t/s/b.bin", std::string(20, 'b'));
    put_server_file("t/s/u/c.bin", std::string(3, 'c'));
    ASSERT_TRUE(connect());
    EXPECT_EQ(client_.RemoteFileSize("/t/a.bin"), 100);
    EXPECT_EQ(client_.RemoteFileSize("/t/none.bin"), 0);
    EXPECT_EQ(client_.RemoteDirectorySize("/t"), 123);
}

TEST_F(FtpClientTest, DirectoryTreesGoBothWays) {
    make_server_dir("tree/sub");
    put_server_file("tree/one.txt", "1");
    put_server_file("tree/sub/two.txt", "22");
    ASSERT_TRUE(connect());
    std::vector<std::string> failed;
    EXPECT_TRUE(client_.DownloadDirectory("/tree", local("copy/of/tree"), false, &failed));
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(read_file_bytes(local("copy/of/tree/one.txt")), "1");
    EXPECT_EQ(read_file_bytes(local("copy/of/tree/sub/two.txt")), "22");

    EXPECT_TRUE(client_.UploadDirectory(local("copy/of/tree"), "/back"));
    EXPECT_EQ(read_file_bytes(server_.file("back/one.txt")), "1");
    EXPECT_EQ(read_file_bytes(server_.file("back/sub/two.txt")), "22");
    EXPECT_FALSE(client_.UploadDirectory(local("not there"), "/back2"));
}

TEST_F(FtpClientTest, DownloadWithProgressLeavesExactlyTheDownloadedBytes) {
    const std::string bytes(5000, 'z');
    put_server_file("p.bin", bytes);
    ASSERT_TRUE(connect());
    write_file_bytes(local("p.bin"), std::string(9000, 'o'));
    std::vector<std::int64_t> totals;
    int last_percent = 0;
    EXPECT_TRUE(
        client_.DownloadWithProgress("/p.bin", local("p.bin"), [&](std::int64_t& so_far, std::int64_t, int percent) {
            totals.push_back(so_far);
            last_percent = percent;
        }));
    EXPECT_EQ(read_file_bytes(local("p.bin")), bytes);
    EXPECT_EQ(totals, (std::vector<std::int64_t>{2048, 4096, 5000}));
    EXPECT_EQ(last_percent, 100);
    EXPECT_FALSE(client_.DownloadWithProgress("/none.bin", local("p.bin")));
}

TEST_F(FtpClientTest, AStalledTransferFailsAndCloseCancelsARunningOne) {
    TestFtpServer stalling("--stall-after 10");
    ASSERT_TRUE(stalling.ready());
    write_file_bytes(stalling.file("big.bin"), std::string(100000, 'b'));
    client_.SetTimeouts({2000, 1});
    ASSERT_TRUE(client_.Connect("127.0.0.1", "user", "secret", stalling.port(), true));
    EXPECT_FALSE(client_.DownloadFile("/big.bin", local("big.bin")));
    EXPECT_FALSE(std::filesystem::exists(local("big.bin")));
    stalling.stop();

    TestFtpServer stalling_again("--stall-after 10");
    write_file_bytes(stalling_again.file("big.bin"), std::string(100000, 'b'));
    client_.SetTimeouts({2000, 600});
    ASSERT_TRUE(client_.Connect("127.0.0.1", "user", "secret", stalling_again.port(), true));
    std::thread transfer([&] { EXPECT_FALSE(client_.DownloadFile("/big.bin", local("big.bin"))); });
    while (stalling_again.lines("CMD RETR").empty()) std::this_thread::yield();
    EXPECT_TRUE(client_.Close());
    transfer.join();
    EXPECT_FALSE(client_.IsConnected());
}

TEST(FtpClientHelpers, TextAndTimeConversions) {
    EXPECT_EQ(FtpClient::TrimSeparators("\\/a/b\\/"), "a/b");
    EXPECT_EQ(FtpClient::TrimSeparators("//"), "");
    // A GBK character whose second byte is 0x5C is not a separator.
    EXPECT_EQ(FtpClient::TrimSeparators("/\xD5\x5C"), "\xD5\x5C");
    const char buffer[8] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(FtpClient::BufferToText(buffer, sizeof buffer), "ab");
    // 2021-10-06 12:00:00 is 116444736000000000 + seconds since 1970 times 10^7.
    const std::uint64_t noon = 116444736000000000ULL + 1633521600ULL * 10000000ULL;
    platform::CalendarFields fields{2021, 10, 6, 12, 0, 0, 0};
    double expected = 0;
    ASSERT_TRUE(platform::calendar_to_date_time(fields, &expected));
    EXPECT_DOUBLE_EQ(FtpClient::FileTimeToDateTime(noon), expected);
    EXPECT_EQ(FtpClient::FileTimeToDateTime(0), -109205.0);  // 1601-01-01
    EXPECT_EQ(FtpClient::FileTimeToDateTime(~0ULL), 0);
}

}  // namespace
}  // namespace quillet::ftp
