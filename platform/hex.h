// Bytes as lower-case hexadecimal digits, two a byte, in order.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillet::platform {

std::string lower_hex(std::span<const std::uint8_t> bytes);

}  // namespace quillet::platform
