// What a command-line tool needs from the system before it reads its arguments.
#pragma once

#include <string>
#include <vector>

namespace quillet::platform {

// The program's arguments (argv[0] first) as UTF-8, and standard output and error set to
// pass bytes through unchanged (no line-end translation), so a tool prints the same
// bytes on every system. On Windows the arguments come from the UTF-16 command line,
// since `argv` holds them in the ANSI code page, which loses characters.
std::vector<std::string> start_console_program(int argc, char** argv);

}  // namespace quillet::platform
