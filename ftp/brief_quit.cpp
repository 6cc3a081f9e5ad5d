#include "ftp/brief_quit.h"

namespace quillet::ftp {
namespace {

// A server that stopped answering must not hold up whoever closes.
constexpr long kQuitWaitSeconds = 1;

curl_socket_t refuse_new_socket(void*, curlsocktype, curl_sockaddr*) { return CURL_SOCKET_BAD; }

}  // namespace

void quit_briefly(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kQuitWaitSeconds);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, refuse_new_socket);
    curl_easy_perform(curl);
}

}  // namespace quillet::ftp
