// Comma-separated values as RFC 4180 has them: fields in double quotes may hold commas,
// quotes (doubled) and line breaks; lines end in CR LF or LF. Byte-transparent: the
// texts are whatever encoding the caller uses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

struct CsvRow {
    int line = 0;  // the line the row starts on, from 1
    std::vector<std::string> fields;
};

// Splits `text` into rows, skipping empty lines and a leading UTF-8 byte-order mark.
// False with `*error` set (naming the line) when a quoted field never ends.
bool parse_csv(std::string_view text, std::vector<CsvRow>* rows, std::string* error);

// One row with its CR LF; a field is quoted when it holds a comma, a quote, a line break
// or leading or trailing spaces.
std::string csv_line(const std::vector<std::string>& fields);

}  // namespace quillet::app
