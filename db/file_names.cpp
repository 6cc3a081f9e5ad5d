#include "db/file_names.h"

#include "platform/file.h"

namespace quillet::db {
namespace {

// Where the file name starts. A GBK trail byte may be 0x5C, so walk characters.
std::size_t name_start(const std::string& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte >= 0x81 && byte <= 0xFE) {
            ++i;
        } else if (byte == '/' || byte == '\\') {
            start = i + 1;
        }
    }
    return start;
}

std::size_t extension_dot(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && dot >= name_start(path) ? dot : std::string::npos;
}

}  // namespace

std::string complete_file_name(const std::string& name, const std::string& extension) {
    std::string completed = name;
    if (extension_dot(name) == std::string::npos) {
        completed += "." + extension;
    } else if (completed.back() == '.') {
        completed += extension;
    }
    return platform::full_path(completed);
}

std::string auxiliary_file_name(const std::string& data_path) {
    const std::size_t dot = extension_dot(data_path);
    return dot == std::string::npos ? data_path + ".EDT" : data_path.substr(0, dot + 1) + "EDT";
}

std::string file_title(const std::string& path) {
    const std::size_t start = name_start(path);
    const std::size_t dot = extension_dot(path);
    return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

}  // namespace quillet::db
