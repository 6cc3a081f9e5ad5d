#include "app/database_check.h"

#include <gtest/gtest.h>

#include "app/record_store.h"
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

}  // namespace
}  // namespace quillet::app
