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
    expect_records(plan_import(csv, CsvLayout::kKeepassxc),
                   {{"微博", "bob", "p,w\"1", "https://weibo.com", "第一行\r\n第二行"}, {"Mail", "", "pw2", "", ""}});
    // Reordered columns and different letter case in the header still map.
    const std::string reordered = utf8(u8"notes,PASSWORD,title,url,username\nn,pw,T,u,a\n");
    expect_records(plan_import(reordered, CsvLayout::kKeepassxc), {{"T", "a", "pw", "u", "n"}});
}

TEST(RecordTransferTest, BitwardenChromeAndFirefoxLayoutsMapToTheFiveFields) {
    const std::string bitwarden = utf8(
        u8"folder,favorite,type,name,notes,fields,reminder,login_uri,login_username,login_password,login_totp\n"
        u8"Social,1,login,微信,\"备注, 逗号\",,,https://wx.qq.com,小明,密码123,\n"
        u8",,note,Secure note,only text,,,,,,\n");
    expect_records(
        plan_import(bitwarden, CsvLayout::kBitwarden),
        {{"微信", "小明", "密码123", "https://wx.qq.com", "备注, 逗号"}, {"Secure note", "", "", "", "only text"}});

    const std::string chrome = utf8(
        u8"name,url,username,password,note\n"
        u8"example.com,https://example.com/login,ann,\"a\"\"b\",\"line1\nline2\"\n");
    expect_records(plan_import(chrome, CsvLayout::kChrome),
                   {{"example.com", "ann", "a\"b", "https://example.com/login", "line1\nline2"}});
    // Older exports have no note column.
    expect_records(plan_import("name,url,username,password\nn,u,a,p\n", CsvLayout::kChrome),
                   {{"n", "a", "p", "u", ""}});

    const std::string firefox = utf8(
        u8"\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
        u8"\"timeLastUsed\",\"timePasswordChanged\"\n"
        u8"\"https://user@mail.example.org:8443/inbox\",\"me\",\"s3\",,\"https://mail.example.org\","
        u8"\"{1}\",\"1\",\"2\",\"3\"\n");
    expect_records(plan_import(firefox, CsvLayout::kFirefox),
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
    const ImportPlan plan = plan_import(csv, CsvLayout::kQuillet);
    ASSERT_TRUE(plan.error.empty()) << plan.error;
    ASSERT_EQ(plan.records.size(), 3u);
    EXPECT_EQ(plan.records[0].platform, "ok");
    EXPECT_EQ(plan.records[1].platform, "multi\nline");
    EXPECT_EQ(plan.records[2].password, std::string(123, 'q'));  // exactly the limit fits
    ASSERT_EQ(plan.rejected.size(), 4u);
    EXPECT_EQ(plan.rejected[0].line, 3);
    EXPECT_NE(plan.rejected[0].reason.find("password is longer than 123 bytes"), std::string::npos);
    EXPECT_EQ(plan.rejected[1].line, 6);
    EXPECT_NE(plan.rejected[1].reason.find("remark is longer than 255 bytes"), std::string::npos);
    EXPECT_EQ(plan.rejected[2].line, 7);
    EXPECT_NE(plan.rejected[2].reason.find("password holds characters"), std::string::npos);
    EXPECT_EQ(plan.rejected[3].line, 9);
    EXPECT_NE(plan.rejected[3].reason.find("platform holds characters"), std::string::npos);
}

TEST(RecordTransferTest, MissingColumnsOrBrokenFilesPlanNothing) {
    const ImportPlan missing = plan_import("Title,Username,URL\nt,u,x\n", CsvLayout::kKeepassxc);
    EXPECT_NE(missing.error.find("\"Password\""), std::string::npos) << missing.error;
    EXPECT_TRUE(missing.records.empty());
    EXPECT_FALSE(plan_import("", CsvLayout::kQuillet).error.empty());
    EXPECT_FALSE(plan_import("platform,account,password,address,remark\n\"open", CsvLayout::kQuillet).error.empty());
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
    const ImportPlan plan = plan_import(csv, CsvLayout::kQuillet);
    // The record with nothing in it is not planned again.
    expect_records(plan, {{"微博", "bob", "p,w\"1", "https://weibo.com", "第一行\r\n第二行"},
                          {" spaced ", "a,b", "密码", "x", "\"quoted\""}});
}

}  // namespace
}  // namespace quillet::app
