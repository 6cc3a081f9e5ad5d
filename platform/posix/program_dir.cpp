#include "platform/program_dir.h"

#include <unistd.h>

#include <mutex>

#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

// Set once from /proc/self/exe, by a tool's option or by a test; guarded by mutex because tests may set it
// while worker threads of the program read it.
std::mutex mutex;
std::string override_directory;

std::string executable_directory() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return ".";
    path.resize(static_cast<std::size_t>(length));
    std::size_t slash = path.rfind('/');
    return utf8_to_gbk(slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

std::string program_directory() {
    {
        std::lock_guard lock(mutex);
        if (!override_directory.empty()) return override_directory;
    }
    static const std::string directory = executable_directory();
    return directory;
}

std::string program_file(const std::string& name) {
    std::string directory = program_directory();
    return directory == "/" ? "/" + name : directory + "/" + name;
}

void set_program_directory_for_testing(const std::string& directory) { set_program_directory(directory); }

void set_program_directory(const std::string& directory) {
    std::string trimmed = directory;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
    std::lock_guard lock(mutex);
    override_directory = trimmed;
}

}  // namespace quillet::platform
