#include "tools/edb/values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/date_time.h"
#include "platform/text_codec.h"
#include "tools/edb/json.h"

namespace quillet::edb {
namespace {

using db::FieldType;

constexpr std::array<std::pair<std::string_view, FieldType>, 12> kTypeNames{{
    {"byte", FieldType::kByte},
    {"short", FieldType::kShort},
    {"int", FieldType::kInt},
    {"long", FieldType::kLong},
    {"float", FieldType::kFloat},
    {"double", FieldType::kDouble},
    {"bool", FieldType::kBool},
    {"datetime", FieldType::kDateTime},
    {"subptr", FieldType::kSubroutine},
    {"text", FieldType::kText},
    {"bytes", FieldType::kBytes},
    {"memo", FieldType::kMemo},
}};

// The whole text as a number of type T, in [low, high]; from_chars takes no leading "+".
template <typename T>
bool parse_whole(std::string_view text, T* out, int base = 10) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto result = base == 10 ? std::from_chars(text.data(), text.data() + text.size(), *out)
                                   : std::from_chars(text.data(), text.data() + text.size(), *out, base);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

template <typename T>
bool parse_integer(std::string_view text, T* out) {
    std::int64_t wide = 0;
    if (!parse_whole(text, &wide)) return false;
    if (wide < std::numeric_limits<T>::min() || wide > std::numeric_limits<T>::max()) return false;
    *out = static_cast<T>(wide);
    return true;
}

// IEEE values are spelled by from_chars; it also takes "nan" and "inf" as dump writes them.
template <typename T>
bool parse_real(std::string_view text, T* out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *out);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

bool parse_subroutine(std::string_view text, std::uint32_t* out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return parse_whole(text.substr(2), out, 16);
    }
    return parse_whole(text, out);
}

bool parse_bool(std::string_view text, bool* out) {
    if (text == "true" || text == "1") {
        *out = true;
    } else if (text == "false" || text == "0") {
        *out = false;
    } else {
        return false;
    }
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_hex(std::string_view text, std::string* out) {
    if (text.size() % 2 != 0) return false;
    out->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        *out += static_cast<char>(high << 4 | low);
    }
    return true;
}

// "YYYY-MM-DD", optionally followed by " HH:MM[:SS[.mmm]]" (or "T" for the space), or a
// plain number of days since 1899-12-30.
bool parse_date_time(std::string_view text, double* out) {
    if (parse_real(text, out)) return std::isfinite(*out);
    platform::CalendarFields fields;
    const std::string copy(text);
    char separator = 0;
    int consumed = 0;
    const int parts = std::sscanf(copy.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n", &fields.year, &fields.month, &fields.day,
                                  &consumed, &separator, &fields.hour, &fields.minute, &consumed);
    if (parts == 3 && static_cast<std::size_t>(consumed) == copy.size()) {
        return platform::calendar_to_date_time(fields, out);
    }
    if (parts != 6 || (separator != ' ' && separator != 'T')) return false;
    std::string_view rest = text.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        if (rest.size() < 3 || rest[0] != ':' || !parse_integer(rest.substr(1, 2), &fields.second)) return false;
        rest.remove_prefix(3);
        if (!rest.empty()) {
            // A fraction of one to three digits: ".5" is 500 milliseconds.
            if (rest.size() < 2 || rest.size() > 4 || rest[0] != '.' || rest[1] == '-' ||
                !parse_integer(rest.substr(1), &fields.millisecond)) {
                return false;
            }
            for (std::size_t digits = rest.size() - 1; digits < 3; ++digits) fields.millisecond *= 10;
        }
    }
    return platform::calendar_to_date_time(fields, out);
}

std::string date_time_text(double days) {
    platform::CalendarFields f;
    if (!platform::date_time_to_calendar(days, &f)) return json_number(days);
    char buffer[64];
    if (f.millisecond != 0) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour,
                      f.minute, f.second, f.millisecond);
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                      f.second);
    }
    return json_quote(buffer);
}

std::string hex_text(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

}  // namespace

std::string_view type_name(FieldType type) {
    for (const auto& [name, known] : kTypeNames) {
        if (known == type) return name;
    }
    return "unknown";
}

bool parse_type_name(std::string_view name, FieldType* type) {
    for (const auto& [known_name, known] : kTypeNames) {
        if (known_name == name) {
            *type = known;
            return true;
        }
    }
    return false;
}

bool parse_value(std::string_view utf8, FieldType type, db::Value* out, std::string* error) {
    bool ok = false;
    switch (type) {
        case FieldType::kByte: {
            std::uint8_t v = 0;
            if ((ok = parse_integer(utf8, &v))) *out = v;
            *error = "an integer from 0 to 255";
            break;
        }
        case FieldType::kShort: {
            std::int16_t v = 0;
            if ((ok = parse_integer(utf8, &v))) *out = v;
            *error = "an integer from -32768 to 32767";
            break;
        }
        case FieldType::kInt: {
            std::int32_t v = 0;
            if ((ok = parse_integer(utf8, &v))) *out = v;
            *error = "an integer from -2147483648 to 2147483647";
            break;
        }
        case FieldType::kLong: {
            std::int64_t v = 0;
            if ((ok = parse_whole(utf8, &v))) *out = v;
            *error = "a 64-bit integer";
            break;
        }
        case FieldType::kFloat: {
            float v = 0;
            if ((ok = parse_real(utf8, &v))) *out = v;
            *error = "a number";
            break;
        }
        case FieldType::kDouble: {
            double v = 0;
            if ((ok = parse_real(utf8, &v))) *out = v;
            *error = "a number";
            break;
        }
        case FieldType::kBool: {
            bool v = false;
            if ((ok = parse_bool(utf8, &v))) *out = v;
            *error = "true, false, 1 or 0";
            break;
        }
        case FieldType::kDateTime: {
            double days = 0;
            if ((ok = parse_date_time(utf8, &days))) *out = db::DateTime{days};
            *error = "a date YYYY-MM-DD[ HH:MM[:SS[.mmm]]] or a number of days";
            break;
        }
        case FieldType::kSubroutine: {
            std::uint32_t v = 0;
            if ((ok = parse_subroutine(utf8, &v))) *out = db::SubroutinePointer{v};
            *error = "an unsigned 32-bit integer (decimal or 0x hexadecimal)";
            break;
        }
        case FieldType::kText:
        case FieldType::kMemo:
            *out = platform::utf8_to_gbk(utf8);
            ok = true;
            break;
        case FieldType::kBytes: {
            db::ByteSet v;
            if ((ok = parse_hex(utf8, &v.bytes))) *out = std::move(v);
            *error = "an even number of hexadecimal digits";
            break;
        }
    }
    if (ok) error->clear();
    return ok;
}

std::string value_json(const db::Value& value) {
    struct Printer {
        std::string operator()(std::uint8_t v) const { return std::to_string(v); }
        std::string operator()(std::int16_t v) const { return std::to_string(v); }
        std::string operator()(std::int32_t v) const { return std::to_string(v); }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(float v) const { return json_number(v); }
        std::string operator()(double v) const { return json_number(v); }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(const db::DateTime& v) const { return date_time_text(v.days); }
        std::string operator()(const db::SubroutinePointer& v) const { return std::to_string(v.address); }
        std::string operator()(const std::string& v) const { return json_quote(platform::gbk_to_utf8(v)); }
        std::string operator()(const db::ByteSet& v) const { return json_quote(hex_text(v.bytes)); }
    };
    return std::visit(Printer{}, value);
}

}  // namespace quillet::edb
