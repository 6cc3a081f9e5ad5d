// Whether a file may take the place of data.edb.
#pragma once

#include <string>
#include <string_view>

namespace quillet::app {

// True when the file is a complete data file that opens with `password`, holds the
// credential table's fields exactly (names, types, widths, in order) and whose every
// record reads back. Call with the record store's lock held: the engine's current
// database is process-wide.
bool is_usable_database(const std::string& path, std::string_view password);

}  // namespace quillet::app
