#include "platform/win32/wide_text.h"

#include "platform/text_codec.h"

namespace quillet::platform {

// wchar_t is UTF-16 with mingw-w64 as with MSVC, so the two string kinds share their units.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring wide(std::string_view gbk) {
    std::u16string text = gbk_to_utf16(gbk);
    return std::wstring(text.begin(), text.end());
}

std::string narrow(std::wstring_view utf16) {
    return utf16_to_gbk(std::u16string(utf16.begin(), utf16.end()));
}

}  // namespace quillet::platform
