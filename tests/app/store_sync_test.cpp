#include "app/store_sync.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/record_store.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "record_store_fixture.h"
#include "tests/support/cheap_keys.h"

namespace quillet::app {
namespace {

ftp::DatabaseSync local_sync() {
    ftp::DatabaseSync sync;
    sync.local_file = platform::program_file("data.edb");
    sync.lock_store = lock_store;
    return sync;
}

std::vector<Record> records_at(const std::string& path) {
    const auto lock = lock_store();
    return read_store_file(path, kStorePassword).value_or(std::vector<Record>{});
}

class StoreSyncTest : public testing::Test {
  protected:
    void SetUp() override {
        testing_support::use_cheap_key_derivations();
        create_record_store();
        ASSERT_EQ(add_record(kStorePassword, {"共同", "a", "pw", "", ""}), WriteResult::kDone);
        ASSERT_EQ(add_record(kStorePassword, {"改前", "b", "pw", "", ""}), WriteResult::kDone);
        const auto base = records_at(platform::program_file("data.edb"));
        {
            const auto lock = lock_store();
            ASSERT_TRUE(write_store_file(sync_base_file(), kStorePassword, base));
            // The other side changed record 2 and added one; this side added its own 3.
            std::vector<Record> theirs = base;
            theirs[1].platform = "改后";
            theirs.push_back(Record{3, "他们的", "c", base[0].password_cipher, "", ""});
            ASSERT_TRUE(write_store_file(other_, kStorePassword, theirs));
        }
        ASSERT_EQ(add_record(kStorePassword, {"我们的", "d", "pw", "", ""}), WriteResult::kDone);
        before_ = records_at(platform::program_file("data.edb"));
    }

    TempProgramDirectory dir_;
    std::string other_ = platform::program_file("other.edb");
    std::vector<Record> before_;
};

TEST_F(StoreSyncTest, ADryRunReportsTheChangesAndWritesNothing) {
    const auto merged = merge_into_local(local_sync(), kStorePassword, other_, kStorePassword, true);
    ASSERT_TRUE(merged);
    EXPECT_EQ(describe_counts(merged->counts), "新增 1 条，修改 1 条，删除 0 条，两边都保留 1 条");
    EXPECT_FALSE(records_differ(records_at(platform::program_file("data.edb")), before_));
    int files = 0;  // no backup either: data.edb, data.sync.edb, other.edb
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(platform::program_file("data.edb")).parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 3);
}

TEST_F(StoreSyncTest, AStoreThatDoesNotOpenMergesNothing) {
    EXPECT_FALSE(merge_into_local(local_sync(), kStorePassword, other_, "wrong", false));
    EXPECT_FALSE(records_differ(records_at(platform::program_file("data.edb")), before_));
}

int g_changes_left = 0;
platform::FileError kill_at_the_chosen_change() {
    if (--g_changes_left == 0) raise(SIGKILL);
    return platform::FileError::kNone;
}

TEST_F(StoreSyncTest, KillAtAnyFileChangeOfAMergeLeavesTheOldOrTheMergedRecords) {
    const auto expected = merge_into_local(local_sync(), kStorePassword, other_, kStorePassword, true)->records;
    const std::string original = [] {
        std::string bytes;
        platform::read_whole_file(platform::program_file("data.edb"), &bytes);
        return bytes;
    }();
    bool completed = false;
    int change = 1;
    for (; !completed && change < 300; ++change) {
        SCOPED_TRACE(change);
        ASSERT_TRUE(platform::write_whole_file_atomically(platform::program_file("data.edb"), original));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            g_changes_left = change;
            platform::set_change_hook(kill_at_the_chosen_change);
            _exit(merge_into_local(local_sync(), kStorePassword, other_, kStorePassword, false) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        completed = WIFEXITED(status);
        const auto after = records_at(platform::program_file("data.edb"));
        EXPECT_TRUE(!records_differ(after, before_) || !records_differ(after, expected));
        // Syncing again reaches the same result from either.
        ASSERT_TRUE(merge_into_local(local_sync(), kStorePassword, other_, kStorePassword, false));
        EXPECT_FALSE(records_differ(records_at(platform::program_file("data.edb")), expected));
    }
    EXPECT_TRUE(completed) << "the merge never ran to its end";
    EXPECT_GT(change, 5) << "the kills did not reach into the write";
}

}  // namespace
}  // namespace quillet::app
