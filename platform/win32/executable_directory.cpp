#include <windows.h>

#include "platform/program_dir.h"
#include "platform/win32/wide_text.h"

namespace quillet::platform {

std::string executable_directory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return ".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut short: try again with room to spare
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return ".";
    // A drive's root keeps its separator ("C:\").
    path.resize(separator == 2 && path[1] == L':' ? separator + 1 : separator);
    return narrow(path);
}

}  // namespace quillet::platform
