// Reading a whole file, the same on every system over its sequential reader.
#include <array>

#include "platform/file.h"

namespace quillet::platform {

bool read_whole_file(const std::string& path, std::string* out) {
    out->clear();
    SequentialFile file;
    if (!file.open(path)) return false;
    std::array<char, 65536> buffer;
    for (;;) {
        const std::optional<std::size_t> got = file.read(buffer.data(), buffer.size());
        if (!got) return false;
        if (*got == 0) return true;
        out->append(buffer.data(), *got);
    }
}

}  // namespace quillet::platform
