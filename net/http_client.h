// One complete HTTP exchange: browser-like default headers, an optional body, cookies
// sent, collected and merged, the redirect target, and the body brought to GBK by the
// character set the page declares. Failures are numbered texts in the status, never
// exceptions. Replies are bounded: a body over 64 KiB, a header block over 64 KiB or a
// redirect from https to http fails the exchange. Calls keep no state; concurrent calls
// from several threads are independent.
#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace quillet::net {

enum HttpMethod { kGet = 0, kPost = 1, kHead = 2, kPut = 3 };  // any other value sends GET

struct HttpRequest {
    std::string address;  // http or https URL, GBK
    int method = kGet;
    std::optional<std::string> body;     // sent as it is; nullopt sends none
    std::optional<std::string> cookies;  // "a=1; b=2"; given (even empty) turns on cookie keeping and merging
    std::string extra_headers;           // lines separated by CR LF; they win over the default lines
    bool no_redirect = false;
    std::string server_user;
    std::string server_password;
    std::string proxy;  // "host:port"; empty: none, and no proxy from the environment either
    std::string proxy_user;
    std::string proxy_password;
    // For connecting and for each wait on the exchange; 0 or less: 30. The whole exchange
    // ends after twice this, however the server trickles its reply.
    int timeout_seconds = 0;
    bool merge_cookies = true;
    // When set and it turns true, the exchange gives up within about a second.
    const std::atomic<bool>* abandon = nullptr;
    // Certificates trusted instead of the system's (tests' own authority); empty: the system's.
    std::string ca_file;
};

// Outputs. On failure only `status` is written; the others keep what they held.
struct HttpResponse {
    std::string cookies;          // set by the response ("a=1; b=2"), merged with the sent ones
    std::string headers;          // raw headers of the final response, CR LF separated
    std::string redirect_target;  // the "Location: " line's value
    std::string status;           // "200 OK", or one of the "7xx ..." failure messages
    std::string raw_body;         // the body bytes as received
};

// Returns the body as GBK text, or empty text when the exchange failed.
std::string http_request(const HttpRequest& request, HttpResponse* response = nullptr);

}  // namespace quillet::net
