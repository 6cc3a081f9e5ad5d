// Conversion between GBK (code page 936), UTF-8 and UTF-16.
// Characters that GBK cannot hold become "?"; invalid input never crashes and never
// yields a silently empty text.
#pragma once

#include <string>
#include <string_view>

namespace quillet::platform {

std::string gbk_to_utf8(std::string_view gbk);
std::string utf8_to_gbk(std::string_view utf8);
std::u16string gbk_to_utf16(std::string_view gbk);
std::string utf16_to_gbk(std::u16string_view utf16);
// The same conversion, reporting the loss: false when some character (an emoji, a CJK
// extension character, a lone surrogate) had to become "?". `*gbk` gets the converted text either way.
bool utf16_to_gbk_exactly(std::u16string_view utf16, std::string* gbk);
// Converts bytes in a named character set (as iconv names it) to GBK; false when the
// character set is unknown.
bool charset_to_gbk(std::string_view bytes, const std::string& charset, std::string* gbk);

}  // namespace quillet::platform
