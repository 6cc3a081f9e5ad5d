// The "FTP同步" window: the FTP settings in ftp.ini, connecting the program-wide client,
// and the upload and download of data.edb.
#pragma once

#include "app/app_state.h"
#include "ftp/ftp_client.h"

namespace quillet::app {

// Binds the main window's 按钮_FTP (opens the window) and the FTP window's events. The
// client must outlive the window layer's message loop. Connect and the transfers run
// on a worker thread, one at a time; while one runs the three buttons are disabled, and
// closing the window cancels it and waits for it to end. The client's TLS trust is kept in
// ftp.ini, and its questions (plain FTP, a new pin) are asked on the window thread.
void bind_ftp_window(AppState& state, ftp::FtpClient& client);

}  // namespace quillet::app
