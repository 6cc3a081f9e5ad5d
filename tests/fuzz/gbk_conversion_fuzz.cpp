// Text conversion between GBK, UTF-8 and UTF-16 and from the character sets a web page
// may declare, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillet::platform;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = gbk_to_utf8(bytes);
    utf8_to_gbk(utf8);
    utf8_to_gbk(bytes);
    utf16_to_gbk(gbk_to_utf16(bytes));
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    utf16_to_gbk(units);
    std::string converted;
    for (const char* charset : {"utf-8", "gb18030", "big5", "iso-8859-1", "windows-1252"}) {
        charset_to_gbk(bytes, charset, &converted);
    }
    return 0;
}
