// The database commands, an adapter over Database handles: the engine keeps the open
// handles, the current one and each one's current record. Each command runs under the
// engine mutex, clears the calling thread's last database error first and leaves its
// result code there.
#include "db/database.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

#include "db/field_codec.h"
#include "db/file_names.h"
#include "db/names.h"
#include "db/record_access.h"
#include "db/result_code.h"
#include "platform/file.h"

namespace quillet::db {
namespace {

constexpr std::size_t kMaxIndexFiles = 10;

// Holds the engine for one command and clears the caller's last error.
class Command {
public:
    Command() : guard_(engine().mutex) { set_last_error(kOk); }

private:
    std::lock_guard<std::recursive_mutex> guard_;
};

bool finish(std::int32_t code) {
    set_last_error(code);
    return code == kOk;
}

// A search that found nothing is no failure: false with the last error 0.
bool found_nothing() {
    set_last_error(kOk);
    return false;
}

DataFile* current_database() {
    Engine& e = engine();
    return e.current >= 0 ? &data_file_of(e.databases[static_cast<std::size_t>(e.current)]) : nullptr;
}

Value read_field_value(DataFile& db, const FieldDescriptor& field) {
    Value value = empty_value(field.type);
    std::int32_t code = kOk;
    if (db.scan != nullptr) {
        code = decode_field(db, field, plain_field(db, db.scan, db.scan_scrambled_at, field), &value);
    } else if (db.current < 0) {
        code = kNoCurrentRecord;
    } else {
        ByteLockGuard lock(db.locks, db.data.file());
        if ((code = lock.acquire(db.record_position(db.current))) == kOk) {
            std::uint8_t* bytes = db.record_buffer.data();
            std::size_t got = 0;
            code = io_code(db.data.read_at(db.record_position(db.current) + field.offset, bytes,
                                           static_cast<std::size_t>(field.width), &got));
            if (code == kOk && got == 0) code = kBadSeek;
            if (code == kOk && got < static_cast<std::size_t>(field.width)) code = kReadFieldFailed;
            if (code == kOk) code = decode_field(db, field, bytes, &value);
        }
    }
    if (code != kOk) value = empty_value(field.type);
    set_last_error(code);
    return value;
}

// Makes `record` the record under test while a condition runs, for read_field.
class ScanScope {
public:
    ScanScope(DataFile& db, const std::uint8_t* record, std::int64_t scrambled_at)
        : db_(db), saved_(db.scan), saved_scrambled_at_(db.scan_scrambled_at) {
        db.scan = record;
        db.scan_scrambled_at = scrambled_at;
    }
    ~ScanScope() {
        db_.scan = saved_;
        db_.scan_scrambled_at = saved_scrambled_at_;
    }
    ScanScope(const ScanScope&) = delete;
    ScanScope& operator=(const ScanScope&) = delete;

private:
    DataFile& db_;
    const std::uint8_t* saved_;
    std::int64_t saved_scrambled_at_;
};

// A field test resolved to its field once per command.
struct ResolvedFieldIs {
    const FieldDescriptor* field;
    std::int64_t value;
};

std::int64_t as_integer(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::int64_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_arithmetic_v<T>) {
                return static_cast<std::int64_t>(v);
            } else {
                return INT64_MIN;  // matches no value a caller can ask for
            }
        },
        value);
}

bool field_is(DataFile& db, const ResolvedFieldIs& test, const std::uint8_t* record, std::int64_t scrambled_at) {
    const FieldDescriptor& field = *test.field;
    if (field.type == FieldType::kInt) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, record + field.offset, 4);
        if (scrambled_at >= 0) db.data.unscramble(scrambled_at + field.offset, bytes, 4);
        return get32(bytes) == test.value;
    }
    if (is_chain_type(field.type)) return false;
    return as_integer(decode_value(plain_field(db, record, scrambled_at, field), field.type, field.width)) == test.value;
}

// The condition of one find or delete, ready to test records.
class RecordTest {
public:
    RecordTest(DataFile& db, const Condition& condition) : db_(db), condition_(condition) {
        if (const auto* test = std::get_if<std::function<bool()>>(&condition)) {
            if (!*test) raise_runtime_error("用作进行条件判断的子语句参数只能接受逻辑型数据");
        }
        if (const auto* test = std::get_if<FieldIs>(&condition)) {
            const FieldDescriptor* field = find_field(db, test->field);
            if (field == nullptr) raise_runtime_error("指定字段不存在");
            field_is_ = {field, test->value};
        }
    }

    bool operator()(const std::uint8_t* record, std::int64_t scrambled_at = -1) const {
        if (const bool* fixed = std::get_if<bool>(&condition_)) return *fixed;
        if (field_is_.field != nullptr) return field_is(db_, field_is_, record, scrambled_at);
        ScanScope scope(db_, record, scrambled_at);
        return std::get<std::function<bool()>>(condition_)();
    }

private:
    DataFile& db_;
    const Condition& condition_;
    ResolvedFieldIs field_is_{nullptr, 0};
};

}  // namespace

bool open_database(const std::string& file_name, const OpenOptions& options) {
    Command command;
    if (file_name.empty()) return finish(kFileNotFound);
    const std::string full = complete_file_name(file_name, "EDB");
    Engine& e = engine();
    for (Database& db : e.databases) {
        if (equal_ignoring_case(db.path(), full)) return finish(kAlreadyOpen);
    }
    if (!options.alias.empty() && !is_valid_name(options.alias)) return finish(kBadAlias);
    std::unique_ptr<DataFile> file;
    const AccessOptions access{options.read_only, options.share_mode, options.password};
    std::int32_t code = open_data_file(full, access, options.ask_password, &file);
    // Index files are not kept by this engine: it refuses them rather than let them go stale.
    if (code == kOk && options.index_files.size() > kMaxIndexFiles) code = kTooManyIndexFiles;
    if (code == kOk && !options.index_files.empty()) code = kIndexOpenFailed;
    if (code != kOk) return finish(code);
    file->alias = options.alias;
    file->current = 0;
    e.databases.push_back(database_of(std::move(file)));
    e.current = static_cast<int>(e.databases.size()) - 1;
    return finish(kOk);
}

void close_database(const std::string& name) {
    Command command;
    Engine& e = engine();
    int found = -1;
    if (name.empty()) {
        found = e.current;
    } else {
        const int n = static_cast<int>(e.databases.size());
        for (int i = n - 1; i >= 0 && found < 0; --i) {
            if (equal_ignoring_case(data_file_of(e.databases[static_cast<std::size_t>(i)]).alias, name)) found = i;
        }
        for (int i = 0; i < n && found < 0; ++i) {
            if (equal_ignoring_case(data_file_of(e.databases[static_cast<std::size_t>(i)]).title, name)) found = i;
        }
        const std::string full = platform::full_path(name);
        for (int i = 0; i < n && found < 0; ++i) {
            const std::string& path = e.databases[static_cast<std::size_t>(i)].path();
            if (equal_ignoring_case(path, name) || equal_ignoring_case(path, full)) found = i;
        }
    }
    if (found < 0) return;
    e.databases.erase(e.databases.begin() + found);
    if (found == e.current) {
        e.current = -1;
    } else if (found < e.current) {
        --e.current;
    }
}

std::int32_t record_count() {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) {
        finish(kNoCurrentDatabase);
        return 0;
    }
    std::int32_t count = 0;
    const std::int32_t code = count_records(*db, &count);
    finish(code);
    return code == kOk ? count : 0;
}

void go_to_first_record() {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) {
        finish(kNoCurrentDatabase);
        return;
    }
    db->current = 0;
}

bool skip_records(std::int32_t count) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    if (count == 0) return finish(kOk);
    std::int32_t records = 0;
    const std::int32_t code = count_records(*db, &records);
    if (code != kOk) return finish(code);
    if (count < 0 && (records == 0 || db->current < 0)) return finish(kBeforeFirstRecord);
    if (count > 0 && (records == 0 || db->current >= records)) return finish(kAfterLastRecord);
    const std::int64_t target = std::clamp<std::int64_t>(static_cast<std::int64_t>(db->current) + count, -1, records);
    db->current = static_cast<std::int32_t>(target);
    return finish(kOk);
}

bool append_record(const std::vector<Value>& values) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(append_values(*db, values, &db->current));
}

bool modify_current_record(const std::vector<std::optional<Value>>& values) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(modify_values(*db, db->current, values));
}

Value read_field(std::string_view name) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) raise_runtime_error("未指定当前数据库或者指定数据库未打开");
    const FieldDescriptor* field = find_field(*db, name);
    if (field == nullptr) raise_runtime_error("指定字段不存在");
    return read_field_value(*db, *field);
}

Value read_field(int number) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) raise_runtime_error("未指定当前数据库或者指定数据库未打开");
    if (number < 1 || static_cast<std::size_t>(number) > db->fields.size()) raise_runtime_error("指定字段不存在");
    return read_field_value(*db, db->fields[static_cast<std::size_t>(number - 1)]);
}

bool read_record(std::vector<Value>* values) {
    Command command;
    values->clear();
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    const std::uint8_t* record = db->scan;
    ByteLockGuard lock(db->locks, db->data.file());
    std::vector<std::uint8_t> own;
    std::int32_t code = kOk;
    if (record != nullptr && db->scan_scrambled_at >= 0) {
        own.assign(record, record + db->record_size);
        db->data.unscramble(db->scan_scrambled_at, own.data(), own.size());
        record = own.data();
    } else if (record == nullptr) {
        if (db->current < 0) return finish(kNoCurrentRecord);
        const std::int64_t position = db->record_position(db->current);
        if ((code = lock.acquire(position)) != kOk) return finish(code);
        own.resize(static_cast<std::size_t>(db->record_size));
        std::size_t got = 0;
        if ((code = io_code(db->data.read_at(position, own.data(), own.size(), &got))) != kOk) return finish(code);
        if (got == 0) return finish(kNoCurrentRecord);
        if (got < own.size()) return finish(kReadRecordFailed);
        record = own.data();
    }
    values->reserve(db->fields.size());
    for (const FieldDescriptor& field : db->fields) {
        Value value = empty_value(field.type);
        if ((code = decode_field(*db, field, record + field.offset, &value)) != kOk) {
            values->clear();
            return finish(code);
        }
        values->push_back(std::move(value));
    }
    return finish(kOk);
}

bool find_record(const Condition& condition) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    const RecordTest test(*db, condition);
    ByteLockGuard header(db->locks, db->data.file());
    std::int32_t code = header.acquire(kCountOffset);
    if (code != kOk) return finish(code);
    std::uint8_t count_bytes[4];
    if ((code = read_exact(*db, kCountOffset, count_bytes, 4, kRecordCountFailed)) != kOk) return finish(code);
    const std::int32_t count = get32(count_bytes);
    const std::int32_t start = std::max(db->current, 0);
    if (count < 1 || start >= count) return found_nothing();
    std::int32_t found = -1;
    bool stopped = false;
    code = walk_records(*db, start, count, &stopped,
                        [&](std::int32_t r, const std::uint8_t* record, std::int64_t scrambled_at) {
                            if (!test(record, scrambled_at)) return false;
                            found = r;
                            return true;
                        });
    if (code != kOk) return finish(code);
    if (!stopped) return found_nothing();
    db->current = found;
    return finish(kOk);
}

bool scan_records(const std::function<bool(const RecordView&)>& visit) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(scan_all(*db, visit));
}

bool delete_record() {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(set_deletion_mark(*db, db->current, true));
}

bool undelete_record() {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(set_deletion_mark(*db, db->current, false));
}

bool delete_record(const Condition& condition) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    const RecordTest test(*db, condition);
    DatabaseLockGuard database_lock(db->locks, db->data.file());
    std::int32_t code = database_lock.acquire();
    std::int32_t count = 0, next_serial = 0;
    if (code != kOk || (code = read_counters(*db, &count, &next_serial)) != kOk) return finish(code);
    const std::int32_t batch = batch_records(*db);
    const auto size = static_cast<std::size_t>(db->record_size);
    std::vector<std::uint8_t> records(static_cast<std::size_t>(batch) * size);
    bool written = false;
    for (std::int32_t start = 0; start < count; start += batch) {
        const std::int32_t n = std::min(batch, count - start);
        if ((code = read_exact(*db, db->record_position(start), records.data(), size * static_cast<std::size_t>(n),
                               kReadRecordFailed)) != kOk) {
            break;
        }
        for (std::int32_t i = 0; i < n && code == kOk; ++i) {
            std::uint8_t* record = records.data() + size * static_cast<std::size_t>(i);
            const std::int32_t serial = get32(record);
            if (!test(record) || serial <= 0) continue;
            std::uint8_t negated[4];
            put32(negated, -serial);
            code = io_code(db->data.write_at(db->record_position(start + i), negated, 4));
            written = true;
        }
        if (code != kOk) break;
    }
    const std::int32_t synced = written ? db->sync() : kOk;
    return finish(code != kOk ? code : synced);
}

// The current record goes back to the first.
bool purge_deleted_records() {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    db->current = 0;
    return finish(purge_deleted(*db));
}

bool set_access_password(const std::string& new_password) {
    Command command;
    DataFile* db = current_database();
    if (db == nullptr) return finish(kNoCurrentDatabase);
    return finish(change_password(*db, new_password));
}

bool create_database(const std::string& file_name, const std::vector<FieldSpec>& fields,
                     const CreateOptions& options) {
    Command command;
    return finish(create_data_file(file_name, fields, options).code());
}

void set_lock_wait_time(std::int32_t ms) { set_lock_wait_time_ms(ms); }

}  // namespace quillet::db