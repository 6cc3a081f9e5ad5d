#include "db/field_codec.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace quillet::db {
namespace {

constexpr double kLatestDate = 2958465;
constexpr double kEarliestDate = -657434;

// Truncation toward zero to 64 bits; out of range gives the value the x86 conversion
// instruction gives, the lowest 64-bit integer.
std::int64_t truncate_to_int64(double value) {
    if (!(value > -9223372036854775808.0 - 1024 && value < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<std::int64_t>(value);
}

bool as_integer_bits(const Value& value, std::int64_t* out) {
    switch (value.index()) {
        case 0: *out = std::get<std::uint8_t>(value); return true;
        case 1: *out = std::get<std::int16_t>(value); return true;
        case 2: *out = std::get<std::int32_t>(value); return true;
        case 3: *out = std::get<std::int64_t>(value); return true;
        case 4: *out = truncate_to_int64(std::get<float>(value)); return true;
        case 5: *out = truncate_to_int64(std::get<double>(value)); return true;
        default: return false;
    }
}

bool as_floating(const Value& value, double* out) {
    switch (value.index()) {
        case 0: *out = std::get<std::uint8_t>(value); return true;
        case 1: *out = std::get<std::int16_t>(value); return true;
        case 2: *out = std::get<std::int32_t>(value); return true;
        case 3: *out = static_cast<double>(std::get<std::int64_t>(value)); return true;
        case 4: *out = std::get<float>(value); return true;
        case 5: *out = std::get<double>(value); return true;
        default: return false;
    }
}

template <typename T>
void store(std::uint8_t* out, T value) {
    std::memcpy(out, &value, sizeof value);
}

template <typename T>
T load(const std::uint8_t* in) {
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

}  // namespace

std::int32_t field_width(FieldType type, std::int32_t text_width) {
    switch (type) {
        case FieldType::kByte:
        case FieldType::kBool: return 1;
        case FieldType::kShort: return 2;
        case FieldType::kLong:
        case FieldType::kDouble:
        case FieldType::kDateTime: return 8;
        case FieldType::kText: return text_width;
        default: return 4;
    }
}

bool is_chain_type(FieldType type) { return type == FieldType::kBytes || type == FieldType::kMemo; }

bool coerce_value(const Value& value, FieldType type, Value* out) {
    const bool numeric_value = value.index() <= 5;
    switch (type) {
        case FieldType::kByte:
        case FieldType::kShort:
        case FieldType::kInt:
        case FieldType::kLong: {
            std::int64_t bits = 0;
            if (!numeric_value || !as_integer_bits(value, &bits)) return false;
            if (type == FieldType::kByte) *out = static_cast<std::uint8_t>(bits);
            if (type == FieldType::kShort) *out = static_cast<std::int16_t>(bits);
            if (type == FieldType::kInt) *out = static_cast<std::int32_t>(bits);
            if (type == FieldType::kLong) *out = bits;
            return true;
        }
        case FieldType::kFloat:
        case FieldType::kDouble: {
            double number = 0;
            if (!numeric_value || !as_floating(value, &number)) return false;
            // A float value stays a float; other types reach float through double.
            if (type == FieldType::kFloat) {
                *out = value.index() == 4 ? std::get<float>(value) : static_cast<float>(number);
            } else {
                *out = number;
            }
            return true;
        }
        case FieldType::kBool:
            if (!std::holds_alternative<bool>(value)) return false;
            break;
        case FieldType::kDateTime:
            if (!std::holds_alternative<DateTime>(value)) return false;
            break;
        case FieldType::kSubroutine:
            if (!std::holds_alternative<SubroutinePointer>(value)) return false;
            break;
        case FieldType::kText:
        case FieldType::kMemo:
            if (!std::holds_alternative<std::string>(value)) return false;
            break;
        case FieldType::kBytes:
            if (!std::holds_alternative<ByteSet>(value)) return false;
            break;
    }
    *out = value;
    return true;
}

void encode_value(const Value& value, FieldType type, std::int32_t width, std::uint8_t* out) {
    switch (type) {
        case FieldType::kByte: out[0] = std::get<std::uint8_t>(value); break;
        case FieldType::kShort: store(out, std::get<std::int16_t>(value)); break;
        case FieldType::kInt: store(out, std::get<std::int32_t>(value)); break;
        case FieldType::kLong: store(out, std::get<std::int64_t>(value)); break;
        case FieldType::kFloat: store(out, std::get<float>(value)); break;
        case FieldType::kDouble: store(out, std::get<double>(value)); break;
        case FieldType::kBool: out[0] = std::get<bool>(value) ? 1 : 0; break;
        case FieldType::kDateTime: store(out, std::get<DateTime>(value).days); break;
        case FieldType::kSubroutine: store(out, std::get<SubroutinePointer>(value).address); break;
        case FieldType::kText: {
            // The text and its NUL, cut to the width; bytes after the NUL stay as they were.
            const std::string& text = std::get<std::string>(value);
            const std::size_t copied = std::min(text.size() + 1, static_cast<std::size_t>(width));
            std::memcpy(out, text.c_str(), copied);
            break;
        }
        case FieldType::kBytes:
        case FieldType::kMemo: break;
    }
}

Value decode_value(const std::uint8_t* bytes, FieldType type, std::int32_t width) {
    switch (type) {
        case FieldType::kByte: return bytes[0];
        case FieldType::kShort: return load<std::int16_t>(bytes);
        case FieldType::kInt: return load<std::int32_t>(bytes);
        case FieldType::kLong: return load<std::int64_t>(bytes);
        case FieldType::kFloat: return load<float>(bytes);
        case FieldType::kDouble: return load<double>(bytes);
        case FieldType::kBool: return bytes[0] != 0;
        case FieldType::kDateTime: {
            double days = load<double>(bytes);
            if (days > kLatestDate) days = kLatestDate;
            if (days < kEarliestDate) days = kEarliestDate;
            return DateTime{days};
        }
        case FieldType::kSubroutine: return SubroutinePointer{load<std::uint32_t>(bytes)};
        case FieldType::kText: {
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(bytes, 0, static_cast<std::size_t>(width)));
            const std::size_t length = end ? static_cast<std::size_t>(end - bytes) : static_cast<std::size_t>(width);
            return std::string(reinterpret_cast<const char*>(bytes), length);
        }
        case FieldType::kBytes:
        case FieldType::kMemo: break;
    }
    return empty_value(type);
}

Value empty_value(FieldType type) {
    switch (type) {
        case FieldType::kByte: return std::uint8_t{0};
        case FieldType::kShort: return std::int16_t{0};
        case FieldType::kInt: return std::int32_t{0};
        case FieldType::kLong: return std::int64_t{0};
        case FieldType::kFloat: return 0.0f;
        case FieldType::kDouble: return 0.0;
        case FieldType::kBool: return false;
        case FieldType::kDateTime: return DateTime{};
        case FieldType::kSubroutine: return SubroutinePointer{};
        case FieldType::kBytes: return ByteSet{};
        case FieldType::kText:
        case FieldType::kMemo: break;
    }
    return std::string();
}

Value chain_value(FieldType type, std::string bytes) {
    if (type == FieldType::kBytes) return ByteSet{std::move(bytes)};
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    return bytes;
}

}  // namespace quillet::db
