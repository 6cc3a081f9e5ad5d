// Files and directories the program makes are owner-only whatever the umask, and
// temporary files cannot be planted or left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/settings_file.h"

namespace quillet::platform {
namespace {

class PrivateFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        old_umask_ = umask(022);  // the usual one, which lets everyone read
        directory_ = ::testing::TempDir() + "quillet_private_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directory(directory_);
    }
    void TearDown() override {
        std::filesystem::remove_all(directory_);
        umask(old_umask_);
    }

    std::string path(const std::string& name) const { return directory_ + "/" + name; }

    static mode_t mode_of(const std::string& file) {
        struct stat info {};
        if (lstat(file.c_str(), &info) != 0) return 07777;
        return info.st_mode & 07777;
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
            result.push_back(entry.path().filename().string());
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    mode_t old_umask_ = 0;
    std::string directory_;
};

TEST_F(PrivateFilesTest, OpenedFilesAndDirectoriesAreCreatedOwnerOnly) {
    File created;
    ASSERT_EQ(created.open(path("always"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kNone);
    File opened;
    ASSERT_EQ(opened.open(path("open"), Access::kReadWrite, Share::kReadWrite, Creation::kOpenAlways),
              FileError::kNone);
    EXPECT_EQ(mode_of(path("always")), 0600u);
    EXPECT_EQ(mode_of(path("open")), 0600u);

    ASSERT_TRUE(create_directory(path("folder")));
    EXPECT_EQ(mode_of(path("folder")), 0700u);
}

TEST_F(PrivateFilesTest, FileWrittenAnewLosesAccessOfOthersButOpeningKeepsTheMode) {
    ASSERT_TRUE(write_whole_file_atomically(path("shared"), "old"));
    ASSERT_EQ(chmod(path("shared").c_str(), 0644), 0);

    File kept;
    ASSERT_EQ(kept.open(path("shared"), Access::kReadWrite, Share::kReadWrite, Creation::kOpenAlways),
              FileError::kNone);
    kept.close();
    EXPECT_EQ(mode_of(path("shared")), 0644u) << "only opened, not written anew";

    File emptied;
    ASSERT_EQ(emptied.open(path("shared"), Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kNone);
    EXPECT_EQ(mode_of(path("shared")), 0600u);
}

TEST_F(PrivateFilesTest, AtomicRewriteAndSettingsRewriteAreOwnerOnly) {
    ASSERT_TRUE(write_whole_file_atomically(path("data.bin"), "bytes"));
    EXPECT_EQ(mode_of(path("data.bin")), 0600u);

    // A settings file made readable by hand (or by an older version) is private again after one write.
    const std::string ini = path("data.ini");
    ASSERT_TRUE(write_setting(ini, "Main", "Key", "one"));
    EXPECT_EQ(mode_of(ini), 0600u);
    ASSERT_EQ(chmod(ini.c_str(), 0644), 0);
    ASSERT_TRUE(write_setting(ini, "Main", "Key", "two"));
    EXPECT_EQ(mode_of(ini), 0600u);
    EXPECT_EQ(read_setting(ini, "Main", "Key"), "two");
    EXPECT_EQ(names(), (std::vector<std::string>{"data.bin", "data.ini"})) << "a temporary file was left";
}

TEST_F(PrivateFilesTest, FailedAtomicWriteLeavesNoTemporary) {
    // The rename cannot replace a non-empty directory.
    std::filesystem::create_directories(path("target/inside"));
    EXPECT_FALSE(write_whole_file_atomically(path("target"), "bytes"));
    EXPECT_EQ(names(), std::vector<std::string>{"target"});
}

TEST_F(PrivateFilesTest, TemporariesAreNewPrivateFilesUnderDistinctNames) {
    const std::string target = path("data.edb");
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        File file;
        std::string temporary;
        ASSERT_EQ(create_private_temporary(target, &file, &temporary, Share::kReadWrite), FileError::kNone);
        EXPECT_EQ(temporary.rfind(target, 0), 0u) << "beside the target: " << temporary;
        EXPECT_EQ(mode_of(temporary), 0600u);
        EXPECT_EQ(file.write_at(0, "abc", 3), FileError::kNone);
        std::int64_t length = 0;
        EXPECT_EQ(file.length(&length), FileError::kNone);
        EXPECT_EQ(length, 3);
        seen.insert(temporary);
    }
    EXPECT_EQ(seen.size(), 20u);
    // Names do not follow from the process or a counter.
    for (const std::string& name : seen) {
        EXPECT_EQ(name.substr(target.size()).find(std::to_string(getpid())), std::string::npos) << name;
    }

    File file;
    std::string temporary;
    EXPECT_NE(create_private_temporary(path("missing/data.edb"), &file, &temporary), FileError::kNone);
    EXPECT_TRUE(temporary.empty());
    EXPECT_FALSE(file.is_open());
}

}  // namespace
}  // namespace quillet::platform
