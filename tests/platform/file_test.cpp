#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace quillet::platform {
namespace {

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = ::testing::TempDir() + "quillet_file_test_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        create_directory(directory_);
        path_ = directory_ + "/data.bin";
        ASSERT_TRUE(write_whole_file_atomically(path_, std::string(64, 'x')));
    }
    void TearDown() override { std::system(("rm -rf '" + directory_ + "'").c_str()); }

    File open_ok(Access access = Access::kReadWrite, Share share = Share::kReadWrite) {
        File file;
        EXPECT_EQ(file.open(path_, access, share), FileError::kNone);
        return file;
    }

    // Runs `body` in a child process and returns its exit code.
    template <typename Body>
    int in_child(Body body) {
        const pid_t pid = fork();
        if (pid == 0) _exit(body());
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string directory_;
    std::string path_;
};

TEST_F(FileTest, LocksOfTwoHandlesOfOneProcessConflict) {
    File a = open_ok();
    File b = open_ok();
    ASSERT_EQ(a.lock(16, 1), FileError::kNone);
    EXPECT_EQ(b.lock(16, 1), FileError::kLockViolation);
    EXPECT_EQ(b.lock(0, 0x7FFFFFFF), FileError::kLockViolation);
    EXPECT_EQ(b.lock(17, 1), FileError::kNone);
    ASSERT_EQ(a.unlock(16, 1), FileError::kNone);
    EXPECT_EQ(b.lock(16, 1), FileError::kNone);
}

// A handle assigned over another closes what the other had open, its locks with it.
TEST_F(FileTest, AssigningOverAnOpenHandleClosesItsFileAndLocks) {
    File a = open_ok();
    ASSERT_EQ(a.lock(16, 1), FileError::kNone);
    a = File();
    File b = open_ok();
    EXPECT_EQ(b.lock(16, 1), FileError::kNone) << "the first handle's lock outlived it";
    b = open_ok();
    b = std::move(b);  // NOLINT(clang-diagnostic-self-move): the self-move must keep the file
    EXPECT_EQ(b.lock(16, 1), FileError::kNone);
}

TEST_F(FileTest, LockOfAnotherProcessConflictsAndEndsWithItsHandle) {
    File a = open_ok();
    ASSERT_EQ(a.lock(100, 1), FileError::kNone);
    const std::string path = path_;
    auto try_lock = [path] {
        File child;
        if (child.open(path, Access::kReadWrite, Share::kReadWrite) != FileError::kNone) return 2;
        return child.lock(100, 1) == FileError::kLockViolation ? 1 : 0;
    };
    EXPECT_EQ(in_child(try_lock), 1);
    a.close();
    EXPECT_EQ(in_child(try_lock), 0);
}

TEST_F(FileTest, ClosingAnotherHandleOfTheSameFileKeepsTheLock) {
    File a = open_ok();
    ASSERT_EQ(a.lock(8, 4), FileError::kNone);
    {
        File unrelated = open_ok(Access::kRead);
        unrelated.close();
    }
    File c = open_ok();
    EXPECT_EQ(c.lock(9, 1), FileError::kLockViolation);
}

TEST_F(FileTest, ReadOnlyHandleCanLockButNotWrite) {
    File reader = open_ok(Access::kRead);
    File writer = open_ok();
    ASSERT_EQ(reader.lock(16, 1), FileError::kNone);
    EXPECT_EQ(writer.lock(16, 1), FileError::kLockViolation);
    EXPECT_EQ(reader.write_at(0, "a", 1), FileError::kAccessDenied);
    EXPECT_EQ(reader.set_length(1), FileError::kAccessDenied);
    char byte = 0;
    std::size_t got = 0;
    ASSERT_EQ(reader.read_at(63, &byte, 4, &got), FileError::kNone);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, 'x');
}

TEST_F(FileTest, OverlappingLockBySameHandleAndInexactUnlockAreRefused) {
    File a = open_ok();
    ASSERT_EQ(a.lock(10, 10), FileError::kNone);
    EXPECT_EQ(a.lock(19, 5), FileError::kLockViolation);
    EXPECT_EQ(a.lock(5, 6), FileError::kLockViolation);
    EXPECT_EQ(a.lock(20, 5), FileError::kNone);
    EXPECT_EQ(a.unlock(10, 5), FileError::kLockViolation);
    EXPECT_EQ(a.unlock(10, 15), FileError::kLockViolation);
    EXPECT_EQ(a.unlock(30, 1), FileError::kLockViolation);
    EXPECT_EQ(a.unlock(10, 10), FileError::kNone);
    EXPECT_EQ(a.unlock(10, 10), FileError::kLockViolation);
    // The neighbouring range is still held after its neighbour's unlock.
    File b = open_ok();
    EXPECT_EQ(b.lock(10, 10), FileError::kNone);
    EXPECT_EQ(b.lock(20, 1), FileError::kLockViolation);
}

TEST_F(FileTest, ShareModesBetweenHandles) {
    File exclusive;
    ASSERT_EQ(exclusive.open(path_, Access::kReadWrite, Share::kExclusive), FileError::kNone);
    File other;
    EXPECT_EQ(other.open(path_, Access::kRead, Share::kReadWrite), FileError::kSharingViolation);
    const std::string path = path_;
    EXPECT_EQ(in_child([path] {
                  File child;
                  return child.open(path, Access::kRead, Share::kReadWrite) == FileError::kSharingViolation ? 1 : 0;
              }),
              1);
    exclusive.close();

    File deny_write;
    ASSERT_EQ(deny_write.open(path_, Access::kRead, Share::kDenyWrite), FileError::kNone);
    EXPECT_EQ(other.open(path_, Access::kReadWrite, Share::kReadWrite), FileError::kSharingViolation);
    EXPECT_EQ(other.open(path_, Access::kRead, Share::kReadWrite), FileError::kNone);
    other.close();
    deny_write.close();

    File writer = open_ok();
    EXPECT_EQ(other.open(path_, Access::kRead, Share::kDenyWrite), FileError::kSharingViolation);
    EXPECT_EQ(other.open(path_, Access::kRead, Share::kDenyRead), FileError::kSharingViolation);
    EXPECT_EQ(other.open(path_, Access::kReadWrite, Share::kReadWrite), FileError::kNone);
}

TEST_F(FileTest, RefusedCreateAlwaysLeavesTheFileAlone) {
    File exclusive;
    ASSERT_EQ(exclusive.open(path_, Access::kReadWrite, Share::kExclusive), FileError::kNone);
    File other;
    EXPECT_EQ(other.open(path_, Access::kReadWrite, Share::kReadWrite, Creation::kCreateAlways),
              FileError::kSharingViolation);
    std::int64_t length = 0;
    ASSERT_EQ(exclusive.length(&length), FileError::kNone);
    EXPECT_EQ(length, 64);
}

TEST_F(FileTest, PositionedIoLengthAndFailures) {
    File a = open_ok();
    ASSERT_EQ(a.write_at(100, "abc", 3), FileError::kNone);
    std::int64_t length = 0;
    ASSERT_EQ(a.length(&length), FileError::kNone);
    EXPECT_EQ(length, 103);
    ASSERT_EQ(a.set_length(50), FileError::kNone);
    ASSERT_EQ(a.length(&length), FileError::kNone);
    EXPECT_EQ(length, 50);
    EXPECT_EQ(a.sync(), FileError::kNone);

    File missing;
    EXPECT_EQ(missing.open(directory_ + "/none", Access::kRead, Share::kReadWrite), FileError::kFileNotFound);
    EXPECT_FALSE(missing.is_open());
    File created;
    EXPECT_EQ(created.open(directory_ + "/new", Access::kReadWrite, Share::kReadWrite, Creation::kOpenAlways),
              FileError::kNone);
}

TEST_F(FileTest, PathHelpers) {
    EXPECT_TRUE(is_existing_file(path_));
    EXPECT_FALSE(is_existing_file(directory_));
    EXPECT_FALSE(is_existing_file(directory_ + "/none"));
    EXPECT_TRUE(is_directory(directory_));
    EXPECT_FALSE(is_directory(path_));

    ASSERT_TRUE(write_whole_file_atomically(directory_ + "/b", "second"));
    EXPECT_FALSE(move_file(directory_ + "/b", path_));
    EXPECT_TRUE(move_file(directory_ + "/b", directory_ + "/c"));
    EXPECT_TRUE(replace_file(directory_ + "/c", path_));
    std::string bytes;
    ASSERT_TRUE(read_whole_file(path_, &bytes));
    EXPECT_EQ(bytes, "second");
    EXPECT_TRUE(remove_file(path_));
    EXPECT_FALSE(read_whole_file(path_, &bytes));

    EXPECT_EQ(full_path("/a/./b/../c\\d//e"), "/a/c/d/e");
    EXPECT_EQ(full_path("/.."), "/");
    EXPECT_EQ(full_path("x").front(), '/');
}

TEST(FileErrorTest, ErrnoBecomesOneKind) {
    EXPECT_EQ(file_error_from_errno(0), FileError::kNone);
    EXPECT_EQ(file_error_from_errno(ENOENT), FileError::kFileNotFound);
    EXPECT_EQ(file_error_from_errno(EACCES), FileError::kAccessDenied);
    EXPECT_EQ(file_error_from_errno(EAGAIN), FileError::kLockViolation);
    EXPECT_EQ(file_error_from_errno(ENOSPC), FileError::kDiskFull);
    EXPECT_EQ(file_error_from_errno(EMFILE), FileError::kTooManyOpenFiles);
    EXPECT_EQ(file_error_from_errno(12345), FileError::kGeneric);
}

}  // namespace
}  // namespace quillet::platform

namespace quillet::platform {
namespace {

class FileReplacementPartsTest : public FileTest {};

TEST_F(FileReplacementPartsTest, PrivateTemporariesAreNewUnguessableAndOwnerOnly) {
    File first, second;
    std::string first_name, second_name;
    ASSERT_EQ(create_private_temporary(path_, &first, &first_name), FileError::kNone);
    ASSERT_EQ(create_private_temporary(path_, &second, &second_name), FileError::kNone);
    EXPECT_NE(first_name, second_name);
    EXPECT_EQ(first_name.rfind(path_, 0), 0u);  // beside the file, so a rename stays on its file system
    struct stat info {};
    ASSERT_EQ(stat(first_name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Nobody else may open it while it is being written.
    File other;
    EXPECT_EQ(other.open(first_name, Access::kRead, Share::kReadWrite), FileError::kSharingViolation);
    EXPECT_EQ(first.write_at(0, "new", 3), FileError::kNone);
    EXPECT_TRUE(replace_file(first_name, path_));
    EXPECT_EQ(sync_parent_directory(path_), FileError::kNone);
    std::string bytes;
    ASSERT_TRUE(read_whole_file(path_, &bytes));
    EXPECT_EQ(bytes, "new");
}

TEST_F(FileReplacementPartsTest, CopyFromPutsARangeAtTheSameOffsetAndReportsAShortSource) {
    File source = open_ok();
    ASSERT_EQ(source.write_at(0, "0123456789", 10), FileError::kNone);
    File copy;
    std::string name;
    ASSERT_EQ(create_private_temporary(path_, &copy, &name), FileError::kNone);
    ASSERT_EQ(copy.copy_from(source, 2, 5), FileError::kNone);
    std::string bytes;
    ASSERT_TRUE(read_whole_file(name, &bytes));
    EXPECT_EQ(bytes, std::string("\0\0" "23456", 7));
    EXPECT_EQ(copy.copy_from(source, 60, 10), FileError::kEndOfFile);  // the source holds 64 bytes
}

TEST_F(FileReplacementPartsTest, CreateNewRefusesAnExistingNameAndASymbolicLink) {
    File file;
    EXPECT_NE(file.open(path_, Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    const std::string link = directory_ + "/link";
    ASSERT_EQ(symlink((directory_ + "/target").c_str(), link.c_str()), 0);
    EXPECT_NE(file.open(link, Access::kReadWrite, Share::kReadWrite, Creation::kCreateNew), FileError::kNone);
    EXPECT_FALSE(is_existing_file(directory_ + "/target"));
}

TEST_F(FileReplacementPartsTest, NarrowingTheShareWaitsForNoOneAndKeepsLaterOpensOut) {
    File mine = open_ok();
    {
        File reader = open_ok(Access::kRead);
        EXPECT_EQ(mine.change_share(Share::kExclusive), FileError::kSharingViolation);
        // The refusal changed nothing: others may still come in.
        File another = open_ok(Access::kRead);
    }
    EXPECT_EQ(in_child([&] {
                  File other;
                  return other.open(path_, Access::kRead, Share::kReadWrite) == FileError::kNone ? 0 : 1;
              }),
              0);
    ASSERT_EQ(mine.change_share(Share::kExclusive), FileError::kNone);
    EXPECT_EQ(in_child([&] {
                  File other;
                  return other.open(path_, Access::kRead, Share::kReadWrite) == FileError::kSharingViolation ? 0 : 1;
              }),
              0);
    ASSERT_EQ(mine.change_share(Share::kDenyWrite), FileError::kNone);
    File reader;
    EXPECT_EQ(reader.open(path_, Access::kRead, Share::kReadWrite), FileError::kNone);
    File writer;
    EXPECT_EQ(writer.open(path_, Access::kReadWrite, Share::kReadWrite), FileError::kSharingViolation);
}

}  // namespace
}  // namespace quillet::platform
