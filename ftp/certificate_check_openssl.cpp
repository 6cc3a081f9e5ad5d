#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "ftp/certificate_check.h"
#include "platform/hex.h"

namespace quillet::ftp {
namespace {

std::string sha256_hex(const unsigned char* data, std::size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1) return {};
    return platform::lower_hex({digest, length});
}

std::string certificate_sha256(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    return platform::lower_hex({digest, length});
}

// Over the DER SubjectPublicKeyInfo, the bytes a public key pin is taken over.
std::string public_key_sha256(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = certificate == nullptr ? 0 : i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0) return {};
    std::string digest = sha256_hex(der, static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return digest;
}

}  // namespace

CURLcode CertificateCheck::install(CURL* curl) {
    const bool pinned = mode_ == Mode::kPinned;
    // A pin names the certificate itself, so the host name it was issued for does not
    // matter (home servers are often reached by an address their certificate lacks).
    CURLcode result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, on_new_context);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, this);
    return result;
}

// The handshake's own check saw everything there is to know.
CertificateCheck::Verdict CertificateCheck::examine_refusal(CURL*) { return verdict_; }

CURLcode CertificateCheck::on_new_context(CURL*, void* ssl_context, void* self) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ssl_context), verify, self);
    return CURLE_OK;
}

// libcurl compares the host name only after this has accepted the chain, so a chain that
// passes here and a failed handshake mean the name did not match.
int CertificateCheck::verify(X509_STORE_CTX* store, void* self) {
    auto* check = static_cast<CertificateCheck*>(self);
    X509* certificate = X509_STORE_CTX_get0_cert(store);
    check->seen_ = certificate_sha256(certificate);
    check->seen_key_ = public_key_sha256(certificate);
    if (check->mode_ == Mode::kPinned) {
        if (!check->seen_.empty() && check->seen_ == check->pinned_) return 1;
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    const bool vouched = X509_verify_cert(store) == 1;
    check->verdict_ = check->seen_.empty() ? Verdict::kUnknown : vouched ? Verdict::kVouched : Verdict::kUnvouched;
    return vouched ? 1 : 0;
}

}  // namespace quillet::ftp
