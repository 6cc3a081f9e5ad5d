// Field types and values as edb spells them on the command line and in its JSON output.
// Texts are UTF-8 outside and GBK inside; byte-sets are hexadecimal; date-times are
// "YYYY-MM-DD HH:MM:SS[.mmm]".
#pragma once

#include <string>
#include <string_view>

#include "db/value.h"

namespace quillet::edb {

// "byte", "short", "int", "long", "float", "double", "bool", "datetime", "subptr",
// "text", "bytes", "memo".
std::string_view type_name(db::FieldType type);
bool parse_type_name(std::string_view name, db::FieldType* type);

// Parses command-line text as a value of a field of `type`. False with `error` saying
// what was expected.
bool parse_value(std::string_view utf8, db::FieldType type, db::Value* out, std::string* error);

// The value as JSON text: numbers as numbers, texts as UTF-8 strings, byte-sets as hex
// strings, date-times as strings.
std::string value_json(const db::Value& value);

}  // namespace quillet::edb
