#include <unistd.h>

#include "platform/program_dir.h"
#include "platform/text_codec.h"

namespace quillet::platform {

std::string executable_directory() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return ".";
    path.resize(static_cast<std::size_t>(length));
    std::size_t slash = path.rfind('/');
    return utf8_to_gbk(slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace quillet::platform
