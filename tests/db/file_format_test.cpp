#include <gtest/gtest.h>

#include "db/database_info.h"
#include "db/result_code.h"
#include "db_test_support.h"

namespace quillet::db {
namespace {

using testing::DbTest;
using testing::le32;
using testing::put_le32;

class FileFormatTest : public DbTest {};

std::string expected_empty_store() {
    std::string bytes(548, '\0');
    bytes.replace(0, 4, "WEDB");
    put_le32(&bytes, 4, 0x00010000);
    const double stamp = 44474.76592592592;
    std::memcpy(bytes.data() + 8, &stamp, 8);
    put_le32(&bytes, 16, 0);
    put_le32(&bytes, 20, 5);
    put_le32(&bytes, 24, 1283);
    put_le32(&bytes, 112, 6);
    const char* names[] = {"ID", "平台", "账号", "密码", "网址", "备注"};
    const std::int32_t offsets[] = {4, 8, 263, 518, 773, 1028};
    for (int i = 0; i < 6; ++i) {
        const std::size_t d = 116 + 72 * static_cast<std::size_t>(i);
        std::memcpy(bytes.data() + d, names[i], std::strlen(names[i]));
        put_le32(&bytes, d + 20, i == 0 ? 3 : 10);
        put_le32(&bytes, d + 24, offsets[i]);
        put_le32(&bytes, d + 28, i == 0 ? 0 : 255);
    }
    return bytes;
}

TEST_F(FileFormatTest, EmptyCredentialStoreIsTheShippedImage) {
    const std::string file = path("data.edb");
    ASSERT_TRUE(create_database(file, testing::credential_fields(), CreateOptions{44474.76592592592, 5}));
    const std::string bytes = bytes_of(file);
    ASSERT_EQ(bytes.size(), 548u);
    EXPECT_EQ(bytes, expected_empty_store());
    // The GBK names, not UTF-8.
    EXPECT_EQ(static_cast<unsigned char>(bytes[188]), 0xC6);
    EXPECT_EQ(static_cast<unsigned char>(bytes[189]), 0xBD);

    ASSERT_TRUE(open(file));
    DatabaseInfo info;
    ASSERT_TRUE(current_database_info(&info));
    EXPECT_EQ(info.data_start, 548);
    EXPECT_EQ(info.record_size, 1283);
    EXPECT_EQ(info.next_serial, 5);
    EXPECT_EQ(record_count(), 0);
}

TEST_F(FileFormatTest, CreateChecksNamesTypesAndSizes) {
    const std::string file = path("t.edb");
    EXPECT_FALSE(create_database(file, {}));
    EXPECT_EQ(last_database_error(), -16);
    EXPECT_FALSE(create_database(file, {{"A", static_cast<FieldType>(13), 0}}));
    EXPECT_EQ(last_database_error(), -17);
    for (const char* bad : {"", "1abc", "a_b", "a b", "abcdefghijklmnopq"}) {
        EXPECT_FALSE(create_database(file, {{bad, FieldType::kInt, 0}})) << bad;
        EXPECT_EQ(last_database_error(), -18) << bad;
    }
    EXPECT_TRUE(create_database(file, {{"名称Ａ１b2", FieldType::kInt, 0}}));
    EXPECT_FALSE(create_database(file, {{"T", FieldType::kText, 0}}));
    EXPECT_EQ(last_database_error(), -19);
    EXPECT_FALSE(create_database(file, {{"Name", FieldType::kInt, 0}, {"nAME", FieldType::kByte, 0}}));
    EXPECT_EQ(last_database_error(), -20);
}

TEST_F(FileFormatTest, EveryOpenCheckHasItsCode) {
    const std::string file = path("data.edb");
    ASSERT_TRUE(create_database(file, testing::credential_fields(), CreateOptions{1, 1}));
    const std::string good = bytes_of(file);
    struct Case {
        const char* what;
        std::function<void(std::string*)> damage;
        std::int32_t code;
    };
    const Case cases[] = {
        {"short header", [](std::string* b) { b->resize(100); }, -22},
        {"magic", [](std::string* b) { (*b)[1] = 'X'; }, -22},
        {"record size 0", [](std::string* b) { put_le32(b, 24, 0); }, -22},
        {"negative count", [](std::string* b) { put_le32(b, 16, -1); }, -22},
        {"next serial 0", [](std::string* b) { put_le32(b, 20, 0); }, -22},
        {"version", [](std::string* b) { put_le32(b, 4, 0x00010001); }, -23},
        {"field count 0", [](std::string* b) { put_le32(b, 112, 0); }, -22},
        {"huge field count", [](std::string* b) { put_le32(b, 112, 0x7FFFFFFF); }, -22},
        {"descriptors cut", [](std::string* b) { b->resize(300); }, -22},
        {"type 13", [](std::string* b) { put_le32(b, 188 + 20, 13); }, -22},
        {"text width 0", [](std::string* b) { put_le32(b, 188 + 28, 0); }, -22},
        {"name without NUL", [](std::string* b) { std::memset(b->data() + 116, 'A', 17); }, -22},
        {"negative offset", [](std::string* b) { put_le32(b, 116 + 24, -4); }, -22},
        {"field past the record", [](std::string* b) { put_le32(b, 476 + 24, 1100); }, -22},
        {"password on a plain file", nullptr, -78},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        if (c.damage) c.damage(&bytes);
        write_bytes(file, bytes);
        OpenOptions options;
        if (!c.damage) options.password = "secret";
        EXPECT_FALSE(open(file, options)) << c.what;
        EXPECT_EQ(last_database_error(), c.code) << c.what;
    }
    EXPECT_FALSE(open(path("missing.edb")));
    EXPECT_EQ(last_database_error(), -3);
    EXPECT_FALSE(open(""));
    EXPECT_EQ(last_database_error(), -3);
}

TEST_F(FileFormatTest, LengthIsReconciledOnReadWriteOpenOnly) {
    const std::string file = make_store("data.edb", 3);
    std::string bytes = bytes_of(file);
    put_le32(&bytes, 16, 5);
    write_bytes(file, bytes);
    OpenOptions read_only;
    read_only.read_only = true;
    EXPECT_FALSE(open(file, read_only));
    EXPECT_EQ(last_database_error(), -48);
    ASSERT_TRUE(open(file));
    EXPECT_EQ(record_count(), 3);
    close_database(file);
    EXPECT_EQ(le32(bytes_of(file), 16), 3);

    write_bytes(file, bytes_of(file) + "xy");
    ASSERT_TRUE(open(file, read_only));
    close_database(file);
    EXPECT_EQ(bytes_of(file).size(), 548u + 3 * 1283 + 2);
    ASSERT_TRUE(open(file));
    close_database(file);
    EXPECT_EQ(bytes_of(file).size(), 548u + 3 * 1283);
}

TEST_F(FileFormatTest, NamesDuplicatesAndIndexFiles) {
    ASSERT_TRUE(create_database(path("data"), testing::credential_fields()));
    EXPECT_TRUE(platform::is_existing_file(path("data.EDB")));
    ASSERT_TRUE(open(path("data")));
    EXPECT_FALSE(open(directory_ + "/./sub/../data.EDB"));
    EXPECT_EQ(last_database_error(), -38);
    EXPECT_EQ(record_count(), 0);  // the first open is untouched
    close_database("DATA");         // by title, case ignored
    EXPECT_FALSE(skip_records(1));
    EXPECT_EQ(last_database_error(), -67);

    OpenOptions with_index;
    with_index.index_files = {"by_id"};
    EXPECT_FALSE(open(path("data"), with_index));
    EXPECT_EQ(last_database_error(), -30);
    with_index.index_files.assign(11, "i");
    EXPECT_FALSE(open(path("data"), with_index));
    EXPECT_EQ(last_database_error(), -34);
    // Nothing was left open: an exclusive open succeeds.
    OpenOptions exclusive;
    exclusive.share_mode = 4;
    EXPECT_TRUE(open(path("data"), exclusive));

    OpenOptions bad_alias;
    bad_alias.alias = "9x";
    EXPECT_FALSE(open(path("other"), bad_alias));
    EXPECT_EQ(last_database_error(), -24);
}

TEST_F(FileFormatTest, ValuesAreStoredAsTheirTypes) {
    const std::string file = path("v.edb");
    ASSERT_TRUE(create_database(file, {{"T", FieldType::kText, 4},
                                       {"D", FieldType::kDateTime, 0},
                                       {"L", FieldType::kBool, 0},
                                       {"B", FieldType::kByte, 0},
                                       {"S", FieldType::kShort, 0},
                                       {"F", FieldType::kFloat, 0}}));
    ASSERT_TRUE(open(file));
    ASSERT_TRUE(append_record({std::string("abcd"), DateTime{3000000}, true, 300.0, std::int32_t{-70000}, 2.5}));
    EXPECT_EQ(read_field("t"), Value(std::string("abcd")));
    EXPECT_EQ(read_field("D"), Value(DateTime{2958465}));
    EXPECT_EQ(read_field(4), Value(std::uint8_t{44}));      // low-order byte of 300
    EXPECT_EQ(read_field(5), Value(std::int16_t{-4464}));   // low-order bytes of -70000
    EXPECT_EQ(read_field(6), Value(2.5f));
    ASSERT_TRUE(append_record({std::string("abcdef"), DateTime{-700000}}));
    EXPECT_EQ(read_field(1), Value(std::string("abcd")));
    EXPECT_EQ(read_field(2), Value(DateTime{-657434}));
    EXPECT_EQ(read_field(3), Value(false));
    EXPECT_FALSE(append_record({std::int32_t{1}}));
    EXPECT_EQ(last_database_error(), -72);
    EXPECT_EQ(record_count(), 2);
    close_database(file);

    // A logical byte of 2 reads as true.
    std::string bytes = bytes_of(file);
    const std::size_t record0 = 116 + 72 * 6;
    bytes[record0 + 4 + 4 + 8] = 2;
    write_bytes(file, bytes);
    ASSERT_TRUE(open(file));
    EXPECT_EQ(read_field("L"), Value(true));
}

}  // namespace
}  // namespace quillet::db
