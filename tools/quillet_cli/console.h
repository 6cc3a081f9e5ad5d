// The terminal side of quillet-cli: exit statuses, messages on standard error, and
// input lines. Texts on the terminal are UTF-8; the store's texts are GBK.
#pragma once

#include <string>

namespace quillet::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a wrong password, a missing record, a failed write
inline constexpr int kExitUsage = 2;    // a wrong command line
inline constexpr int kExitPartial = 3;  // an import added some records and left rows out

// "quillet-cli: MESSAGE" on standard error; returns kExitFailure.
int fail(const std::string& message_utf8);
// The same and a hint to --help; returns kExitUsage.
int usage_error(const std::string& message_utf8);
// A UTF-8 text on standard output, with a line end.
void print_line(const std::string& utf8);

// One line of standard input without its line end, after `prompt` on standard error
// when a person types it. False at the end of the input.
bool read_input_line(const std::string& prompt, std::string* utf8);
// A secret: from the terminal without echo when standard input is one, else the next line
// of standard input, so that scripts can pipe it.
bool read_secret_line(const std::string& prompt, std::string* utf8);

}  // namespace quillet::cli
