// The reasons a WebDAV request fails, as the code of its platform::Status; the status's
// message says the same to a person (Simplified Chinese). A caller branches on the code
// (a refused certificate may lead to the pin question, a refused login to the password
// box) and shows the message.
#pragma once

#include <cstdint>

namespace quillet::ftp {

enum WebDavFailure : std::int32_t {
    kDavBadAddress = 1,        // not an http(s) URL, or a path or name that cannot be sent
    kDavPlainRefused,          // a password over plain http to a host that is not this machine
    kDavHostNotFound,          // the name does not resolve
    kDavConnectionRefused,     // nothing listens, or the connection was cut
    kDavTimedOut,              // no answer in time
    kDavCancelled,             // given up at the caller's request
    kDavLoginRefused,          // 401: wrong account or password
    kDavForbidden,             // 403
    kDavNotFound,              // 404 / 409: the address or a folder on the way does not exist
    kDavServerRefused,         // any other refusal the server answered with
    kDavCertificateChanged,    // not the certificate (or not the authority-vouched TLS) seen before
    kDavCertificateDeclined,   // no authority vouches for it and the user did not agree to pin it
    kDavHostNameMismatch,      // an authority vouches for the certificate, but for another name
    kDavTlsFailed,             // the TLS handshake failed for another reason
    kDavRedirectRefused,       // to another scheme or host, or too many
    kDavReplyTooLarge,         // a header block or a body over its cap
    kDavBadReply,              // a multistatus reply that is not well-formed or names what it may not
    kDavLocalFile,             // the local file could not be read or written
    kDavTransferFailed,        // any other transfer failure
};

}  // namespace quillet::ftp
