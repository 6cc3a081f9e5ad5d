// Comma-separated values as RFC 4180 has them: fields in double quotes may hold commas,
// quotes (doubled) and line breaks; lines end in CR LF or LF. Byte-transparent: the
// texts are whatever encoding the caller uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

// Hands the input over in pieces: copies up to `capacity` bytes to `buffer` and returns
// how many, 0 at the end of the input, nothing when the input cannot be read.
using CsvSource = std::function<std::optional<std::size_t>(char* buffer, std::size_t capacity)>;

// A source over text in memory.
CsvSource csv_text_source(std::string_view text);

// What a reader keeps, so that its memory follows one row, not the input.
struct CsvLimits {
    std::size_t field_bytes = 0;    // a longer field is cut to this many bytes and marked
    std::size_t fields = 0;         // fields past this many in a row are passed over
    std::uint64_t input_bytes = 0;  // a longer input is refused as a whole
    std::size_t rows = 0;           // so is one of more rows (not counting blank lines)
};

struct CsvRow {
    int line = 0;  // the line the row starts on, from 1
    std::vector<std::string> fields;
    std::vector<bool> cut;  // one per field: it was longer than the limit
};

// Reads rows one at a time, skipping empty lines and a leading UTF-8 byte-order mark.
// The input is read in pieces as the rows need it; its buffer is wiped when the reader
// goes, for the input may hold passwords.
class CsvReader {
  public:
    CsvReader(CsvSource source, const CsvLimits& limits);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The next row: false at the end of the input, and when it fails, with error() set
    // (naming the line where a quoted field never ends, or the size, or the reading).
    bool next(CsvRow* row);
    const std::string& error() const { return error_; }

  private:
    // The next byte without taking it, or -1 at the end of the input or on a failure.
    int peek();
    int take();
    bool fill();
    void skip_byte_order_mark();
    void add_byte(CsvRow* row, std::size_t field, char c);

    CsvSource source_;
    CsvLimits limits_;
    std::string buffer_;
    std::size_t start_ = 0;  // the unread bytes are buffer_[start_, end_)
    std::size_t end_ = 0;
    std::uint64_t input_bytes_ = 0;
    std::size_t rows_ = 0;
    bool at_end_ = false;
    bool begun_ = false;
    int line_ = 1;
    std::string error_;
};

// One row with its CR LF; a field is quoted when it holds a comma, a quote, a line break
// or leading or trailing spaces.
std::string csv_line(const std::vector<std::string>& fields);

}  // namespace quillet::app
