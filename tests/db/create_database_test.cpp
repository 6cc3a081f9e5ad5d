// Making a new data file where one may already be: the old file is replaced whole or not
// at all, and nothing at the path is written through.
#include <gtest/gtest.h>

#include <filesystem>

#include "db/result_code.h"
#include "db_test_support.h"

namespace quillet::db {
namespace {

using testing::DbTest;

class CreateDatabaseTest : public DbTest {
protected:
    void TearDown() override {
        platform::set_change_hook(nullptr);
        DbTest::TearDown();
    }

    // Every name in the test's directory.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    static std::vector<FieldSpec> with_memo() { return {{"ID", FieldType::kInt, 0}, {"M", FieldType::kMemo, 0}}; }
};

TEST_F(CreateDatabaseTest, AFailedWriteLeavesTheOldFileWholeAndNoTemporary) {
    const std::string file = make_store("t.edb", 3);
    const std::string before = bytes_of(file);
    platform::set_change_hook([] { return platform::FileError::kDiskFull; });
    EXPECT_FALSE(create_database(file, testing::credential_fields()));
    EXPECT_EQ(last_database_error(), kCreateFailed);
    platform::set_change_hook(nullptr);
    EXPECT_EQ(bytes_of(file), before);
    EXPECT_EQ(names(), std::vector<std::string>{"t.edb"});
}

TEST_F(CreateDatabaseTest, AStoreThatIsOpenIsNotReplaced) {
    const std::string file = make_store("t.edb", 3);
    const std::string before = bytes_of(file);
    ASSERT_TRUE(open(file));
    EXPECT_FALSE(create_database(file, testing::credential_fields()));
    EXPECT_EQ(last_database_error(), kSharingViolation);
    close_database(file);
    EXPECT_EQ(bytes_of(file), before);
    EXPECT_EQ(names(), std::vector<std::string>{"t.edb"});

    EXPECT_TRUE(create_database(file, testing::credential_fields()));
    ASSERT_TRUE(open(file));
    EXPECT_EQ(record_count(), 0);
}

#ifndef _WIN32
TEST_F(CreateDatabaseTest, ALinkInEitherFilesPlaceIsRefusedAndNothingIsWrittenThroughIt) {
    // Dangling: the file would be made where it points.
    std::filesystem::create_symlink(path("victim.bin"), path("t.edb"));
    EXPECT_FALSE(create_database(path("t.edb"), testing::credential_fields()));
    EXPECT_EQ(last_database_error(), kBadPath);
    EXPECT_FALSE(std::filesystem::exists(path("victim.bin")));
    EXPECT_EQ(names(), std::vector<std::string>{"t.edb"});
    EXPECT_TRUE(std::filesystem::is_symlink(path("t.edb")));

    // To an existing file: it would be emptied; replacing the link would part the store from it.
    write_bytes(path("victim.bin"), "keep me");
    EXPECT_FALSE(create_database(path("t.edb"), testing::credential_fields()));
    EXPECT_EQ(last_database_error(), kBadPath);
    EXPECT_EQ(bytes_of(path("victim.bin")), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(path("t.edb")));

    // In the auxiliary file's place: refused before the data file is made.
    std::filesystem::create_symlink(path("aux_victim.bin"), path("m.EDT"));
    EXPECT_FALSE(create_database(path("m.edb"), with_memo()));
    EXPECT_EQ(last_database_error(), kBadPath);
    EXPECT_EQ(names(), (std::vector<std::string>{"m.EDT", "t.edb", "victim.bin"}));
}

TEST_F(CreateDatabaseTest, AnExistingFileIsReplacedNotRewrittenInPlace) {
    const std::string file = make_store("t.edb", 3);
    const std::string before = bytes_of(file);
    // A second name of the old file keeps the old content: the new file is another one.
    std::filesystem::create_hard_link(file, path("other_name.edb"));
    ASSERT_TRUE(create_database(file, testing::credential_fields()));
    EXPECT_EQ(bytes_of(path("other_name.edb")), before);
    ASSERT_TRUE(open(file));
    EXPECT_EQ(record_count(), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"other_name.edb", "t.edb"}));
}
#endif

}  // namespace
}  // namespace quillet::db
