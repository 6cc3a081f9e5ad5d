// Keeps what the FTP client learned about servers' TLS, and which servers the user agreed
// to use in plain FTP, in ftp.ini (key "zhengshu" of section "ftp"), enciphered like the
// other FTP settings and never shown in the window. Removing that key forgets every
// pinned certificate and every such agreement.
#pragma once

#include <functional>
#include <string>

#include "ftp/server_trust.h"

namespace quillet::app {

// Read and written on the connecting thread; the FTP window writes its other keys only
// while no connect is running, so the two never replace the file at the same time.
// `settings_file` names ftp.ini at the time of each use.
ftp::TrustStore ftp_trust_store(std::function<std::string()> settings_file);

}  // namespace quillet::app
