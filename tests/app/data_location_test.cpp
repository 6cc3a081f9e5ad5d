#include "app/data_location.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/settings_file.h"
#include "tests/support/temp_directory.h"

namespace quillet::app {
namespace {

class DataLocationTest : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(earlier_);
        std::filesystem::create_directories(current_);
    }
    test::TempDirectory temp_;
    std::string earlier_ = earlier_install_directory(temp_.path());
    std::string current_ = temp_.path() + "/.local/share/quillet";
};

TEST_F(DataLocationTest, EarlierDataIsNamedWithWhereItIsAndHowToMoveIt) {
    ASSERT_TRUE(platform::write_setting(earlier_ + "/data.ini", "reg", "reg", "1"));
    const std::string notice = earlier_data_notice(earlier_, current_);
    EXPECT_NE(notice.find("在 " + earlier_ + " 中找到了以前安装的 Quillet 的数据"), std::string::npos) << notice;
    EXPECT_NE(notice.find("mv " + earlier_ + "/data* " + earlier_ + "/ftp.ini " + current_ + "/"), std::string::npos)
        << notice;
}

TEST_F(DataLocationTest, NothingIsSaidWithoutEarlierDataOrOnceTheNewPlaceHasItsOwn) {
    EXPECT_EQ(earlier_data_notice(earlier_, current_), "");  // folder without data.ini
    ASSERT_TRUE(platform::write_setting(earlier_ + "/data.ini", "reg", "reg", "1"));
    EXPECT_EQ(earlier_data_notice(earlier_, earlier_), "");  // the earlier install itself runs
    EXPECT_EQ(earlier_data_notice("", current_), "");        // no home
    ASSERT_TRUE(platform::write_setting(current_ + "/data.ini", "reg", "reg", "1"));
    EXPECT_EQ(earlier_data_notice(earlier_, current_), "");
}

}  // namespace
}  // namespace quillet::app
