// The decision, inside the TLS handshake, whether the server's certificate is accepted.
// Deciding there (rather than after the connection is up) means a refused server gets
// nothing: the handshake fails before the user name and password are sent.
#pragma once

#include <curl/curl.h>

#include <string>
#include <utility>

struct x509_store_ctx_st;  // OpenSSL's X509_STORE_CTX

namespace quillet::ftp {

class CertificateCheck {
  public:
    enum class Mode {
        kAuthority,  // the system's certificate authorities vouch for it
        kPinned,     // it is exactly the pinned certificate
    };

    // A pin without a fingerprint, on first use after a refused handshake that showed no
    // certificate (Schannel), takes the certificate the server shows now.
    CertificateCheck(Mode mode, std::string pinned_fingerprint = {})
        : mode_(mode), pinned_(std::move(pinned_fingerprint)) {}

    // Makes every TLS connection the handle opens run this check; the check must outlive
    // the handle's requests. libcurl verifies the host name too, except for a pin.
    CURLcode install(CURL* curl);

    // SHA-256 of the last certificate the server presented, "" before any handshake.
    const std::string& seen_fingerprint() const { return seen_; }
    // True when the last certificate was refused because no authority vouched for it.
    bool refused_by_authorities() const { return refused_by_authorities_; }

  private:
    static CURLcode on_new_context(CURL* curl, void* ssl_context, void* self);
    static int verify(::x509_store_ctx_st* store, void* self);

    Mode mode_;
    std::string pinned_;
    std::string seen_;
    bool refused_by_authorities_ = false;
    std::string key_pin_;  // Schannel: the public key the handshakes must show, learnt once
};

}  // namespace quillet::ftp
