// Names of a database's files. Both "/" and "\" separate directories.
#pragma once

#include <string>

namespace quillet::db {

// Appends "." and `extension` to a name without an extension (only `extension` when it
// ends in "."), then makes it a full path.
std::string complete_file_name(const std::string& name, const std::string& extension);
// The auxiliary file beside a data file: its extension replaced by "EDT".
std::string auxiliary_file_name(const std::string& data_path);
// The file name without directory and extension.
std::string file_title(const std::string& path);

}  // namespace quillet::db
