#include "ftp/listing_parser.h"

#include <gtest/gtest.h>

#include "platform/date_time.h"

namespace quillet::ftp {
namespace {

double date_time(int year, int month, int day, int hour, int minute, int second = 0) {
    platform::CalendarFields fields{year, month, day, hour, minute, second, 0};
    double value = 0;
    EXPECT_TRUE(platform::calendar_to_date_time(fields, &value));
    return value;
}

TEST(ListingParser, MlsdFactsGiveTypeSizeAndTime) {
    const auto entries = parse_mlsd(
        "type=cdir;modify=20211006120000; .\r\n"
        "Type=DIR;Modify=20211006120000;perm=el; sub dir\r\n"
        "size=42;type=file;modify=20211006083015.250; name; with semicolon.txt\r\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[1].name, "sub dir");
    EXPECT_EQ(entries[1].attributes, 0x10u);
    EXPECT_EQ(entries[2].name, "name; with semicolon.txt");
    EXPECT_EQ(entries[2].attributes, 0x80u);
    EXPECT_EQ(entries[2].size, 42);
    EXPECT_DOUBLE_EQ(entries[2].last_write_time, date_time(2021, 10, 6, 8, 30, 15));
}

TEST(ListingParser, UnixAndDosListLines) {
    const platform::LocalTime now{2021, 10, 6, 12, 0, 0, 0};
    const auto entries = parse_list(
        "total 12\r\n"
        "drwxr-xr-x   2 owner group      4096 Oct  5 09:15 sub dir\r\n"
        "-rw-r--r--   1 owner group 123456789 Dec 24  2019 old.edb\r\n"
        "-rw-r--r--   1 owner          7 Nov 30 23:59 no group.txt\r\n"
        "lrwxrwxrwx   1 owner group         4 Oct  1 10:00 link -> target\r\n"
        "10-06-21  01:05PM       <DIR>          dos dir\r\n"
        "10-06-21  12:30AM                  512 dos.bin\r\n"
        "garbage line\r\n",
        now);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].name, "sub dir");
    EXPECT_EQ(entries[0].attributes, 0x10u);
    EXPECT_DOUBLE_EQ(entries[0].last_write_time, date_time(2021, 10, 5, 9, 15));
    EXPECT_EQ(entries[1].size, 123456789);
    EXPECT_DOUBLE_EQ(entries[1].last_write_time, date_time(2019, 12, 24, 0, 0));
    EXPECT_EQ(entries[2].name, "no group.txt");
    // A year-less date after today belongs to last year.
    EXPECT_DOUBLE_EQ(entries[2].last_write_time, date_time(2020, 11, 30, 23, 59));
    EXPECT_EQ(entries[3].name, "link");
    EXPECT_EQ(entries[4].name, "dos dir");
    EXPECT_EQ(entries[4].attributes, 0x10u);
    EXPECT_DOUBLE_EQ(entries[4].last_write_time, date_time(2021, 10, 6, 13, 5));
    EXPECT_EQ(entries[5].size, 512);
    EXPECT_DOUBLE_EQ(entries[5].last_write_time, date_time(2021, 10, 6, 0, 30));
}

}  // namespace
}  // namespace quillet::ftp
