#include "app/database_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/record_store.h"
#include "ftp/database_sync.h"
#include "tests/app/record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::app {
namespace {

using test::read_file_bytes;
using test::write_file_bytes;

class DatabaseCheckTest : public testing::Test {
  protected:
    void SetUp() override {
        create_record_store();
        ASSERT_EQ(add_record(kStorePassword, {"平台", "账号", "pw", "", ""}), WriteResult::kDone);
        ASSERT_EQ(add_record(kStorePassword, {"平台2", "账号2", "pw2", "", ""}), WriteResult::kDone);
        store_ = read_file_bytes(platform::program_file("data.edb"));
    }
    std::string copy_with(const std::string& bytes) {
        const std::string path = platform::program_file("incoming.edb");
        write_file_bytes(path, bytes);
        return path;
    }
    // A store locked with the session password, holding one record, whose fields are
    // the credential table's with `change` applied.
    std::string store_with(const std::function<void(std::vector<db::FieldSpec>&)>& change) {
        std::vector<db::FieldSpec> fields = credential_fields();
        change(fields);
        const std::string path = platform::program_file("other.edb");
        EXPECT_TRUE(db::create_data_file(path, fields).ok());
        db::Database store;
        EXPECT_TRUE(db::Database::open(path, {}, &store).ok());
        EXPECT_TRUE(store.append({}).ok());
        EXPECT_TRUE(store.set_password(kStorePassword).ok());
        return path;
    }

    TempProgramDirectory dir_;
    std::string store_;
};

TEST_F(DatabaseCheckTest, OnlyACompleteStoreLockedWithTheSessionPasswordIsUsable) {
    const auto lock = lock_store();
    EXPECT_TRUE(is_usable_database(copy_with(store_), kStorePassword));
    EXPECT_FALSE(is_usable_database(copy_with(store_), "another"));
    EXPECT_FALSE(is_usable_database(copy_with(store_), ""));
    EXPECT_FALSE(is_usable_database(copy_with(store_), "?"));
    EXPECT_FALSE(is_usable_database(copy_with(store_.substr(0, store_.size() - 40)), kStorePassword));
    EXPECT_FALSE(is_usable_database(copy_with("<html>Not Found</html>"), kStorePassword));
    EXPECT_FALSE(is_usable_database(copy_with(""), kStorePassword));
    EXPECT_FALSE(is_usable_database(platform::program_file("missing.edb"), kStorePassword));
}

TEST_F(DatabaseCheckTest, AStoreWithOtherFieldsIsNotUsableWhateverItsPassword) {
    const auto lock = lock_store();
    EXPECT_TRUE(is_usable_database(store_with([](auto&) {}), kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) { f.pop_back(); }), kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) {
                                        f.push_back({"附加", db::FieldType::kText, 8});
                                    }),
                                    kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) {
                                        f[0] = {"ID", db::FieldType::kText, 4};
                                    }),
                                    kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) { f[0].type = db::FieldType::kLong; }), kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) { f[3].width = 254; }), kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) { f[5].name = "说明"; }), kStorePassword));
    EXPECT_FALSE(is_usable_database(store_with([](auto& f) { std::swap(f[1], f[2]); }), kStorePassword));
}

// The refusal says which field differs, so that a user can tell a foreign file from a damaged one.
TEST_F(DatabaseCheckTest, AStoreWithOtherFieldsIsRefusedWithWhatDiffers) {
    const auto refusal = [this](const std::function<void(std::vector<db::FieldSpec>&)>& change) {
        db::Database db;
        const platform::Status status = open_credential_store(store_with(change), kStorePassword, &db);
        EXPECT_FALSE(db.is_open());
        EXPECT_EQ(status.code(), kForeignLayout);
        EXPECT_EQ(status.message().rfind(kForeignStoreText, 0), 0u) << status.message();
        return status.message();
    };
    EXPECT_NE(refusal([](auto& f) { f[0].name = "NO"; }).find("第 1 个字段名为“NO”，应为“ID”"),
              std::string::npos);
    EXPECT_NE(refusal([](auto& f) { f.pop_back(); }).find("有 5 个字段，应为 6 个"), std::string::npos);
    EXPECT_NE(refusal([](auto& f) { f[3].width = 254; }).find("第 4 个字段“密码”的类型或长度不对"),
              std::string::npos);
    db::Database db;
    EXPECT_TRUE(open_credential_store(store_with([](auto&) {}), kStorePassword, &db).ok());
    db = db::Database();  // the next store_with replaces the file
    EXPECT_EQ(open_credential_store(store_with([](auto&) {}), "another", &db).code(), -78);
    EXPECT_FALSE(db.is_open());
}

// A server copy with the right password but other fields would have replaced data.edb,
// and the next add would have ended the program reading a field that is not there.
TEST_F(DatabaseCheckTest, ADownloadedStoreWithOtherFieldsLeavesTheLocalStoreAlone) {
    test::TestFtpServer server;
    ASSERT_TRUE(server.ready());
    write_file_bytes(server.file("data.edb"), read_file_bytes(store_with([](auto& f) {
                         f[4] = {"网址", db::FieldType::kText, 80};
                     })));
    std::filesystem::remove(platform::program_file("other.edb"));

    ftp::FtpClient client;
    client.set_trust_consent(test::agree_to_plain_ftp());
    ASSERT_TRUE(
        client.connect("127.0.0.1", test::TestFtpServer::kUser, test::TestFtpServer::kPassword, server.port(), true)
            .ok());
    ftp::DatabaseSync sync;
    sync.local_file = platform::program_file("data.edb");
    sync.lock_store = lock_store;
    sync.is_usable_database = [](const std::string& path) { return is_usable_database(path, kStorePassword); };
    std::string backup;
    EXPECT_FALSE(ftp::download_database(client, sync, &backup).ok());
    EXPECT_EQ(backup, "");
    EXPECT_EQ(read_file_bytes(platform::program_file("data.edb")), store_);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(sync.local_file).parent_path()),
                            std::filesystem::directory_iterator()),
              1);
    ASSERT_EQ(add_record(kStorePassword, {"平台3", "账号3", "pw3", "", ""}), WriteResult::kDone);
    EXPECT_EQ(list_records(kStorePassword).size(), 3u);
}

}  // namespace
}  // namespace quillet::app
