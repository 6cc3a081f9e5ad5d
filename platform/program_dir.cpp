#include "platform/program_dir.h"

#include <mutex>

namespace quillet::platform {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Set once from the executable's path, by a tool's option or by a test; guarded by mutex because tests may
// set it while worker threads of the program read it.
std::mutex mutex;
std::string override_directory;

bool is_root(const std::string& directory) {
    return directory == "/" || (directory.size() == 3 && directory[1] == ':' && directory[2] == '\\');
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
    return is_root(directory) ? directory + name : directory + kSeparator + name;
}

void set_program_directory_for_testing(const std::string& directory) { set_program_directory(directory); }

void set_program_directory(const std::string& directory) {
    std::string trimmed = directory;
    while (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
    std::lock_guard lock(mutex);
    override_directory = trimmed;
}

}  // namespace quillet::platform
