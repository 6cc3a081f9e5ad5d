#include "app/record_store.h"

#include <algorithm>
#include <functional>
#include <type_traits>
#include <variant>

#include "app/text_cipher.h"
#include "db/database.h"
#include "platform/program_dir.h"

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
    explicit OpenStore(const std::string& session_password)
        : lock_(store_mutex()), path_(platform::program_file("data.edb")) {
        // "?" alone would make the engine prompt for a password, possibly from a worker
        // thread holding this lock; no store can carry "?" as its password anyway.
        if (session_password == "?") return;
        db::OpenOptions options;
        options.password = session_password;
        open_ = db::open_database(path_, options);
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

std::string as_text(const db::Value& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text ? *text : std::string();
}

Record to_record(const std::vector<db::Value>& values) {
    Record record;
    if (values.size() < kFieldCount) return record;
    record.id = as_id(values[0]);
    record.platform = as_text(values[1]);
    record.account = as_text(values[2]);
    record.password_cipher = as_text(values[3]);
    record.address = as_text(values[4]);
    record.remark = as_text(values[5]);
    return record;
}

// Visits the records in store order; `visit` returns false to stop. A condition that
// reads each record under test walks the whole file in one find, under one header
// lock, instead of a skip (and a count read) per record.
void for_each_record(const std::function<bool(const Record&)>& visit) {
    std::vector<db::Value> values;
    db::go_to_first_record();
    db::find_record(std::function<bool()>([&] { return !db::read_record(&values) || !visit(to_record(values)); }));
}

bool holds_id(std::int32_t wanted) { return as_id(db::read_field("ID")) == wanted; }

// Finds the first record carrying `id` and makes it the current record.
bool go_to_id(std::int32_t id) {
    db::go_to_first_record();
    return db::find_record(std::function<bool()>([id] { return holds_id(id); }));
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

std::vector<Record> list_records(const std::string& session_password) {
    std::vector<Record> records;
    OpenStore store(session_password);
    if (!store.is_open()) return records;
    records.reserve(static_cast<std::size_t>(std::max(0, db::record_count())));
    for_each_record([&records](const Record& record) {
        records.push_back(record);
        return true;
    });
    return records;
}

std::vector<Record> filter_records(const std::string& session_password, SearchField field, std::string_view query) {
    std::vector<Record> matches;
    if (query.empty()) return matches;
    OpenStore store(session_password);
    if (!store.is_open()) return matches;
    for_each_record([&](const Record& record) {
        const std::string& value = field == SearchField::kPlatform ? record.platform : record.address;
        if (value.find(query) != std::string::npos) matches.push_back(record);
        return true;
    });
    return matches;
}

WriteResult add_record(const std::string& session_password, const RecordText& text) {
    if (overlong_field(text)) return WriteResult::kTooLong;
    OpenStore store(session_password);
    if (!store.is_open()) return WriteResult::kFailed;
    std::vector<db::Value> values;
    for (auto& value : field_values(largest_id() + 1, text)) values.push_back(std::move(*value));
    return db::append_record(values) ? WriteResult::kDone : WriteResult::kFailed;
}

WriteResult modify_record(const std::string& session_password, std::int32_t id, const RecordText& text) {
    if (overlong_field(text)) return WriteResult::kTooLong;
    OpenStore store(session_password);
    if (!store.is_open() || !go_to_id(id)) return WriteResult::kNotFound;
    return db::modify_current_record(field_values(id, text)) ? WriteResult::kDone : WriteResult::kFailed;
}

WriteResult delete_record(const std::string& session_password, std::int32_t id) {
    OpenStore store(session_password);
    if (!store.is_open() || !go_to_id(id)) return WriteResult::kNotFound;
    if (!db::delete_record()) return WriteResult::kFailed;
    return db::purge_deleted_records() ? WriteResult::kDone : WriteResult::kFailed;
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
