// Database handles: what an open reports, that a handle's records and locks are its own
// and go with it, and that a handle never prompts.
#include "db/database_handle.h"

#include "db/database.h"
#include "db/hooks.h"
#include "db/result_code.h"
#include "db_test_support.h"

namespace quillet::db::testing {
namespace {

class DatabaseHandleTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        file_ = path("store.edb");
        ASSERT_TRUE(create_data_file(file_, credential_fields()).ok());
    }

    Database opened(const AccessOptions& options = {}) {
        Database db;
        const platform::Status status = Database::open(file_, options, &db);
        EXPECT_TRUE(status.ok()) << status.message();
        return db;
    }

    static std::vector<std::int32_t> ids(Database& db) {
        std::vector<std::int32_t> found;
        EXPECT_TRUE(db.scan([&](const RecordView& view) {
                          found.push_back(std::get<std::int32_t>(view.field(1)));
                          return true;
                      })
                        .ok());
        return found;
    }

    std::string file_;
};

TEST_F(DatabaseHandleTest, AFailedOpenReportsTheEnginesCodeAndMessageAndLeavesTheHandleClosed) {
    Database db;
    platform::Status status = Database::open(path("missing.edb"), {}, &db);
    EXPECT_EQ(status.code(), kFileNotFound);
    EXPECT_EQ(status.message(), message_for_code(kFileNotFound));
    EXPECT_FALSE(db.is_open());

    Database locked = opened();
    ASSERT_TRUE(locked.set_password("pw").ok());
    AccessOptions wrong;
    wrong.password = "other";
    status = Database::open(file_, wrong, &db);
    EXPECT_EQ(status.code(), kWrongPassword);
    EXPECT_FALSE(status.message().empty());
    EXPECT_FALSE(db.is_open());
    EXPECT_TRUE(Database::open(file_, {}, &db).code() == kWrongPassword);
}

TEST_F(DatabaseHandleTest, RecordsWrittenByNumberReadBackInFileOrder) {
    Database db = opened();
    std::int32_t number = -1;
    ASSERT_TRUE(db.append({std::int32_t{10}, std::string("a")}, &number).ok());
    EXPECT_EQ(number, 0);
    ASSERT_TRUE(db.append({std::int32_t{20}, std::string("b")}, &number).ok());
    ASSERT_TRUE(db.append({std::int32_t{30}, std::string("c")}, &number).ok());
    EXPECT_EQ(number, 2);
    ASSERT_TRUE(db.modify(1, {std::nullopt, std::string("B")}).ok());
    std::string text;
    ASSERT_TRUE(db.scan([&](const RecordView& view) { return view.number() != 1 || !view.text(2, &text); }).ok());
    EXPECT_EQ(text, "B");
    EXPECT_EQ(db.modify(7, {std::int32_t{1}}).code(), kNoCurrentRecord);
    EXPECT_EQ(db.append({std::string("not a number")}).code(), kValueTypeMismatch);

    ASSERT_TRUE(db.mark_deleted(0).ok());
    std::int32_t count = 0;
    ASSERT_TRUE(db.count(&count).ok());
    EXPECT_EQ(count, 3);  // marked, still there
    ASSERT_TRUE(db.purge().ok());
    EXPECT_EQ(ids(db), (std::vector<std::int32_t>{20, 30}));
    EXPECT_TRUE(db.check().ok());
}

// The handle's destructor closes its file and lets go of its share: only then may a purge
// (which needs the store alone) go ahead.
TEST_F(DatabaseHandleTest, ClosingAHandleReleasesItsShareForOthers) {
    Database writer = opened();
    ASSERT_TRUE(writer.append({std::int32_t{1}}).ok());
    ASSERT_TRUE(writer.mark_deleted(0).ok());
    {
        Database reader = opened();
        EXPECT_EQ(ids(reader), (std::vector<std::int32_t>{1}));
        EXPECT_EQ(writer.purge().code(), kSharingViolation);
    }
    EXPECT_TRUE(writer.purge().ok());
    Database moved = std::move(writer);
    EXPECT_FALSE(writer.is_open());
    EXPECT_TRUE(ids(moved).empty());
}

// The command set's current database and record belong to the command set: a handle
// neither moves nor sees them.
TEST_F(DatabaseHandleTest, HandlesLeaveTheCommandSetsCurrentDatabaseAlone) {
    ASSERT_TRUE(open(file_));
    ASSERT_TRUE(append_record({std::int32_t{1}}));
    ASSERT_TRUE(append_record({std::int32_t{2}}));
    go_to_first_record();
    ASSERT_TRUE(skip_records(1));
    {
        Database db = opened();
        ASSERT_TRUE(db.append({std::int32_t{3}}).ok());
        EXPECT_EQ(ids(db), (std::vector<std::int32_t>{1, 2, 3}));
    }
    EXPECT_EQ(std::get<std::int32_t>(read_field("ID")), 2);
    EXPECT_EQ(record_count(), 3);
}

// "?" is a password like any other to a handle; only the command set asks, and only when told to.
TEST_F(DatabaseHandleTest, AHandleNeverPromptsAndTheCommandSetOnlyWhenAsked) {
    int prompts = 0;
    set_password_prompt([&](int, std::string* password) {
        ++prompts;
        *password = "pw";
        return true;
    });
    {
        Database db = opened();
        ASSERT_TRUE(db.set_password("pw").ok());
        EXPECT_EQ(db.set_password("?").code(), kBadPasswordText);
    }
    Database db;
    AccessOptions question;
    question.password = "?";
    EXPECT_EQ(Database::open(file_, question, &db).code(), kWrongPassword);
    OpenOptions literal;
    literal.password = "?";
    EXPECT_FALSE(open(file_, literal));
    EXPECT_EQ(prompts, 0);
    OpenOptions asking;
    asking.ask_password = true;
    EXPECT_TRUE(open(file_, asking));
    EXPECT_EQ(prompts, 1);
    set_password_prompt(nullptr);
}

}  // namespace
}  // namespace quillet::db::testing
