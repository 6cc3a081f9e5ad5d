// CSV samples in the layouts of each format, written here as UTF-8 (u8"") like the files
// other managers export; the records they plan are GBK, written as plain literals.
#include "app/record_transfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/text_cipher.h"

namespace quillet::app {
namespace {

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

ImportPlan plan_of(std::string_view csv, CsvLayout layout, const CsvLimits& limits = kImportLimits) {
    return plan_import(csv_text_source(csv), layout, limits);
}

struct Expected {
    std::string platform, account, password, address, remark;
};

void expect_records(const ImportPlan& plan, const std::vector<Expected>& expected) {
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    ASSERT_EQ(plan.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plan.records[i].platform, expected[i].platform);
        EXPECT_EQ(plan.records[i].account, expected[i].account);
        EXPECT_EQ(plan.records[i].password, expected[i].password);
        EXPECT_EQ(plan.records[i].address, expected[i].address);
        EXPECT_EQ(plan.records[i].remark, expected[i].remark);
    }
}

TEST(RecordTransferTest, KeepassxcColumnsAreFoundByNameWhateverTheirOrder) {
    const std::string csv = utf8(
        u8"\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\"\r\n"
        u8"\"Root\",\"微博\",\"bob\",\"p,w\"\"1\",\"https://weibo.com\",\"第一行\r\n第二行\",\"\",\"0\"\r\n"
        u8"\"Root/Work\",\"Mail\",\"\",\"pw2\",\"\",\"\",\"\",\"0\"\r\n");
    expect_records(plan_of(csv, CsvLayout::kKeepassxc),
                   {{"微博", "bob", "p,w\"1", "https://weibo.com", "第一行\r\n第二行"}, {"Mail", "", "pw2", "", ""}});
    // Reordered columns and different letter case in the header still map.
    const std::string reordered = utf8(u8"notes,PASSWORD,title,url,username\nn,pw,T,u,a\n");
    expect_records(plan_of(reordered, CsvLayout::kKeepassxc), {{"T", "a", "pw", "u", "n"}});
}

TEST(RecordTransferTest, BitwardenChromeAndFirefoxLayoutsMapToTheFiveFields) {
    const std::string bitwarden = utf8(
        u8"folder,favorite,type,name,notes,fields,reminder,login_uri,login_username,login_password,login_totp\n"
        u8"Social,1,login,微信,\"备注, 逗号\",,,https://wx.qq.com,小明,密码123,\n"
        u8",,note,Secure note,only text,,,,,,\n");
    expect_records(
        plan_of(bitwarden, CsvLayout::kBitwarden),
        {{"微信", "小明", "密码123", "https://wx.qq.com", "备注, 逗号"}, {"Secure note", "", "", "", "only text"}});

    const std::string chrome = utf8(
        u8"name,url,username,password,note\n"
        u8"example.com,https://example.com/login,ann,\"a\"\"b\",\"line1\nline2\"\n");
    expect_records(plan_of(chrome, CsvLayout::kChrome),
                   {{"example.com", "ann", "a\"b", "https://example.com/login", "line1\nline2"}});
    // Older exports have no note column.
    expect_records(plan_of("name,url,username,password\nn,u,a,p\n", CsvLayout::kChrome), {{"n", "a", "p", "u", ""}});

    const std::string firefox = utf8(
        u8"\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
        u8"\"timeLastUsed\",\"timePasswordChanged\"\n"
        u8"\"https://user@mail.example.org:8443/inbox\",\"me\",\"s3\",,\"https://mail.example.org\","
        u8"\"{1}\",\"1\",\"2\",\"3\"\n");
    expect_records(plan_of(firefox, CsvLayout::kFirefox),
                   {{"mail.example.org", "me", "s3", "https://user@mail.example.org:8443/inbox", ""}});
}

TEST(RecordTransferTest, RowsBreakingALimitAreRejectedByTheirLineAndTheRestKept) {
    const std::string long_password(124, 'p');
    const std::string long_remark(256, 'r');
    const std::string csv =
        "platform,account,password,address,remark\n"
        "ok,a,pw,,\n"
        "toolong,a," +
        long_password +
        ",,\n"
        "\"multi\nline\",a,pw,,\n"
        "remark,a,pw,," +
        long_remark + "\n" + utf8(u8"emoji,a,pw😀,,\n") + std::string(123, 'x') + ",a," + std::string(123, 'q') +
        ",,\n"
        "bad\xFF"
        "utf8,a,pw,,\n"
        ",,,,\n";
    const ImportPlan planned = plan_of(csv, CsvLayout::kQuillet);
    ASSERT_TRUE(planned.error.empty()) << planned.error;
    ASSERT_EQ(planned.records.size(), 2u);
    EXPECT_EQ(planned.records[0].platform, "ok");
    EXPECT_EQ(planned.records[1].password, std::string(123, 'q'));  // exactly the limit fits
    ASSERT_EQ(planned.rejected.size(), 5u);
    EXPECT_EQ(planned.rejected[0].line, 3);
    EXPECT_NE(planned.rejected[0].reason.find("password is longer than 123 bytes"), std::string::npos);
    // A line break only in the remark, as the record window's boxes take them.
    EXPECT_EQ(planned.rejected[1].line, 4);
    EXPECT_EQ(planned.rejected[1].reason, "the platform holds a control character (byte 0x0A)");
    EXPECT_EQ(planned.rejected[2].line, 6);
    EXPECT_NE(planned.rejected[2].reason.find("remark is longer than 255 bytes"), std::string::npos);
    EXPECT_EQ(planned.rejected[3].line, 7);
    EXPECT_NE(planned.rejected[3].reason.find("password holds characters"), std::string::npos);
    EXPECT_EQ(planned.rejected[4].line, 9);
    EXPECT_NE(planned.rejected[4].reason.find("platform holds characters"), std::string::npos);
}

TEST(RecordTransferTest, ControlCharactersAreRejectedOutsideTheRemarksTabsAndLineBreaks) {
    using namespace std::string_literals;
    const std::string csv =
        "platform,account,password,address,remark\n"
        "nul,a,pass\0word-tail,,\n"s
        "tab,a\tb,pw,,\n"
        "del,a,pw,x\x7F,\n"
        "bell,a,pw,,ring\a\n"
        "\"cr\rin name\",a,pw,,\n"
        "kept,a,pw,,\"tab\there\r\nnext line\"\n";
    const ImportPlan planned = plan_of(csv, CsvLayout::kQuillet);
    ASSERT_TRUE(planned.error.empty()) << planned.error;
    expect_records({planned.records, {}, ""}, {{"kept", "a", "pw", "", "tab\there\r\nnext line"}});
    const std::vector<std::pair<int, std::string>> expected = {
        {2, "the password holds a control character (byte 0x00)"},
        {3, "the account holds a control character (byte 0x09)"},
        {4, "the address holds a control character (byte 0x7F)"},
        {5, "the remark holds a control character (byte 0x07)"},
        {6, "the platform holds a control character (byte 0x0D)"}};
    ASSERT_EQ(planned.rejected.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(planned.rejected[i].line, expected[i].first);
        EXPECT_EQ(planned.rejected[i].reason, expected[i].second);
    }
}

TEST(RecordTransferTest, FieldsPastTheReadersLimitAreRejectedByTheirStoreLimit) {
    // Past kImportLimits' 1 KiB a field is not kept whole; it is still named with its limit.
    const std::string huge(5000, 'x');
    std::string csv = "Title,Password,Username,URL,Notes,Attachment\n";
    csv += "t1," + huge + ",,,,\n";
    csv += "t2,pw,,,," + huge + "\n";
    csv += "t3,pw,,," + huge + ",\n";
    const ImportPlan planned = plan_of(csv, CsvLayout::kKeepassxc);
    ASSERT_TRUE(planned.error.empty()) << planned.error;
    // A long column that is not imported does not matter.
    expect_records({planned.records, {}, ""}, {{"t2", "", "pw", "", ""}});
    ASSERT_EQ(planned.rejected.size(), 2u);
    EXPECT_EQ(planned.rejected[0].line, 2);
    EXPECT_EQ(planned.rejected[0].reason, "the password is longer than 123 bytes");
    EXPECT_EQ(planned.rejected[1].line, 4);
    EXPECT_EQ(planned.rejected[1].reason, "the remark is longer than 255 bytes");
}

TEST(RecordTransferTest, AFileOverItsLimitPlansNothingThoughItsFirstRowsWereGood) {
    const std::string csv = "platform,account,password,address,remark\nok,a,pw,,\nlate,a,pw,,\n";
    CsvLimits limits = kImportLimits;
    limits.input_bytes = csv.size() - 1;
    const ImportPlan over = plan_of(csv, CsvLayout::kQuillet, limits);
    EXPECT_EQ(over.error, "the file is larger than " + std::to_string(csv.size() - 1) + " bytes");
    EXPECT_TRUE(over.records.empty());
    limits.input_bytes = csv.size();
    EXPECT_EQ(plan_of(csv, CsvLayout::kQuillet, limits).records.size(), 2u);
    EXPECT_EQ(kImportLimits.input_bytes, 64u << 20);
    // The header counts as a row.
    limits.rows = 2;
    const ImportPlan too_many = plan_of(csv, CsvLayout::kQuillet, limits);
    EXPECT_EQ(too_many.error, "the file has more than 2 rows");
    EXPECT_TRUE(too_many.records.empty());
}

TEST(RecordTransferTest, MissingColumnsOrBrokenFilesPlanNothing) {
    const ImportPlan missing = plan_of("Title,Username,URL\nt,u,x\n", CsvLayout::kKeepassxc);
    EXPECT_NE(missing.error.find("\"Password\""), std::string::npos) << missing.error;
    EXPECT_TRUE(missing.records.empty());
    EXPECT_FALSE(plan_of("", CsvLayout::kQuillet).error.empty());
    EXPECT_FALSE(plan_of("platform,account,password,address,remark\n\"open", CsvLayout::kQuillet).error.empty());
    EXPECT_EQ(csv_layout_named("keepassxc"), CsvLayout::kKeepassxc);
    EXPECT_EQ(csv_layout_named("KeePassXC"), std::nullopt);
}

TEST(RecordTransferTest, ExportReadsBackAsTheSameRecords) {
    std::vector<Record> records = {
        {1, "微博", "bob", encipher("p,w\"1", kCipherKey), "https://weibo.com", "第一行\r\n第二行"},
        {7, "", "", encipher("", kCipherKey), "", ""},
        {9, " spaced ", "a,b", encipher("密码", kCipherKey), "x", "\"quoted\""},
    };
    const std::string csv = export_csv(records);
    EXPECT_EQ(csv.rfind("platform,account,password,address,remark\r\n", 0), 0u);
    const ImportPlan planned = plan_of(csv, CsvLayout::kQuillet);
    // The record with nothing in it is not planned again.
    expect_records(planned, {{"微博", "bob", "p,w\"1", "https://weibo.com", "第一行\r\n第二行"},
                             {" spaced ", "a,b", "密码", "x", "\"quoted\""}});
}

}  // namespace
}  // namespace quillet::app
