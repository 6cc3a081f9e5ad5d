#include "app/csv.h"

namespace quillet::app {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool needs_quotes(std::string_view field) {
    if (field.empty()) return false;
    return field.find_first_of(",\"\r\n") != std::string_view::npos || field.front() == ' ' || field.back() == ' ';
}

}  // namespace

bool parse_csv(std::string_view text, std::vector<CsvRow>* rows, std::string* error) {
    rows->clear();
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    int line = 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        CsvRow row;
        row.line = line;
        std::string field;
        bool row_ended = false;
        while (!row_ended) {
            field.clear();
            if (pos < text.size() && text[pos] == '"') {
                const int opened_on = line;
                ++pos;
                for (;;) {
                    if (pos >= text.size()) {
                        *error = "line " + std::to_string(opened_on) + ": a quoted field does not end";
                        return false;
                    }
                    const char c = text[pos++];
                    if (c == '"') {
                        if (pos < text.size() && text[pos] == '"') {
                            field += '"';
                            ++pos;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n') ++line;
                    field += c;
                }
            }
            // Unquoted text, or stray text after a closing quote, runs to the separator.
            while (pos < text.size() && text[pos] != ',' && text[pos] != '\n' && text[pos] != '\r')
                field += text[pos++];
            row.fields.push_back(field);
            if (pos >= text.size()) {
                row_ended = true;
            } else if (text[pos] == ',') {
                ++pos;
            } else {
                if (text[pos] == '\r') ++pos;
                if (pos < text.size() && text[pos] == '\n') ++pos;
                ++line;
                row_ended = true;
            }
        }
        const bool blank = row.fields.size() == 1 && row.fields[0].empty();
        if (!blank) rows->push_back(std::move(row));
    }
    return true;
}

std::string csv_line(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        if (!needs_quotes(fields[i])) {
            line += fields[i];
            continue;
        }
        line += '"';
        for (char c : fields[i]) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\r\n";
}

}  // namespace quillet::app
