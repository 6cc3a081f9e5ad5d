#include "app/record_store.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>
#include <variant>

#include "app/database_check.h"
#include "app/text_cipher.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/secret_text.h"

namespace quillet::app {
namespace {

std::mutex& store_mutex() {
    static std::mutex mutex;
    return mutex;
}

// One opening of data.edb as the credential store, with the file kept in place meanwhile
// (see lock_store()).
class OpenStore {
  public:
    explicit OpenStore(std::string_view session_password) : lock_(store_mutex()) {
        status_ = open_credential_store(platform::program_file("data.edb"), session_password, &db_);
    }

    const platform::Status& status() const { return status_; }
    db::Database& db() { return db_; }

  private:
    std::unique_lock<std::mutex> lock_;
    db::Database db_;
    platform::Status status_;
};

std::int32_t as_id(const db::Value& value) {
    return std::visit(
        [](const auto& v) -> std::int32_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_arithmetic_v<T>) {
                return static_cast<std::int32_t>(v);
            } else {
                return 0;
            }
        },
        value);
}

// Field numbers in the store's field order.
constexpr int kIdField = 1;
constexpr int kPlatformField = 2;
constexpr int kAddressField = 5;

// Every store opened here has the credential table's fields (see database_check.h).
Record to_record(const db::RecordView& view) {
    Record record;
    record.id = as_id(view.field(kIdField));
    std::string* texts[] = {&record.platform, &record.account, &record.password_cipher, &record.address,
                            &record.remark};
    int number = kIdField;
    for (std::string* text : texts) {
        if (!view.text(++number, text)) text->clear();
    }
    return record;
}

// The number of the first record carrying `id` in file order.
std::optional<std::int32_t> record_with_id(db::Database& db, std::int32_t id) {
    std::optional<std::int32_t> found;
    const platform::Status scanned = db.scan([&](const db::RecordView& view) {
        if (as_id(view.field(kIdField)) == id) found = view.number();
        return !found;
    });
    return scanned.ok() ? found : std::nullopt;
}

bool largest_id(db::Database& db, std::int32_t* largest) {
    *largest = 0;
    return db
        .scan([largest](const db::RecordView& view) {
            *largest = std::max(*largest, as_id(view.field(kIdField)));
            return true;
        })
        .ok();
}

// Every record of an open store in file order; nothing when the scan fails.
std::optional<std::vector<Record>> all_records(db::Database& db) {
    std::int32_t count = 0;
    std::vector<Record> records;
    if (db.count(&count).ok()) records.reserve(static_cast<std::size_t>(count));
    const platform::Status scanned = db.scan([&records](const db::RecordView& view) {
        records.push_back(to_record(view));
        return true;
    });
    if (!scanned.ok()) return std::nullopt;
    return records;
}

// What a store that did not open means to a write: kForeignStore for a foreign layout,
// else `otherwise`.
WriteResult not_opened(const platform::Status& status, WriteResult otherwise) {
    return status.code() == kForeignLayout ? WriteResult::kForeignStore : otherwise;
}

std::vector<std::optional<db::Value>> field_values(std::int32_t id, const RecordText& text) {
    return {db::Value(id),           db::Value(text.platform),
            db::Value(text.account), db::Value(encipher(text.password, kCipherKey)),
            db::Value(text.address), db::Value(text.remark)};
}

}  // namespace

const std::vector<db::FieldSpec>& credential_fields() {
    static const std::vector<db::FieldSpec> fields = {
        {"ID", db::FieldType::kInt, 0},
        {"平台", db::FieldType::kText, kTextFieldWidth},
        {"账号", db::FieldType::kText, kTextFieldWidth},
        {"密码", db::FieldType::kText, kTextFieldWidth},
        {"网址", db::FieldType::kText, kTextFieldWidth},
        {"备注", db::FieldType::kText, kTextFieldWidth},
    };
    return fields;
}

std::optional<FieldLimit> overlong_field(const RecordText& text) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"平台", &text.platform}, {"账号", &text.account}, {"网址", &text.address}, {"备注", &text.remark}};
    if (text.password.size() > static_cast<std::size_t>(kMaxPasswordBytes)) {
        return FieldLimit{"密码", kMaxPasswordBytes};
    }
    for (const auto& [name, value] : fields) {
        if (value->size() > static_cast<std::size_t>(kTextFieldWidth)) return FieldLimit{name, kTextFieldWidth};
    }
    return std::nullopt;
}

std::vector<Record> list_records(std::string_view session_password) {
    OpenStore store(session_password);
    if (!store.status().ok()) return {};
    return all_records(store.db()).value_or(std::vector<Record>{});
}

std::vector<Record> filter_records(std::string_view session_password, SearchField field, std::string_view query) {
    std::vector<Record> matches;
    if (query.empty()) return matches;
    OpenStore store(session_password);
    if (!store.status().ok()) return matches;
    const int tested_field = field == SearchField::kPlatform ? kPlatformField : kAddressField;
    std::string tested;  // keeps its storage from record to record
    const platform::Status scanned = store.db().scan([&](const db::RecordView& view) {
        if (view.text(tested_field, &tested) && tested.find(query) != std::string::npos) {
            matches.push_back(to_record(view));
        }
        return true;
    });
    if (!scanned.ok()) matches.clear();
    return matches;
}

WriteResult add_record(std::string_view session_password, const RecordText& text) {
    std::vector<std::int32_t> ids;
    return add_records(session_password, {text}, &ids);
}

WriteResult add_records(std::string_view session_password, const std::vector<RecordText>& texts,
                        std::vector<std::int32_t>* ids) {
    ids->clear();
    for (const RecordText& text : texts) {
        if (overlong_field(text)) return WriteResult::kTooLong;
    }
    OpenStore store(session_password);
    if (!store.status().ok()) return not_opened(store.status(), WriteResult::kFailed);
    std::int32_t id = 0;
    if (!largest_id(store.db(), &id)) return WriteResult::kFailed;
    // The ID field is a signed 32-bit integer: IDs past its largest would wrap to negative ones.
    // The whole batch is refused, so an import adds all of its records or none.
    if (static_cast<std::int64_t>(id) + static_cast<std::int64_t>(texts.size()) >
        std::numeric_limits<std::int32_t>::max()) {
        return WriteResult::kNoFreeId;
    }
    for (const RecordText& text : texts) {
        std::vector<db::Value> values;
        for (auto& value : field_values(++id, text)) values.push_back(std::move(*value));
        if (!store.db().append(values).ok()) return WriteResult::kFailed;
        ids->push_back(id);
    }
    return WriteResult::kDone;
}

WriteResult modify_record(std::string_view session_password, std::int32_t id, const RecordText& text) {
    if (overlong_field(text)) return WriteResult::kTooLong;
    OpenStore store(session_password);
    if (!store.status().ok()) return not_opened(store.status(), WriteResult::kNotFound);
    const std::optional<std::int32_t> number = record_with_id(store.db(), id);
    if (!number) return WriteResult::kNotFound;
    return store.db().modify(*number, field_values(id, text)).ok() ? WriteResult::kDone : WriteResult::kFailed;
}

WriteResult delete_record(std::string_view session_password, std::int32_t id) {
    OpenStore store(session_password);
    if (!store.status().ok()) return not_opened(store.status(), WriteResult::kNotFound);
    const std::optional<std::int32_t> number = record_with_id(store.db(), id);
    if (!number) return WriteResult::kNotFound;
    if (!store.db().mark_deleted(*number).ok()) return WriteResult::kFailed;
    return store.db().purge().ok() ? WriteResult::kDone : WriteResult::kFailed;
}

std::optional<std::vector<Record>> read_store_file(const std::string& path, std::string_view password) {
    db::Database db;
    if (!open_credential_store(path, password, &db).ok()) return std::nullopt;
    return all_records(db);
}

bool write_store_file(const std::string& path, std::string_view password, const std::vector<Record>& records) {
    std::string built;
    {
        platform::File reserved;
        if (platform::create_private_temporary(path + ".merge", &reserved, &built) != platform::FileError::kNone) {
            return false;
        }
    }
    bool ok = db::create_data_file(built, credential_fields()).ok();
    if (ok) {
        db::Database db;
        ok = db::Database::open(built, {}, &db).ok() && db.set_password(std::string(password)).ok();
        for (std::size_t i = 0; ok && i < records.size(); ++i) {
            const Record& r = records[i];
            ok = db.append({db::Value(r.id), db::Value(r.platform), db::Value(r.account), db::Value(r.password_cipher),
                            db::Value(r.address), db::Value(r.remark)})
                     .ok();
        }
    }
    // The engine leaves durability to its caller: the content is synced before the rename.
    if (ok) {
        platform::File written;
        ok = written.open(built, platform::Access::kReadWrite, platform::Share::kReadWrite) ==
                 platform::FileError::kNone &&
             written.sync() == platform::FileError::kNone;
    }
    ok = ok && platform::replace_file(built, path) &&
         platform::sync_parent_directory(path) == platform::FileError::kNone;
    if (!ok) platform::remove_file(built);
    return ok;
}

std::int32_t parse_id(std::string_view text) {
    std::int64_t id = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        id = std::min<std::int64_t>(id * 10 + (c - '0'), INT32_MAX);
    }
    return static_cast<std::int32_t>(id);
}

std::unique_lock<std::mutex> lock_store() { return std::unique_lock<std::mutex>(store_mutex()); }

}  // namespace quillet::app
