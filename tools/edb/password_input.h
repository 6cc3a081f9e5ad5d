// Passwords that do not appear on the command line, where every user of the machine can
// read them (ps, /proc/PID/cmdline) and the shell keeps them in its history.
#pragma once

#include <string>
#include <string_view>

namespace quillet::edb {

// Given as a password ("-p -", or passwd's NEW), stands for the next line of standard input.
inline constexpr std::string_view kStandardInput = "-";

// The next line of standard input without its line end (LF or CR LF); false when the
// input has ended before one.
bool read_standard_input_line(std::string* line_utf8);

// Asks for a new password on the terminal twice, without echo. False with `error` set
// when there is no terminal or the two entries differ.
bool ask_new_password(std::string* password_utf8, std::string* error);

}  // namespace quillet::edb
