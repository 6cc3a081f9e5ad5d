#include "net/update_request_version.h"

#include <cctype>
#include <vector>

namespace quillet::net {
namespace {

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace

std::string update_request_version(std::string_view version) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = version.find('.', start);
        parts.push_back(version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (parts.size() < 2 || parts.size() > 3) return std::string(version);
    for (std::string_view part : parts) {
        if (!all_digits(part)) return std::string(version);
    }
    std::string patch = parts.size() == 3 ? std::string(parts[2]) : "0";
    if (patch.size() < 2) patch.insert(0, 2 - patch.size(), '0');
    return std::string(parts[0]) + "." + std::string(parts[1]) + "." + patch;
}

}  // namespace quillet::net
