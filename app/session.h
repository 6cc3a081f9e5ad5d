// The session: login against the store the password unlocks, logout, exit, the idle
// countdown that logs the user out after ten minutes without pointer movement over the
// main window, and the logout when the user leaves the desk (screen lock, suspend).
#pragma once

#include <string>

#include "app/app_state.h"

namespace quillet::app {

// Ticks of the one-second idle timer before an idle logout.
inline constexpr int kIdleTicks = 600;

void bind_session(AppState& state);

// Overwrites the text's bytes (spare capacity too) before emptying it, so the secret
// does not linger in memory that is later reused.
void wipe_text(std::string& text);
// Starts deriving the session's key for ftp.ini's password from the session password.
void start_ftp_key(AppState& state);
// The session's key for ftp.ini's password; waits for its derivation when it is still
// running (only when the FTP window opens within a moment of the login).
const FtpKey& session_ftp_key(AppState& state);
// Wipes the session password and drops the keys derived from it.
void release_session_password(AppState& state);

}  // namespace quillet::app
