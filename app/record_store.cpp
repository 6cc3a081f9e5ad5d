#include "app/record_store.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>
#include <variant>

#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/file.h"
#include "platform/program_dir.h"
#include "platform/secret_text.h"

namespace quillet::app {
namespace {

constexpr int kFieldCount = 6;

std::mutex& store_mutex() {
    static std::mutex mutex;
    return mutex;
}

// One opening of the store under the store mutex. The engine's current database is
// process-wide, so nothing else may open or close a database while this lives.
class OpenStore {
  public:
    explicit OpenStore(std::string_view session_password)
        : lock_(store_mutex()), path_(platform::program_file("data.edb")) {
        // "?" alone would make the engine prompt for a password, possibly from a worker
        // thread holding this lock; no store can carry "?" as its password anyway.
        if (session_password == "?") return;
        db::OpenOptions options;
        options.password = std::string(session_password);
        open_ = db::open_database(path_, options);
        platform::wipe_secret(options.password);
    }
    ~OpenStore() {
        if (open_) db::close_database(path_);
    }
    OpenStore(const OpenStore&) = delete;
    OpenStore& operator=(const OpenStore&) = delete;

    bool is_open() const { return open_; }

  private:
    std::unique_lock<std::mutex> lock_;
    std::string path_;
    bool open_ = false;
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

// A store with fewer fields than the credential table gives records with empty fields.
Record to_record(const db::RecordView& view) {
    Record record;
    if (view.field_count() < kFieldCount) return record;
    record.id = as_id(view.field(kIdField));
    std::string* texts[] = {&record.platform, &record.account, &record.password_cipher, &record.address,
                            &record.remark};
    for (int i = 0; i < kFieldCount - 1; ++i) {
        if (!view.text(kIdField + 1 + i, texts[i])) texts[i]->clear();
    }
    return record;
}

// Visits the records in store order in one scan of the file: batches of records under one
// range lock and one read each, only the fields asked for unscrambled.
void for_each_record(const std::function<void(const db::RecordView&)>& visit) {
    db::scan_records([&visit](const db::RecordView& view) {
        visit(view);
        return true;
    });
}

// Finds the first record carrying `id` and makes it the current record.
bool go_to_id(std::int32_t id) {
    db::go_to_first_record();
    return db::find_record(db::FieldIs{"ID", id});
}

std::int32_t largest_id() {
    std::int32_t largest = 0;
    // A condition that never holds walks every record under one header lock.
    db::go_to_first_record();
    db::find_record(std::function<bool()>([&largest] {
        largest = std::max(largest, as_id(db::read_field("ID")));
        return false;
    }));
    return largest;
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
    std::vector<Record> records;
    OpenStore store(session_password);
    if (!store.is_open()) return records;
    records.reserve(static_cast<std::size_t>(std::max(0, db::record_count())));
    for_each_record([&records](const db::RecordView& view) { records.push_back(to_record(view)); });
    return records;
}

std::vector<Record> filter_records(std::string_view session_password, SearchField field, std::string_view query) {
    std::vector<Record> matches;
    if (query.empty()) return matches;
    OpenStore store(session_password);
    if (!store.is_open()) return matches;
    const int tested_field = field == SearchField::kPlatform ? kPlatformField : kAddressField;
    std::string tested;  // keeps its storage from record to record
    for_each_record([&](const db::RecordView& view) {
        if (view.field_count() >= kFieldCount && view.text(tested_field, &tested) &&
            tested.find(query) != std::string::npos) {
            matches.push_back(to_record(view));
        }
    });
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
    if (!store.is_open()) return WriteResult::kFailed;
    std::int32_t id = largest_id();
    // The ID field is a signed 32-bit integer: IDs past its largest would wrap to negative ones.
    // The whole batch is refused, so an import adds all of its records or none.
    if (static_cast<std::int64_t>(id) + static_cast<std::int64_t>(texts.size()) >
        std::numeric_limits<std::int32_t>::max()) {
        return WriteResult::kNoFreeId;
    }
    for (const RecordText& text : texts) {
        std::vector<db::Value> values;
        for (auto& value : field_values(++id, text)) values.push_back(std::move(*value));
        if (!db::append_record(values)) return WriteResult::kFailed;
        ids->push_back(id);
    }
    return WriteResult::kDone;
}

WriteResult modify_record(std::string_view session_password, std::int32_t id, const RecordText& text) {
    if (overlong_field(text)) return WriteResult::kTooLong;
    OpenStore store(session_password);
    if (!store.is_open() || !go_to_id(id)) return WriteResult::kNotFound;
    return db::modify_current_record(field_values(id, text)) ? WriteResult::kDone : WriteResult::kFailed;
}

WriteResult delete_record(std::string_view session_password, std::int32_t id) {
    OpenStore store(session_password);
    if (!store.is_open() || !go_to_id(id)) return WriteResult::kNotFound;
    if (!db::delete_record()) return WriteResult::kFailed;
    return db::purge_deleted_records() ? WriteResult::kDone : WriteResult::kFailed;
}

std::optional<std::vector<Record>> read_store_file(const std::string& path, std::string_view password) {
    if (password == "?" || !platform::is_existing_file(path)) return std::nullopt;
    db::OpenOptions options;
    options.password = std::string(password);
    const bool opened = db::open_database(path, options);
    platform::wipe_secret(options.password);
    if (!opened) return std::nullopt;
    std::vector<Record> records;
    records.reserve(static_cast<std::size_t>(std::max(0, db::record_count())));
    const bool read =
        db::scan_records([&records](const db::RecordView& view) { return records.push_back(to_record(view)), true; });
    db::close_database(path);
    if (!read) return std::nullopt;
    return records;
}

bool write_store_file(const std::string& path, std::string_view password, const std::vector<Record>& records) {
    std::string built;
    {
        platform::File reserved;
        if (platform::create_private_temporary(path + ".merge", &reserved, &built) != platform::FileError::kNone) {
            return false;
        }
    }
    std::string secret(password);
    bool ok = db::create_database(built, credential_fields()) && db::open_database(built);
    if (ok) {
        ok = db::set_access_password(secret);
        for (std::size_t i = 0; ok && i < records.size(); ++i) {
            const Record& r = records[i];
            ok = db::append_record({db::Value(r.id), db::Value(r.platform), db::Value(r.account),
                                    db::Value(r.password_cipher), db::Value(r.address), db::Value(r.remark)});
        }
        db::close_database(built);
    }
    platform::wipe_secret(secret);
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
