// Builds without the desktop layer have no clipboard to copy into.
#include "tools/quillet_cli/desktop_clipboard.h"

namespace quillet::cli {

bool start_desktop_clipboard(std::string* error) {
    *error = "this build has no clipboard (it was built without the desktop layer)";
    return false;
}

void serve_desktop_clipboard(int) {}

void stop_desktop_clipboard() {}

}  // namespace quillet::cli
