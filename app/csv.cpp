#include "app/csv.h"

#include <algorithm>
#include <cstring>

#include "platform/secret_text.h"

namespace quillet::app {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kPieceBytes = 64 * 1024;

// "64 MiB", or the bytes when the size is not whole mebibytes.
std::string size_text(std::uint64_t bytes) {
    constexpr std::uint64_t kMebibyte = 1024 * 1024;
    if (bytes % kMebibyte == 0 && bytes > 0) return std::to_string(bytes / kMebibyte) + " MiB";
    return std::to_string(bytes) + " bytes";
}

bool needs_quotes(std::string_view field) {
    if (field.empty()) return false;
    return field.find_first_of(",\"\r\n") != std::string_view::npos || field.front() == ' ' || field.back() == ' ';
}

}  // namespace

CsvSource csv_text_source(std::string_view text) {
    return [text](char* buffer, std::size_t capacity) mutable -> std::optional<std::size_t> {
        const std::size_t count = std::min(capacity, text.size());
        if (count > 0) std::memcpy(buffer, text.data(), count);
        text.remove_prefix(count);
        return count;
    };
}

CsvReader::CsvReader(CsvSource source, const CsvLimits& limits)
    : source_(std::move(source)), limits_(limits), buffer_(kPieceBytes, '\0') {}

CsvReader::~CsvReader() { platform::wipe_secret(buffer_); }

bool CsvReader::fill() {
    if (at_end_) return false;
    buffer_.erase(0, start_);
    end_ -= start_;
    start_ = 0;
    buffer_.resize(kPieceBytes);
    const std::optional<std::size_t> got = source_(buffer_.data() + end_, buffer_.size() - end_);
    if (!got || *got == 0) {
        at_end_ = true;
        if (!got) error_ = "the file could not be read";
        return false;
    }
    input_bytes_ += *got;
    if (input_bytes_ > limits_.input_bytes) {
        at_end_ = true;
        error_ = "the file is larger than " + size_text(limits_.input_bytes);
        return false;
    }
    end_ += *got;
    return true;
}

int CsvReader::peek() {
    if (start_ == end_ && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[start_]);
}

int CsvReader::take() {
    const int c = peek();
    if (c != -1) ++start_;
    return c;
}

void CsvReader::skip_byte_order_mark() {
    while (end_ - start_ < kByteOrderMark.size() && fill()) {
    }
    if (std::string_view(buffer_).substr(start_, end_ - start_).starts_with(kByteOrderMark)) {
        start_ += kByteOrderMark.size();
    }
}

void CsvReader::add_byte(CsvRow* row, std::size_t field, char c) {
    if (field >= row->fields.size()) return;  // past the fields kept
    std::string& text = row->fields[field];
    if (text.size() < limits_.field_bytes) {
        text += c;
    } else {
        row->cut[field] = true;
    }
}

bool CsvReader::next(CsvRow* row) {
    if (!begun_) {
        begun_ = true;
        skip_byte_order_mark();
    }
    while (error_.empty() && peek() != -1) {
        row->line = line_;
        row->fields.clear();
        row->cut.clear();
        std::size_t field = 0;
        for (;; ++field) {
            if (field < limits_.fields) {
                row->fields.emplace_back();
                row->cut.push_back(false);
            }
            if (peek() == '"') {
                const int opened_on = line_;
                take();
                for (;;) {
                    const int c = take();
                    if (c == -1) {
                        if (error_.empty()) {
                            error_ = "line " + std::to_string(opened_on) + ": a quoted field does not end";
                        }
                        return false;
                    }
                    if (c == '"') {
                        if (peek() != '"') break;
                        take();
                    }
                    if (c == '\n') ++line_;
                    add_byte(row, field, static_cast<char>(c));
                }
            }
            // Unquoted text, or stray text after a closing quote, runs to the separator.
            for (int c = peek(); c != -1 && c != ',' && c != '\n' && c != '\r'; c = peek()) {
                add_byte(row, field, static_cast<char>(take()));
            }
            const int separator = take();
            if (separator == ',') continue;
            if (separator == '\r' && peek() == '\n') take();
            if (separator != -1) ++line_;
            break;
        }
        if (!error_.empty()) return false;
        const bool blank = field == 0 && (row->fields.empty() || (row->fields[0].empty() && !row->cut[0]));
        if (blank) continue;
        if (++rows_ > limits_.rows) {
            error_ = "the file has more than " + std::to_string(limits_.rows) + " rows";
            return false;
        }
        return true;
    }
    return false;
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
