// GBK text to and from the UTF-16 the W functions of the Windows API take.
#pragma once

#include <string>
#include <string_view>

namespace quillet::platform {

std::wstring wide(std::string_view gbk);
std::string narrow(std::wstring_view utf16);

}  // namespace quillet::platform
