#include "ftp/certificate_check.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "platform/hex.h"

namespace quillet::ftp {
namespace {

std::string sha256_hex(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    return platform::lower_hex({digest, length});
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

CURLcode CertificateCheck::on_new_context(CURL*, void* ssl_context, void* self) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ssl_context), verify, self);
    return CURLE_OK;
}

int CertificateCheck::verify(X509_STORE_CTX* store, void* self) {
    auto* check = static_cast<CertificateCheck*>(self);
    check->seen_ = sha256_hex(X509_STORE_CTX_get0_cert(store));
    check->refused_by_authorities_ = false;
    if (check->mode_ == Mode::kPinned) {
        if (!check->seen_.empty() && check->seen_ == check->pinned_) return 1;
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    const int verified = X509_verify_cert(store);
    check->refused_by_authorities_ = verified != 1;
    return verified == 1 ? 1 : 0;
}

}  // namespace quillet::ftp
