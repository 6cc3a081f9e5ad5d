// Reads a password from the controlling terminal with echo off (command-line tools).
#pragma once

#include <string>

namespace quillet::platform {

// Shows `prompt` on /dev/tty and reads one line without echo. False when there is no
// terminal or the input ends before a line.
bool read_terminal_password(const std::string& prompt_utf8, std::string* password_utf8);

// Whether standard input comes from a terminal (a person typing) rather than a pipe or file.
bool standard_input_is_terminal();

}  // namespace quillet::platform
