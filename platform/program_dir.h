// The program directory: the directory holding the executable. Every file of the
// program lives there; nothing is addressed relative to the current directory.
#pragma once

#include <string>

namespace quillet::platform {

// GBK, without a trailing separator.
std::string program_directory();
// program_directory() + the system's separator ("/", on Windows "\\") + name.
std::string program_file(const std::string& name);
// Points the program at another directory (a command-line tool's choice).
void set_program_directory(const std::string& directory);
// Tests point the program at a directory of their own.
void set_program_directory_for_testing(const std::string& directory);

// Where the running executable lies, as the operating system says (one per platform
// variant); "." when it cannot tell.
std::string executable_directory();

}  // namespace quillet::platform
