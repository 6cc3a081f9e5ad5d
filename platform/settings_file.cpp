// INI files as the Windows profile functions treat them: names compared without regard
// to letter case, spaces around names and values ignored, one pair of matching quotes
// around a value dropped, the first matching section and key winning. A write rewrites
// the whole file (CR LF line ends) with only the one key changed, atomically.
//
// Files are GBK. The bytes "[" "]" "\" can be the second byte of a double-byte
// character, so scans for "]" and the case folding step over double-byte characters.
#include "platform/settings_file.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace quillet::platform {
namespace {

constexpr std::size_t kValueBufferSize = 10240;

bool is_lead_byte(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool names_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (is_lead_byte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (ascii_upper(a[i]) != ascii_upper(b[i])) {
            return false;
        }
    }
    return true;
}

struct Line {
    enum class Kind { kOther, kSection, kKey } kind = Kind::kOther;
    std::string_view text;   // the whole line, without its line end
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

Line parse_line(std::string_view text) {
    Line line{Line::Kind::kOther, text, {}, {}};
    std::string_view body = trim(text);
    if (!body.empty() && body.front() == '[') {
        std::size_t end = 1;
        while (end < body.size() && body[end] != ']') end += is_lead_byte(body[end]) ? 2 : 1;
        line.kind = Line::Kind::kSection;
        line.name = trim(body.substr(1, end - 1));
        return line;
    }
    std::size_t equals = body.find('=');  // never a byte of a double-byte character
    if (equals != std::string_view::npos) {
        line.kind = Line::Kind::kKey;
        line.name = trim(body.substr(0, equals));
        line.value = trim(body.substr(equals + 1));
    }
    return line;
}

std::vector<Line> parse(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(parse_line(line));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Where a key is, or where it would go: the index of its line, or of the line after
// which a new key belongs (its section's last key, so trailing comments stay with the next section).
struct Position {
    std::optional<std::size_t> key_line;
    std::optional<std::size_t> section_end;
};

Position locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Position position;
    bool in_section = false;
    bool in_first_section = false;  // new keys go to the first matching section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == Line::Kind::kSection) {
            in_section = names_equal(line.name, section);
            in_first_section = in_section && !position.section_end;
            if (in_first_section) position.section_end = i;
            continue;
        }
        if (!in_section) continue;
        if (line.kind == Line::Kind::kKey && names_equal(line.name, key)) {
            position.key_line = i;
            return position;
        }
        if (in_first_section && line.kind == Line::Kind::kKey) position.section_end = i;
    }
    return position;
}

bool has_line_break(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Names that could not be read back as written would corrupt the file's structure.
bool writable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || key.empty() || has_line_break(section) || has_line_break(key) || has_line_break(value))
        return false;
    for (std::size_t i = 0; i < section.size(); i += is_lead_byte(section[i]) ? 2 : 1) {
        if (section[i] == ']') return false;
    }
    return key.find('=') == std::string_view::npos && key.front() != '[';
}

// Writes are read-modify-write: one at a time within the process, so that two threads
// changing different keys of one file do not lose either change.
std::mutex write_mutex;

}  // namespace

std::string read_setting(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& default_value) {
    std::string text;
    std::string result = default_value;
    if (read_whole_file(file, &text)) {
        std::vector<Line> lines = parse(text);
        Position position = locate(lines, trim(section), trim(key));
        if (position.key_line) {
            std::string_view value = lines[*position.key_line].value;
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            result = std::string(value);
        }
    }
    if (result.size() > kValueBufferSize - 1) result.resize(kValueBufferSize - 1);
    return result;
}

bool write_setting(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
    std::string_view section_name = trim(section);
    std::string_view key_name = trim(key);
    if (!writable(section_name, key_name, value)) return false;

    std::lock_guard lock(write_mutex);
    std::string text;
    // An unreadable file is left alone rather than replaced by one holding a single key.
    if (!read_whole_file(file, &text) && is_existing_file(file)) return false;
    std::vector<Line> lines = parse(text);
    Position position = locate(lines, section_name, key_name);

    std::vector<std::string> output;
    output.reserve(lines.size() + 2);
    for (const Line& line : lines) output.emplace_back(line.text);
    if (position.key_line) {
        output[*position.key_line] = std::string(lines[*position.key_line].name) + "=" + value;
    } else if (position.section_end) {
        output.insert(output.begin() + static_cast<std::ptrdiff_t>(*position.section_end) + 1,
                      std::string(key_name) + "=" + value);
    } else {
        output.push_back("[" + std::string(section_name) + "]");
        output.push_back(std::string(key_name) + "=" + value);
    }

    std::string bytes;
    for (const std::string& line : output) bytes += line + "\r\n";
    return write_whole_file_atomically(file, bytes);
}

bool remove_setting(const std::string& file, const std::string& section, const std::string& key) {
    std::lock_guard lock(write_mutex);
    std::string text;
    if (!read_whole_file(file, &text)) return !is_existing_file(file);
    const std::vector<Line> lines = parse(text);
    const Position position = locate(lines, trim(section), trim(key));
    if (!position.key_line) return true;
    // The key's section goes too when the key was its only one.
    std::size_t header = *position.key_line;
    while (lines[header].kind != Line::Kind::kSection) --header;
    bool other_keys = false;
    for (std::size_t i = header + 1; i < lines.size() && lines[i].kind != Line::Kind::kSection; ++i) {
        other_keys = other_keys || (lines[i].kind == Line::Kind::kKey && i != *position.key_line);
    }
    std::string bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == *position.key_line || (i == header && !other_keys)) continue;
        bytes += std::string(lines[i].text) + "\r\n";
    }
    return write_whole_file_atomically(file, bytes);
}

}  // namespace quillet::platform
