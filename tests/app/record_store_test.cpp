#include "app/record_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/text_cipher.h"
#include "db/database_handle.h"
#include "db/hooks.h"
#include "platform/program_dir.h"
#include "record_store_fixture.h"
#include "tests/ftp/ftp_test_server.h"

namespace quillet::app {
namespace {

RecordText text_for(const std::string& tag) {
    return {"平台" + tag, "acct" + tag, "pw" + tag, "https://" + tag + ".example", "备注" + tag};
}

std::vector<std::int32_t> ids(const std::vector<Record>& records) {
    std::vector<std::int32_t> result;
    for (const Record& record : records) result.push_back(record.id);
    return result;
}

class RecordStoreTest : public testing::Test {
  protected:
    void SetUp() override { create_record_store(); }

    void add(const std::string& tag) { ASSERT_EQ(add_record(kStorePassword, text_for(tag)), WriteResult::kDone); }
    std::vector<Record> all() { return list_records(kStorePassword); }

    std::vector<std::string> platforms_matching(std::string_view query) {
        std::vector<std::string> found;
        for (const Record& record : filter_records(kStorePassword, SearchField::kPlatform, query)) {
            found.push_back(record.platform);
        }
        return found;
    }

    TempProgramDirectory dir_;
};

TEST_F(RecordStoreTest, EmptyStoreListsNothingAndFirstRecordGetsIdOne) {
    EXPECT_TRUE(all().empty());
    EXPECT_TRUE(filter_records(kStorePassword, SearchField::kPlatform, "a").empty());
    add("1");
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{1}));
}

TEST_F(RecordStoreTest, RecordsReadBackWithPasswordEnciphered) {
    add("a");
    add("b");
    add("c");
    const std::vector<Record> records = all();
    ASSERT_EQ(ids(records), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(records[1].platform, "平台b");
    EXPECT_EQ(records[1].account, "acctb");
    EXPECT_EQ(records[1].password_cipher, encipher("pwb", kCipherKey));
    EXPECT_EQ(records[1].address, "https://b.example");
    EXPECT_EQ(records[1].remark, "备注b");
}

TEST_F(RecordStoreTest, IdsStayUniqueAfterDeletions) {
    add("a");
    add("b");
    add("c");
    ASSERT_EQ(delete_record(kStorePassword, 1), WriteResult::kDone);
    add("d");  // a count-based ID would be 3 again
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{2, 3, 4}));
    ASSERT_EQ(delete_record(kStorePassword, 4), WriteResult::kDone);
    add("e");
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{2, 3, 4}));
}

TEST_F(RecordStoreTest, DeleteRemovesTheRecordFromTheFileAtOnce) {
    add("a");
    add("b");
    add("c");
    ASSERT_EQ(delete_record(kStorePassword, 2), WriteResult::kDone);
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{1, 3}));
    EXPECT_EQ(all()[1].platform, "平台c");
    EXPECT_EQ(delete_record(kStorePassword, 2), WriteResult::kNotFound);

    db::Database store;
    db::AccessOptions options;
    options.password = kStorePassword;
    ASSERT_TRUE(db::Database::open(platform::program_file("data.edb"), options, &store).ok());
    std::int32_t count = 0;
    ASSERT_TRUE(store.count(&count).ok());
    EXPECT_EQ(count, 2);  // purged, not merely marked
}

// A record with a chosen ID, as another copy of the program might have left it.
void append_with_id(std::int32_t id) {
    db::Database store;
    db::AccessOptions options;
    options.password = kStorePassword;
    ASSERT_TRUE(db::Database::open(platform::program_file("data.edb"), options, &store).ok());
    EXPECT_TRUE(store.append({id, std::string("平台") + std::to_string(id)}).ok());
}

TEST_F(RecordStoreTest, AddRefusesOnceTheLargestIdIsTheLargest32BitId) {
    append_with_id(INT32_MAX - 1);
    append_with_id(-5);  // a smaller ID after the largest does not hide it
    add("a");
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{INT32_MAX - 1, -5, INT32_MAX}));

    EXPECT_EQ(add_record(kStorePassword, text_for("b")), WriteResult::kNoFreeId);
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{INT32_MAX - 1, -5, INT32_MAX}));

    // Once the largest is gone its ID is free again.
    ASSERT_EQ(delete_record(kStorePassword, INT32_MAX), WriteResult::kDone);
    add("c");
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{INT32_MAX - 1, -5, INT32_MAX}));
    EXPECT_EQ(all()[2].platform, "平台c");
}

TEST_F(RecordStoreTest, PasswordsUpTo123BytesFitAndLongerAreRefused) {
    RecordText text = text_for("x");
    text.password = std::string(123, 'p');
    ASSERT_EQ(add_record(kStorePassword, text), WriteResult::kDone);
    EXPECT_EQ(decipher(all().at(0).password_cipher, kCipherKey), text.password);

    text.password = std::string(124, 'p');
    EXPECT_EQ(add_record(kStorePassword, text), WriteResult::kTooLong);
    EXPECT_EQ(modify_record(kStorePassword, 1, text), WriteResult::kTooLong);
    const std::optional<FieldLimit> limit = overlong_field(text);
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->field, "密码");
    EXPECT_EQ(limit->max_bytes, 123);
    EXPECT_EQ(all().size(), 1u);
    EXPECT_EQ(decipher(all().at(0).password_cipher, kCipherKey), std::string(123, 'p'));
}

TEST_F(RecordStoreTest, TextFieldsHold255BytesAndLongerAreRefused) {
    RecordText text = text_for("x");
    text.remark = std::string(255, 'r');
    text.platform = std::string(127, '\xB0') + "x";  // double-byte characters count two bytes each
    ASSERT_EQ(add_record(kStorePassword, text), WriteResult::kDone);
    EXPECT_EQ(all().at(0).remark, text.remark);
    EXPECT_EQ(all().at(0).platform, text.platform);

    text.remark.push_back('r');
    EXPECT_EQ(add_record(kStorePassword, text), WriteResult::kTooLong);
    EXPECT_EQ(overlong_field(text)->field, "备注");
    EXPECT_EQ(overlong_field(text)->max_bytes, 255);
    EXPECT_EQ(all().size(), 1u);
}

TEST_F(RecordStoreTest, ModifyRewritesOnlyTheRecordWithTheId) {
    add("a");
    add("b");
    RecordText changed = text_for("z");
    changed.password = "";
    ASSERT_EQ(modify_record(kStorePassword, 2, changed), WriteResult::kDone);
    const std::vector<Record> records = all();
    EXPECT_EQ(records[0].platform, "平台a");
    EXPECT_EQ(records[1].id, 2);
    EXPECT_EQ(records[1].platform, "平台z");
    EXPECT_EQ(records[1].password_cipher, encipher("", kCipherKey));
    EXPECT_EQ(modify_record(kStorePassword, 7, changed), WriteResult::kNotFound);
}

TEST_F(RecordStoreTest, FilterIsCaseSensitiveContainmentAndIgnoresEmptyTexts) {
    for (const char* platform : {"GitHub", "MyGitLab", "forgit", "github", "Git", ""}) {
        ASSERT_EQ(add_record(kStorePassword, {platform, "", "", "", ""}), WriteResult::kDone);
    }
    EXPECT_EQ(platforms_matching("Git"), (std::vector<std::string>{"GitHub", "MyGitLab", "Git"}));
    EXPECT_EQ(platforms_matching("git"), (std::vector<std::string>{"forgit", "github"}));
    EXPECT_TRUE(platforms_matching("").empty());
    EXPECT_TRUE(platforms_matching("Hubx").empty());

    ASSERT_EQ(add_record(kStorePassword, {"", "", "", "http://中文.cn/a", ""}), WriteResult::kDone);
    const std::vector<Record> by_address = filter_records(kStorePassword, SearchField::kAddress, "中文");
    EXPECT_EQ(ids(by_address), (std::vector<std::int32_t>{7}));
}

TEST_F(RecordStoreTest, StoreThatDoesNotOpenYieldsNothingAndWritesNothing) {
    add("a");
    // "?" must not reach the engine as a request to prompt for the password.
    bool prompted = false;
    db::set_password_prompt([&prompted](int, std::string*) { return prompted = true, false; });
    for (const std::string wrong : {"wrong", "?"}) {
        EXPECT_TRUE(list_records(wrong).empty());
        EXPECT_TRUE(filter_records(wrong, SearchField::kPlatform, "平台").empty());
        EXPECT_EQ(add_record(wrong, text_for("b")), WriteResult::kFailed);
        EXPECT_EQ(modify_record(wrong, 1, text_for("b")), WriteResult::kNotFound);
        EXPECT_EQ(delete_record(wrong, 1), WriteResult::kNotFound);
    }
    db::set_password_prompt(nullptr);
    EXPECT_FALSE(prompted);
    EXPECT_EQ(ids(all()), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(all()[0].platform, "平台a");
}

// A store of another layout opened and listed, then ended the program on the second add
// (reading "ID" from a store that has "NO"). Now every command refuses it and writes nothing.
TEST(ForeignStoreTest, EveryRecordCommandRefusesAStoreWithOtherFieldsAndWritesNothing) {
    TempProgramDirectory dir;
    create_foreign_store();
    const std::string before = test::read_file_bytes(platform::program_file("data.edb"));
    EXPECT_TRUE(list_records(kStorePassword).empty());
    EXPECT_TRUE(filter_records(kStorePassword, SearchField::kPlatform, "平台").empty());
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(add_record(kStorePassword, text_for("a")), WriteResult::kForeignStore);
    }
    EXPECT_EQ(modify_record(kStorePassword, 1, text_for("b")), WriteResult::kForeignStore);
    EXPECT_EQ(delete_record(kStorePassword, 1), WriteResult::kForeignStore);
    EXPECT_FALSE(read_store_file(platform::program_file("data.edb"), kStorePassword));
    EXPECT_EQ(test::read_file_bytes(platform::program_file("data.edb")), before);
}

TEST(ParseIdTest, TakesLeadingDigits) {
    EXPECT_EQ(parse_id("42"), 42);
    EXPECT_EQ(parse_id("17abc"), 17);
    EXPECT_EQ(parse_id(""), 0);
    EXPECT_EQ(parse_id("x5"), 0);
    EXPECT_EQ(parse_id("99999999999"), INT32_MAX);
}

// Lists on other threads while this one adds and deletes: every listed record must be
// whole (its fields agree with each other) and IDs never repeat.
TEST_F(RecordStoreTest, ListsOnWorkersSeeWholeRecordsWhileRecordsChange) {
    std::atomic<bool> stop{false};
    std::atomic<int> problems{0};
    std::atomic<int> lists{0};
    auto lister = [&] {
        while (!stop.load()) {
            std::set<std::int32_t> seen;
            for (const Record& record : all()) {
                const std::string tag = std::to_string(record.id);
                const RecordText expected = text_for(tag);
                if (!seen.insert(record.id).second || record.platform != expected.platform ||
                    record.account != expected.account || record.remark != expected.remark ||
                    decipher(record.password_cipher, kCipherKey) != expected.password) {
                    ++problems;
                }
            }
            ++lists;
        }
    };
    std::thread first(lister);
    std::thread second(lister);
    // Keep changing until the listers have had their turns, however the threads were scheduled.
    std::int32_t next_id = 1;
    std::size_t rounds = 0;
    while (rounds < 30 || lists.load() < 6) {
        add(std::to_string(next_id));
        add(std::to_string(next_id + 1));
        if (delete_record(kStorePassword, next_id) != WriteResult::kDone) ADD_FAILURE() << "delete " << next_id;
        next_id += 2;
        ++rounds;
    }
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(problems.load(), 0);
    EXPECT_EQ(all().size(), rounds);
}

TEST_F(RecordStoreTest, TransferLockKeepsStoreOperationsOut) {
    add("a");
    std::atomic<bool> listed{false};
    std::thread reader;
    {
        const auto lock = lock_store();
        reader = std::thread([&] { listed = !all().empty(); });
        // The reader cannot finish while the lock is held; replace the file meanwhile.
        create_record_store();
        EXPECT_FALSE(listed.load());
    }
    reader.join();
    EXPECT_FALSE(listed.load());  // it read the replaced, empty file
}

}  // namespace
}  // namespace quillet::app
