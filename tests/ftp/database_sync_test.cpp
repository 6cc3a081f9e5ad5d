#include "ftp/database_sync.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>

#include "platform/file.h"
#include "platform/manual_clock.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::ftp {
namespace {

using test::read_file_bytes;
using test::TestFtpServer;
using test::write_file_bytes;

// The file layer's change hook runs before every change to a file or directory, the
// directory sync included; each change is noted with what the watched file held then.
std::string g_watched_file;
std::vector<std::string> g_held_at_each_change;
std::string g_failing_content;  // a change made while the watched file holds this fails

platform::FileError note_change() {
    g_held_at_each_change.push_back(read_file_bytes(g_watched_file));
    return g_held_at_each_change.back() == g_failing_content ? platform::FileError::kHardwareIo
                                                              : platform::FileError::kNone;
}

class DatabaseSyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        clock_.set_local_time({2021, 10, 6, 9, 30, 0, 0});
        platform::set_clock(&clock_);
        write_file_bytes(local_file(), kOriginal);
        sync_.local_file = local_file();
        sync_.storage_path = "/store";
        sync_.lock_store = [this] {
            ++locks_taken_;
            return std::unique_lock<std::mutex>(store_mutex_);
        };
        // Stands in for opening the file with the session password.
        sync_.is_usable_database = [this](const std::string& path) {
            EXPECT_FALSE(store_mutex_.try_lock()) << "checked without the store's lock";
            return read_file_bytes(path).rfind("GOOD", 0) == 0;
        };
    }
    void TearDown() override {
        platform::set_change_hook(nullptr);
        platform::set_clock(nullptr);
    }

    void watch_changes(const std::string& failing_content = "") {
        g_watched_file = local_file();
        g_held_at_each_change.clear();
        g_failing_content = failing_content;
        platform::set_change_hook(note_change);
    }

    bool connect(FtpClient& client, const TestFtpServer& server) {
        client.set_trust_consent(test::agree_to_plain_ftp());
        return client.connect("127.0.0.1", TestFtpServer::kUser, TestFtpServer::kPassword, server.port(), true).ok();
    }
    std::string local_file() const { return local_.path() + "/data.edb"; }
    std::string local(const std::string& name) const { return local_.path() + "/" + name; }
    // Only data.edb and backups: no temporary file is left behind.
    std::vector<std::string> local_names() const { return names_in(local_.path()); }
    static std::vector<std::string> names_in(const std::string& directory) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The command's argument in each log line starting with `command`.
    static std::vector<std::string> arguments(const TestFtpServer& server, const std::string& command) {
        std::vector<std::string> found;
        for (const std::string& line : server.lines("CMD " + command + " ")) {
            found.push_back(line.substr(command.size() + 5));
        }
        return found;
    }
    static bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

    static constexpr const char* kOriginal = "GOOD local original";
    TestFtpServer server_;
    test::TempDirectory local_;
    platform::ManualClock clock_;
    FtpClient client_;
    std::mutex store_mutex_;
    int locks_taken_ = 0;
    DatabaseSync sync_;
};

TEST_F(DatabaseSyncTest, UploadCreatesAMissingStoragePathWithOneRequest) {
    ASSERT_TRUE(connect(client_, server_));
    EXPECT_TRUE(upload_database(client_, sync_).ok());
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), kOriginal);
    EXPECT_EQ(server_.lines("CMD MKD"), std::vector<std::string>{"CMD MKD /store"});
    EXPECT_EQ(locks_taken_, 1);
    EXPECT_EQ(local_names(), std::vector<std::string>{"data.edb"});

    // An existing storage directory is not created again; the server's file is replaced.
    write_file_bytes(local_file(), "GOOD newer");
    EXPECT_TRUE(upload_database(client_, sync_).ok());
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), "GOOD newer");
    EXPECT_EQ(server_.lines("CMD MKD").size(), 1u);

    // Missing parents are not made one by one: the one request fails, and so does the upload.
    sync_.storage_path = "/deep/er";
    EXPECT_FALSE(upload_database(client_, sync_).ok());
    EXPECT_EQ(server_.lines("CMD MKD").back(), "CMD MKD /deep/er");
    EXPECT_EQ(server_.lines("CMD MKD").size(), 2u);

    sync_.storage_path = "";
    EXPECT_TRUE(upload_database(client_, sync_).ok());
    EXPECT_EQ(read_file_bytes(server_.file("data.edb")), "GOOD newer");
}

TEST_F(DatabaseSyncTest, UploadSendsATemporaryAndRenamesItOverTheServersCopy) {
    write_file_bytes(server_.file("store/data.edb"), "GOOD previous");
    ASSERT_TRUE(connect(client_, server_));
    EXPECT_TRUE(upload_database(client_, sync_).ok());
    EXPECT_EQ(read_file_bytes(server_.file("store/data.edb")), kOriginal);
    EXPECT_EQ(names_in(server_.file("store")), std::vector<std::string>{"data.edb"});

    const std::vector<std::string> stored = arguments(server_, "STOR");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(starts_with(stored[0], "/store/data.edb.upload-")) << stored[0];
    EXPECT_EQ(arguments(server_, "RNFR"), stored);
    EXPECT_EQ(arguments(server_, "RNTO"), std::vector<std::string>{"/store/data.edb"});
    EXPECT_TRUE(server_.lines("CMD DELE").empty());

    // Two uploads never share a temporary name.
    EXPECT_TRUE(upload_database(client_, sync_).ok());
    ASSERT_EQ(arguments(server_, "STOR").size(), 2u);
    EXPECT_NE(arguments(server_, "STOR")[0], arguments(server_, "STOR")[1]);
}

TEST_F(DatabaseSyncTest, AServerKilledMidUploadKeepsItsPreviousCopy) {
    TestFtpServer dying("--die-after-receiving 4096");
    ASSERT_TRUE(dying.ready());
    write_file_bytes(dying.file("store/data.edb"), "GOOD previous");
    write_file_bytes(local_file(), "GOOD " + std::string(256 * 1024, 'n'));
    FtpClient client;
    client.set_timeouts({2000, 2});
    ASSERT_TRUE(connect(client, dying));
    EXPECT_FALSE(upload_database(client, sync_).ok());
    EXPECT_EQ(read_file_bytes(dying.file("store/data.edb")), "GOOD previous");
    // The part that arrived lies under the temporary name only.
    const std::vector<std::string> left = names_in(dying.file("store"));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], "data.edb");
    EXPECT_TRUE(starts_with(left[1], "data.edb.upload-")) << left[1];
    EXPECT_EQ(read_file_bytes(dying.file("store/" + left[1])).size(), 4096u);
    EXPECT_EQ(local_names(), std::vector<std::string>{"data.edb"});
}

TEST_F(DatabaseSyncTest, AServerThatWillNotRenameOntoAFileGetsTheOldCopyMovedAsideFirst) {
    TestFtpServer refusing("--no-rename-over");
    ASSERT_TRUE(refusing.ready());
    FtpClient client;
    ASSERT_TRUE(connect(client, refusing));
    // Nothing to replace: the one rename does it.
    EXPECT_TRUE(upload_database(client, sync_).ok());
    EXPECT_EQ(read_file_bytes(refusing.file("store/data.edb")), kOriginal);
    EXPECT_EQ(arguments(refusing, "RNTO").size(), 1u);

    write_file_bytes(local_file(), "GOOD newer");
    EXPECT_TRUE(upload_database(client, sync_).ok());
    EXPECT_EQ(read_file_bytes(refusing.file("store/data.edb")), "GOOD newer");
    EXPECT_EQ(names_in(refusing.file("store")), std::vector<std::string>{"data.edb"});
    const std::vector<std::string> renamed_to = arguments(refusing, "RNTO");
    ASSERT_EQ(renamed_to.size(), 4u);  // refused, moved aside, in place
    EXPECT_EQ(renamed_to[1], "/store/data.edb");
    EXPECT_TRUE(starts_with(renamed_to[2], "/store/data.edb.old-")) << renamed_to[2];
    EXPECT_EQ(renamed_to[3], "/store/data.edb");
    EXPECT_EQ(arguments(refusing, "DELE"), std::vector<std::string>{renamed_to[2]});
}

TEST_F(DatabaseSyncTest, AnUploadThatCannotBePutInPlaceLeavesTheServersCopyAndNoTemporary) {
    TestFtpServer refusing("--no-rename-over --refuse-rename-from upload");
    ASSERT_TRUE(refusing.ready());
    write_file_bytes(refusing.file("store/data.edb"), "GOOD previous");
    FtpClient client;
    ASSERT_TRUE(connect(client, refusing));
    EXPECT_EQ(upload_database(client, sync_).code(), kReplaceRefused);
    EXPECT_EQ(read_file_bytes(refusing.file("store/data.edb")), "GOOD previous");
    EXPECT_EQ(names_in(refusing.file("store")), std::vector<std::string>{"data.edb"});
    // The old copy went aside and came back.
    const std::vector<std::string> renamed_to = arguments(refusing, "RNTO");
    ASSERT_EQ(renamed_to.size(), 4u);
    EXPECT_TRUE(starts_with(renamed_to[1], "/store/data.edb.old-")) << renamed_to[1];
    EXPECT_EQ(renamed_to[3], "/store/data.edb");
    EXPECT_EQ(local_names(), std::vector<std::string>{"data.edb"});
}

TEST_F(DatabaseSyncTest, DownloadKeepsTheDaysBackupAndASecondOneOfTheSameDay) {
    write_file_bytes(server_.file("store/data.edb"), "GOOD from the server");
    ASSERT_TRUE(connect(client_, server_));
    std::string backup;
    EXPECT_TRUE(download_database(client_, sync_, &backup).ok());
    EXPECT_EQ(backup, local("data2021-10-6.edb"));
    EXPECT_EQ(read_file_bytes(local_file()), "GOOD from the server");
    EXPECT_EQ(read_file_bytes(backup), kOriginal);

    write_file_bytes(local_file(), "GOOD changed locally");
    EXPECT_TRUE(download_database(client_, sync_, &backup).ok());
    EXPECT_EQ(backup, local("data2021-10-6-2.edb"));
    EXPECT_EQ(read_file_bytes(local("data2021-10-6.edb")), kOriginal);
    EXPECT_EQ(read_file_bytes(backup), "GOOD changed locally");
    EXPECT_EQ(local_names(), (std::vector<std::string>{"data.edb", "data2021-10-6-2.edb", "data2021-10-6.edb"}));
    EXPECT_EQ(server_.lines("LOGIN").size(), 1u);
}

TEST_F(DatabaseSyncTest, FailedDownloadsLeaveTheLocalFileUntouched) {
    ASSERT_TRUE(connect(client_, server_));
    // Each failure says why.
    EXPECT_EQ(download_database(client_, sync_).code(), kRemoteFileMissing);
    // The server's file is not a usable database (an error page, another password...).
    write_file_bytes(server_.file("store/data.edb"), "<html>502 Bad Gateway</html>");
    EXPECT_EQ(download_database(client_, sync_).code(), kUnusableCopy);
    EXPECT_EQ(read_file_bytes(local_file()), kOriginal);
    EXPECT_EQ(local_names(), std::vector<std::string>{"data.edb"});

    // The server stops in the middle of the transfer.
    TestFtpServer stalling("--stall-after 4");
    ASSERT_TRUE(stalling.ready());
    write_file_bytes(stalling.file("store/data.edb"), "GOOD but never arrives whole");
    FtpClient client;
    client.set_timeouts({2000, 1});
    ASSERT_TRUE(connect(client, stalling));
    EXPECT_EQ(download_database(client, sync_).code(), kTimedOut);
    EXPECT_EQ(read_file_bytes(local_file()), kOriginal);
    EXPECT_EQ(local_names(), std::vector<std::string>{"data.edb"});

    client_.close();
    EXPECT_EQ(download_database(client_, sync_).code(), kNotConnected);
    EXPECT_EQ(upload_database(client_, sync_).code(), kNotConnected);
}

TEST_F(DatabaseSyncTest, DownloadSyncsTheDirectoryAfterItsRenameBeforeReportingSuccess) {
    write_file_bytes(server_.file("store/data.edb"), "GOOD from the server");
    ASSERT_TRUE(connect(client_, server_));
    watch_changes();
    EXPECT_TRUE(download_database(client_, sync_).ok());
    // The one change after the rename: the directory sync that makes it durable.
    ASSERT_FALSE(g_held_at_each_change.empty());
    EXPECT_EQ(std::count(g_held_at_each_change.begin(), g_held_at_each_change.end(), "GOOD from the server"), 1);
    EXPECT_EQ(g_held_at_each_change.back(), "GOOD from the server");
}

TEST_F(DatabaseSyncTest, ADirectorySyncThatFailsIsReportedAndTheBackupKept) {
    write_file_bytes(server_.file("store/data.edb"), "GOOD from the server");
    ASSERT_TRUE(connect(client_, server_));
    watch_changes("GOOD from the server");
    std::string backup;
    EXPECT_FALSE(download_database(client_, sync_, &backup).ok());
    platform::set_change_hook(nullptr);
    // The rename was made: the previous file is only in the backup now.
    EXPECT_EQ(read_file_bytes(local_file()), "GOOD from the server");
    EXPECT_EQ(backup, local("data2021-10-6.edb"));
    EXPECT_EQ(read_file_bytes(backup), kOriginal);
    EXPECT_EQ(local_names(), (std::vector<std::string>{"data.edb", "data2021-10-6.edb"}));
}

TEST_F(DatabaseSyncTest, DownloadWithoutALocalFileKeepsNoBackup) {
    write_file_bytes(server_.file("data.edb"), "GOOD root copy");
    std::filesystem::remove(local_file());
    sync_.storage_path = "";
    ASSERT_TRUE(connect(client_, server_));
    std::string backup = "unset";
    EXPECT_TRUE(download_database(client_, sync_, &backup).ok());
    EXPECT_EQ(backup, "");
    EXPECT_EQ(read_file_bytes(local_file()), "GOOD root copy");
}

#ifndef _WIN32  // file modes; the DACLs of the Windows build are checked with its file layer
TEST_F(DatabaseSyncTest, DownloadedFileItsTemporaryAndTheBackupAreOwnerOnly) {
    const mode_t old_umask = umask(022);
    auto mode_of = [](const std::string& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
    };
    write_file_bytes(server_.file("store/data.edb"), "GOOD from the server");
    std::vector<std::string> checked;
    sync_.is_usable_database = [&](const std::string& path) {
        checked.push_back(path);
        EXPECT_EQ(mode_of(path), 0600u) << "the downloaded temporary";
        return true;
    };
    ASSERT_TRUE(connect(client_, server_));
    std::string backup;
    EXPECT_TRUE(download_database(client_, sync_, &backup).ok());
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].rfind(local_file(), 0), 0u) << "beside data.edb: " << checked[0];
    EXPECT_EQ(mode_of(local_file()), 0600u);
    EXPECT_EQ(mode_of(backup), 0600u);
    EXPECT_EQ(local_names(), (std::vector<std::string>{"data.edb", "data2021-10-6.edb"}));
    umask(old_umask);
}
#endif

}  // namespace
}  // namespace quillet::ftp
