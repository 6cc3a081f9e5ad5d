// The rules for names: the character classes of aliases and field names, and the
// case-insensitive comparison of GBK names and paths.
#pragma once

#include <string_view>

namespace quillet::db {

// First character a half- or full-width letter or a Chinese character, the others also
// half- or full-width digits.
bool is_valid_name(std::string_view gbk);
// ASCII letters compared without case; double-byte characters compared exactly.
bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace quillet::db
