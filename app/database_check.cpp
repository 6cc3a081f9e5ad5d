#include "app/database_check.h"

#include <cstdint>

#include "db/database.h"
#include "db/database_info.h"

namespace quillet::app {
namespace {

// Letters only: the engine refuses other characters in an alias.
constexpr const char* kCheckAlias = "ftpcheck";

}  // namespace

bool is_usable_database(const std::string& path, const std::string& password) {
    // "?" alone would make the engine prompt for a password; no stored password is "?".
    if (password == "?") return false;
    db::OpenOptions options;
    options.alias = kCheckAlias;
    options.read_only = true;
    options.password = password;
    if (!db::open_database(path, options)) return false;
    std::int32_t records = 0;
    std::string problem;
    const bool complete = db::check_current_database(&records, &problem);
    db::close_database(kCheckAlias);
    return complete;
}

}  // namespace quillet::app
