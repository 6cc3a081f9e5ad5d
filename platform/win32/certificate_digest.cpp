#include "platform/win32/certificate_digest.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/hex.h"

namespace quillet::platform {
namespace {

using Bytes = std::vector<unsigned char>;

bool sha256(const unsigned char* data, DWORD size, Bytes* digest) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    digest->assign(32, 0);
    const bool done = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
                      BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<unsigned char*>(data), size, 0)) &&
                      BCRYPT_SUCCESS(BCryptFinishHash(hash, digest->data(), 32, 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done;
}

std::string base64(const Bytes& bytes) {
    DWORD length = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    if (!CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), flags, nullptr, &length)) return {};
    std::string text(length, '\0');
    if (!CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), flags, text.data(), &length)) return {};
    text.resize(length);
    return text;
}

struct CertificateRelease {
    void operator()(const CERT_CONTEXT* context) const { CertFreeCertificateContext(context); }
};

}  // namespace

bool digest_certificate(const std::string& pem, CertificateDigest* digest) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
        return false;
    }
    Bytes der(size);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                              nullptr, nullptr)) {
        return false;
    }
    der.resize(size);
    const std::unique_ptr<const CERT_CONTEXT, CertificateRelease> certificate(
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
    if (certificate == nullptr) return false;

    // The public key as its DER SubjectPublicKeyInfo, the bytes a key pin is taken over.
    BYTE* key = nullptr;
    DWORD key_size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &certificate->pCertInfo->SubjectPublicKeyInfo,
                             CRYPT_ENCODE_ALLOC_FLAG, nullptr, &key, &key_size)) {
        return false;
    }
    Bytes certificate_hash;
    Bytes key_hash;
    const bool hashed = sha256(der.data(), size, &certificate_hash) && sha256(key, key_size, &key_hash);
    LocalFree(key);
    if (!hashed) return false;
    digest->certificate_sha256 = lower_hex(certificate_hash);
    digest->public_key_sha256 = lower_hex(key_hash);
    return true;
}

std::string public_key_pin(const std::string& public_key_sha256) {
    if (public_key_sha256.size() != 64) return {};
    Bytes key_hash;
    for (std::size_t i = 0; i < public_key_sha256.size(); i += 2) {
        unsigned value = 0;
        for (char c : public_key_sha256.substr(i, 2)) {
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return {};
            value = value * 16 + static_cast<unsigned>(digit);
        }
        key_hash.push_back(static_cast<unsigned char>(value));
    }
    const std::string encoded = base64(key_hash);
    return encoded.empty() ? std::string() : "sha256//" + encoded;
}

}  // namespace quillet::platform
