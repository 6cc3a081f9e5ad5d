#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/database_info.h"
#include "db/hooks.h"
#include "db/result_code.h"
#include "db_test_support.h"

namespace quillet::db {
namespace {

using testing::DbTest;
using testing::le32;
using testing::put_le32;

class CommandsTest : public DbTest {};

std::int32_t id() { return std::get<std::int32_t>(read_field("ID")); }

std::function<bool()> id_is(std::int32_t wanted) {
    return [wanted] { return std::get<std::int32_t>(read_field("id")) == wanted; };
}

TEST_F(CommandsTest, NavigationRules) {
    const std::string empty = make_store("empty.edb", 0);
    ASSERT_TRUE(open(empty));
    EXPECT_FALSE(skip_records(1));
    EXPECT_EQ(last_database_error(), -26);
    EXPECT_FALSE(skip_records(-1));
    EXPECT_EQ(last_database_error(), -25);
    close_database(empty);

    const std::string file = make_store("three.edb", 3);
    ASSERT_TRUE(open(file));
    ASSERT_TRUE(skip_records(1));
    ASSERT_TRUE(skip_records(10));  // lands after the last record
    EXPECT_FALSE(skip_records(1));
    EXPECT_EQ(last_database_error(), -26);
    go_to_first_record();
    ASSERT_TRUE(skip_records(1));
    ASSERT_TRUE(skip_records(-5));  // lands before the first record
    EXPECT_FALSE(skip_records(-1));
    EXPECT_EQ(last_database_error(), -25);
    EXPECT_EQ(read_field("ID"), Value(std::int32_t{0}));
    EXPECT_EQ(last_database_error(), -60);
}

TEST_F(CommandsTest, FindStartsAtTheCurrentRecord) {
    const std::string file = make_store("data.edb", 4);
    ASSERT_TRUE(open(file));
    ASSERT_TRUE(find_record(id_is(3)));
    EXPECT_EQ(id(), 3);
    ASSERT_TRUE(find_record(id_is(3)));  // the current record is tested first
    EXPECT_EQ(id(), 3);
    EXPECT_FALSE(find_record(id_is(1)));  // behind the current record
    EXPECT_EQ(last_database_error(), 0);
    EXPECT_EQ(id(), 3);
    ASSERT_TRUE(find_record(true));
    EXPECT_EQ(id(), 3);
    go_to_first_record();
    ASSERT_TRUE(find_record(id_is(1)));
    std::vector<Value> values;
    ASSERT_TRUE(read_record(&values));
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[1], Value(std::string("平台1")));
}

// The field test walks the bytes as they lie in the file: across scan batches, scrambled
// or not, and with the record's ID anywhere in a 4096-byte scrambling block.
TEST_F(CommandsTest, FieldTestFindsWhatTheSameTestByReadFieldFinds) {
    for (const std::string password : {"", "pw"}) {
        const std::string file = make_store("ids" + password + ".edb", 300, password);
        OpenOptions options;
        options.password = password;
        ASSERT_TRUE(open(file, options));
        for (const std::int32_t wanted : {1, 127, 128, 129, 255, 300}) {
            go_to_first_record();
            ASSERT_TRUE(find_record(FieldIs{"id", wanted})) << wanted;
            const std::int32_t by_test = id();
            go_to_first_record();
            ASSERT_TRUE(find_record(id_is(wanted)));
            EXPECT_EQ(by_test, id());
            EXPECT_EQ(by_test, wanted);
        }
        go_to_first_record();
        EXPECT_FALSE(find_record(FieldIs{"ID", 301}));
        EXPECT_EQ(last_database_error(), 0);
        // A text field holds no number: nothing matches, whatever the value.
        EXPECT_FALSE(find_record(FieldIs{"平台", 0}));
        ASSERT_TRUE(delete_record(FieldIs{"ID", 200}));
        go_to_first_record();
        ASSERT_TRUE(find_record(FieldIs{"ID", 200}));
        std::int32_t serial = 0;
        ASSERT_TRUE(current_record_serial(&serial));
        EXPECT_EQ(serial, -200);
        close_database(file);
    }
}

TEST_F(CommandsTest, DeletePurgeAndSerials) {
    const std::string file = make_store("data.edb", 4);
    ASSERT_TRUE(open(file));
    ASSERT_TRUE(find_record(id_is(2)));
    ASSERT_TRUE(delete_record());
    ASSERT_TRUE(delete_record());  // already marked: nothing changes
    std::int32_t serial = 0;
    ASSERT_TRUE(current_record_serial(&serial));
    EXPECT_EQ(serial, -2);
    EXPECT_EQ(id(), 2);  // a marked record still reads
    ASSERT_TRUE(undelete_record());
    ASSERT_TRUE(current_record_serial(&serial));
    EXPECT_EQ(serial, 2);
    ASSERT_TRUE(delete_record(Condition{id_is(2)}));
    ASSERT_TRUE(delete_record(Condition{id_is(3)}));
    EXPECT_EQ(record_count(), 4);
    ASSERT_TRUE(purge_deleted_records());
    EXPECT_EQ(record_count(), 2);
    go_to_first_record();
    EXPECT_EQ(id(), 1);
    ASSERT_TRUE(skip_records(1));
    EXPECT_EQ(id(), 4);
    ASSERT_TRUE(current_record_serial(&serial));
    EXPECT_EQ(serial, 4);
    ASSERT_TRUE(append_record({5.0}));
    ASSERT_TRUE(current_record_serial(&serial));
    EXPECT_EQ(serial, 5);  // serials are never handed out twice
    std::int32_t checked = 0;
    std::string problem;
    EXPECT_TRUE(check_current_database(&checked, &problem)) << problem;
    EXPECT_EQ(checked, 3);
    close_database(file);
    EXPECT_EQ(bytes_of(file).size(), 548u + 3 * 1283);
}

TEST_F(CommandsTest, ModifyKeepsUnnamedFieldsAndTheSerial) {
    const std::string file = make_store("data.edb", 2);
    ASSERT_TRUE(open(file));
    ASSERT_TRUE(skip_records(1));
    ASSERT_TRUE(modify_current_record({std::nullopt, std::string("新平台")}));
    EXPECT_EQ(read_field("平台"), Value(std::string("新平台")));
    EXPECT_EQ(read_field("网址"), Value(std::string("http://x/2")));
    EXPECT_EQ(id(), 2);
    EXPECT_FALSE(modify_current_record({std::string("text for an integer")}));
    EXPECT_EQ(last_database_error(), -72);
}

class ChainTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        file_ = path("memo.edb");
        ASSERT_TRUE(create_database(file_, {{"N", FieldType::kInt, 0}, {"M", FieldType::kMemo, 0}, {"B", FieldType::kBytes, 0}}));
        ASSERT_TRUE(open(file_));
    }
    std::string aux() { return bytes_of(path("memo.EDT")); }
    std::int32_t block_field(const std::string& bytes, int block, int field) { return le32(bytes, 512 * block + field); }
    std::string file_;
};

TEST_F(ChainTest, ValuesFillBlocksOf500Bytes) {
    ASSERT_TRUE(append_record({1, std::string(500, 'a')}));
    std::string bytes = aux();
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(block_field(bytes, 1, 8), 500);
    ASSERT_TRUE(append_record({2, std::string(501, 'b'), ByteSet{std::string("\0\1", 2)}}));
    bytes = aux();
    ASSERT_EQ(bytes.size(), 512u * 5);
    EXPECT_EQ(block_field(bytes, 2, 4), 3);
    EXPECT_EQ(block_field(bytes, 3, 8), 1);
    EXPECT_EQ(block_field(bytes, 3, 0), 2);
    EXPECT_EQ(read_field("M"), Value(std::string(501, 'b')));
    EXPECT_EQ(read_field("B"), Value(ByteSet{std::string("\0\1", 2)}));
    ASSERT_TRUE(append_record({3, std::string()}));
    EXPECT_EQ(aux().size(), 512u * 5);  // an empty memo takes no block
}

TEST_F(ChainTest, RewritingReusesTheChainAndFreesOrCutsTheRest) {
    ASSERT_TRUE(append_record({1, std::string(2500, 'a')}));  // blocks 1-5
    ASSERT_TRUE(append_record({2, std::string(10, 'z')}));    // block 6
    go_to_first_record();
    ASSERT_TRUE(modify_current_record({std::nullopt, std::string(1200, 'c')}));
    std::string bytes = aux();
    EXPECT_EQ(le32(bytes, 16), 7);  // block count
    EXPECT_EQ(le32(bytes, 20), 2);  // free count
    EXPECT_EQ(le32(bytes, 24), 4);  // free head
    EXPECT_EQ(block_field(bytes, 3, 4), 0);
    EXPECT_EQ(block_field(bytes, 3, 8), 200);
    EXPECT_EQ(read_field("M"), Value(std::string(1200, 'c')));

    // Releasing the chain that ends the file cuts every trailing free block.
    ASSERT_TRUE(skip_records(1));
    ASSERT_TRUE(modify_current_record({std::nullopt, std::string()}));
    bytes = aux();
    EXPECT_EQ(bytes.size(), 512u * 4);
    EXPECT_EQ(le32(bytes, 16), 4);
    EXPECT_EQ(le32(bytes, 20), 0);
    EXPECT_EQ(le32(bytes, 24), 0);
    // Freed blocks are reused before the file grows.
    ASSERT_TRUE(append_record({3, std::string(600, 'd')}));
    EXPECT_EQ(aux().size(), 512u * 6);
    std::int32_t checked = 0;
    std::string problem;
    EXPECT_TRUE(check_current_database(&checked, &problem)) << problem;
}

TEST_F(ChainTest, DamagedChainsFailWithoutLoopingOrReadingPastTheFile) {
    ASSERT_TRUE(append_record({1, std::string(900, 'a')}));  // blocks 1-2
    close_database(file_);
    std::string bytes = aux();
    put_le32(&bytes, 512 * 2 + 4, 1);  // block 2 points back to block 1
    write_bytes(path("memo.EDT"), bytes);
    ASSERT_TRUE(open(file_));
    EXPECT_EQ(read_field("M"), Value(std::string()));
    EXPECT_EQ(last_database_error(), -59);
    EXPECT_FALSE(modify_current_record({std::nullopt, std::string(2000, 'x')}));
    EXPECT_EQ(last_database_error(), -59);
    std::int32_t checked = 0;
    std::string problem;
    EXPECT_FALSE(check_current_database(&checked, &problem));
    EXPECT_FALSE(problem.empty());
    close_database(file_);

    put_le32(&bytes, 512 * 2 + 4, 99);  // past the end
    put_le32(&bytes, 512 * 2 + 8, 400);
    write_bytes(path("memo.EDT"), bytes);
    ASSERT_TRUE(open(file_));
    EXPECT_EQ(read_field("M"), Value(std::string()));
    EXPECT_EQ(last_database_error(), -59);
    close_database(file_);

    write_bytes(path("memo.EDT"), "WEDT");
    EXPECT_FALSE(open(file_));
    EXPECT_EQ(last_database_error(), -35);
}

TEST_F(ChainTest, ShortAuxiliaryFileIsRepairedReadWriteOnly) {
    ASSERT_TRUE(append_record({1, std::string(1800, 'a')}));  // blocks 1-4
    close_database(file_);
    std::string bytes = aux();
    bytes.resize(512 * 3);
    write_bytes(path("memo.EDT"), bytes);
    OpenOptions read_only;
    read_only.read_only = true;
    EXPECT_FALSE(open(file_, read_only));
    EXPECT_EQ(last_database_error(), -37);
    ASSERT_TRUE(open(file_));
    EXPECT_EQ(le32(aux(), 16), 3);
}

TEST(MessageForCodeTest, TableEdges) {
    EXPECT_EQ(message_for_code(0), "");
    EXPECT_EQ(message_for_code(-80), "无效的密码文本");
    EXPECT_EQ(message_for_code(-81), "未知错误");
    EXPECT_EQ(message_for_code(5), "未知错误");
    EXPECT_EQ(message_for_code(-77), "未知错误");
    EXPECT_EQ(message_for_code(-16), "字段数目必须大于 0 ");
    EXPECT_EQ(code_for_file_error(platform::FileError::kSharingViolation), -12);
    EXPECT_EQ(code_for_file_error(platform::FileError::kLockViolation), -13);
}

using CommandsDeathTest = CommandsTest;

TEST_F(CommandsDeathTest, ReadFieldWithoutDatabaseOrFieldIsFatal) {
    const auto report = [] {
        set_fatal_report([](const std::string& text) { std::fputs(text.c_str(), stderr); });
    };
    const std::string expected_start = "运行时出错!\n\n错误信息：";
    // The engine ends the process with status -1, which POSIX systems report modulo 256.
#ifdef _WIN32
    constexpr int kFatalStatus = -1;
#else
    constexpr int kFatalStatus = 255;
#endif
    EXPECT_EXIT((report(), read_field("ID")), ::testing::ExitedWithCode(kFatalStatus),
                ::testing::HasSubstr(expected_start + "未指定当前数据库或者指定数据库未打开"));
    const std::string file = make_store("data.edb", 1);
    ASSERT_TRUE(open(file));
    EXPECT_EXIT((report(), read_field("nope")), ::testing::ExitedWithCode(kFatalStatus),
                ::testing::HasSubstr(expected_start + "指定字段不存在"));
    EXPECT_EXIT((report(), read_field(7)), ::testing::ExitedWithCode(kFatalStatus), ::testing::HasSubstr("指定字段不存在"));
    EXPECT_EXIT((report(), find_record(std::function<bool()>())), ::testing::ExitedWithCode(kFatalStatus),
                ::testing::HasSubstr("用作进行条件判断的子语句参数只能接受逻辑型数据"));
    EXPECT_EXIT((report(), find_record(FieldIs{"nope", 1})), ::testing::ExitedWithCode(kFatalStatus),
                ::testing::HasSubstr("指定字段不存在"));
}

}  // namespace
}  // namespace quillet::db
