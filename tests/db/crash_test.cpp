// Crashes on purpose: a child process runs a password change or a purge and is killed
// with SIGKILL just before its n-th change to a file or directory, for every n until the
// command gets through; a disk that fills up at the n-th change is injected in process.
// After each, the store must open with the old or the new password and hold every live
// record exactly once, in order, with its serial.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "db/database_info.h"
#include "db/result_code.h"
#include "db_test_support.h"

namespace quillet::db {
namespace {

using testing::DbTest;

// Enough records for several scan batches and copy pieces, few enough to stay fast.
constexpr int kRecords = 260;

int g_changes_left = 0;

platform::FileError kill_at_nth_change() {
    if (--g_changes_left == 0) kill(getpid(), SIGKILL);
    return platform::FileError::kNone;
}

platform::FileError disk_full_from_nth_change() {
    return --g_changes_left <= 0 ? platform::FileError::kDiskFull : platform::FileError::kNone;
}

// The hook is process-wide: every test leaves it unset.
class ChangeHookScope {
public:
    ChangeHookScope(platform::ChangeHook hook, int nth) {
        g_changes_left = nth;
        platform::set_change_hook(hook);
    }
    ~ChangeHookScope() { platform::set_change_hook(nullptr); }
};

struct Row {
    std::int32_t serial;
    std::int32_t id;
    std::string memo;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.serial << ", " << row.id << ", memo of " << row.memo.size() << " bytes}";
}

class CrashTest : public DbTest {
protected:
    // Records with IDs 1..kRecords (serials the same); with `memo` a memo field too, so
    // that the store has an auxiliary file.
    std::string make_rows(bool memo, const std::string& password) {
        const std::string file = path("data.edb");
        // Built once per kind: a store of durable appends takes a while.
        static std::map<std::pair<bool, std::string>, std::pair<std::string, std::string>> built;
        const auto found = built.find({memo, password});
        if (found != built.end()) {
            write_bytes(file, found->second.first);
            if (memo) write_bytes(path("data.EDT"), found->second.second);
            return file;
        }
        std::vector<FieldSpec> fields = testing::credential_fields();
        if (memo) fields.push_back({"M", FieldType::kMemo, 0});
        EXPECT_TRUE(create_database(file, fields));
        OpenOptions options;
        EXPECT_TRUE(open_database(file, options));
        if (!password.empty()) {
            EXPECT_TRUE(set_access_password(password)) << last_database_error();
        }
        for (int id = 1; id <= kRecords; ++id) {
            std::vector<Value> values{id, std::string("平台") + std::to_string(id), std::string("账号"),
                                      std::string("cipher"), std::string("http://x/"), std::string("备注")};
            if (memo) values.emplace_back(memo_of(id));
            EXPECT_TRUE(append_record(values));
        }
        close_database(file);
        built[{memo, password}] = {bytes_of(file), memo ? bytes_of(path("data.EDT")) : std::string()};
        return file;
    }

    static std::string memo_of(int id) { return std::string(static_cast<std::size_t>(id % 3) * 400, 'm') + std::to_string(id); }

    // Every record of the open store, deleted ones included.
    std::vector<Row> rows(bool memo) {
        std::vector<Row> out;
        go_to_first_record();
        for (std::int32_t n = record_count(), i = 0; i < n; ++i) {
            Row row{};
            EXPECT_TRUE(current_record_serial(&row.serial));
            row.id = std::get<std::int32_t>(read_field("ID"));
            if (memo) row.memo = std::get<std::string>(read_field("M"));
            out.push_back(row);
            skip_records(1);
        }
        return out;
    }

    static std::vector<Row> expected(bool memo, const std::function<bool(int)>& deleted, bool purged) {
        std::vector<Row> out;
        for (int id = 1; id <= kRecords; ++id) {
            if (deleted(id) && purged) continue;
            out.push_back({deleted(id) ? -id : id, id, memo ? memo_of(id) : std::string()});
        }
        return out;
    }

    // Opens with the first of `passwords` that the store takes; the index used, or -1.
    int open_with_either(const std::string& file, const std::vector<std::string>& passwords) {
        for (std::size_t i = 0; i < passwords.size(); ++i) {
            OpenOptions options;
            options.password = passwords[i];
            if (open_database(file, options)) return static_cast<int>(i);
            EXPECT_EQ(last_database_error(), kWrongPassword);
        }
        return -1;
    }

    // Runs `command` on the store opened with `password` in a child killed at its n-th
    // change; true when it got through.
    bool run_killed_at(int nth, const std::string& file, const std::string& password,
                       const std::function<bool()>& command) {
        const auto open_store = [&] {
            OpenOptions options;
            options.password = password;
            if (!open_database(file, options)) _exit(2);
        };
        return run_killed_at(nth, open_store, command);
    }

    // The same after `prepare`, whose changes are not counted.
    bool run_killed_at(int nth, const std::function<void()>& prepare, const std::function<bool()>& command) {
        const pid_t pid = fork();
        if (pid == 0) {
            prepare();
            ChangeHookScope hook(kill_at_nth_change, nth);
            _exit(command() ? 0 : 3);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), SIGKILL);
            return false;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "change " << nth << ", status " << status;
        return true;
    }

    // Names in the store's directory other than the store's own files.
    std::vector<std::string> strays() const {
        std::vector<std::string> names;
        DIR* dir = opendir(directory_.c_str());
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name != "data.edb" && name != "data.EDT") names.push_back(name);
        }
        closedir(dir);
        return names;
    }

    void remove_strays() const {
        for (const std::string& name : strays()) platform::remove_file(path(name));
    }
};

bool every_fifth(int id) { return id % 5 == 0; }
bool none(int) { return false; }

class PasswordCrashTest : public CrashTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PasswordCrashTest, KilledAtAnyChangeLeavesTheOldOrTheNewStoreWhole) {
    const bool memo = GetParam();
    const std::string file = make_rows(memo, "old");
    int nth = 1;
    bool changed = false;
    for (; !changed && nth < 200; ++nth) {
        changed = run_killed_at(nth, file, "old", [] { return set_access_password("new"); });
        const int used = open_with_either(file, {"old", "new"});
        ASSERT_GE(used, 0) << "opens with neither password after a kill at change " << nth;
        EXPECT_TRUE(!changed || used == 1);
        EXPECT_EQ(rows(memo), expected(memo, none, false)) << "kill at change " << nth;
        std::int32_t checked = 0;
        std::string problem;
        EXPECT_TRUE(check_current_database(&checked, &problem)) << problem << " after a kill at change " << nth;
        close_database(file);
        if (used == 1) {
            // Back to the old password for the next kill point.
            ASSERT_TRUE(run_killed_at(-1, file, "new", [] { return set_access_password("old"); }));
        }
        // The settled store leaves no pending file; a kill leaves at most its temporaries.
        for (const std::string& name : strays()) EXPECT_EQ(name.find("pending"), std::string::npos) << name;
        remove_strays();
    }
    EXPECT_TRUE(changed);
    EXPECT_GT(nth, 5);  // the command made several changes, each one a kill point
}

TEST_F(CrashTest, TheNextRewriteRemovesTheTemporariesOfAKilledOne) {
    const std::string file = make_rows(true, "old");
    ASSERT_FALSE(run_killed_at(3, file, "old", [] { return set_access_password("new"); }));
    ASSERT_FALSE(strays().empty());
    const std::string unrelated = path("data.edb~notes");
    write_bytes(unrelated, "kept");
    OpenOptions options;
    options.password = "old";
    ASSERT_TRUE(open(file, options));
    ASSERT_TRUE(purge_deleted_records());
    EXPECT_EQ(strays(), std::vector<std::string>{"data.edb~notes"});
}

TEST_P(PasswordCrashTest, RemovingThePasswordKilledAtAnyChangeLeavesAWholeStore) {
    const bool memo = GetParam();
    const std::string file = make_rows(memo, "old");
    bool changed = false;
    for (int nth = 1; !changed && nth < 200; ++nth) {
        changed = run_killed_at(nth, file, "old", [] { return set_access_password(""); });
        const int used = open_with_either(file, {"old", ""});
        ASSERT_GE(used, 0) << "kill at change " << nth;
        EXPECT_EQ(rows(memo), expected(memo, none, false)) << "kill at change " << nth;
        close_database(file);
        if (used == 1 && !changed) {
            ASSERT_TRUE(run_killed_at(-1, file, "", [] { return set_access_password("old"); }));
        }
        remove_strays();
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(bytes_of(file).substr(0, 4), "WEDB");
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutAuxiliaryFile, PasswordCrashTest, ::testing::Bool());

class PurgeCrashTest : public CrashTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PurgeCrashTest, KilledAtAnyChangeKeepsEveryLiveRecordOnceInOrder) {
    const bool memo = GetParam();
    const std::string file = make_rows(memo, "pw");
    {
        OpenOptions options;
        options.password = "pw";
        ASSERT_TRUE(open_database(file, options));
        ASSERT_TRUE(delete_record(Condition(std::function<bool()>(
            [] { return every_fifth(std::get<std::int32_t>(read_field("ID"))); }))));
        close_database(file);
    }
    bool purged = false;
    int nth = 1;
    for (; !purged && nth < 200; ++nth) {
        purged = run_killed_at(nth, file, "pw", [] { return purge_deleted_records(); });
        OpenOptions options;
        options.password = "pw";
        ASSERT_TRUE(open_database(file, options)) << last_database_error() << " after a kill at change " << nth;
        const std::vector<Row> found = rows(memo);
        const bool done = found.size() < static_cast<std::size_t>(kRecords);
        EXPECT_EQ(found, expected(memo, every_fifth, done)) << "kill at change " << nth;
        std::int32_t checked = 0;
        std::string problem;
        EXPECT_TRUE(check_current_database(&checked, &problem)) << problem << " after a kill at change " << nth;
        close_database(file);
        remove_strays();
    }
    EXPECT_TRUE(purged);
    EXPECT_GT(nth, 5);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutAuxiliaryFile, PurgeCrashTest, ::testing::Bool());

TEST_F(CrashTest, RecreatingAStoreKilledAtAnyChangeLeavesEachFileOldOrNewWhole) {
    std::vector<FieldSpec> fields = testing::credential_fields();
    fields.push_back({"M", FieldType::kMemo, 0});
    const CreateOptions options{44474.5, 1};
    ASSERT_TRUE(create_database(path("new.edb"), fields, options));
    const std::string new_data = bytes_of(path("new.edb")), new_aux = bytes_of(path("new.EDT"));
    platform::remove_file(path("new.edb"));
    platform::remove_file(path("new.EDT"));
    const std::string file = make_rows(true, "");
    const std::string old_data = bytes_of(file), old_aux = bytes_of(path("data.EDT"));
    const auto recreate = [&] { return create_database(file, fields, options); };
    bool created = false;
    int nth = 1;
    for (; !created && nth < 50; ++nth) {
        created = run_killed_at(nth, [] {}, recreate);
        const std::string data = bytes_of(file), aux = bytes_of(path("data.EDT"));
        EXPECT_TRUE(data == old_data || data == new_data) << "kill at change " << nth;
        EXPECT_TRUE(aux == old_aux || aux == new_aux) << "kill at change " << nth;
        EXPECT_TRUE(data == new_data || aux == old_aux) << "the new auxiliary file before the data file";
        remove_strays();
    }
    EXPECT_TRUE(created);
    EXPECT_GT(nth, 3);
}

// A failure up to the rename leaves the old store; one at the directory sync after it
// leaves the new store, still reported, since the rename may not survive a power cut.
TEST_F(CrashTest, DiskFullPartWayReportsTheFailureAndLeavesAWholeStore) {
    const std::string file = make_rows(true, "old");
    bool changed = false;
    for (int nth = 1; !changed; ++nth) {
        ASSERT_EQ(open_with_either(file, {"old"}), 0) << "disk full at change " << nth;
        {
            ChangeHookScope hook(disk_full_from_nth_change, nth);
            changed = set_access_password("new");
        }
        if (!changed) {
            EXPECT_EQ(last_database_error(), kRekeyFailed) << "disk full at change " << nth;
        }
        // The open store goes on under whichever key its files have.
        EXPECT_EQ(rows(true), expected(true, none, false)) << "disk full at change " << nth;
        EXPECT_TRUE(append_record({kRecords + 1, std::string("x")}));
        ASSERT_TRUE(delete_record());
        ASSERT_TRUE(undelete_record());
        close_database(file);
        const int used = open_with_either(file, {"old", "new"});
        ASSERT_GE(used, 0) << "disk full at change " << nth;
        std::vector<Row> found = rows(true);
        ASSERT_EQ(found.size(), kRecords + 1u);
        EXPECT_EQ(found.back().id, kRecords + 1);
        found.pop_back();
        EXPECT_EQ(found, expected(true, none, false));
        go_to_first_record();
        ASSERT_TRUE(skip_records(kRecords));
        ASSERT_TRUE(delete_record());
        ASSERT_TRUE(purge_deleted_records());
        changed = changed || used == 1;
        close_database(file);
        EXPECT_TRUE(strays().empty()) << strays()[0];
    }
    OpenOptions options;
    options.password = "new";
    ASSERT_TRUE(open(file, options));
    ASSERT_TRUE(delete_record(Condition(std::function<bool()>(
        [] { return every_fifth(std::get<std::int32_t>(read_field("ID"))); }))));
    for (int nth = 1;; ++nth) {
        bool purged;
        {
            ChangeHookScope hook(disk_full_from_nth_change, nth);
            purged = purge_deleted_records();
        }
        const std::int32_t code = last_database_error();
        const std::vector<Row> found = rows(true);
        const bool done = found.size() < static_cast<std::size_t>(kRecords);
        EXPECT_EQ(found, expected(true, every_fifth, done)) << "disk full at change " << nth;
        EXPECT_TRUE(strays().empty()) << strays()[0];
        if (purged || done) {
            EXPECT_TRUE(purged || code < 0);
            break;
        }
        EXPECT_LT(code, 0) << "disk full at change " << nth;
    }
}

TEST_F(CrashTest, AnotherOpenHandleMakesBothRewritesFailWithTheSharingCode) {
    const std::string file = make_rows(false, "old");
    OpenOptions options;
    options.password = "old";
    ASSERT_TRUE(open(file, options));
    ASSERT_TRUE(delete_record());
    const std::string before = bytes_of(file);
    {
        platform::File other;
        ASSERT_EQ(other.open(file, platform::Access::kRead, platform::Share::kReadWrite), platform::FileError::kNone);
        EXPECT_FALSE(set_access_password("new"));
        EXPECT_EQ(last_database_error(), kSharingViolation);
        EXPECT_FALSE(purge_deleted_records());
        EXPECT_EQ(last_database_error(), kSharingViolation);
        EXPECT_EQ(bytes_of(file), before);
    }
    // The refusal gave back the share it tried to narrow: others may open again meanwhile,
    // and without them the commands go through.
    platform::File other;
    ASSERT_EQ(other.open(file, platform::Access::kRead, platform::Share::kReadWrite), platform::FileError::kNone);
    other.close();
    EXPECT_TRUE(set_access_password("new"));
    EXPECT_TRUE(purge_deleted_records());
    EXPECT_EQ(record_count(), kRecords - 1);
    // The store stays open on the new file, with the share it was opened with.
    ASSERT_EQ(other.open(file, platform::Access::kRead, platform::Share::kReadWrite), platform::FileError::kNone);
    other.close();
    EXPECT_TRUE(append_record({9999}));
    close_database(file);
    options.password = "new";
    ASSERT_TRUE(open(file, options));
    EXPECT_EQ(record_count(), kRecords);
}

}  // namespace
}  // namespace quillet::db
