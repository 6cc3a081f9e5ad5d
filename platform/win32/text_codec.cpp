// Text conversion on the Windows code pages.
//
// Code page 936 does the GBK side. Its Windows table goes further than GBK proper (0xFF
// reads as a private-use character) and the system's handling of bad input differs
// between versions, so the GBK text is split into characters here and each bad one
// becomes one "?", exactly as the other builds do. UTF-8 is decoded and encoded here too,
// for the same reason: "?" for each malformed sequence, counted the same way everywhere.
// Whole texts go to the system in one call; only a text with a fault is done piecewise.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

constexpr UINT kGbkCodePage = 936;

bool is_lead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool is_trail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// Decodes bytes of a code page in one call; false when the system finds a fault.
bool decode_strictly(UINT code_page, std::string_view bytes, std::u16string* out) {
    out->clear();
    if (bytes.empty()) return true;
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) return false;
    out->resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, reinterpret_cast<wchar_t*>(out->data()),
                               length) == length;
}

// Encodes UTF-16 into code page 936; false when a unit had no place there (or was a lone
// surrogate) and a stand-in was used.
bool encode_gbk_strictly(std::u16string_view text, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    const auto* units = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    BOOL used_default = FALSE;
    const int length =
        WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, units, size, nullptr, 0, "?", &used_default);
    if (length <= 0 || used_default) return false;
    out->resize(static_cast<std::size_t>(length));
    used_default = FALSE;
    return WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, units, size, out->data(), length, "?",
                               &used_default) == length &&
           !used_default;
}

bool gbk_byte_is_valid_alone(unsigned char byte) { return byte < 0x80 || byte == 0x80; }

std::u16string gbk_to_utf16_piecewise(std::string_view gbk) {
    std::u16string out;
    out.reserve(gbk.size());
    std::u16string piece;
    for (std::size_t i = 0; i < gbk.size();) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        std::size_t length = 1;
        if (is_lead(byte) && i + 1 < gbk.size() && is_trail(static_cast<unsigned char>(gbk[i + 1]))) length = 2;
        const bool plausible = length == 2 || gbk_byte_is_valid_alone(byte);
        if (plausible && decode_strictly(kGbkCodePage, gbk.substr(i, length), &piece) && piece.size() == 1) {
            out += piece;
        } else {
            out += u'?';
        }
        i += length;
    }
    return out;
}

std::string utf16_to_gbk_piecewise(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::string piece;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 1;
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            length = 2;
        const bool lone_surrogate = length == 1 && unit >= 0xD800 && unit <= 0xDFFF;
        if (!lone_surrogate && encode_gbk_strictly(text.substr(i, length), &piece)) {
            out += piece;
        } else {
            out += '?';
        }
        i += length;
    }
    return out;
}

bool has_bytes_windows_reads_beyond_gbk(std::string_view gbk) {
    return std::any_of(gbk.begin(), gbk.end(), [](char c) { return static_cast<unsigned char>(c) == 0xFF; });
}

void append_utf16(char32_t code_point, std::u16string* out) {
    if (code_point >= 0x10000) {
        code_point -= 0x10000;
        *out += static_cast<char16_t>(0xD800 + (code_point >> 10));
        *out += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
    } else {
        *out += static_cast<char16_t>(code_point);
    }
}

// One "?" per fault. A fault takes the whole sequence its lead byte announces when every
// continuation byte is there (an overlong form, a surrogate, beyond U+10FFFF), else just
// the lead byte; a sequence cut off by the end of the text is one fault.
std::u16string utf8_to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF                             ? 2
                                                                                        : 1;
        if (length == 1) {
            out += u'?';
            ++i;
            continue;
        }
        std::size_t present = 1;
        while (present < length && i + present < size && (p[i + present] & 0xC0) == 0x80) ++present;
        if (present < length) {
            out += u'?';
            i = i + present == size ? size : i + 1;
            continue;
        }
        char32_t code_point = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) code_point = (code_point << 6) | (p[i + k] & 0x3F);
        const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code_point < smallest || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
            out += u'?';
        } else {
            append_utf16(code_point, &out);
        }
        i += length;
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += '?';
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim_label(std::string_view name) {
    auto is_junk = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
    while (!name.empty() && is_junk(name.front())) name.remove_prefix(1);
    while (!name.empty() && is_junk(name.back())) name.remove_suffix(1);
    return name;
}

enum : UINT { kUtf8Label = 0xFFFFFFFFu };

// The character set labels of web pages, by code page. Labels that name code page 936
// or one of its subsets all read as code page 936, since pages labelled GB2312 routinely
// hold GBK characters.
UINT code_page_of(std::string_view label) {
    struct Known {
        const char* name;
        UINT code_page;
    };
    static constexpr Known kKnown[] = {
        {"utf-8", kUtf8Label},       {"utf8", kUtf8Label},         {"gbk", 936},
        {"gb2312", 936},             {"cp936", 936},               {"ms936", 936},
        {"windows-936", 936},        {"x-gbk", 936},               {"euc-cn", 936},
        {"gb18030", 54936},          {"big5", 950},                {"shift_jis", 932},
        {"shift-jis", 932},          {"sjis", 932},                {"euc-jp", 20932},
        {"euc-kr", 949},             {"iso-8859-1", 28591},        {"latin1", 28591},
        {"iso-8859-2", 28592},       {"iso-8859-5", 28595},        {"iso-8859-7", 28597},
        {"iso-8859-9", 28599},       {"iso-8859-15", 28605},       {"koi8-r", 20866},
        {"us-ascii", 20127},         {"ascii", 20127},             {"windows-1250", 1250},
        {"windows-1251", 1251},      {"windows-1252", 1252},       {"windows-1253", 1253},
        {"windows-1254", 1254},      {"windows-1255", 1255},       {"windows-1256", 1256},
        {"windows-1257", 1257},      {"windows-1258", 1258},
    };
    std::string lower(label);
    std::transform(lower.begin(), lower.end(), lower.begin(), ascii_lower);
    for (const Known& known : kKnown) {
        if (lower == known.name) return known.code_page;
    }
    return 0;
}

}  // namespace

std::u16string gbk_to_utf16(std::string_view gbk) {
    std::u16string text;
    if (!has_bytes_windows_reads_beyond_gbk(gbk) && decode_strictly(kGbkCodePage, gbk, &text)) return text;
    return gbk_to_utf16_piecewise(gbk);
}

std::string utf16_to_gbk(std::u16string_view utf16) {
    std::string text;
    if (encode_gbk_strictly(utf16, &text)) return text;
    return utf16_to_gbk_piecewise(utf16);
}

// WideCharToMultiByte's used-default flag tells whether any character was replaced.
bool utf16_to_gbk_exactly(std::u16string_view utf16, std::string* gbk) {
    if (encode_gbk_strictly(utf16, gbk)) return true;
    *gbk = utf16_to_gbk_piecewise(utf16);
    return false;
}

std::string gbk_to_utf8(std::string_view gbk) { return utf16_to_utf8(gbk_to_utf16(gbk)); }

std::string utf8_to_gbk(std::string_view utf8) { return utf16_to_gbk(utf8_to_utf16(utf8)); }

bool charset_to_gbk(std::string_view bytes, const std::string& charset, std::string* gbk) {
    const UINT code_page = code_page_of(trim_label(charset));
    if (code_page == 0) return false;
    if (code_page == kGbkCodePage) {
        // Already GBK; still pass it through so that stray bytes become "?".
        *gbk = utf16_to_gbk(gbk_to_utf16(bytes));
        return true;
    }
    if (code_page == kUtf8Label) {
        *gbk = utf8_to_gbk(bytes);
        return true;
    }
    // Other code pages: what the system cannot read becomes U+FFFD and then "?".
    std::u16string text;
    if (!bytes.empty()) {
        const int size = static_cast<int>(bytes.size());
        const int length = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
        if (length <= 0) return false;
        text.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(code_page, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), length);
    }
    *gbk = utf16_to_gbk(text);
    return true;
}

}  // namespace quillet::platform
