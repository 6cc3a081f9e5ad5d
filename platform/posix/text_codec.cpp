// Text conversion on glibc iconv.
//
// Code page 936 is glibc's "CP936" (identical to its "GBK" table, 0x80 being the euro
// sign). "GB18030" is not used: it rejects 0x80 and writes four-byte sequences that a
// code-page-936 reader cannot read.
//
// iconv stops at the first byte it cannot convert, whether the input is malformed or the
// character has no place in the target. Either way one "?" takes the place of that one
// character (or stray byte) and conversion goes on, as the Windows conversion does.
// Descriptors for the fixed pairs are cached per thread, so no locking is needed.
#include "platform/text_codec.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace quillet::platform {
namespace {

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

enum class Encoding { kGbk, kUtf8, kUtf16, kOther };

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle open_iconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// Every text of the program passes through the fixed conversions. Without them (glibc's
// gconv modules missing, or GCONV_PATH pointing elsewhere) nothing could be shown or
// stored correctly, so the process stops with a report instead. The report is plain
// ASCII written straight to standard error: the conversion it would need is what failed.
IconvHandle open_fixed_iconv(const char* to, const char* from) {
    IconvHandle handle = open_iconv(to, from);
    if (!handle) {
        const std::string report = std::string("quillet: fatal error: the text conversion from ") + from + " to " + to +
                                   " is not available (" + std::strerror(errno) +
                                   "). The glibc conversion modules (gconv) are missing or GCONV_PATH is wrong.\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, report.data(), report.size());
        std::_Exit(255);
    }
    return handle;
}

// How many input bytes make up the character iconv stopped at, so that exactly that
// character becomes one "?".
std::size_t unconvertible_length(Encoding from, const unsigned char* p, std::size_t left) {
    switch (from) {
        case Encoding::kGbk: {
            bool lead = p[0] >= 0x81 && p[0] <= 0xFE;
            bool trail = left >= 2 && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F;
            return lead && trail ? 2 : 1;
        }
        case Encoding::kUtf8: {
            std::size_t length = p[0] >= 0xF0 && p[0] <= 0xF4   ? 4
                                 : p[0] >= 0xE0 && p[0] <= 0xEF ? 3
                                 : p[0] >= 0xC2 && p[0] <= 0xDF ? 2
                                                                : 1;
            if (length > left) return 1;
            for (std::size_t i = 1; i < length; ++i) {
                if ((p[i] & 0xC0) != 0x80) return 1;
            }
            return length;
        }
        case Encoding::kUtf16: {
            if (left < 2) return left;
            char16_t unit;
            std::memcpy(&unit, p, 2);
            if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
                char16_t next;
                std::memcpy(&next, p + 2, 2);
                if (next >= 0xDC00 && next <= 0xDFFF) return 4;
            }
            return 2;
        }
        case Encoding::kOther:
            return 1;
    }
    return 1;
}

// Converts all of `input`; `question_mark` is "?" in the target encoding. `*replaced`,
// when given, counts the characters that became "?".
std::string convert(iconv_t cd, Encoding from, std::string_view input, std::string_view question_mark,
                    std::size_t* replaced = nullptr) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    std::string output(input.size() * 2 + 16, '\0');
    std::size_t written = 0;
    char* in = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    while (true) {
        bool flushing = in_left == 0;
        char* out = output.data() + written;
        std::size_t out_left = output.size() - written;
        std::size_t result =
            flushing ? iconv(cd, nullptr, nullptr, &out, &out_left) : iconv(cd, &in, &in_left, &out, &out_left);
        int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        written = output.size() - out_left;
        if (error == 0) {
            if (flushing) break;
            continue;
        }
        if (error == E2BIG) {
            output.resize(output.size() * 2);
            continue;
        }
        // EILSEQ (malformed or unmappable) or EINVAL (cut short at the end).
        std::size_t skip =
            error == EINVAL ? in_left : unconvertible_length(from, reinterpret_cast<unsigned char*>(in), in_left);
        if (output.size() - written < question_mark.size()) output.resize(output.size() * 2);
        std::memcpy(output.data() + written, question_mark.data(), question_mark.size());
        written += question_mark.size();
        if (replaced != nullptr) ++*replaced;
        in += skip;
        in_left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    output.resize(written);
    return output;
}

// The four fixed conversions, opened once per thread.
struct ThreadConverters {
    IconvHandle gbk_to_utf8 = open_fixed_iconv(kUtf8, kGbk);
    IconvHandle utf8_to_gbk = open_fixed_iconv(kGbk, kUtf8);
    IconvHandle gbk_to_utf16 = open_fixed_iconv(kUtf16, kGbk);
    IconvHandle utf16_to_gbk = open_fixed_iconv(kGbk, kUtf16);
};

ThreadConverters& converters() {
    thread_local ThreadConverters instance;
    return instance;
}

constexpr std::string_view kQuestionMark = "?";
const std::string_view kQuestionMark16{reinterpret_cast<const char*>(u"?"), 2};

// Labels that name code page 936 or one of its subsets all read as code page 936, since
// pages labelled GB2312 routinely hold GBK characters.
bool names_code_page_936(std::string_view name) {
    static constexpr std::string_view kNames[] = {"gbk", "gb2312", "cp936", "ms936", "windows-936", "x-gbk", "euc-cn"};
    for (std::string_view known : kNames) {
        if (known.size() == name.size() && std::equal(known.begin(), known.end(), name.begin(), [](char a, char b) {
                return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
            })) {
            return true;
        }
    }
    return false;
}

std::string_view trim_label(std::string_view name) {
    while (!name.empty() &&
           (name.front() == ' ' || name.front() == '\t' || name.front() == '"' || name.front() == '\''))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '"' || name.back() == '\''))
        name.remove_suffix(1);
    return name;
}

}  // namespace

std::string gbk_to_utf8(std::string_view gbk) {
    return convert(converters().gbk_to_utf8.get(), Encoding::kGbk, gbk, kQuestionMark);
}

std::string utf8_to_gbk(std::string_view utf8) {
    return convert(converters().utf8_to_gbk.get(), Encoding::kUtf8, utf8, kQuestionMark);
}

std::u16string gbk_to_utf16(std::string_view gbk) {
    std::string bytes = convert(converters().gbk_to_utf16.get(), Encoding::kGbk, gbk, kQuestionMark16);
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

std::string utf16_to_gbk(std::u16string_view utf16) {
    std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
    return convert(converters().utf16_to_gbk.get(), Encoding::kUtf16, bytes, kQuestionMark);
}

bool utf16_to_gbk_exactly(std::u16string_view utf16, std::string* gbk) {
    std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
    std::size_t replaced = 0;
    *gbk = convert(converters().utf16_to_gbk.get(), Encoding::kUtf16, bytes, kQuestionMark, &replaced);
    return replaced == 0;
}

bool charset_to_gbk(std::string_view bytes, const std::string& charset, std::string* gbk) {
    std::string name(trim_label(charset));
    if (name.empty()) return false;
    if (names_code_page_936(name)) {
        // Already GBK; still pass it through so that stray bytes become "?".
        *gbk = utf8_to_gbk(gbk_to_utf8(bytes));
        return true;
    }
    // Via UTF-8: malformed input becomes "?" in the first step, characters GBK lacks in
    // the second, each counted correctly whatever the source encoding.
    IconvHandle to_utf8 = open_iconv(kUtf8, name.c_str());
    if (!to_utf8) return false;
    *gbk = utf8_to_gbk(convert(to_utf8.get(), Encoding::kOther, bytes, kQuestionMark));
    return true;
}

}  // namespace quillet::platform
