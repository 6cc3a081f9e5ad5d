// Opens addresses with xdg-open. The address goes to xdg-open as one argument vector
// entry (posix_spawnp, no shell), so nothing in it is interpreted. The program does not
// wait for the handler; a detached thread reaps the child so no zombie is left behind.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "platform/shell.h"
#include "platform/text_codec.h"

extern char** environ;

namespace quillet::platform {
namespace {

class SystemShell : public Shell {
  public:
    bool open(const std::string& address) override {
        std::string utf8 = gbk_to_utf8(address);
        // "--" is not understood by xdg-open; an address starting with "-" would be
        // taken as an option, so such an address is refused instead.
        if (utf8.empty() || utf8.front() == '-') return false;
        char program[] = "xdg-open";
        char* argv[] = {program, utf8.data(), nullptr};
        pid_t child = 0;
        if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return false;
        std::thread([child] {
            while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return true;
    }
};

}  // namespace

Shell& system_shell() {
    static SystemShell instance;
    return instance;
}

}  // namespace quillet::platform
