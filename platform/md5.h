// MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet::platform {

using Md5Digest = std::array<std::uint8_t, 16>;

Md5Digest md5(std::string_view bytes);
// 32 lower-case hexadecimal digits, in byte order.
std::string md5_hex(std::string_view bytes);

}  // namespace quillet::platform
