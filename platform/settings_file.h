// Windows-style INI settings files (GBK, CR LF), read and written one key at a time.
#pragma once

#include <string>

namespace quillet::platform {

// A missing file, section or key gives `default_value`. At most 10239 bytes come back.
// Section and key names are compared without regard to letter case.
std::string read_setting(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& default_value = "");

// Creates the file and section as needed and keeps every other line. The file is
// replaced atomically. False when the file cannot be written.
bool write_setting(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

// Removes the key, and its section when nothing else is left in it; every other line is
// kept. True when the key is gone (or was never there); false when the file cannot be written.
bool remove_setting(const std::string& file, const std::string& section, const std::string& key);

}  // namespace quillet::platform
