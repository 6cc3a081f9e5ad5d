// The Windows side of crash-safe rewrites: private temporaries, renames over a store
// that is still open, share changes of a handle whose file was renamed, and the hook
// the crash tests fail changes with.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/private_file.h"

namespace quillet::platform {
namespace {

class Win32RewriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ = ::testing::TempDir() + "quillet_win32_rewrite_" + std::to_string(GetCurrentProcessId()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(directory_);
        ASSERT_TRUE(create_directory(directory_));
    }
    void TearDown() override {
        set_change_hook(nullptr);
        std::filesystem::remove_all(directory_);
    }

    std::string path(const std::string& name) const { return directory_ + "\\" + name; }

    void write(File& file, const std::string& bytes) {
        ASSERT_EQ(file.write_at(0, bytes.data(), bytes.size()), FileError::kNone);
    }
    static std::string read(File& file, std::size_t length) {
        std::string bytes(length, '\0');
        std::size_t got = 0;
        EXPECT_EQ(file.read_at(0, bytes.data(), length, &got), FileError::kNone);
        bytes.resize(got);
        return bytes;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
            result.push_back(entry.path().filename().string());
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    std::string directory_;
};

TEST_F(Win32RewriteTest, ReplacingAnOpenStoreLeavesItsHandleOnTheOldBytes) {
    File old_store;
    ASSERT_EQ(old_store.open(path("data.edb"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kNone);
    write(old_store, "old!");
    File replacement;
    std::string temporary;
    ASSERT_EQ(create_private_temporary(path("data.edb"), &replacement, &temporary), FileError::kNone);
    write(replacement, "new!");
    ASSERT_EQ(replacement.sync(), FileError::kNone);
    ASSERT_TRUE(replace_file(temporary, path("data.edb")));
    ASSERT_EQ(sync_parent_directory(path("data.edb")), FileError::kNone);

    EXPECT_EQ(read(old_store, 4), "old!");
    replacement.close();  // it denies others, the reader below too
    std::string by_name;
    ASSERT_TRUE(read_whole_file(path("data.edb"), &by_name));
    EXPECT_EQ(by_name, "new!");
    old_store.close();
    EXPECT_EQ(names(), std::vector<std::string>{"data.edb"});  // nothing set aside is left
}

// What a crash between the two renames of a system without POSIX renames leaves: no
// store, the old one set aside, the new one still under its temporary name.
TEST_F(Win32RewriteTest, AStoreSetAsideByAnInterruptedReplaceIsPutBackWhenOpened) {
    ASSERT_TRUE(write_private_file(path("data.edb.replaced-12-345"), "old records", false));
    ASSERT_TRUE(write_private_file(path("data.edb~0123456789abcdef"), "new records", false));
    File store;
    ASSERT_EQ(store.open(path("data.edb"), Access::kReadWrite, Share::kReadWrite, Creation::kOpenAlways),
              FileError::kNone);
    EXPECT_EQ(read(store, 64), "old records");
    EXPECT_EQ(names(), (std::vector<std::string>{"data.edb", "data.edb~0123456789abcdef"}));
    store.close();

    // Beside a store that is there, a copy set aside is left alone.
    ASSERT_TRUE(write_private_file(path("data.edb.replaced-12-678"), "older records", false));
    ASSERT_EQ(store.open(path("data.edb"), Access::kRead, Share::kReadWrite, Creation::kOpenExisting),
              FileError::kNone);
    EXPECT_EQ(read(store, 64), "old records");
}

TEST_F(Win32RewriteTest, ShareChangeFollowsTheRenameAndFailsWithoutLosingTheHandle) {
    File mine;
    std::string temporary;
    ASSERT_EQ(create_private_temporary(path("data.edb"), &mine, &temporary), FileError::kNone);
    write(mine, "rows");
    File other;
    EXPECT_EQ(other.open(temporary, Access::kRead, Share::kReadWrite), FileError::kSharingViolation);
    ASSERT_TRUE(replace_file(temporary, path("data.edb")));

    // Opened under the temporary's name, widened under the store's.
    ASSERT_EQ(mine.change_share(Share::kReadWrite), FileError::kNone);
    ASSERT_EQ(other.open(path("data.edb"), Access::kReadWrite, Share::kReadWrite), FileError::kNone);
    EXPECT_EQ(mine.change_share(Share::kExclusive), FileError::kSharingViolation);
    ASSERT_TRUE(mine.is_open());
    EXPECT_EQ(read(mine, 4), "rows");
    write(other, "ROWS");
    EXPECT_EQ(read(mine, 4), "ROWS");  // still the same file, still sharing

    other.close();
    ASSERT_EQ(mine.change_share(Share::kExclusive), FileError::kNone);
    EXPECT_EQ(other.open(path("data.edb"), Access::kRead, Share::kReadWrite), FileError::kSharingViolation);
}

TEST_F(Win32RewriteTest, ShareChangeIsRefusedWhileTheHandleHoldsLocks) {
    File mine;
    ASSERT_EQ(mine.open(path("data.edb"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kNone);
    ASSERT_EQ(mine.lock(10, 1), FileError::kNone);
    EXPECT_EQ(mine.change_share(Share::kExclusive), FileError::kSharingViolation);
    ASSERT_EQ(mine.unlock(10, 1), FileError::kNone);
    EXPECT_EQ(mine.change_share(Share::kExclusive), FileError::kNone);
}

TEST_F(Win32RewriteTest, TemporariesAreNewFilesAndOnlyWellFormedLeftoversAreRemoved) {
    File first, second;
    std::string first_name, second_name;
    ASSERT_EQ(create_private_temporary(path("data.edb"), &first, &first_name), FileError::kNone);
    ASSERT_EQ(create_private_temporary(path("data.edb"), &second, &second_name), FileError::kNone);
    EXPECT_NE(first_name, second_name);
    EXPECT_EQ(first_name.rfind(path("data.edb~"), 0), 0u);
    EXPECT_EQ(first_name.size(), path("data.edb~").size() + 16);

    File again;
    EXPECT_NE(again.open(first_name, Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    first.close();
    second.close();
    for (const char* keep : {"data.edb~pending", "data.edb~0123", "other~0123456789abcdef"}) {
        File file;
        ASSERT_EQ(file.open(path(keep), Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    }
    remove_private_temporaries(path("data.edb"));
    EXPECT_EQ(names(), (std::vector<std::string>{"data.edb~0123", "data.edb~pending", "other~0123456789abcdef"}));
}

TEST_F(Win32RewriteTest, CopyFromCopiesTheRangeAndReportsTheEnd) {
    File source, copy;
    ASSERT_EQ(source.open(path("a"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    ASSERT_EQ(copy.open(path("b"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    write(source, "0123456789");
    write(copy, "..........");
    ASSERT_EQ(copy.copy_from(source, 2, 5), FileError::kNone);
    EXPECT_EQ(read(copy, 10), "..23456...");
    EXPECT_EQ(copy.copy_from(source, 8, 5), FileError::kEndOfFile);
}

TEST_F(Win32RewriteTest, TheChangeHookFailsEachChangeWithoutMakingIt) {
    File file;
    ASSERT_EQ(file.open(path("a"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    write(file, "kept");
    set_change_hook([] { return FileError::kDiskFull; });
    EXPECT_EQ(file.write_at(0, "lost", 4), FileError::kDiskFull);
    EXPECT_EQ(file.set_length(0), FileError::kDiskFull);
    EXPECT_EQ(file.sync(), FileError::kDiskFull);
    EXPECT_FALSE(replace_file(path("a"), path("b")));
    EXPECT_EQ(sync_parent_directory(path("a")), FileError::kDiskFull);
    set_change_hook(nullptr);
    EXPECT_EQ(read(file, 10), "kept");
    EXPECT_EQ(names(), std::vector<std::string>{"a"});
}

TEST_F(Win32RewriteTest, PrivateFileNeverOverwritesUnlessAskedAndLeavesNoTemporary) {
    ASSERT_TRUE(write_private_file(path("export.csv"), "first", false));
    EXPECT_FALSE(write_private_file(path("export.csv"), "second", false));
    std::string bytes;
    ASSERT_TRUE(read_whole_file(path("export.csv"), &bytes));
    EXPECT_EQ(bytes, "first");
    ASSERT_TRUE(write_private_file(path("export.csv"), "third", true));
    ASSERT_TRUE(read_whole_file(path("export.csv"), &bytes));
    EXPECT_EQ(bytes, "third");
    EXPECT_EQ(names(), std::vector<std::string>{"export.csv"});
}

}  // namespace
}  // namespace quillet::platform
