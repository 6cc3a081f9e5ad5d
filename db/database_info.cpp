#include "db/database_info.h"

#include <cstring>

#include "db/engine.h"
#include "db/field_codec.h"
#include "db/record_access.h"
#include "db/result_code.h"

namespace quillet::db {
namespace {

DataFile* current_database() {
    Engine& e = engine();
    return e.current >= 0 ? &data_file_of(e.databases[static_cast<std::size_t>(e.current)]) : nullptr;
}

bool finish(std::int32_t code) {
    set_last_error(code);
    return code == kOk;
}

// Reads bytes of the data file under the byte lock at `lock_offset`.
std::int32_t locked_read(DataFile& db, std::int64_t lock_offset, std::int64_t offset, void* buffer,
                         std::size_t length, std::int32_t short_code) {
    ByteLockGuard lock(db.locks, db.data.file());
    std::int32_t code = lock.acquire(lock_offset);
    if (code != kOk) return code;
    std::size_t got = 0;
    const platform::FileError error = db.data.read_at(offset, buffer, length, &got);
    if (error != platform::FileError::kNone) return code_for_file_error(error);
    return got == length ? kOk : short_code;
}

}  // namespace

bool current_database_info(DatabaseInfo* info) {
    std::lock_guard<std::recursive_mutex> guard(engine().mutex);
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    std::uint8_t counters[8];
    const std::int32_t code = locked_read(*db, kCountOffset, kCountOffset, counters, 8, kRecordCountFailed);
    if (code != kOk) return finish(code);
    info->magic.assign(reinterpret_cast<const char*>(db->header.data()), 4);
    info->version = db->version();
    std::memcpy(&info->stamp, db->header.data() + 8, 8);
    info->record_count = get32(counters);
    info->next_serial = get32(counters + 4);
    info->record_size = db->record_size;
    info->data_start = static_cast<std::int32_t>(db->data_start);
    info->fields.clear();
    for (const FieldDescriptor& field : db->fields) {
        info->fields.push_back({field.name, field.type, field.offset, field.width});
    }
    return finish(kOk);
}

bool current_record_serial(std::int32_t* serial) {
    std::lock_guard<std::recursive_mutex> guard(engine().mutex);
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    if (db->current < 0) return finish(kNoCurrentRecord);
    const std::int64_t position = db->record_position(db->current);
    std::uint8_t bytes[4];
    const std::int32_t code = locked_read(*db, position, position, bytes, 4, kNoCurrentRecord);
    if (code == kOk) *serial = get32(bytes);
    return finish(code);
}

bool check_current_database(std::int32_t* records_checked, std::string* problem) {
    std::lock_guard<std::recursive_mutex> guard(engine().mutex);
    *records_checked = 0;
    problem->clear();
    DataFile* db = current_database();
    if (db == nullptr) {
        *problem = "no current database";
        return finish(kNoCurrentDatabase);
    }
    return finish(check_records(*db, records_checked, problem));
}

std::int32_t check_records(DataFile& db, std::int32_t* records_checked, std::string* problem) {
    *records_checked = 0;
    problem->clear();
    std::uint8_t counters[8];
    std::int32_t code = locked_read(db, kCountOffset, kCountOffset, counters, 8, kRecordCountFailed);
    if (code != kOk) {
        *problem = "the record count cannot be read";
        return code;
    }
    const std::int32_t count = get32(counters);
    std::int64_t length = 0;
    db.data.file().length(&length);
    if (length != db.record_position(count)) {
        *problem = "file length " + std::to_string(length) + " does not hold exactly " + std::to_string(count) +
                   " records";
        return kDataFileSizeWrong;
    }
    std::vector<std::uint8_t> record(static_cast<std::size_t>(db.record_size));
    for (std::int32_t r = 0; r < count; ++r) {
        const std::int64_t position = db.record_position(r);
        if ((code = locked_read(db, position, position, record.data(), record.size(), kReadRecordFailed)) != kOk) {
            *problem = "record " + std::to_string(r) + " cannot be read";
            return code;
        }
        if (get32(record.data()) == 0) {
            *problem = "record " + std::to_string(r) + " has serial 0";
            return kReadRecordFailed;
        }
        for (const FieldDescriptor& field : db.fields) {
            if (!is_chain_type(field.type)) continue;
            if (!db.aux || !db.aux->check_chain(get32(record.data() + field.offset), problem)) {
                *problem = "record " + std::to_string(r) + " field " + field.name + ": " +
                           (db.aux ? *problem : std::string("no auxiliary file"));
                return kAuxAccessFailed;
            }
        }
        ++*records_checked;
    }
    return kOk;
}

}  // namespace quillet::db
