#include "app/database_check.h"

#include <cstdint>
#include <vector>

#include "app/record_store.h"
#include "db/database.h"
#include "db/database_info.h"
#include "platform/secret_text.h"

namespace quillet::app {
namespace {

// Letters only: the engine refuses other characters in an alias.
constexpr const char* kCheckAlias = "ftpcheck";

// Bytes a credential field takes in a record: the ID is a 32-bit integer.
std::int32_t record_width(const db::FieldSpec& field) { return field.type == db::FieldType::kText ? field.width : 4; }

// The record store reads and writes fields by name and takes the ID as an integer, so a
// store laid out otherwise would fail on the first command: a missing field ends the
// program through the runtime error report. Demands the exact layout a new store gets:
// the serial, then the six fields back to back.
bool has_credential_layout(const db::DatabaseInfo& info) {
    const std::vector<db::FieldSpec>& wanted = credential_fields();
    if (info.fields.size() != wanted.size()) return false;
    std::int32_t offset = 4;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const db::FieldInfo& field = info.fields[i];
        const std::int32_t width = record_width(wanted[i]);
        if (field.name != wanted[i].name || field.type != wanted[i].type || field.width != width ||
            field.offset != offset) {
            return false;
        }
        offset += width;
    }
    return info.record_size == offset;
}

}  // namespace

bool is_usable_database(const std::string& path, std::string_view password) {
    // "?" alone would make the engine prompt for a password; no stored password is "?".
    if (password == "?") return false;
    db::OpenOptions options;
    options.alias = kCheckAlias;
    options.read_only = true;
    options.password = std::string(password);
    const bool opened = db::open_database(path, options);
    platform::wipe_secret(options.password);
    if (!opened) return false;
    db::DatabaseInfo info;
    std::int32_t records = 0;
    std::string problem;
    const bool usable = db::current_database_info(&info) && has_credential_layout(info) &&
                        db::check_current_database(&records, &problem);
    db::close_database(kCheckAlias);
    return usable;
}

}  // namespace quillet::app
