// The command line of quillet-cli: a command, its positional arguments and "--name" or
// "--name VALUE" options, which may stand anywhere; "--" ends the options.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::cli {

struct CommandLine {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> options;  // flags hold ""

    bool has(std::string_view option) const { return options.find(option) != options.end(); }
    std::string value(std::string_view option) const;
};

// False with `error` set for an option without its value or given twice.
bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error);

// The options every command takes: --dir DIR, --password-stdin and --help.
// False with `error` naming the first option outside these and `allowed`.
bool only_options(const CommandLine& line, std::initializer_list<std::string_view> allowed, std::string* error);

}  // namespace quillet::cli
