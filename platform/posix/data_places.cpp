#include <unistd.h>

#include <cstdlib>

#include "platform/data_directory.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/text_codec.h"

namespace quillet::platform {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : utf8_to_gbk(value);
}

}  // namespace

std::string home_directory() { return environment("HOME"); }

DataPlaces data_places() {
    DataPlaces places;
    places.program_directory = program_directory();
    places.program_directory_holds_settings = is_existing_file(program_file("data.ini"));
    places.program_directory_writable = access(gbk_to_utf8(places.program_directory).c_str(), W_OK) == 0;
    // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
    std::string data_home = environment("XDG_DATA_HOME");
    if (data_home.empty() || data_home.front() != '/') {
        const std::string home = home_directory();
        if (home.empty() || home.front() != '/') return places;  // nowhere else to go
        data_home = home + "/.local/share";
    }
    while (data_home.size() > 1 && data_home.back() == '/') data_home.pop_back();
    places.user_data_directory = data_home + "/quillet";
    return places;
}

}  // namespace quillet::platform
