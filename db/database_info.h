// Inspection of the current database for tools: its header and field descriptors, the
// serial of the current record, and a full consistency walk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/database_handle.h"
#include "db/value.h"

namespace quillet::db {

struct DatabaseInfo {
    std::string magic;  // "WEDB" or "WCDB"
    std::int32_t version = 0;
    double stamp = 0;
    std::int32_t record_count = 0;
    std::int32_t next_serial = 0;
    std::int32_t record_size = 0;
    std::int32_t data_start = 0;
    std::vector<FieldInfo> fields;
};

bool current_database_info(DatabaseInfo* info);
// Serial of the current record: negative when it carries the deletion mark.
bool current_record_serial(std::int32_t* serial);
// Reads every record and every block chain of the current database. On a problem,
// returns false and describes the first one found.
bool check_current_database(std::int32_t* records_checked, std::string* problem);

}  // namespace quillet::db
