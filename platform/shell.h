// Hands an address to the desktop's default handler (xdg-open on Linux), without a
// shell in between. Replaceable so that tests record what would be opened.
#pragma once

#include <string>

namespace quillet::platform {

class Shell {
public:
    virtual ~Shell() = default;
    // `address` is GBK. Returns whether the handler could be started.
    virtual bool open(const std::string& address) = 0;
};

Shell& shell();
Shell& system_shell();  // the operating system's handler (one per platform variant)
void set_shell(Shell* replacement);  // not owned; nullptr restores the system shell

}  // namespace quillet::platform
