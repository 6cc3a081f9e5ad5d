#include "tools/quillet_cli/command_line.h"

#include <algorithm>
#include <array>

namespace quillet::cli {
namespace {

// Options followed by a value; every other "--name" is a flag.
constexpr std::array<std::string_view, 6> kValued = {"--dir",      "--platform", "--address",
                                                     "--generate", "--csv",      "--format"};
constexpr std::array<std::string_view, 3> kCommon = {"--dir", "--password-stdin", "--help"};

}  // namespace

std::string CommandLine::value(std::string_view option) const {
    auto found = options.find(option);
    return found == options.end() ? std::string() : found->second;
}

bool parse_command_line(int argc, const char* const* argv, CommandLine* out, std::string* error) {
    *out = CommandLine{};
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!options_ended && argument == "--") {
            options_ended = true;
            continue;
        }
        if (!options_ended && (argument.rfind("--", 0) == 0 || argument == "-h")) {
            const std::string name = argument == "-h" ? "--help" : argument;
            if (out->has(name)) {
                *error = name + " given twice";
                return false;
            }
            std::string value;
            if (std::find(kValued.begin(), kValued.end(), name) != kValued.end()) {
                if (i + 1 >= argc) {
                    *error = name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            out->options.emplace(name, value);
        } else if (out->command.empty()) {
            out->command = argument;
        } else {
            out->positional.push_back(argument);
        }
    }
    return true;
}

bool only_options(const CommandLine& line, std::initializer_list<std::string_view> allowed, std::string* error) {
    for (const auto& [name, value] : line.options) {
        const bool common = std::find(kCommon.begin(), kCommon.end(), name) != kCommon.end();
        if (!common && std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            *error = "unknown option " + name + " for \"" + line.command + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace quillet::cli
