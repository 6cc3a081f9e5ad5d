// Just enough JSON writing for edb's output: quoted strings and flat objects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet::edb {

// A JSON string literal of UTF-8 text: quotes, backslashes and control characters escaped.
std::string json_quote(std::string_view utf8);
// The shortest text that reads back as the same double; non-finite values as strings
// ("nan", "inf", "-inf"), which JSON numbers cannot spell.
std::string json_number(double value);
std::string json_number(float value);

// Builds one object; members appear in the order they are added.
class JsonObject {
  public:
    // `json` must already be JSON text (a number, a quoted string, an object...).
    JsonObject& add(std::string_view key_utf8, std::string_view json);
    JsonObject& add(std::string_view key_utf8, std::int64_t number) { return add(key_utf8, std::to_string(number)); }
    std::string text() const { return text_ + "}"; }

  private:
    std::string text_ = "{";
};

}  // namespace quillet::edb
