// Values of the program's types as the database commands take and return them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quillet::db {

// Field type codes as stored in a field descriptor.
enum class FieldType : std::int32_t {
    kByte = 1,
    kShort = 2,
    kInt = 3,
    kLong = 4,
    kFloat = 5,
    kDouble = 6,
    kBool = 7,
    kDateTime = 8,
    kSubroutine = 9,
    kText = 10,
    kBytes = 11,
    kMemo = 12,
};

struct DateTime {
    double days = 0;  // days since 1899-12-30 00:00
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

struct SubroutinePointer {
    std::uint32_t address = 0;
    friend bool operator==(const SubroutinePointer&, const SubroutinePointer&) = default;
};

// A byte-set: raw bytes, kept apart from text so that the two are not confused.
struct ByteSet {
    std::string bytes;
    friend bool operator==(const ByteSet&, const ByteSet&) = default;
};

// Text and memo values are GBK text in std::string.
using Value = std::variant<std::uint8_t, std::int16_t, std::int32_t, std::int64_t, float, double, bool, DateTime,
                           SubroutinePointer, std::string, ByteSet>;

}  // namespace quillet::db
