// Opens addresses with ShellExecuteW, the desktop's handler for each kind of address.
// Nothing in the address is interpreted by a command shell. An address starting with "-"
// is refused as on the other systems, so that no handler takes it for an option.
#include <windows.h>
#include <shellapi.h>

#include "platform/shell.h"
#include "platform/win32/wide_text.h"

namespace quillet::platform {
namespace {

class SystemShell : public Shell {
  public:
    bool open(const std::string& address) override {
        if (address.empty() || address.front() == '-') return false;
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, L"open", wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
    }
};

}  // namespace

Shell& system_shell() {
    static SystemShell instance;
    return instance;
}

}  // namespace quillet::platform
