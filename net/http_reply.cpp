#include "net/http_reply.h"

namespace quillet::net {
namespace {

bool is_gbk_lead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

size_t gbk_char_length(std::string_view text, size_t at) {
    return is_gbk_lead(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

std::vector<std::string_view> split_text(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    for (size_t found; (found = text.find(separator, at)) != std::string_view::npos; at = found + separator.size()) {
        parts.push_back(text.substr(at, found - at));
    }
    parts.push_back(text.substr(at));
    return parts;
}

std::string_view trim_spaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

size_t find_ignoring_case(std::string_view text, std::string_view needle, size_t from) {
    for (size_t at = from; at + needle.size() <= text.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && ascii_lower(text[at + i]) == ascii_lower(needle[i])) ++i;
        if (i == needle.size()) return at;
    }
    return std::string_view::npos;
}

// The status line without its protocol version: "200 OK".
std::string status_of(std::string_view headers) {
    std::string_view line = headers.substr(0, headers.find("\r\n"));
    size_t space = line.find(' ');
    return space == std::string_view::npos ? std::string() : std::string(line.substr(space + 1));
}

// Every spelling of the header name becomes "Set-Cookie", so that the lines are found
// whatever case the server wrote them in.
std::string normalise_set_cookie(std::string_view headers) {
    static constexpr std::string_view kName = "Set-Cookie";
    std::string result;
    size_t at = 0;
    for (size_t found; (found = find_ignoring_case(headers, kName, at)) != std::string_view::npos;
         at = found + kName.size()) {
        result.append(headers.substr(at, found - at)).append(kName);
    }
    result.append(headers.substr(at));
    return result;
}

// A line mentioning "Set-Cookie" without the colon carries no cookie.
std::string cookies_set_by(std::string_view headers) {
    static constexpr std::string_view kMarker = "Set-Cookie:";
    std::string cookies;
    for (std::string_view line : split_text(headers, "\r\n")) {
        size_t marker = line.find(kMarker);
        if (marker == std::string_view::npos) continue;
        std::string_view rest = line.substr(marker + kMarker.size());
        rest = rest.substr(0, rest.find(';'));
        cookies.append(trim_spaces(rest)).append("; ");
    }
    if (!cookies.empty()) cookies.resize(cookies.size() - 2);
    return cookies;
}

std::string redirect_target_of(std::string_view headers) {
    static constexpr std::string_view kLocation = "Location: ";
    for (std::string_view line : split_text(headers, "\r\n")) {
        if (line.starts_with(kLocation)) return std::string(line.substr(kLocation.size()));
    }
    return {};
}

namespace {

// Removes ASCII spaces and the GBK full-width space (A1 A1).
std::string without_spaces(std::string_view text) {
    std::string result;
    for (size_t at = 0; at < text.size();) {
        size_t length = gbk_char_length(text, at);
        std::string_view character = text.substr(at, length);
        if (character != " " && character != "\xA1\xA1") result.append(character);
        at += length;
    }
    return result;
}

std::string_view cookie_name(std::string_view entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::string merge_cookies(std::string_view sent, std::string_view received) {
    std::string sent_text = without_spaces(sent);
    std::string received_text = without_spaces(received);
    std::vector<std::string_view> entries;
    for (std::string_view entry : split_text(sent_text, ";")) {
        if (!entry.empty()) entries.push_back(entry);
    }
    for (std::string_view entry : split_text(received_text, ";")) {
        if (entry.empty()) continue;
        bool replaced = false;
        for (std::string_view& kept : entries) {
            if (cookie_name(kept) == cookie_name(entry)) {
                kept = entry;
                replaced = true;
                break;
            }
        }
        if (!replaced) entries.push_back(entry);
    }
    std::string merged;
    for (std::string_view entry : entries) {
        if (entry.ends_with("=deleted")) continue;
        if (!merged.empty()) merged += "; ";
        merged.append(entry);
    }
    return merged;
}

}  // namespace quillet::net
