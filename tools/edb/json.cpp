#include "tools/edb/json.h"

#include <charconv>
#include <cmath>

namespace quillet::edb {
namespace {

template <typename Number>
std::string shortest(Number value) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string json_quote(std::string_view utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (byte < 0x20 || byte == 0x7f) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 15];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string json_number(double value) { return shortest(value); }
std::string json_number(float value) { return shortest(value); }

JsonObject& JsonObject::add(std::string_view key_utf8, std::string_view json) {
    if (text_.size() > 1) text_ += ',';
    text_ += json_quote(key_utf8);
    text_ += ':';
    text_ += json;
    return *this;
}

}  // namespace quillet::edb
