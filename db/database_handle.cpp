#include "db/database_handle.h"

#include "db/engine.h"
#include "db/file_names.h"
#include "db/record_access.h"
#include "db/result_code.h"

namespace quillet::db {

platform::Status status_of(std::int32_t code) {
    return code == kOk ? platform::Status() : platform::Status::failure(code, message_for_code(code));
}

void forget_cached_keys() { ScrambleKey::forget_recent(); }

Database database_of(std::unique_ptr<DataFile> file) {
    Database db;
    for (const FieldDescriptor& field : file->fields) {
        db.fields_.push_back({field.name, field.type, field.offset, field.width});
    }
    db.file_ = std::move(file);
    return db;
}

DataFile& data_file_of(Database& db) { return *db.file_; }

Database::Database() = default;
Database::~Database() = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

platform::Status Database::open(const std::string& file_name, const AccessOptions& options, Database* out) {
    *out = Database();
    if (file_name.empty()) return status_of(kFileNotFound);
    std::unique_ptr<DataFile> file;
    const std::int32_t code =
        open_data_file(complete_file_name(file_name, "EDB"), options, /*ask_password=*/false, &file);
    if (code == kOk) *out = database_of(std::move(file));
    return status_of(code);
}

const std::string& Database::path() const { return file_->full_path; }
std::int32_t Database::record_size() const { return file_->record_size; }

platform::Status Database::count(std::int32_t* records) {
    *records = 0;
    return status_of(count_records(*file_, records));
}

platform::Status Database::scan(const std::function<bool(const RecordView&)>& visit) {
    return status_of(scan_all(*file_, visit));
}

platform::Status Database::append(const std::vector<Value>& values, std::int32_t* number) {
    std::int32_t appended = 0;
    const std::int32_t code = append_values(*file_, values, &appended);
    if (code == kOk && number != nullptr) *number = appended;
    return status_of(code);
}

platform::Status Database::modify(std::int32_t number, const std::vector<std::optional<Value>>& values) {
    return status_of(modify_values(*file_, number, values));
}

platform::Status Database::mark_deleted(std::int32_t number) {
    return status_of(set_deletion_mark(*file_, number, true));
}

platform::Status Database::purge() { return status_of(purge_deleted(*file_)); }

platform::Status Database::set_password(const std::string& new_password) {
    return status_of(change_password(*file_, new_password));
}

platform::Status Database::check() {
    std::int32_t records = 0;
    std::string problem;
    const std::int32_t code = check_records(*file_, &records, &problem);
    if (code == kOk) return {};
    return platform::Status::failure(code, message_for_code(code) + ": " + problem);
}

}  // namespace quillet::db
