#include "tools/quillet_cli/console.h"

#include <cstdio>
#include <iostream>

#include "platform/terminal_password.h"

namespace quillet::cli {

int fail(const std::string& message_utf8) {
    std::fprintf(stderr, "quillet-cli: %s\n", message_utf8.c_str());
    return kExitFailure;
}

int usage_error(const std::string& message_utf8) {
    std::fprintf(stderr, "quillet-cli: %s\n(see \"quillet-cli --help\")\n", message_utf8.c_str());
    return kExitUsage;
}

void print_line(const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

bool read_input_line(const std::string& prompt, std::string* utf8) {
    // Piped input needs no prompts, and they would only clutter a script's output.
    if (!prompt.empty() && platform::standard_input_is_terminal()) {
        std::fputs(prompt.c_str(), stderr);
        std::fflush(stderr);
    }
    if (!std::getline(std::cin, *utf8)) return false;
    if (!utf8->empty() && utf8->back() == '\r') utf8->pop_back();
    return true;
}

bool read_secret_line(const std::string& prompt, std::string* utf8) {
    if (platform::standard_input_is_terminal()) return platform::read_terminal_password(prompt, utf8);
    return read_input_line("", utf8);
}

}  // namespace quillet::cli
