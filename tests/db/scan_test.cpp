// Batched scans (find_record, scan_records) against the one-record path, across batch
// boundaries, with deleted records, with record locks held elsewhere and by this database.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "db/byte_locks.h"
#include "db_test_support.h"
#include "platform/file.h"

namespace quillet::db {
namespace {

using testing::DbTest;

// 1,283-byte credential records: 127 to a batch, so 300 records end mid-batch.
constexpr int kRecords = 300;
constexpr std::int64_t kDataStart = 116 + 72 * 6;
constexpr std::int64_t kRecordSize = 1283;

std::int64_t lock_byte(std::int32_t record) { return kDataStart + record * kRecordSize; }

Condition id_is(std::int32_t wanted) {
    return std::function<bool()>([wanted] { return read_field("ID") == Value(wanted); });
}

struct Row {
    std::int32_t number;
    std::vector<Value> values;
    bool operator==(const Row&) const = default;
};

// Every record read the one-record way: read_record, then skip.
std::vector<Row> rows_one_by_one() {
    std::vector<Row> rows;
    go_to_first_record();
    for (std::int32_t n = record_count(), i = 0; i < n; ++i) {
        Row row{i, {}};
        EXPECT_TRUE(read_record(&row.values));
        rows.push_back(std::move(row));
        skip_records(1);
    }
    go_to_first_record();
    return rows;
}

std::vector<Row> rows_scanned() {
    std::vector<Row> rows;
    EXPECT_TRUE(scan_records([&rows](const RecordView& view) {
        Row row{view.number(), {}};
        for (int field = 1; field <= static_cast<int>(view.field_count()); ++field) row.values.push_back(view.field(field));
        std::string text;
        EXPECT_TRUE(view.text(2, &text));
        EXPECT_EQ(Value(text), row.values[1]);
        EXPECT_FALSE(view.text(1, &text));
        rows.push_back(std::move(row));
        return true;
    }));
    EXPECT_EQ(last_database_error(), 0);
    return rows;
}

// True when another handle can lock every record-lock byte of the file: nothing leaked.
bool all_record_bytes_free(const std::string& file) {
    platform::File probe;
    if (probe.open(file, platform::Access::kReadWrite, platform::Share::kReadWrite) != platform::FileError::kNone) {
        return false;
    }
    return probe.lock(kDataStart, lock_byte(kRecords) - kDataStart) == platform::FileError::kNone;
}

class ScanTest : public DbTest, public ::testing::WithParamInterface<std::string> {
protected:
    std::string store(int count = kRecords) {
        const std::string file = make_store("data.edb", count, GetParam());
        OpenOptions options;
        options.password = GetParam();
        EXPECT_TRUE(open(file, options));
        return file;
    }
};

TEST_P(ScanTest, FindGivesTheRecordAndCurrentOfTheOneRecordPathAcrossBatches) {
    store();
    for (const std::int32_t id : {1, 127, 128, 254, 255, 300}) {
        go_to_first_record();
        ASSERT_TRUE(find_record(id_is(id))) << id;
        EXPECT_EQ(last_database_error(), 0);
        EXPECT_EQ(read_field("ID"), Value(id));
        // The found record is tested first by the next find.
        EXPECT_TRUE(find_record(id_is(id)));
        EXPECT_EQ(read_field("ID"), Value(id));
    }
    // From the middle of a batch on; records before the current one are not visited.
    ASSERT_TRUE(skip_records(-170));
    EXPECT_FALSE(find_record(id_is(100)));
    EXPECT_EQ(last_database_error(), 0);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{130}));
    EXPECT_TRUE(find_record(id_is(299)));
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{299}));
    go_to_first_record();
    EXPECT_FALSE(find_record(id_is(301)));
    EXPECT_EQ(last_database_error(), 0);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{1}));
    // A condition reading every field sees the record under test whole.
    go_to_first_record();
    EXPECT_TRUE(find_record(std::function<bool()>([] {
        std::vector<Value> values;
        return read_record(&values) && values[4] == Value(std::string("http://x/200"));
    })));
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{200}));
}

TEST_P(ScanTest, ScanSeesWhatTheOneRecordPathSeesDeletedRecordsIncluded) {
    store();
    for (const std::int32_t id : {1, 127, 128, 300}) {
        go_to_first_record();
        ASSERT_TRUE(find_record(id_is(id)));
        ASSERT_TRUE(delete_record());
    }
    ASSERT_TRUE(skip_records(-5));
    const std::vector<Row> expected = rows_one_by_one();
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kRecords));
    ASSERT_TRUE(skip_records(7));
    EXPECT_EQ(rows_scanned(), expected);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{8}));  // the scan leaves the current record alone

    int visited = 0;
    EXPECT_TRUE(scan_records([&visited](const RecordView&) { return ++visited < 130; }));
    EXPECT_EQ(visited, 130);
    go_to_first_record();
    EXPECT_TRUE(find_record(id_is(128)));  // deleted records are still found
}

TEST_P(ScanTest, EmptyStoreAndExclusiveOpen) {
    store(0);
    EXPECT_TRUE(rows_scanned().empty());
    EXPECT_FALSE(find_record(true));
    EXPECT_EQ(last_database_error(), 0);
    close_database(path("data.edb"));

    const std::string file = make_store("full.edb", kRecords, GetParam());
    OpenOptions exclusive;
    exclusive.password = GetParam();
    exclusive.share_mode = 4;
    ASSERT_TRUE(open(file, exclusive));
    const std::vector<Row> expected = rows_one_by_one();
    EXPECT_EQ(rows_scanned(), expected);
    EXPECT_TRUE(find_record(id_is(255)));
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{255}));
}

// Commands that lock records of the batch being scanned: the record lock of the current
// record, a nested find over the same records, the database lock.
TEST_P(ScanTest, CommandsInsideAScanShareItsLocksAndReleaseThemAll) {
    const std::string file = store();
    ASSERT_TRUE(skip_records(2));  // record 2 (ID 3) lies in the first batch
    bool inner_ok = true;
    EXPECT_TRUE(scan_records([&](const RecordView& view) {
        if (view.number() == 5) {
            inner_ok &= modify_current_record({std::nullopt, std::string("改过")});
            inner_ok &= find_record(id_is(100)) && read_field("ID") == Value(std::int32_t{100});
            inner_ok &= delete_record(Condition(false));
            go_to_first_record();
            inner_ok &= skip_records(2);
        }
        return true;
    }));
    EXPECT_TRUE(inner_ok);
    EXPECT_EQ(read_field(2), Value(std::string("改过")));
    EXPECT_TRUE(all_record_bytes_free(file));

    // A find whose condition modifies the current record, which lies in the batch under test.
    go_to_first_record();
    ASSERT_TRUE(find_record(std::function<bool()>([] {
        return read_field("ID") == Value(std::int32_t{50}) && modify_current_record({std::nullopt, std::string("x")});
    })));
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{50}));
    go_to_first_record();
    EXPECT_EQ(read_field(2), Value(std::string("x")));
    EXPECT_TRUE(all_record_bytes_free(file));
}

INSTANTIATE_TEST_SUITE_P(PlainAndScrambled, ScanTest, ::testing::Values(std::string(), std::string("pw")),
                         [](const auto& info) { return info.param.empty() ? "Plain" : "Scrambled"; });

// Holds the lock byte of `record` from another process until the returned writer closes.
class LockHolder {
public:
    LockHolder(const std::string& file, std::int32_t record) {
        int to_parent[2];
        EXPECT_EQ(pipe(to_parent), 0);
        EXPECT_EQ(pipe(to_child_), 0);
        pid_ = fork();
        if (pid_ == 0) {
            platform::File holder;
            const bool ok = holder.open(file, platform::Access::kReadWrite, platform::Share::kReadWrite) ==
                                platform::FileError::kNone &&
                            holder.lock(lock_byte(record), 1) == platform::FileError::kNone;
            char byte = ok ? 'y' : 'n';
            (void)!write(to_parent[1], &byte, 1);
            (void)!read(to_child_[0], &byte, 1);
            _exit(0);
        }
        close(to_parent[1]);  // a child that dies gives end of file, not a hang
        char byte = 0;
        EXPECT_EQ(read(to_parent[0], &byte, 1), 1);
        EXPECT_EQ(byte, 'y');
        close(to_parent[0]);
    }
    ~LockHolder() { release(); }
    void release() {
        if (pid_ <= 0) return;
        (void)!write(to_child_[1], "x", 1);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(to_child_[0]);
        close(to_child_[1]);
        pid_ = -1;
    }

private:
    int to_child_[2] = {-1, -1};
    pid_t pid_ = -1;
};

TEST_P(ScanTest, RecordLockOfAnotherProcessStopsTheScanWhereItLies) {
    const std::string file = store();
    LockHolder holder(file, 200);  // in the second batch
    go_to_first_record();
    EXPECT_TRUE(find_record(id_is(150)));  // ahead of the held record, in its batch
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{150}));
    EXPECT_FALSE(find_record(id_is(250)));
    EXPECT_EQ(last_database_error(), -13);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{150}));

    int visited = 0;
    EXPECT_FALSE(scan_records([&visited](const RecordView&) { return ++visited > 0; }));
    EXPECT_EQ(last_database_error(), -13);
    EXPECT_EQ(visited, 200);

    holder.release();
    // Nothing of the refused scans stayed locked: another handle and the database lock
    // take every byte.
    EXPECT_TRUE(all_record_bytes_free(file));
    EXPECT_TRUE(delete_record(Condition(false)));
    EXPECT_TRUE(find_record(id_is(250)));
    close_database(file);
    OpenOptions options;
    options.password = GetParam();
    ASSERT_TRUE(open_database(file, options));
    EXPECT_EQ(rows_scanned().size(), static_cast<std::size_t>(kRecords));
}

// The byte-lock bookkeeping of a run, seen from another handle.
class RunLockTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        ASSERT_EQ(file_.open(path("f"), platform::Access::kReadWrite, platform::Share::kReadWrite,
                             platform::Creation::kCreateAlways),
                  platform::FileError::kNone);
        ASSERT_EQ(probe_.open(path("f"), platform::Access::kReadWrite, platform::Share::kReadWrite),
                  platform::FileError::kNone);
    }
    bool probe_free(std::int64_t offset) {
        if (probe_.lock(offset, 1) != platform::FileError::kNone) return false;
        probe_.unlock(offset, 1);
        return true;
    }
    platform::File file_, probe_;
};

TEST_F(RunLockTest, HeldBytesStayTheirsAndBytesLockedDuringARunOutliveIt) {
    ByteLocks locks(0);
    ASSERT_EQ(locks.lock(file_, 150), 0);  // held before the run: left out of its ranges
    ASSERT_EQ(locks.lock_run(file_, 100, 200), 0);
    EXPECT_FALSE(probe_free(100));
    EXPECT_FALSE(probe_free(200));
    EXPECT_TRUE(probe_free(201));
    ASSERT_EQ(locks.lock(file_, 120), 0);  // inside the run: only counted
    ASSERT_EQ(locks.lock(file_, 150), 0);
    ASSERT_EQ(locks.lock_run(file_, 110, 300), 0);  // a nested run overlapping the first
    EXPECT_FALSE(probe_free(300));
    locks.unlock_run(file_);
    EXPECT_TRUE(probe_free(300));
    EXPECT_FALSE(probe_free(110));
    locks.unlock_run(file_);
    EXPECT_TRUE(probe_free(100));
    EXPECT_FALSE(probe_free(120));  // still held: taken on its own when the run went
    EXPECT_FALSE(probe_free(150));
    EXPECT_EQ(locks.unlock(file_, 120), 0);
    EXPECT_TRUE(probe_free(120));
    EXPECT_EQ(locks.unlock(file_, 150), 0);
    EXPECT_FALSE(probe_free(150));
    EXPECT_EQ(locks.unlock(file_, 150), 0);
    EXPECT_TRUE(probe_free(150));
    EXPECT_EQ(locks.unlock(file_, 150), -29);
}

TEST_F(RunLockTest, RefusedRunTakesNothingAndDatabaseLockLeavesARunAlone) {
    ByteLocks locks(0);
    ASSERT_EQ(probe_.lock(180, 1), platform::FileError::kNone);
    ASSERT_EQ(locks.lock(file_, 150), 0);
    EXPECT_EQ(locks.lock_run(file_, 100, 200), -13);
    ASSERT_EQ(probe_.unlock(180, 1), platform::FileError::kNone);
    EXPECT_TRUE(probe_free(100));
    EXPECT_TRUE(probe_free(199));

    ASSERT_EQ(locks.lock_run(file_, 100, 200), 0);
    ASSERT_EQ(locks.lock_database(file_), 0);
    EXPECT_FALSE(probe_free(0));
    locks.unlock_database(file_);
    EXPECT_TRUE(probe_free(0));
    EXPECT_FALSE(probe_free(100));
    locks.release_all(file_);
    EXPECT_TRUE(probe_free(100));
    EXPECT_TRUE(probe_free(150));

    ByteLocks exclusive(1);  // an exclusive open takes nothing on the file
    ASSERT_EQ(exclusive.lock_run(file_, 100, 200), 0);
    EXPECT_TRUE(probe_free(100));
    exclusive.unlock_run(file_);
}

}  // namespace
}  // namespace quillet::db
