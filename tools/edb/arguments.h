// The command line of edb: a command, its positional arguments and the one option
// "-p PASSWORD", which may stand anywhere after the command. "--" ends the options, so
// that a value spelled "-p" can still be given.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillet::edb {

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    // As typed (UTF-8); "?" asks on the terminal. "-" (read standard input) is replaced by
    // the line read before any command runs.
    std::optional<std::string> password;
};

// False with `error` set when "-p" has no value or is given twice.
bool parse_arguments(int argc, const char* const* argv, Arguments* out, std::string* error);

}  // namespace quillet::edb
