#include "platform/data_directory.h"
#include "platform/file.h"
#include "platform/program_dir.h"

namespace quillet::platform {

// The Windows programs are portable or installed per user into a folder the user
// writes, so their data stays beside them.
std::string home_directory() { return std::string(); }

DataPlaces data_places() {
    DataPlaces places;
    places.program_directory = program_directory();
    places.program_directory_holds_settings = is_existing_file(program_file("data.ini"));
    places.program_directory_writable = true;
    return places;
}

}  // namespace quillet::platform
