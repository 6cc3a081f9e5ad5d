#include "app/web_address.h"

#include <array>

namespace quillet::app {
namespace {

constexpr std::array<std::string_view, 3> kWebSchemes = {"http", "https", "ftp"};

bool is_ascii_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Spaces and control characters have no place in an address; they would only serve to
// smuggle something else past the handler.
bool has_blank_or_control(std::string_view text) {
    for (unsigned char c : text) {
        if (c <= ' ' || c == 0x7F) return true;
    }
    return false;
}

// "host", "host:port" or "host/path...": the host made of letters, digits, "-", "." and
// double-byte characters, starting with a letter, digit or double-byte character. This
// refuses "file:...", "javascript:...", "C:\...", "/path", "./program" and "-option".
bool looks_like_bare_host(std::string_view text) {
    const std::size_t host_end = text.find_first_of("/?#");
    std::string_view authority = text.substr(0, host_end);
    std::string_view host = authority;
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        const std::string_view port = authority.substr(colon + 1);
        if (port.empty()) return false;
        for (unsigned char c : port) {
            if (c < '0' || c > '9') return false;
        }
    }
    if (host.empty()) return false;
    const auto first = static_cast<unsigned char>(host.front());
    if (!is_ascii_alnum(first) && first < 0x80) return false;
    for (unsigned char c : host) {
        if (!is_ascii_alnum(c) && c != '-' && c != '.' && c < 0x80) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> web_address_to_open(std::string_view address) {
    const std::size_t first = address.find_first_not_of(' ');
    address = first == std::string_view::npos ? std::string_view() : address.substr(first);
    address = address.substr(0, address.find_last_not_of(' ') + 1);
    if (address.empty() || has_blank_or_control(address)) return std::nullopt;
    const std::size_t separator = address.find("://");
    if (separator == std::string_view::npos) {
        if (!looks_like_bare_host(address)) return std::nullopt;
        return "http://" + std::string(address);
    }
    const std::string_view scheme = address.substr(0, separator);
    if (separator + 3 == address.size()) return std::nullopt;
    for (std::string_view allowed : kWebSchemes) {
        if (equals_ignoring_case(scheme, allowed)) return std::string(address);
    }
    return std::nullopt;
}

}  // namespace quillet::app
