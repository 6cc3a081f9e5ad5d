#include "app/sync_revision.h"

#include <gtest/gtest.h>

#include "platform/settings_file.h"
#include "tests/support/temp_directory.h"

namespace quillet::app {
namespace {

TEST(SyncRevisionTest, RecordsTheLastRevisionBesideTheOtherSettings) {
    const test::TempDirectory dir;
    const std::string ftp_ini = dir.path() + "/ftp.ini";
    EXPECT_EQ(last_exchanged_revision(ftp_ini), 0u) << "no file yet";
    ASSERT_TRUE(platform::write_setting(ftp_ini, "ftp", "lu", "kept"));

    ASSERT_TRUE(record_exchanged_revision(ftp_ini, 18446744073709551615u));
    EXPECT_EQ(last_exchanged_revision(ftp_ini), 18446744073709551615u);
    ASSERT_TRUE(record_exchanged_revision(ftp_ini, 12));
    EXPECT_EQ(last_exchanged_revision(ftp_ini), 12u);
    EXPECT_EQ(platform::read_setting(ftp_ini, "ftp", "lu"), "kept");
}

TEST(SyncRevisionTest, AValueThatIsNoRevisionCountsAsNone) {
    const test::TempDirectory dir;
    const std::string ftp_ini = dir.path() + "/ftp.ini";
    for (const char* stored : {"", "-1", "12x", "18446744073709551616", "0x10"}) {
        ASSERT_TRUE(platform::write_setting(ftp_ini, "ftp", "banben", stored));
        EXPECT_EQ(last_exchanged_revision(ftp_ini), 0u) << stored;
    }
}

TEST(SyncRevisionTest, OnlyARevisionBelowTheLastIsOlder) {
    EXPECT_TRUE(check_not_older(5, 5).ok());
    EXPECT_TRUE(check_not_older(6, 5).ok());
    EXPECT_TRUE(check_not_older(0, 0).ok()) << "nothing exchanged yet";
    const platform::Status older = check_not_older(4, 5);
    EXPECT_EQ(older.code(), kOlderRevision);
    EXPECT_EQ(older.message(), "服务器上的数据比上次同步的旧");
}

}  // namespace
}  // namespace quillet::app
