// Where data.ini, data.edb, ftp.ini and the backups live. A copy of the program in a
// folder of its own keeps them beside itself (the portable case, a per-user install,
// Windows); a system install, whose folder the user cannot write, keeps them in the
// user's data directory.
#pragma once

#include <string>

namespace quillet::platform {

// What the choice depends on; all texts GBK.
struct DataPlaces {
    std::string program_directory;
    bool program_directory_holds_settings = false;  // data.ini is there
    bool program_directory_writable = false;        // by this user
    // $XDG_DATA_HOME/quillet (~/.local/share/quillet); empty where the system has none.
    std::string user_data_directory;
};

// The program directory when it holds data.ini, or when this user may write it and it is
// not under /usr; otherwise the user's data directory (the program directory when there is none).
std::string choose_data_directory(const DataPlaces& places);

// The facts of this process and system (one per platform variant).
DataPlaces data_places();

// The user's home directory (GBK), empty when unknown.
std::string home_directory();

// Points program_file() at the chosen directory, set in `chosen`, creating the user's data
// directory (and its missing parents) for the user alone when it is chosen and missing.
// False when it cannot be created; the program directory is then unchanged.
bool settle_data_directory(std::string* chosen);

}  // namespace quillet::platform
