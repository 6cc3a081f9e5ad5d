// Reading a reply's header block and the cookie texts: the status, the Set-Cookie lines
// in any letter case, the redirect target, and the merge of sent and received cookies.
// Pure text functions on GBK bytes, shared by the HTTP client and its fuzz target.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::net {

// The status line without its protocol version: "200 OK".
std::string status_of(std::string_view headers);
// Every spelling of the header name becomes "Set-Cookie".
std::string normalise_set_cookie(std::string_view headers);
// "a=1; b=2" from the "Set-Cookie:" lines, each cut at its first ";".
std::string cookies_set_by(std::string_view headers);
// The value of the first line starting with "Location: ".
std::string redirect_target_of(std::string_view headers);
// The sent cookies with the received ones replacing or joining them by name; spaces
// (ASCII and full-width) go, entries ending in "=deleted" are dropped.
std::string merge_cookies(std::string_view sent, std::string_view received);

// Text helpers the HTTP client shares.
// Case-insensitive search for an ASCII needle.
size_t find_ignoring_case(std::string_view text, std::string_view needle, size_t from = 0);
// Length in bytes of the GBK character at `at` (a lead byte at the very end counts alone).
size_t gbk_char_length(std::string_view text, size_t at);
// The parts between separators; n separators give n + 1 parts.
std::vector<std::string_view> split_text(std::string_view text, std::string_view separator);
// Without leading and trailing ASCII spaces.
std::string_view trim_spaces(std::string_view text);

}  // namespace quillet::net
