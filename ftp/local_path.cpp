// Paths are GBK: "\" and "|" also occur as the second byte of double-byte characters, so
// every scan here steps over whole characters, as the Windows path functions do.
#include "ftp/local_path.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "platform/date_time.h"

namespace quillet::ftp {
namespace {

// The date and time formatting functions write into a 50-byte buffer; a longer result
// does not fit and gives an empty part.
constexpr std::size_t kFormatBufferSize = 50;

std::size_t char_length(std::string_view text, std::size_t i) {
    auto byte = static_cast<unsigned char>(text[i]);
    return byte >= 0x81 && byte <= 0xFE && i + 1 < text.size() ? 2 : 1;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The final component as PathFindFileName finds it: after the last "\", "/" or ":" that
// is followed by something other than another separator.
std::string_view final_component(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); i += char_length(path, i)) {
        if ((is_separator(path[i]) || path[i] == ':') && i + 1 < path.size() && !is_separator(path[i + 1]))
            start = i + 1;
    }
    return path.substr(start);
}

std::string padded(int value, std::size_t width) {
    std::string digits = std::to_string(value);
    return digits.size() < width ? std::string(width - digits.size(), '0') + digits : digits;
}

// One date element: `c` repeated `run` times. False when `c` is no date element.
bool date_element(char c, std::size_t run, const platform::CalendarFields& f, std::string* out) {
    static const char* const kDayShort[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
    static const char* const kDayLong[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
    static const char* const kMonthLong[] = {"一月", "二月", "三月", "四月", "五月",   "六月",
                                             "七月", "八月", "九月", "十月", "十一月", "十二月"};
    switch (c) {
        case 'd':
            *out += run == 1   ? std::to_string(f.day)
                    : run == 2 ? padded(f.day, 2)
                    : run == 3 ? kDayShort[f.day_of_week]
                               : kDayLong[f.day_of_week];
            return true;
        case 'M':
            *out += run == 1   ? std::to_string(f.month)
                    : run == 2 ? padded(f.month, 2)
                    : run == 3 ? std::to_string(f.month) + "月"
                               : kMonthLong[f.month - 1];
            return true;
        case 'y':
            *out += run == 1   ? std::to_string(f.year % 100)
                    : run == 2 ? padded(f.year % 100, 2)
                               : std::to_string(f.year);
            return true;
        case 'g':
            *out += "公元";
            return true;
        default:
            return false;
    }
}

// One time element, as date_element. With `force_24_hour` h counts 24 hours and the
// morning/afternoon marker is left out.
bool time_element(char c, std::size_t run, const platform::CalendarFields& f, bool force_24_hour, std::string* out) {
    auto number = [&](int value) { *out += run == 1 ? std::to_string(value) : padded(value, 2); };
    switch (c) {
        case 'H':
            number(f.hour);
            return true;
        case 'h':
            number(force_24_hour ? f.hour : (f.hour % 12 == 0 ? 12 : f.hour % 12));
            return true;
        case 'm':
            number(f.minute);
            return true;
        case 's':
            number(f.second);
            return true;
        case 't':
            // "t" is the marker's first character (two GBK bytes), "tt" the whole marker.
            if (!force_24_hour) *out += std::string(f.hour < 12 ? "上午" : "下午").substr(0, run == 1 ? 2 : 4);
            return true;
        default:
            return false;
    }
}

enum class PictureKind { kDate, kTime };

// Expands one picture. Runs of one letter are the elements; 'text' is copied as it
// stands ('' inside quotes is one quote); every other character is copied.
std::string expand(std::string_view picture, PictureKind kind, const platform::CalendarFields& f, bool force_24_hour) {
    std::string out;
    std::size_t i = 0;
    while (i < picture.size()) {
        if (picture[i] == '\'') {
            for (++i; i < picture.size(); i += char_length(picture, i)) {
                if (picture[i] == '\'') {
                    if (i + 1 >= picture.size() || picture[i + 1] != '\'') break;
                    ++i;  // a doubled quote stands for one
                }
                out.append(picture.substr(i, char_length(picture, i)));
            }
            ++i;
            continue;
        }
        if (char_length(picture, i) == 2) {
            out.append(picture.substr(i, 2));
            i += 2;
            continue;
        }
        char c = picture[i];
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        i += run;
        bool element =
            kind == PictureKind::kDate ? date_element(c, run, f, &out) : time_element(c, run, f, force_24_hour, &out);
        if (!element) out.append(run, c);
    }
    return out.size() < kFormatBufferSize ? out : std::string();
}

}  // namespace

std::string format_date_time(double date_time, const std::string& date_picture, const std::string& time_picture,
                           bool force_24_hour) {
    if (date_picture.empty() && time_picture.empty()) return {};
    platform::CalendarFields fields;
    if (!platform::date_time_to_calendar(date_time, &fields)) return {};
    std::string date = date_picture.size() < 3 ? "" : expand(date_picture, PictureKind::kDate, fields, false);
    std::string time = time_picture.size() < 3 ? "" : expand(time_picture, PictureKind::kTime, fields, force_24_hour);
    return date + time;
}

bool is_valid_file_path(const std::string& path, bool extension_optional) {
    bool linux_absolute = path.size() >= 2 && path[0] == '/' && path[1] != '/';
    if (!linux_absolute) {
        char first = path.empty() ? '\0' : path[0];
        if (first >= 'a' && first <= 'z') first = static_cast<char>(first - 'a' + 'A');
        if (first < 'A' || first > 'Z') return false;
        if (path.find(":\\") == std::string::npos && path.find(":/") == std::string::npos) return false;
    }
    std::string name = file_name_part(path, true);
    if (name.empty() || has_illegal_name_character(name)) return false;
    if (extension_optional) return true;
    std::size_t dot = name.rfind('.');  // "." never is the second byte of a character
    return dot != std::string::npos && dot > 0 && dot + 1 < name.size();
}

std::string file_name_part(const std::string& path, bool with_extension) {
    std::string_view name = final_component(path);
    if (!name.empty() && name.front() == '\\') return {};
    if (!with_extension) name.remove_suffix(std::min(extension_part(path).size(), name.size()));
    return std::string(name);
}

std::string extension_part(const std::string& path) {
    // As PathFindExtension: a separator or a space after the last "." means there is none.
    std::size_t dot = std::string::npos;
    for (std::size_t i = 0; i < path.size(); i += char_length(path, i)) {
        if (is_separator(path[i]) || path[i] == ' ') {
            dot = std::string::npos;
        } else if (path[i] == '.') {
            dot = i;
        }
    }
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

bool has_illegal_name_character(const std::string& name) {
    static constexpr std::string_view kIllegal = "?/\\<>*|:\"";
    for (std::size_t i = 0; i < name.size(); i += char_length(name, i)) {
        if (char_length(name, i) == 1 && kIllegal.find(name[i]) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace quillet::ftp
