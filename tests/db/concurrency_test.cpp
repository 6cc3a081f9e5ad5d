#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "db/database_info.h"
#include "db_test_support.h"
#include "platform/file.h"

namespace quillet::db {
namespace {

using testing::DbTest;

class ConcurrencyTest : public DbTest {};

TEST_F(ConcurrencyTest, TwoProcessesAppendingAtOnceLoseNothing) {
    const std::string file = make_store("data.edb", 0, "pw");
    constexpr int kEach = 40;
    std::vector<pid_t> children;
    for (int process = 0; process < 2; ++process) {
        const pid_t pid = fork();
        if (pid == 0) {
            set_lock_wait_time(10000);
            OpenOptions options;
            options.password = "pw";
            if (!open_database(file, options)) _exit(2);
            for (int i = 0; i < kEach; ++i) {
                if (!append_record({static_cast<double>(process * 1000 + i)})) _exit(3);
            }
            close_database(file);
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    OpenOptions options;
    options.password = "pw";
    ASSERT_TRUE(open(file, options));
    ASSERT_EQ(record_count(), 2 * kEach);
    std::set<std::int32_t> serials, ids;
    for (int i = 0; i < 2 * kEach; ++i) {
        std::int32_t serial = 0;
        ASSERT_TRUE(current_record_serial(&serial));
        serials.insert(serial);
        ids.insert(std::get<std::int32_t>(read_field("ID")));
        skip_records(1);
    }
    EXPECT_EQ(serials.size(), 2u * kEach);
    EXPECT_EQ(ids.size(), 2u * kEach);
}

TEST_F(ConcurrencyTest, RecordLockOfAnotherProcessGivesLockFailure) {
    const std::string file = make_store("data.edb", 1);
    // Open first: the open's whole-file lock would itself be refused by the child's lock.
    ASSERT_TRUE(open(file));
    int to_parent[2], to_child[2];
    ASSERT_EQ(pipe(to_parent), 0);
    ASSERT_EQ(pipe(to_child), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        platform::File holder;
        const bool ok = holder.open(file, platform::Access::kReadWrite, platform::Share::kReadWrite) ==
                            platform::FileError::kNone &&
                        holder.lock(548, 1) == platform::FileError::kNone;
        char byte = ok ? 'y' : 'n';
        (void)!write(to_parent[1], &byte, 1);
        (void)!read(to_child[0], &byte, 1);  // hold the lock until the parent is done
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(to_parent[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_FALSE(modify_current_record({2.0}));
    EXPECT_EQ(last_database_error(), -13);
    EXPECT_FALSE(delete_record());
    EXPECT_EQ(last_database_error(), -13);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{0}));
    EXPECT_EQ(last_database_error(), -13);
    (void)!write(to_child[1], "x", 1);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{1}));
}

TEST_F(ConcurrencyTest, ExclusiveOpenKeepsOthersOutWithSharingViolation) {
    const std::string file = make_store("data.edb", 1);
    OpenOptions exclusive;
    exclusive.share_mode = 4;
    ASSERT_TRUE(open(file, exclusive));
    const pid_t pid = fork();
    if (pid == 0) {
        close_database(file);  // the inherited copy of the list; the parent's open stays
        _exit(open_database(file) ? 1 : (last_database_error() == -12 ? 0 : 2));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Byte locks are not taken on an exclusive open, yet the commands work.
    EXPECT_TRUE(append_record({2.0}));
    EXPECT_EQ(record_count(), 2);
}

}  // namespace
}  // namespace quillet::db
