// The commands that change a file. Each opens it read-write (which also reconciles the
// record count with the file length) and reports the engine's code on failure.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/database_info.h"
#include "db/file_names.h"
#include "db/result_code.h"
#include "platform/file.h"
#include "platform/secret_text.h"
#include "platform/text_codec.h"
#include "tools/edb/command_support.h"
#include "tools/edb/commands.h"
#include "tools/edb/password_input.h"
#include "tools/edb/values.h"

namespace quillet::edb {
namespace {

// "NAME:TYPE" or "NAME:TYPE:WIDTH"; the name is split off at the last colon before the
// type, so that the type and width are read from the right.
bool parse_field_definition(const std::string& text, db::FieldSpec* field, std::string* error) {
    std::string rest = text;
    std::string width_text;
    std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        *error = "field \"" + text + "\" is not NAME:TYPE[:WIDTH]";
        return false;
    }
    db::FieldType type;
    if (!parse_type_name(rest.substr(colon + 1), &type)) {
        width_text = rest.substr(colon + 1);
        rest.resize(colon);
        colon = rest.rfind(':');
        if (colon == std::string::npos || !parse_type_name(rest.substr(colon + 1), &type)) {
            *error = "field \"" + text + "\" has no known TYPE";
            return false;
        }
    }
    field->name = platform::utf8_to_gbk(rest.substr(0, colon));
    field->type = type;
    field->width = 0;
    if (!width_text.empty()) {
        const auto result = std::from_chars(width_text.data(), width_text.data() + width_text.size(), field->width);
        if (result.ec != std::errc{} || result.ptr != width_text.data() + width_text.size()) {
            *error = "field \"" + text + "\" has a WIDTH that is not a number";
            return false;
        }
    }
    if (type != db::FieldType::kText && !width_text.empty()) {
        *error = "field \"" + text + "\": only text fields take a WIDTH";
        return false;
    }
    if (type == db::FieldType::kText && width_text.empty()) {
        *error = "field \"" + text + "\": a text field needs a WIDTH";
        return false;
    }
    return true;
}

bool parse_record_number(const std::string& text, std::int32_t* record) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *record);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size() && *record >= 0;
}

// The engine's "record does not exist".
constexpr std::int32_t kNoSuchRecord = -44;

// Makes record `record` the current one; the engine code of the failure otherwise.
std::int32_t go_to_record(std::int32_t record) {
    const std::int32_t count = db::record_count();
    if (db::last_database_error() != db::kOk) return db::last_database_error();
    if (record >= count) return kNoSuchRecord;
    db::go_to_first_record();
    return db::skip_records(record) ? db::kOk : db::last_database_error();
}

int run_mark(const Arguments& arguments, bool mark) {
    std::int32_t record = 0;
    if (arguments.positional.size() != 2) return report_usage_error(arguments.command + " takes FILE RECORD");
    if (!parse_record_number(arguments.positional[1], &record)) {
        return report_usage_error("RECORD must be a record number from 0");
    }
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/false);
    if (!database.is_open()) return report_last_engine_failure();
    if (const std::int32_t code = go_to_record(record); code != db::kOk) return report_engine_failure(code);
    const bool done = mark ? db::delete_record() : db::undelete_record();
    return done ? kExitOk : report_last_engine_failure();
}

}  // namespace

int run_create(const Arguments& arguments) {
    if (arguments.positional.size() < 2) return report_usage_error("create takes FILE and at least one NAME:TYPE");
    std::vector<db::FieldSpec> fields;
    for (std::size_t i = 1; i < arguments.positional.size(); ++i) {
        db::FieldSpec field;
        std::string error;
        if (!parse_field_definition(arguments.positional[i], &field, &error)) return report_usage_error(error);
        fields.push_back(field);
    }
    // The engine replaces an existing file; from the command line that would lose a store
    // to a typing slip, so create only ever makes new files.
    const std::string path = db::complete_file_name(engine_path(arguments.positional[0]), "EDB");
    if (platform::is_existing_file(path)) {
        std::fprintf(stderr, "edb: %s exists; create makes new files only\n", platform::gbk_to_utf8(path).c_str());
        return kExitFailure;
    }
    // A link that points nowhere yet would have the file made wherever it points.
    if (platform::is_symbolic_link(path)) {
        std::fprintf(stderr, "edb: %s is a symbolic link; create makes new files only\n",
                     platform::gbk_to_utf8(path).c_str());
        return kExitFailure;
    }
    if (!db::create_database(path, fields)) return report_last_engine_failure();
    return kExitOk;
}

int run_append(const Arguments& arguments) {
    if (arguments.positional.empty()) return report_usage_error("append takes FILE and VALUE...");
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/false);
    if (!database.is_open()) return report_last_engine_failure();
    db::DatabaseInfo info;
    if (!db::current_database_info(&info)) return report_last_engine_failure();
    const std::size_t given = arguments.positional.size() - 1;
    if (given > info.fields.size()) {
        return report_usage_error("the file has " + std::to_string(info.fields.size()) + " fields, " +
                                  std::to_string(given) + " values given");
    }
    std::vector<db::Value> values;
    for (std::size_t i = 0; i < given; ++i) {
        const db::FieldInfo& field = info.fields[i];
        const std::string& text = arguments.positional[i + 1];
        const std::string name = platform::gbk_to_utf8(field.name);
        db::Value value;
        std::string expected;
        if (!parse_value(text, field.type, &value, &expected)) {
            return report_usage_error("value \"" + text + "\" for field " + name + " (" +
                                      std::string(type_name(field.type)) + ") is not " + expected);
        }
        // The engine cuts a long text without a word; a person at the command line is told.
        if (field.type == db::FieldType::kText) {
            const std::size_t bytes = std::get<std::string>(value).size();
            if (bytes > static_cast<std::size_t>(field.width)) {
                std::fprintf(stderr, "edb: note: field %s holds %d bytes; the value (%zu bytes in GBK) is cut\n",
                             name.c_str(), static_cast<int>(field.width), bytes);
            }
        }
        values.push_back(std::move(value));
    }
    return db::append_record(values) ? kExitOk : report_last_engine_failure();
}

int run_delete(const Arguments& arguments) { return run_mark(arguments, /*mark=*/true); }
int run_undelete(const Arguments& arguments) { return run_mark(arguments, /*mark=*/false); }

int run_purge(const Arguments& arguments) {
    if (arguments.positional.size() != 1) return report_usage_error("purge takes one FILE");
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/false);
    if (!database.is_open()) return report_last_engine_failure();
    return db::purge_deleted_records() ? kExitOk : report_last_engine_failure();
}

int run_passwd(const Arguments& arguments) {
    const std::size_t count = arguments.positional.size();
    if (count != 1 && count != 2) return report_usage_error("passwd takes FILE and NEW (\"\" to remove)");
    OpenedDatabase database(arguments.positional[0], arguments, /*read_only=*/false);
    if (!database.is_open()) return report_last_engine_failure();
    // Asked for only once the old password has opened the file.
    std::string typed;
    if (count == 1) {
        std::string error;
        if (!ask_new_password(&typed, &error)) return report_usage_error(error);
    } else if (arguments.positional[1] == kStandardInput) {
        if (!read_standard_input_line(&typed)) return report_usage_error("passwd: no new password on standard input");
    } else {
        typed = arguments.positional[1];
    }
    std::string new_password = platform::utf8_to_gbk(typed);
    platform::wipe_secret(typed);
    const bool set = db::set_access_password(new_password);
    platform::wipe_secret(new_password);
    return set ? kExitOk : report_last_engine_failure();
}

}  // namespace quillet::edb
