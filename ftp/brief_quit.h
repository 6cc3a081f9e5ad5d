// Ending an FTP control connection without waiting long for the server.
#pragma once

#include <curl/curl.h>

namespace quillet::ftp {

// Left to curl_easy_cleanup, the QUIT would be sent by an internal handle that waits two
// minutes for the reply. One last request without a transfer instead ends the handle's
// open control connection itself (QUIT, waited for about a second); it may not open a
// new connection, so a dropped one is not logged into again just to quit. The handle
// keeps its other options; it is still the caller's to clean up.
void quit_briefly(CURL* curl);

}  // namespace quillet::ftp
