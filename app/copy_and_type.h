// Handing the selected record's account and password to another program without showing
// the password: the copy commands of the list's pop-up menu, and the F1, F2 and F3 keys
// that type the account, the password, or both into the window under the mouse pointer.
// Nothing is typed into a window that does not take the keyboard focus, and F3 types the
// password only into the top-level window that took the account.
// A password put on the clipboard is taken off again after 30 seconds, and when the
// program ends, unless the clipboard holds something else by then.
#pragma once

#include <string>

#include "app/app_state.h"

namespace quillet::app {

// Hot-key identifiers come from a program-wide counter that starts here and never goes
// back; a key the desktop refused keeps identifier 0.
inline constexpr int kFirstHotKeyIdentifier = 33001;
// The pause of F3 between the account, Tab and the password.
inline constexpr int kTypingPauseMs = 500;

// Binds the menu items, the hot-key registration at main-window opening (and release when
// it closes) and the hot-key dispatch of 标签1. Bind after the list load's created step.
void bind_copy_and_type(AppState& state);

// Puts a password (GBK) on the clipboard as a secret: marked for clipboard managers and
// removed again later as above.
void copy_secret_to_clipboard(const std::string& text);

}  // namespace quillet::app
