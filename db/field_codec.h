// How field values are checked, converted and laid out in a record.
#pragma once

#include <cstdint>
#include <string>

#include "db/value.h"

namespace quillet::db {

// Bytes a field takes in the record; `text_width` counts for text fields only.
std::int32_t field_width(FieldType type, std::int32_t text_width);
bool is_chain_type(FieldType type);

// The value converted to the field's value type: numeric values convert between the
// numeric types, every other value must have the field's own type. False: no match.
bool coerce_value(const Value& value, FieldType type, Value* out);

// Writes a coerced value of a field that is not a chain into its `width` bytes.
void encode_value(const Value& value, FieldType type, std::int32_t width, std::uint8_t* out);
// Reads a field that is not a chain from its `width` bytes.
Value decode_value(const std::uint8_t* bytes, FieldType type, std::int32_t width);
// Zero, false, empty text or empty byte-set.
Value empty_value(FieldType type);
// A chain's bytes as the field's value: memo gives text up to the first NUL.
Value chain_value(FieldType type, std::string bytes);

}  // namespace quillet::db
