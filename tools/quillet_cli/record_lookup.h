// What the record commands share: the record an ID names and a password length argument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/record_store.h"
#include "tools/quillet_cli/command_line.h"

namespace quillet::cli {

// The ID the command's first argument names: decimal digits, at least 1. kExitOk, or the
// usage error already reported.
int parse_record_id(const CommandLine& line, std::int32_t* id);

// The first record carrying `id`, as the program's modify and delete find it.
std::optional<app::Record> record_with_id(const std::string& password, std::int32_t id);

// A generated password's length, 1 to the longest the store holds. kExitOk, or the usage
// error already reported.
int parse_password_length(const std::string& text, int* length);

}  // namespace quillet::cli
