// With Schannel, libcurl offers no hook inside the handshake: it reports the server's
// certificate only once the handshake is over, and sends the user name right after. A
// pinned login therefore takes two connections:
//  1. a probe, which accepts any certificate and logs in as "anonymous" without a
//     password (nothing of the user's), learns the server's certificate;
//  2. if that is the pinned certificate (or, on first use, whatever the probe met), the
//     real login requires the same public key inside its handshake
//     (CURLOPT_PINNEDPUBLICKEY). A server without that key's private half fails there,
//     before the user name and password are sent.
// A server the system's authorities must vouch for is checked by Schannel itself.
#include <set>
#include <string_view>
#include <vector>

#include "ftp/certificate_check.h"
#include "platform/win32/certificate_digest.h"

namespace quillet::ftp {
namespace {

// A public key no certificate has: the login's handshake is refused before anything is sent.
constexpr const char* kRefuseEveryKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

// The server's own certificate among those it sent: the one that issued none of the others.
std::string server_certificate(const curl_certinfo* info) {
    struct Fields {
        std::string subject, issuer, pem;
    };
    std::vector<Fields> sent;
    for (int i = 0; info != nullptr && i < info->num_of_certs; ++i) {
        Fields fields;
        for (const curl_slist* item = info->certinfo[i]; item != nullptr; item = item->next) {
            const std::string_view entry = item->data;
            if (entry.starts_with("Subject:")) fields.subject = entry.substr(8);
            if (entry.starts_with("Issuer:")) fields.issuer = entry.substr(7);
            if (entry.starts_with("Cert:")) fields.pem = entry.substr(5);
        }
        sent.push_back(std::move(fields));
    }
    std::set<std::string> issuers_of_others;
    for (const Fields& fields : sent) {
        if (fields.issuer != fields.subject) issuers_of_others.insert(fields.issuer);
    }
    std::string found;
    for (const Fields& fields : sent) {
        if (issuers_of_others.contains(fields.subject)) continue;
        if (!found.empty()) return {};  // more than one candidate: refuse rather than guess
        found = fields.pem;
    }
    return found;
}

// The certificate the server shows, learnt over a connection of the probe's own.
std::string probe_certificate(CURL* configured) {
    CURL* probe = curl_easy_duphandle(configured);
    if (probe == nullptr) return {};
    curl_easy_setopt(probe, CURLOPT_USERNAME, "anonymous");
    curl_easy_setopt(probe, CURLOPT_PASSWORD, "");
    curl_easy_setopt(probe, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(probe, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(probe, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(probe, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(probe, CURLOPT_HEADERDATA, nullptr);
    // Whether the anonymous login succeeds does not matter: the handshake came first.
    curl_easy_perform(probe);
    curl_certinfo* info = nullptr;
    std::string pem;
    if (curl_easy_getinfo(probe, CURLINFO_CERTINFO, &info) == CURLE_OK) pem = server_certificate(info);
    curl_easy_cleanup(probe);
    return pem;
}

}  // namespace

CURLcode CertificateCheck::install(CURL* curl) {
    if (mode_ == Mode::kAuthority) {
        CURLcode result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        return result;
    }
    if (key_pin_.empty()) {  // every request of the login's connection installs the check again
        platform::CertificateDigest digest;
        const bool known = platform::digest_certificate(probe_certificate(curl), &digest);
        seen_ = known ? digest.certificate_sha256 : std::string();
        const bool accepted = known && (pinned_.empty() || seen_ == pinned_);
        key_pin_ = accepted ? "sha256//" + digest.public_key_sha256 : kRefuseEveryKey;
    }
    // A pin names the certificate itself, so neither an authority nor the host name it
    // was issued for matters (home servers are often reached by an address it lacks).
    // The checks are let go only once the pin is in place.
    CURLcode result = curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, key_pin_.c_str());
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    return result;
}

}  // namespace quillet::ftp
