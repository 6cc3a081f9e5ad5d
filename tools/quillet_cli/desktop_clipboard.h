// The system clipboard for a command without windows. The desktop layer's clipboard needs
// a running toolkit to own and serve the clipboard; this starts one without any window.
#pragma once

#include <string>

namespace quillet::cli {

// False with `error` set when there is no desktop session to copy into, or this build has
// no clipboard.
bool start_desktop_clipboard(std::string* error);
// Answers the desktop's clipboard requests for up to `ms` milliseconds.
void serve_desktop_clipboard(int ms);
// Ends the toolkit again; a copied secret must already be off the clipboard.
void stop_desktop_clipboard();

}  // namespace quillet::cli
