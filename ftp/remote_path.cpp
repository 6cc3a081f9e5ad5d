#include "ftp/remote_path.h"

#include <vector>

namespace quillet::ftp {
namespace {

bool is_lead_byte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// For each byte: true when it is the second byte of a double-byte character.
std::vector<bool> trail_bytes(const std::string& text) {
    std::vector<bool> trail(text.size(), false);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            trail[++i] = true;
        }
    }
    return trail;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string final_component(const std::string& path) {
    const std::vector<bool> trail = trail_bytes(path);
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (trail[i] || !(is_separator(path[i]) || path[i] == ':')) continue;
        if (!is_separator(path[i + 1])) start = i + 1;
    }
    return path.substr(start);
}

std::string trim_separators(const std::string& text) {
    std::string result = text;
    std::size_t length;
    do {
        length = result.size();
        for (char separator : {'\\', '/'}) {
            std::size_t begin = 0;
            while (begin < result.size() && result[begin] == separator) ++begin;
            result.erase(0, begin);
            const std::vector<bool> trail = trail_bytes(result);
            std::size_t end = result.size();
            while (end > 0 && result[end - 1] == separator && !trail[end - 1]) --end;
            result.resize(end);
        }
    } while (result.size() != length);
    return result;
}

std::string fold_lower(const std::string& text) {
    std::string result = text;
    const std::vector<bool> trail = trail_bytes(result);
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (!trail[i] && result[i] >= 'A' && result[i] <= 'Z') result[i] = static_cast<char>(result[i] - 'A' + 'a');
    }
    return result;
}

bool names_equal(const std::string& a, const std::string& b, bool case_sensitive) {
    return case_sensitive ? a == b : fold_lower(a) == fold_lower(b);
}

std::string absolute_path(const std::string& current_directory, const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    if (path.empty()) return current_directory;
    return join_remote(current_directory, path);
}

std::string join_remote(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

}  // namespace quillet::ftp
