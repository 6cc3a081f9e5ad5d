#include "ftp/local_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/date_time.h"

namespace quillet::ftp {
namespace {

double date_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    platform::CalendarFields f;
    f.year = year, f.month = month, f.day = day, f.hour = hour, f.minute = minute, f.second = second;
    double value = 0;
    EXPECT_TRUE(platform::calendar_to_date_time(f, &value));
    return value;
}

TEST(FormatDateTimeTest, BackupDatePicture) {
    EXPECT_EQ(FormatDateTime(date_time(2022, 1, 1), "yyyy-M-d"), "2022-1-1");
    EXPECT_EQ(FormatDateTime(date_time(2021, 10, 6), "yyyy-M-d"), "2021-10-6");
    EXPECT_EQ(FormatDateTime(date_time(1899, 12, 29, 6), "yyyy-M-d"), "1899-12-29");
}

TEST(FormatDateTimeTest, ShortPicturesGiveEmptyPartsAndBadValuesEmptyText) {
    double value = date_time(2022, 1, 1, 13, 5, 9);
    EXPECT_EQ(FormatDateTime(value), "");
    EXPECT_EQ(FormatDateTime(value, "yy"), "");
    EXPECT_EQ(FormatDateTime(value, "yy", "HH:mm"), "13:05");
    EXPECT_EQ(FormatDateTime(value, "yyyy", "ss"), "2022");
    EXPECT_EQ(FormatDateTime(1e9, "yyyy-M-d"), "");
    EXPECT_EQ(FormatDateTime(value, std::string(60, '-')), "");  // does not fit the 50-byte buffer
}

TEST(FormatDateTimeTest, DateAndTimeElements) {
    double value = date_time(2021, 3, 7, 13, 5, 9);  // a Sunday
    EXPECT_EQ(FormatDateTime(value, "dd/MM/yy"), "07/03/21");
    EXPECT_EQ(FormatDateTime(value, "y d M"), "21 7 3");
    EXPECT_EQ(FormatDateTime(value, "yyyy年M月d日 dddd"), "2021年3月7日 星期日");
    EXPECT_EQ(FormatDateTime(value, "ddd MMM MMMM gg"), "周日 3月 三月 公元");
    EXPECT_EQ(FormatDateTime(value, "'day' d 'it''s'"), "day 7 it's");
    EXPECT_EQ(FormatDateTime(value, "yyyy-M-d", " H:m:s"), "2021-3-7 13:5:9");
    EXPECT_EQ(FormatDateTime(value, "", "hh:mm:ss tt"), "01:05:09 下午");
    EXPECT_EQ(FormatDateTime(value, "", "h:mm t"), "1:05 下");
    EXPECT_EQ(FormatDateTime(value, "", "hh:mm tt", true), "13:05 ");
    EXPECT_EQ(FormatDateTime(date_time(2021, 3, 7, 0, 30), "", "h:mm tt"), "12:30 上午");
}

TEST(IsValidFilePathTest, WindowsStylePaths) {
    EXPECT_TRUE(IsValidFilePath("C:\\backup\\data2021-10-6.edb"));
    EXPECT_TRUE(IsValidFilePath("c:/x/y.edb"));
    EXPECT_FALSE(IsValidFilePath("\\\\server\\share\\data.edb"));  // first character not a letter
    EXPECT_FALSE(IsValidFilePath("C:\\dir\\"));                    // final component "dir\"
    EXPECT_FALSE(IsValidFilePath("D:data.edb"));                   // neither ":\" nor ":/"
    EXPECT_FALSE(IsValidFilePath("C:\\dir\\a|b.edb"));
    EXPECT_FALSE(IsValidFilePath(""));
    EXPECT_TRUE(IsValidFilePath("C:\\dir\\name"));  // extension optional by default
}

TEST(IsValidFilePathTest, RequiredExtensionNeedsADotInsideTheName) {
    EXPECT_FALSE(IsValidFilePath("C:\\dir\\.edb", false));
    EXPECT_FALSE(IsValidFilePath("C:\\dir\\name.", false));
    EXPECT_FALSE(IsValidFilePath("C:\\dir\\name", false));
    EXPECT_TRUE(IsValidFilePath("C:\\dir\\name.edb", false));
}

TEST(IsValidFilePathTest, LinuxAbsolutePathsTakeThePlaceOfTheDriveTests) {
    EXPECT_TRUE(IsValidFilePath("/home/user/quillet/data2021-10-6.edb"));
    EXPECT_TRUE(IsValidFilePath("/home/user/quillet/data2021-10-6.edb", false));
    EXPECT_FALSE(IsValidFilePath("//server/share/data.edb"));
    EXPECT_FALSE(IsValidFilePath("relative/data.edb"));
    EXPECT_FALSE(IsValidFilePath("/home/user/"));
    EXPECT_FALSE(IsValidFilePath("/home/user/a*b.edb"));
}

TEST(PathPartsTest, FinalComponentAndExtension) {
    EXPECT_EQ(GetFileNamePart("C:\\dir\\data.edb", true), "data.edb");
    EXPECT_EQ(GetFileNamePart("C:\\dir\\data.edb", false), "data");
    EXPECT_EQ(GetFileNamePart("C:\\dir\\", true), "dir\\");
    EXPECT_EQ(GetFileNamePart("D:data.edb", true), "data.edb");
    EXPECT_EQ(GetFileNamePart("/a/b.c/name", true), "name");
    EXPECT_EQ(GetFileNamePart("\\\\", true), "");  // begins with "\"
    EXPECT_EQ(GetExtensionPart("C:\\dir\\data.tar.gz"), ".gz");
    EXPECT_EQ(GetExtensionPart("C:\\dir.x\\data"), "");
    EXPECT_EQ(GetExtensionPart("/dir.x/data"), "");
    EXPECT_EQ(GetExtensionPart("C:\\a.b c"), "");  // a space after the dot ends it, as on Windows
    EXPECT_EQ(GetFileNamePart("C:\\dir\\name.", false), "name");
}

TEST(PathPartsTest, DoubleByteCharactersAreNotSplitAtTheirSecondByte) {
    // Two GBK characters whose second bytes are "\" (0xB8 0x5C) and "|" (0xAB 0x7C).
    const std::string with_backslash_byte = "\xB8\x5C";
    const std::string with_bar_byte = "\xAB\x7C";
    EXPECT_EQ(GetFileNamePart("C:\\备份\\" + with_backslash_byte + ".edb", true), with_backslash_byte + ".edb");
    EXPECT_FALSE(HasIllegalNameCharacter(with_bar_byte + "表.edb"));
    EXPECT_TRUE(IsValidFilePath("C:\\dir\\" + with_bar_byte + with_backslash_byte + ".edb", false));
}

TEST(HasIllegalNameCharacterTest, EachOfTheNine) {
    for (char c : std::string("?/\\<>*|:\"")) EXPECT_TRUE(HasIllegalNameCharacter(std::string("a") + c + "b")) << c;
    EXPECT_FALSE(HasIllegalNameCharacter("data2021-10-6.edb"));
    EXPECT_FALSE(HasIllegalNameCharacter(""));
}

class MoveFileCheckedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ =
            std::filesystem::temp_directory_path() / ("quillet_move_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }
    std::string path(const std::string& name) { return (directory_ / name).string(); }
    void put(const std::string& name, const std::string& bytes) { std::ofstream(path(name)) << bytes; }
    std::string read(const std::string& name) {
        std::ifstream in(path(name));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path directory_;
};

TEST_F(MoveFileCheckedTest, MovesToAFreeValidPath) {
    put("data.edb", "records");
    ASSERT_TRUE(MoveFileChecked(path("data.edb"), path("data2021-10-6.edb")));
    EXPECT_FALSE(std::filesystem::exists(path("data.edb")));
    EXPECT_EQ(read("data2021-10-6.edb"), "records");
}

TEST_F(MoveFileCheckedTest, ExistingDestinationOrInvalidPathChangesNothing) {
    put("data.edb", "new");
    put("data2021-10-6.edb", "old backup");
    EXPECT_FALSE(MoveFileChecked(path("data.edb"), path("data2021-10-6.edb")));
    EXPECT_FALSE(MoveFileChecked(path("data.edb"), path("a|b.edb")));
    EXPECT_FALSE(MoveFileChecked(path("data.edb"), "relative.edb"));
    EXPECT_EQ(read("data.edb"), "new");
    EXPECT_EQ(read("data2021-10-6.edb"), "old backup");
    EXPECT_FALSE(std::filesystem::exists(path("a|b.edb")));
}

}  // namespace
}  // namespace quillet::ftp
