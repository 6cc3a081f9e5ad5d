#include "app/csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::app {
namespace {

using Fields = std::vector<std::string>;

std::vector<CsvRow> parse_ok(std::string_view text) {
    std::vector<CsvRow> rows;
    std::string error;
    EXPECT_TRUE(parse_csv(text, &rows, &error)) << error;
    return rows;
}

TEST(CsvTest, QuotedFieldsHoldCommasQuotesAndLineBreaks) {
    const std::vector<CsvRow> rows =
        parse_ok("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\r\nlines\",\"x\ny\",\r\nlast,,\"\"\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields, (Fields{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ(rows[1].fields, (Fields{"two\r\nlines", "x\ny", ""}));
    EXPECT_EQ(rows[2].fields, (Fields{"last", "", ""}));
}

TEST(CsvTest, RowsKnowTheLineTheyStartOnAcrossBreaksInsideQuotes) {
    const std::vector<CsvRow> rows = parse_ok("h1,h2\n\"a\nb\nc\",d\n\ne,f\r\ng,h");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].line, 1);
    EXPECT_EQ(rows[1].line, 2);
    EXPECT_EQ(rows[2].line, 6);  // the empty line 5 is skipped, not a row
    EXPECT_EQ(rows[3].line, 7);
    EXPECT_EQ(rows[3].fields, (Fields{"g", "h"}));
}

TEST(CsvTest, ByteOrderMarkAndMultiByteTextPassThrough) {
    const std::vector<CsvRow> rows = parse_ok("\xEF\xBB\xBF\"name\",url\n微博,\"中文，逗号\"\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].fields, (Fields{"name", "url"}));
    EXPECT_EQ(rows[1].fields, (Fields{"微博", "中文，逗号"}));
}

TEST(CsvTest, UnendedQuoteIsAnErrorNamingItsLine) {
    std::vector<CsvRow> rows;
    std::string error;
    EXPECT_FALSE(parse_csv("a,b\nc,\"open\nstill open", &rows, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

TEST(CsvTest, WrittenLinesReadBackToTheSameFields) {
    const std::vector<Fields> written = {
        {"plain", "with,comma", "with \"quote\"", "two\r\nlines", "", " padded "},
        {"中文", "x\ny", "\"", ",", "", "end"},
    };
    std::string text;
    for (const Fields& fields : written) text += csv_line(fields);
    EXPECT_EQ(csv_line({"a", "b c", ""}), "a,b c,\r\n");
    const std::vector<CsvRow> rows = parse_ok(text);
    ASSERT_EQ(rows.size(), written.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].fields, written[i]);
}

}  // namespace
}  // namespace quillet::app
