// With Schannel, libcurl offers no hook inside the handshake and reports a certificate
// only once the connection is up, after the user name and password have gone out. A
// certificate can therefore not be pinned safely on first use: only certificates the
// system's authorities vouch for (for the host name) are accepted, and a pinned server
// is refused before anything is sent. No fingerprint is ever seen, so the client never
// falls back to pinning.
#include "ftp/certificate_check.h"

namespace quillet::ftp {

bool CertificateCheck::can_pin() { return false; }

CURLcode CertificateCheck::install(CURL* curl) {
    CURLcode result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    return result;
}

}  // namespace quillet::ftp
