#include "tools/quillet_cli/record_lookup.h"

#include "app/password_generator.h"
#include "tools/quillet_cli/console.h"

namespace quillet::cli {
namespace {

bool all_digits(const std::string& text) {
    return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int parse_record_id(const CommandLine& line, std::int32_t* id) {
    if (line.positional.empty()) return usage_error(line.command + " needs a record ID");
    const std::string& text = line.positional.front();
    *id = all_digits(text) ? app::parse_id(text) : 0;
    if (*id < 1) return usage_error("not a record ID: " + text);
    return kExitOk;
}

std::optional<app::Record> record_with_id(const std::string& password, std::int32_t id) {
    for (app::Record& record : app::list_records(password)) {
        if (record.id == id) return std::move(record);
    }
    return std::nullopt;
}

int parse_password_length(const std::string& text, int* length) {
    *length = all_digits(text) ? app::parse_length(text) : 0;
    if (*length < 1 || *length > app::kMaxGeneratedLength) {
        return usage_error("a password length is a number from 1 to " + std::to_string(app::kMaxGeneratedLength) +
                           ", not \"" + text + "\"");
    }
    return kExitOk;
}

}  // namespace quillet::cli
