#include "platform/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace quillet::platform {
namespace {

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        directory_ =
            std::filesystem::temp_directory_path() / ("quillet_settings_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        file_ = (directory_ / "data.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    void put(const std::string& bytes) { std::ofstream(file_, std::ios::binary) << bytes; }
    std::string contents() {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path directory_;
    std::string file_;
};

TEST_F(SettingsFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(read_setting(file_, "reg", "reg"), "");
    EXPECT_EQ(read_setting(file_, "reg", "reg", "none"), "none");
    put("[reg]\r\nreg=1\r\n");
    EXPECT_EQ(read_setting(file_, "other", "reg", "d"), "d");
    EXPECT_EQ(read_setting(file_, "reg", "other", "d"), "d");
    EXPECT_EQ(read_setting(file_, "reg", "reg", "d"), "1");
}

TEST_F(SettingsFileTest, NamesIgnoreCaseAndSpacesAndValuesLoseSpacesAndOnePairOfQuotes) {
    put("; comment\n  [ FTP ]  \n  FuWuQi  =  host name  \nq1=\"quoted\"\nq2='single'\nq3=\"mixed'\n"
        "q4=\"\"twice\"\"\nempty=\n");
    EXPECT_EQ(read_setting(file_, "ftp", "fuwuqi"), "host name");
    EXPECT_EQ(read_setting(file_, " ftp", "FUWUQI "), "host name");
    EXPECT_EQ(read_setting(file_, "ftp", "q1"), "quoted");
    EXPECT_EQ(read_setting(file_, "ftp", "q2"), "single");
    EXPECT_EQ(read_setting(file_, "ftp", "q3"), "\"mixed'");
    EXPECT_EQ(read_setting(file_, "ftp", "q4"), "\"twice\"");
    EXPECT_EQ(read_setting(file_, "ftp", "empty", "d"), "");  // present but empty is not missing
}

TEST_F(SettingsFileTest, DoubleByteNamesCompareExactlyEvenWhenTrailBytesLookLikeLetters) {
    // 0xB1 0x62 ends in "b"; folding it would make it equal 0xB1 0x42, another character.
    put("[设置]\r\n\xB1\x62=1\r\n[\xB1]]\r\nk=2\r\n");
    EXPECT_EQ(read_setting(file_, "设置", "\xB1\x62"), "1");
    EXPECT_EQ(read_setting(file_, "设置", "\xB1\x42", "none"), "none");
    EXPECT_EQ(read_setting(file_, "\xB1]", "k"), "2");  // "]" as a trail byte does not end the name
}

TEST_F(SettingsFileTest, ValuesComeBackCutToTheBufferSize) {
    std::string long_value(20000, 'A');
    ASSERT_TRUE(write_setting(file_, "s", "k", long_value));
    EXPECT_EQ(read_setting(file_, "s", "k"), std::string(10239, 'A'));
}

TEST_F(SettingsFileTest, WritingCreatesFileAndSectionsInOrderWithCrLf) {
    ASSERT_TRUE(write_setting(file_, "password", "password", "3C21A3A6B7F8E4DB1"));
    ASSERT_TRUE(write_setting(file_, "reg", "reg", "1"));
    ASSERT_TRUE(write_setting(file_, "tishi", "tishi", "请勿删除本文件"));
    EXPECT_EQ(contents(),
              "[password]\r\npassword=3C21A3A6B7F8E4DB1\r\n[reg]\r\nreg=1\r\n[tishi]\r\ntishi=请勿删除本文件\r\n");
    EXPECT_EQ(read_setting(file_, "tishi", "tishi"), "请勿删除本文件");
}

TEST_F(SettingsFileTest, WritingReplacesInPlaceAndKeepsEveryOtherLine) {
    put("; keep me\r\n[ftp]\r\nfuwuqi=old\r\nname=me\r\n\r\n; about reg\r\n[REG]\r\nReg = 0\r\n");
    ASSERT_TRUE(write_setting(file_, "ftp", "FUWUQI", "new"));
    ASSERT_TRUE(write_setting(file_, "reg", "reg", "1"));
    ASSERT_TRUE(write_setting(file_, "ftp", "lu", "/x"));
    ASSERT_TRUE(write_setting(file_, "new", "k", "v"));
    EXPECT_EQ(contents(),
              "; keep me\r\n[ftp]\r\nfuwuqi=new\r\nname=me\r\nlu=/x\r\n\r\n; about reg\r\n[REG]\r\nReg=1\r\n"
              "[new]\r\nk=v\r\n");
}

TEST_F(SettingsFileTest, RemovingAKeyKeepsEveryOtherLineAndDropsASectionLeftEmpty) {
    put("[password]\r\npassword=QV1\r\n[pending]\r\npending=old\r\n; note\r\n[ftp]\r\nname=me\r\nlu=/x\r\n");
    ASSERT_TRUE(remove_setting(file_, "PENDING", "pending"));
    ASSERT_TRUE(remove_setting(file_, "ftp", "lu"));
    ASSERT_TRUE(remove_setting(file_, "ftp", "absent"));
    ASSERT_TRUE(remove_setting(file_, "absent", "absent"));
    EXPECT_EQ(contents(), "[password]\r\npassword=QV1\r\n; note\r\n[ftp]\r\nname=me\r\n");
    std::filesystem::remove(file_);
    EXPECT_TRUE(remove_setting(file_, "ftp", "lu"));
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(SettingsFileTest, LfOnlyFilesAreReadAndUpdated) {
    put("[a]\nx=1\ny=2");
    EXPECT_EQ(read_setting(file_, "a", "y"), "2");
    ASSERT_TRUE(write_setting(file_, "a", "x", "3"));
    EXPECT_EQ(contents(), "[a]\r\nx=3\r\ny=2\r\n");
}

TEST_F(SettingsFileTest, WritesThatWouldBreakTheFileAreRefusedAndChangeNothing) {
    put("[a]\r\nx=1\r\n");
    EXPECT_FALSE(write_setting(file_, "a", "x", "1\r\n[b]"));
    EXPECT_FALSE(write_setting(file_, "a", "x=y", "1"));
    EXPECT_FALSE(write_setting(file_, "a]", "x", "1"));
    EXPECT_FALSE(write_setting(file_, "", "x", "1"));
    EXPECT_FALSE(write_setting(file_, "a", " ", "1"));
    EXPECT_EQ(contents(), "[a]\r\nx=1\r\n");
}

TEST_F(SettingsFileTest, UnwritablePlacesFailWithoutLeavingTemporaryFiles) {
    EXPECT_FALSE(write_setting((directory_ / "no_such_dir" / "x.ini").string(), "a", "b", "c"));
#ifndef _WIN32
    if (geteuid() != 0) {  // root reads and writes regardless of permission bits
        put("[a]\r\nx=1\r\n");
        chmod(file_.c_str(), 0);
        EXPECT_FALSE(write_setting(file_, "a", "y", "2"));  // unreadable: not replaced by one key
        chmod(file_.c_str(), 0600);
        EXPECT_EQ(contents(), "[a]\r\nx=1\r\n");
    }
#endif
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(directory_)) names.push_back(entry.path().filename().string());
    EXPECT_LE(names.size(), 1u);
}

TEST_F(SettingsFileTest, ConcurrentWritersOfOneFileLoseNoKey) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 10; ++i) write_setting(file_, "s", "k" + std::to_string(t * 10 + i), "v");
        });
    }
    for (auto& thread : threads) thread.join();
    for (int k = 0; k < 40; ++k) EXPECT_EQ(read_setting(file_, "s", "k" + std::to_string(k)), "v") << k;
}

}  // namespace
}  // namespace quillet::platform
