#include "platform/data_directory.h"

#include "platform/file.h"
#include "platform/program_dir.h"

namespace quillet::platform {
namespace {

bool under_usr(const std::string& directory) { return directory == "/usr" || directory.rfind("/usr/", 0) == 0; }

// Each missing folder on the way is made owner-only, as the base directory rules ask of
// the folders a program creates there.
bool make_private_directories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (!is_directory(parent)) create_directory(parent);
    }
    if (!is_directory(path)) create_directory(path);
    return is_directory(path);
}

}  // namespace

std::string choose_data_directory(const DataPlaces& places) {
    if (places.user_data_directory.empty() || places.program_directory_holds_settings) return places.program_directory;
    // A system install under /usr: root could write there, but data files do not belong in it.
    if (places.program_directory_writable && !under_usr(places.program_directory)) return places.program_directory;
    return places.user_data_directory;
}

bool settle_data_directory(std::string* chosen) {
    const DataPlaces places = data_places();
    *chosen = choose_data_directory(places);
    if (*chosen == places.program_directory) return true;
    if (!make_private_directories(*chosen)) return false;
    set_program_directory(*chosen);
    return true;
}

}  // namespace quillet::platform
