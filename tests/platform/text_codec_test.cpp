#include "platform/text_codec.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace quillet::platform {
namespace {

// UTF-8 bytes whatever the execution character set (narrow literals here are GBK).
std::string utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

TEST(TextCodecTest, ChineseTextRoundTripsThroughUtf8AndUtf16) {
    std::string gbk = "数据添加成功，密码：abc123";
    EXPECT_EQ(gbk.substr(0, 2), "\xCA\xFD");  // the literal really is GBK
    EXPECT_EQ(gbk_to_utf8(gbk), utf8(u8"数据添加成功，密码：abc123"));
    EXPECT_EQ(utf8_to_gbk(gbk_to_utf8(gbk)), gbk);
    EXPECT_EQ(gbk_to_utf16(gbk), u"数据添加成功，密码：abc123");
    EXPECT_EQ(utf16_to_gbk(gbk_to_utf16(gbk)), gbk);
}

TEST(TextCodecTest, EuroSignIsByte0x80AndControlBytesAndZerosPassThrough) {
    EXPECT_EQ(gbk_to_utf8("\x80"), utf8(u8"€"));
    EXPECT_EQ(utf8_to_gbk(utf8(u8"€")), "\x80");
    EXPECT_EQ(gbk_to_utf16("\x80"), u"€");
    std::string with_controls(
        "a\x10"
        "b\0c",
        5);
    EXPECT_EQ(gbk_to_utf8(with_controls), with_controls);
    EXPECT_EQ(utf8_to_gbk(with_controls), with_controls);
    EXPECT_EQ(utf16_to_gbk(gbk_to_utf16(with_controls)), with_controls);
    EXPECT_EQ(gbk_to_utf8(""), "");
}

TEST(TextCodecTest, CharactersGbkCannotHoldBecomeOneQuestionMarkEach) {
    // Written as escapes: the compiler refuses literals it cannot express in GBK.
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(utf8_to_gbk("a" + emoji + "b" + emoji), "a?b?");
    EXPECT_EQ(utf16_to_gbk(u"密\xD83D\xDE00码"), "密?码");
    EXPECT_EQ(utf8_to_gbk("\xED\x95\x9C"), "?");  // a Hangul syllable
}

TEST(TextCodecTest, ExactConversionReportsEveryLossButNotAQuestionMarkTyped) {
    std::string gbk;
    EXPECT_TRUE(utf16_to_gbk_exactly(u"密码? \u20AC", &gbk));
    EXPECT_EQ(gbk, "密码? \x80");
    EXPECT_TRUE(utf16_to_gbk_exactly(u"", &gbk));
    EXPECT_EQ(gbk, "");

    EXPECT_FALSE(utf16_to_gbk_exactly(u"密\xD83D\xDE00码", &gbk));  // an emoji
    EXPECT_EQ(gbk, "密?码");
    EXPECT_FALSE(utf16_to_gbk_exactly(u"\xD840\xDC00", &gbk));  // a CJK extension B character
    EXPECT_FALSE(utf16_to_gbk_exactly(u"\uD55C", &gbk));        // a Hangul syllable
    std::u16string lone_surrogate = u"a";
    lone_surrogate += char16_t(0xDC00);
    EXPECT_FALSE(utf16_to_gbk_exactly(lone_surrogate, &gbk));
    EXPECT_EQ(gbk, "a?");
}

#ifndef _WIN32  // the conversion modules are the C library's; Windows converts by itself
TEST(TextCodecDeathTest, MissingConversionModulesStopTheProcessWithAReport) {
    // A conversion module list of our own that names a module which does not exist.
    const std::string directory = ::testing::TempDir() + "quillet_gconv_" + std::to_string(::getpid());
    std::filesystem::create_directories(directory);
    std::ofstream(directory + "/gconv-modules") << "module INTERNAL CP936// NOSUCHMODULE 1\n"
                                                   "module CP936// INTERNAL NOSUCHMODULE 1\n";
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process reads GCONV_PATH anew
    ::setenv("GCONV_PATH", directory.c_str(), 1);
    EXPECT_EXIT(utf16_to_gbk(u"a"), ::testing::ExitedWithCode(255),
                "text conversion from CP936 to UTF-8 is not available");
    ::unsetenv("GCONV_PATH");
    GTEST_FLAG_SET(death_test_style, style);
    std::filesystem::remove_all(directory);
}
#endif

TEST(TextCodecTest, InvalidInputBecomesQuestionMarksNeverEmpty) {
    EXPECT_EQ(gbk_to_utf8("ab\xFF"
                          "cd"),
              "ab?cd");
    EXPECT_EQ(gbk_to_utf8("ab\xB0"), "ab?");  // lead byte cut off at the end
    EXPECT_EQ(gbk_to_utf16("\xFF\xFF"), u"??");
    EXPECT_EQ(utf8_to_gbk("x\xC3(y"), "x?(y");  // broken sequence: only the bad byte goes
    EXPECT_EQ(utf8_to_gbk("\xE6\x95"), "?");    // cut off at the end
    EXPECT_EQ(utf8_to_gbk("\xC0\xAF"), "??");   // overlong
    std::u16string lone_surrogate = u"a";
    lone_surrogate += char16_t(0xD800);
    lone_surrogate += u"b";
    EXPECT_EQ(utf16_to_gbk(lone_surrogate), "a?b");
}

TEST(TextCodecTest, NamedCharsetsConvertToGbk) {
    std::string gbk;
    ASSERT_TRUE(charset_to_gbk(utf8(u8"版本 2.0"), "utf-8", &gbk));
    EXPECT_EQ(gbk, "版本 2.0");
    ASSERT_TRUE(charset_to_gbk("caf\xE9", "ISO-8859-1", &gbk));
    EXPECT_EQ(gbk, "café");
    ASSERT_TRUE(
        charset_to_gbk("Stra\xDF"
                       "e",
                       "ISO-8859-1", &gbk));
    EXPECT_EQ(gbk, "Stra?e");  // GBK has no sharp s
    ASSERT_TRUE(
        charset_to_gbk("\x80"
                       "版本",
                       "gb2312", &gbk));  // GB2312 labels read as GBK
    EXPECT_EQ(gbk,
              "\x80"
              "版本");
    ASSERT_TRUE(charset_to_gbk("\xF0\x9F\x98\x80x", " \"UTF-8\" ", &gbk));
    EXPECT_EQ(gbk, "?x");
    EXPECT_FALSE(charset_to_gbk("abc", "no-such-charset", &gbk));
    EXPECT_FALSE(charset_to_gbk("abc", "", &gbk));
}

TEST(TextCodecTest, LongTextsAndManyThreadsConvertIndependently) {
    std::string long_text;
    for (int i = 0; i < 5000; ++i) long_text += "密码\x80x\xFF";
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += utf8(u8"密码€x?");
    std::vector<std::thread> threads;
    std::vector<int> ok(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            bool all = true;
            for (int i = 0; i < 20; ++i) all = all && gbk_to_utf8(long_text) == expected;
            ok[t] = all;
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_TRUE(ok[t]) << "thread " << t;
}

}  // namespace
}  // namespace quillet::platform
