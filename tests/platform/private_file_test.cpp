#include "platform/private_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/file.h"

namespace quillet::platform {
namespace {

class PrivateFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ =
            std::filesystem::temp_directory_path() / ("quillet_private_file_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
        path_ = (directory_ / "export.csv").string();
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string content() const {
        std::string bytes;
        EXPECT_TRUE(read_whole_file(path_, &bytes));
        return bytes;
    }
    unsigned mode() const {
        struct stat info {};
        EXPECT_EQ(stat(path_.c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    // Nothing but the target may remain: no temporary beside it.
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory_), {}));
    }

    std::filesystem::path directory_;
    std::string path_;
};

TEST_F(PrivateFileTest, NewFileIsOwnerOnlyWhateverTheUmask) {
    const mode_t old_mask = umask(0);
    const bool written = write_private_file(path_, "secret,rows\r\n", false);
    umask(old_mask);
    ASSERT_TRUE(written);
    EXPECT_EQ(content(), "secret,rows\r\n");
    EXPECT_EQ(mode(), 0600u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(PrivateFileTest, ExistingFileIsKeptUnlessReplacingIsAsked) {
    ASSERT_TRUE(write_whole_file_atomically(path_, "precious"));
    ::chmod(path_.c_str(), 0644);
    EXPECT_FALSE(write_private_file(path_, "new", false));
    EXPECT_EQ(content(), "precious");
    EXPECT_EQ(entries(), 1u);

    ASSERT_TRUE(write_private_file(path_, "new", true));
    EXPECT_EQ(content(), "new");
    EXPECT_EQ(mode(), 0600u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(PrivateFileTest, SymbolicLinkAtThePathIsNotWrittenThrough) {
    const std::string elsewhere = (directory_ / "elsewhere").string();
    ASSERT_TRUE(write_whole_file_atomically(elsewhere, "untouched"));
    std::filesystem::create_symlink(elsewhere, path_);
    EXPECT_FALSE(write_private_file(path_, "new", false));
    ASSERT_TRUE(write_private_file(path_, "new", true));  // replaces the link itself
    std::string bytes;
    ASSERT_TRUE(read_whole_file(elsewhere, &bytes));
    EXPECT_EQ(bytes, "untouched");
    EXPECT_FALSE(std::filesystem::is_symlink(path_));
}

TEST_F(PrivateFileTest, MissingDirectoryFailsAndLeavesNothing) {
    path_ = (directory_ / "no" / "such.csv").string();
    EXPECT_FALSE(write_private_file(path_, "x", false));
    EXPECT_FALSE(write_private_file(path_, "x", true));
    EXPECT_EQ(entries(), 0u);
}

}  // namespace
}  // namespace quillet::platform
