#include "app/csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quillet::app {
namespace {

using Fields = std::vector<std::string>;

constexpr CsvLimits kRoomy{.field_bytes = 1 << 20, .fields = 1 << 10, .input_bytes = 1 << 30, .rows = 1 << 20};

// Every row of `source`, with the reader's error ("" when it read to the end).
std::vector<CsvRow> read_all(CsvSource source, std::string* error, const CsvLimits& limits = kRoomy) {
    CsvReader reader(std::move(source), limits);
    std::vector<CsvRow> rows;
    for (CsvRow row; reader.next(&row);) rows.push_back(row);
    *error = reader.error();
    return rows;
}

std::vector<CsvRow> parse_ok(std::string_view text) {
    std::string error;
    std::vector<CsvRow> rows = read_all(csv_text_source(text), &error);
    EXPECT_EQ(error, "");
    return rows;
}

// Hands the text over `piece` bytes at a time, the way a file or a pipe may.
CsvSource in_pieces(std::string_view text, std::size_t piece) {
    return [text, piece](char* buffer, std::size_t capacity) mutable -> std::optional<std::size_t> {
        const std::size_t count = std::min({piece, capacity, text.size()});
        text.copy(buffer, count);
        text.remove_prefix(count);
        return count;
    };
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
    std::string error;
    const std::vector<CsvRow> rows = read_all(csv_text_source("a,b\nc,\"open\nstill open"), &error);
    EXPECT_EQ(rows.size(), 1u);  // the rows before it
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

TEST(CsvTest, RowsAreTheSameWhateverPiecesTheInputArrivesIn) {
    const std::string text = "\xEF\xBB\xBFh1,\"h,2\"\r\n\"a\"\"\nb\",c\r\n\r\n\"\",d\re\n";
    const std::vector<CsvRow> whole = parse_ok(text);
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_EQ(whole[0].fields, (Fields{"h1", "h,2"}));
    EXPECT_EQ(whole[1].fields, (Fields{"a\"\nb", "c"}));
    EXPECT_EQ(whole[3].fields, (Fields{"e"}));
    for (std::size_t piece : {1u, 2u, 3u, 5u}) {
        SCOPED_TRACE(piece);
        std::string error;
        const std::vector<CsvRow> rows = read_all(in_pieces(text, piece), &error);
        EXPECT_EQ(error, "");
        ASSERT_EQ(rows.size(), whole.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].fields, whole[i].fields);
            EXPECT_EQ(rows[i].line, whole[i].line);
        }
    }
}

TEST(CsvTest, ReaderKeepsAtMostTheLimitsOfARowAndRefusesAnOverlongInput) {
    const CsvLimits limits{.field_bytes = 4, .fields = 3, .input_bytes = 64, .rows = 2};
    std::string error;
    std::vector<CsvRow> rows =
        read_all(csv_text_source("abcd,abcde,\"quoted long\",dropped,x\nnext,,,,,,,,,,,,,,\n"), &error, limits);
    EXPECT_EQ(error, "");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].fields, (Fields{"abcd", "abcd", "quot"}));
    EXPECT_EQ(rows[0].cut, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(rows[1].fields, (Fields{"next", "", ""}));
    EXPECT_EQ(rows[1].line, 2);

    // A line of nothing but separators is one row of the fields kept.
    rows = read_all(csv_text_source(std::string(5'000'000, ',')), &error,
                    {.field_bytes = 16, .fields = 8, .input_bytes = 1 << 30, .rows = 1});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].fields.size(), 8u);

    rows = read_all(csv_text_source(std::string(65, 'a')), &error, limits);
    EXPECT_EQ(error, "the file is larger than 64 bytes");
    EXPECT_TRUE(rows.empty());
    read_all(csv_text_source(std::string(64, 'a')), &error, limits);
    EXPECT_EQ(error, "");
    read_all(csv_text_source(std::string((1 << 20) + 1, '\n')), &error,
             {.field_bytes = 16, .fields = 8, .input_bytes = 1 << 20, .rows = 1});
    EXPECT_EQ(error, "the file is larger than 1 MiB");

    // Blank lines are not rows; a third row is one too many.
    rows = read_all(csv_text_source("a\n\n\r\nb\n"), &error, limits);
    EXPECT_EQ(error, "");
    rows = read_all(csv_text_source("a\n\nb\nc\n"), &error, limits);
    EXPECT_EQ(error, "the file has more than 2 rows");
    EXPECT_EQ(rows.size(), 2u);

    read_all([](char*, std::size_t) { return std::optional<std::size_t>(); }, &error);
    EXPECT_EQ(error, "the file could not be read");
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
