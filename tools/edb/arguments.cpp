#include "tools/edb/arguments.h"

namespace quillet::edb {

bool parse_arguments(int argc, const char* const* argv, Arguments* out, std::string* error) {
    *out = Arguments{};
    if (argc < 2) return true;
    out->command = argv[1];
    bool options_ended = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument == "-p") {
            if (i + 1 >= argc) {
                *error = "-p needs a password";
                return false;
            }
            if (out->password) {
                *error = "-p given twice";
                return false;
            }
            out->password = argv[++i];
        } else {
            out->positional.push_back(argument);
        }
    }
    return true;
}

}  // namespace quillet::edb
