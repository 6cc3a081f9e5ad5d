// The digests by which a server's certificate is pinned, read with the system's own
// certificate functions.
#pragma once

#include <string>

namespace quillet::platform {

struct CertificateDigest {
    std::string certificate_sha256;  // lower-case hex of the whole DER certificate
    std::string public_key_sha256;   // lower-case hex of its SubjectPublicKeyInfo's SHA-256
};

// Digests of a PEM certificate; false when it cannot be read.
bool digest_certificate(const std::string& pem, CertificateDigest* digest);

// The "sha256//<base64>" form libcurl takes a public key pin in, from the key's digest as
// above; "" when that is not 64 hex digits.
std::string public_key_pin(const std::string& public_key_sha256);

}  // namespace quillet::platform
