#include "net/regex.h"

#include <gtest/gtest.h>

namespace quillet::net {
namespace {

TEST(RegExpTest, DefaultsIgnoreCaseAndFindEveryMatch) {
    RegExp re;
    ASSERT_TRUE(re.execute("ab(\\d)", "AB1 ab2 xx aB3"));
    ASSERT_EQ(re.match_count(), 3);
    EXPECT_EQ(re.match_text(1), "AB1");
    EXPECT_EQ(re.group_text(3, 1), "3");
    EXPECT_EQ(re.group_count(), 1);

    ASSERT_TRUE(re.execute("ab(\\d)", "AB1 ab2 xx aB3", /*case_sensitive=*/true));
    ASSERT_EQ(re.match_count(), 1);
    EXPECT_EQ(re.match_text(1), "ab2");
}

TEST(RegExpTest, NonGlobalKeepsOnlyTheFirstMatch) {
    RegExp re;
    ASSERT_TRUE(re.execute("\\d+", "12 34 56", false, true, /*global=*/false));
    EXPECT_EQ(re.match_count(), 1);
    EXPECT_EQ(re.replace("#"), "# 34 56");
}

TEST(RegExpTest, MultiLineDecidesWhereLineAnchorsMatch) {
    RegExp re;
    ASSERT_TRUE(re.execute("^x$", "a\r\nx\nb"));
    EXPECT_EQ(re.match_count(), 1);
    ASSERT_TRUE(re.execute("^x$", "a\r\nx\nb", false, /*multi_line=*/false));
    EXPECT_EQ(re.match_count(), 0);
    // Without multi-line, "$" is the very end only, not before a final line break.
    ASSERT_TRUE(re.execute("x$", "x\n", false, false));
    EXPECT_EQ(re.match_count(), 0);
}

TEST(RegExpTest, QuotePlaceholderStandsForADoubleQuoteOnlyWhenAsked) {
    RegExp re;
    ASSERT_TRUE(re.execute("href=#引号(\\w+)#引号", "<a href=\"page\">", false, true, true, /*quote_placeholder=*/true));
    EXPECT_EQ(re.pattern(), "href=\"(\\w+)\"");
    EXPECT_EQ(re.group_text(1, 1), "page");

    ASSERT_TRUE(re.execute("href=#引号(\\w+)#引号", "<a href=\"page\">"));
    EXPECT_EQ(re.pattern(), "href=#引号(\\w+)#引号");
    EXPECT_EQ(re.match_count(), 0);
}

TEST(RegExpTest, PositionsAreByteOffsetsSearchedFromTheMatch) {
    RegExp re;
    const std::string subject = "中文 key=Val; KEY=val";  // two double-byte characters first
    ASSERT_TRUE(re.execute("key=(\\w+)", subject));
    ASSERT_EQ(re.match_count(), 2);
    int position = 0;
    EXPECT_EQ(re.match_text(1, &position), "key=Val");
    EXPECT_EQ(position, 5);
    EXPECT_EQ(re.match_text(2, &position), "KEY=val");
    EXPECT_EQ(position, static_cast<int>(subject.find("KEY=val")));
    EXPECT_EQ(re.group_text(2, 1, &position), "val");
    EXPECT_EQ(position, static_cast<int>(subject.size()) - 3);
    // The group of the first match is found from that match on, ignoring case like the match.
    EXPECT_EQ(re.group_text(1, 1, &position), "Val");
    EXPECT_EQ(position, 9);
}

TEST(RegExpTest, MissingMatchesAndGroupsReadAsEmptyText) {
    RegExp re;
    EXPECT_EQ(re.pattern(), "");
    EXPECT_EQ(re.match_text(1), "");
    EXPECT_EQ(re.replace("x"), "");

    ASSERT_TRUE(re.execute("(a)|(b)", "b"));
    int position = 0;
    EXPECT_EQ(re.group_text(1, 1, &position), "");  // did not take part
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.group_text(1, 2), "b");
    EXPECT_EQ(re.group_text(1, 3, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.match_text(2, &position), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.match_text(0), "");
    EXPECT_EQ(re.group_count(), 2);
}

TEST(RegExpTest, ReplaceExpandsGroupsAndTheWholeMatch) {
    RegExp re;
    ASSERT_TRUE(re.execute("(\\w+)@(\\w+)", "ann@host, bob@site"));
    EXPECT_EQ(re.replace("$2:$1"), "host:ann, site:bob");
    EXPECT_EQ(re.replace("[$&]"), "[ann@host], [bob@site]");
    EXPECT_EQ(re.replace("$$1 $3 $"), "$1 $3 $, $1 $3 $");
    EXPECT_EQ(re.replace("$10"), "ann0, bob0");  // no group 10: group 1 then "0"
}

TEST(RegExpTest, EmptyMatchesAdvanceByOne) {
    RegExp re;
    ASSERT_TRUE(re.execute("a*", "baa"));
    ASSERT_EQ(re.match_count(), 3);
    EXPECT_EQ(re.match_text(2), "aa");
    EXPECT_EQ(re.replace("-"), "-b--");
}

TEST(RegExpTest, BadPatternsAndRunawayBacktrackingFailWithoutMatches) {
    RegExp re;
    EXPECT_FALSE(re.execute("(unclosed", "text"));
    EXPECT_EQ(re.pattern(), "(unclosed");
    EXPECT_EQ(re.match_count(), 0);

    EXPECT_FALSE(re.execute("(a+)+$", std::string(40, 'a') + "!"));
    EXPECT_EQ(re.match_count(), 0);
}

TEST(RegExpTest, FindsTheDeclaredCharacterSetOfAPage) {
    RegExp re;
    ASSERT_TRUE(re.execute("<meta.+?charset=[^\\w]?([-\\w]+)",
                           "<html><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\">"));
    EXPECT_EQ(re.group_text(1, 1), "GB2312");
    ASSERT_TRUE(re.execute("<meta.+?charset=[^\\w]?([-\\w]+)", "<meta charset=\"utf-8\" />"));
    EXPECT_EQ(re.group_text(1, 1), "utf-8");
}

}  // namespace
}  // namespace quillet::net
