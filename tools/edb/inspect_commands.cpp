// The commands that only read: the file is opened read-only, so they never reconcile
// or cut anything and can be run on a file that another program has open.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/database_info.h"
#include "platform/text_codec.h"
#include "tools/edb/command_support.h"
#include "tools/edb/commands.h"
#include "tools/edb/json.h"
#include "tools/edb/values.h"

namespace quillet::edb {
namespace {

int usage_unless_one_file(const Arguments& arguments) {
    return arguments.positional.size() == 1 ? kExitOk : report_usage_error(arguments.command + " takes one FILE");
}

std::string fields_json(const std::vector<db::FieldInfo>& fields) {
    std::string out = "[";
    for (const db::FieldInfo& field : fields) {
        if (out.size() > 1) out += ',';
        out += JsonObject()
                   .add("name", json_quote(platform::gbk_to_utf8(field.name)))
                   .add("type", json_quote(type_name(field.type)))
                   .add("offset", field.offset)
                   .add("width", field.width)
                   .text();
    }
    return out + "]";
}

}  // namespace

int run_info(const Arguments& arguments) {
    if (const int status = usage_unless_one_file(arguments)) return status;
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/true);
    if (!database.is_open()) return report_last_engine_failure();
    db::DatabaseInfo info;
    if (!db::current_database_info(&info)) return report_last_engine_failure();
    const std::string json = JsonObject()
                                 .add("magic", json_quote(info.magic))
                                 .add("version", info.version)
                                 .add("stamp", json_number(info.stamp))
                                 .add("record_count", info.record_count)
                                 .add("next_serial", info.next_serial)
                                 .add("record_size", info.record_size)
                                 .add("data_start", info.data_start)
                                 .add("fields", fields_json(info.fields))
                                 .text();
    std::printf("%s\n", json.c_str());
    return kExitOk;
}

int run_dump(const Arguments& arguments) {
    if (const int status = usage_unless_one_file(arguments)) return status;
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/true);
    if (!database.is_open()) return report_last_engine_failure();
    db::DatabaseInfo info;
    if (!db::current_database_info(&info)) return report_last_engine_failure();
    std::vector<std::string> names;
    for (const db::FieldInfo& field : info.fields) names.push_back(platform::gbk_to_utf8(field.name));

    db::go_to_first_record();
    std::vector<db::Value> values;
    for (std::int32_t record = 0; record < info.record_count; ++record) {
        std::int32_t serial = 0;
        if (!db::current_record_serial(&serial) || !db::read_record(&values)) return report_last_engine_failure();
        JsonObject fields;
        for (std::size_t i = 0; i < values.size() && i < names.size(); ++i) fields.add(names[i], value_json(values[i]));
        const std::string line = JsonObject()
                                     .add("record", record)
                                     .add("serial", std::abs(static_cast<std::int64_t>(serial)))
                                     .add("deleted", serial < 0 ? "true" : "false")
                                     .add("fields", fields.text())
                                     .text();
        std::printf("%s\n", line.c_str());
        if (!db::skip_records(1)) return report_last_engine_failure();
    }
    return kExitOk;
}

int run_check(const Arguments& arguments) {
    if (const int status = usage_unless_one_file(arguments)) return status;
    // The open makes every check of the header, the descriptors, the file length and the
    // auxiliary file; a failure there is the first problem.
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/true);
    if (!database.is_open()) return report_last_engine_failure();
    std::int32_t records = 0;
    std::string problem;
    if (!db::check_current_database(&records, &problem)) {
        const std::int32_t code = db::last_database_error();
        std::fprintf(stderr, "edb: %s\n", platform::gbk_to_utf8(problem).c_str());
        return report_engine_failure(code);
    }
    std::printf("ok %d records\n", static_cast<int>(records));
    return kExitOk;
}

}  // namespace quillet::edb
