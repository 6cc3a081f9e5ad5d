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
    // What became of a certificate the authorities' check refused.
    enum class Verdict {
        kUnknown,    // no certificate was seen, or it could not be read
        kVouched,    // an authority vouches for it, so it was refused for the host name
        kUnvouched,  // no authority vouches for it
    };

    // A pin names the certificate's fingerprint and, once known, its public key's
    // (both as ServerTrust keeps them).
    explicit CertificateCheck(Mode mode, std::string pinned_fingerprint = {}, std::string pinned_public_key = {})
        : mode_(mode), pinned_(std::move(pinned_fingerprint)), pinned_key_(std::move(pinned_public_key)) {}

    // Makes every TLS connection the handle opens run this check; the check must outlive
    // the handle's requests. libcurl verifies the host name too, except for a pin.
    CURLcode install(CURL* curl);

    // After a login refused by an authority check: why. Schannel shows no certificate
    // inside its handshake, so there `configured` (a handle set up for the server by
    // install) is used to learn it over connections of its own; elsewhere the refused
    // handshake already showed it.
    Verdict examine_refusal(CURL* configured);

    // Digests of the last certificate the server presented (64 lower-case hex digits),
    // "" before any.
    const std::string& seen_fingerprint() const { return seen_; }
    const std::string& seen_public_key() const { return seen_key_; }

  private:
    static CURLcode on_new_context(CURL* curl, void* ssl_context, void* self);
    static int verify(::x509_store_ctx_st* store, void* self);

    Mode mode_;
    std::string pinned_;
    std::string pinned_key_;
    std::string seen_;
    std::string seen_key_;
    Verdict verdict_ = Verdict::kUnknown;
    std::string key_pin_;  // Schannel: the public key the handshakes must show, settled once
};

}  // namespace quillet::ftp
