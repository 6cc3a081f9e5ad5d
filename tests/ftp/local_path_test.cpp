#include "ftp/local_path.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(format_date_time(date_time(2022, 1, 1), "yyyy-M-d"), "2022-1-1");
    EXPECT_EQ(format_date_time(date_time(2021, 10, 6), "yyyy-M-d"), "2021-10-6");
    EXPECT_EQ(format_date_time(date_time(1899, 12, 29, 6), "yyyy-M-d"), "1899-12-29");
}

TEST(FormatDateTimeTest, ShortPicturesGiveEmptyPartsAndBadValuesEmptyText) {
    double value = date_time(2022, 1, 1, 13, 5, 9);
    EXPECT_EQ(format_date_time(value), "");
    EXPECT_EQ(format_date_time(value, "yy"), "");
    EXPECT_EQ(format_date_time(value, "yy", "HH:mm"), "13:05");
    EXPECT_EQ(format_date_time(value, "yyyy", "ss"), "2022");
    EXPECT_EQ(format_date_time(1e9, "yyyy-M-d"), "");
    EXPECT_EQ(format_date_time(value, std::string(60, '-')), "");  // does not fit the 50-byte buffer
}

TEST(FormatDateTimeTest, DateAndTimeElements) {
    double value = date_time(2021, 3, 7, 13, 5, 9);  // a Sunday
    EXPECT_EQ(format_date_time(value, "dd/MM/yy"), "07/03/21");
    EXPECT_EQ(format_date_time(value, "y d M"), "21 7 3");
    EXPECT_EQ(format_date_time(value, "yyyy年M月d日 dddd"), "2021年3月7日 星期日");
    EXPECT_EQ(format_date_time(value, "ddd MMM MMMM gg"), "周日 3月 三月 公元");
    EXPECT_EQ(format_date_time(value, "'day' d 'it''s'"), "day 7 it's");
    EXPECT_EQ(format_date_time(value, "yyyy-M-d", " H:m:s"), "2021-3-7 13:5:9");
    EXPECT_EQ(format_date_time(value, "", "hh:mm:ss tt"), "01:05:09 下午");
    EXPECT_EQ(format_date_time(value, "", "h:mm t"), "1:05 下");
    EXPECT_EQ(format_date_time(value, "", "hh:mm tt", true), "13:05 ");
    EXPECT_EQ(format_date_time(date_time(2021, 3, 7, 0, 30), "", "h:mm tt"), "12:30 上午");
}

TEST(IsValidFilePathTest, WindowsStylePaths) {
    EXPECT_TRUE(is_valid_file_path("C:\\backup\\data2021-10-6.edb"));
    EXPECT_TRUE(is_valid_file_path("c:/x/y.edb"));
    EXPECT_FALSE(is_valid_file_path("\\\\server\\share\\data.edb"));  // first character not a letter
    EXPECT_FALSE(is_valid_file_path("C:\\dir\\"));                    // final component "dir\"
    EXPECT_FALSE(is_valid_file_path("D:data.edb"));                   // neither ":\" nor ":/"
    EXPECT_FALSE(is_valid_file_path("C:\\dir\\a|b.edb"));
    EXPECT_FALSE(is_valid_file_path(""));
    EXPECT_TRUE(is_valid_file_path("C:\\dir\\name"));  // extension optional by default
}

TEST(IsValidFilePathTest, RequiredExtensionNeedsADotInsideTheName) {
    EXPECT_FALSE(is_valid_file_path("C:\\dir\\.edb", false));
    EXPECT_FALSE(is_valid_file_path("C:\\dir\\name.", false));
    EXPECT_FALSE(is_valid_file_path("C:\\dir\\name", false));
    EXPECT_TRUE(is_valid_file_path("C:\\dir\\name.edb", false));
}

TEST(IsValidFilePathTest, LinuxAbsolutePathsTakeThePlaceOfTheDriveTests) {
    EXPECT_TRUE(is_valid_file_path("/home/user/quillet/data2021-10-6.edb"));
    EXPECT_TRUE(is_valid_file_path("/home/user/quillet/data2021-10-6.edb", false));
    EXPECT_FALSE(is_valid_file_path("//server/share/data.edb"));
    EXPECT_FALSE(is_valid_file_path("relative/data.edb"));
    EXPECT_FALSE(is_valid_file_path("/home/user/"));
    EXPECT_FALSE(is_valid_file_path("/home/user/a*b.edb"));
}

TEST(PathPartsTest, FinalComponentAndExtension) {
    EXPECT_EQ(file_name_part("C:\\dir\\data.edb", true), "data.edb");
    EXPECT_EQ(file_name_part("C:\\dir\\data.edb", false), "data");
    EXPECT_EQ(file_name_part("C:\\dir\\", true), "dir\\");
    EXPECT_EQ(file_name_part("D:data.edb", true), "data.edb");
    EXPECT_EQ(file_name_part("/a/b.c/name", true), "name");
    EXPECT_EQ(file_name_part("\\\\", true), "");  // begins with "\"
    EXPECT_EQ(extension_part("C:\\dir\\data.tar.gz"), ".gz");
    EXPECT_EQ(extension_part("C:\\dir.x\\data"), "");
    EXPECT_EQ(extension_part("/dir.x/data"), "");
    EXPECT_EQ(extension_part("C:\\a.b c"), "");  // a space after the dot ends it, as on Windows
    EXPECT_EQ(file_name_part("C:\\dir\\name.", false), "name");
}

TEST(PathPartsTest, DoubleByteCharactersAreNotSplitAtTheirSecondByte) {
    // Two GBK characters whose second bytes are "\" (0xB8 0x5C) and "|" (0xAB 0x7C).
    const std::string with_backslash_byte = "\xB8\x5C";
    const std::string with_bar_byte = "\xAB\x7C";
    EXPECT_EQ(file_name_part("C:\\备份\\" + with_backslash_byte + ".edb", true), with_backslash_byte + ".edb");
    EXPECT_FALSE(has_illegal_name_character(with_bar_byte + "表.edb"));
    EXPECT_TRUE(is_valid_file_path("C:\\dir\\" + with_bar_byte + with_backslash_byte + ".edb", false));
}

TEST(HasIllegalNameCharacterTest, EachOfTheNine) {
    for (char c : std::string("?/\\<>*|:\"")) EXPECT_TRUE(has_illegal_name_character(std::string("a") + c + "b")) << c;
    EXPECT_FALSE(has_illegal_name_character("data2021-10-6.edb"));
    EXPECT_FALSE(has_illegal_name_character(""));
}

}  // namespace
}  // namespace quillet::ftp
