#include "app/database_check.h"

#include <vector>

#include "app/record_store.h"
#include "platform/secret_text.h"

namespace quillet::app {
namespace {

// Bytes a credential field takes in a record: the ID is a 32-bit integer.
std::int32_t record_width(const db::FieldSpec& field) { return field.type == db::FieldType::kText ? field.width : 4; }

platform::Status foreign(const std::string& what) {
    return platform::Status::failure(kForeignLayout, std::string(kForeignStoreText) + "：" + what);
}

// Demands the exact layout a new store gets: the serial, then the six fields back to back.
platform::Status check_layout(const db::Database& db) {
    const std::vector<db::FieldSpec>& wanted = credential_fields();
    const std::vector<db::FieldInfo>& fields = db.fields();
    if (fields.size() != wanted.size()) {
        return foreign("有 " + std::to_string(fields.size()) + " 个字段，应为 " + std::to_string(wanted.size()) +
                       " 个");
    }
    std::int32_t offset = 4;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const db::FieldInfo& field = fields[i];
        const std::int32_t width = record_width(wanted[i]);
        const std::string place = "第 " + std::to_string(i + 1) + " 个字段";
        if (field.name != wanted[i].name) {
            return foreign(place + "名为“" + field.name + "”，应为“" + wanted[i].name + "”");
        }
        if (field.type != wanted[i].type || field.width != width || field.offset != offset) {
            return foreign(place + "“" + field.name + "”的类型或长度不对");
        }
        offset += width;
    }
    if (db.record_size() != offset) return foreign("记录长度不对");
    return {};
}

}  // namespace

platform::Status open_credential_store(const std::string& path, std::string_view password, db::Database* out,
                                       bool read_only) {
    db::AccessOptions options;
    options.read_only = read_only;
    options.password = std::string(password);
    platform::Status opened = db::Database::open(path, options, out);
    platform::wipe_secret(options.password);
    if (!opened.ok()) return opened;
    platform::Status layout = check_layout(*out);
    if (!layout.ok()) *out = db::Database();
    return layout;
}

bool is_usable_database(const std::string& path, std::string_view password) {
    db::Database db;
    return open_credential_store(path, password, &db, /*read_only=*/true).ok() && db.check().ok();
}

}  // namespace quillet::app
