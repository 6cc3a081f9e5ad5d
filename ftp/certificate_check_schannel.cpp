// With Schannel, libcurl offers no hook inside the handshake: it reports the server's
// certificate only once the handshake is over, and sends the user name right after. So:
//  - a pinned login requires the pinned public key inside its handshake
//    (CURLOPT_PINNEDPUBLICKEY): a server without that key's private half fails there,
//    before the user name and password are sent. A pin stored before its public key was
//    kept names the certificate only; once, a probe learns the server's certificate and,
//    if it is the pinned one, its key, which the client then keeps beside the pin.
//  - a certificate the authorities' check refused is learnt by probes, which tell a
//    certificate an authority vouches for (refused for its host name) from one no
//    authority vouches for, whose fingerprint the user is then shown.
// A probe is a connection of its own that logs in as "anonymous" without a password
// (nothing of the user's) and ends with a QUIT waited for briefly. A server the system's
// authorities must vouch for is checked by Schannel itself.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "ftp/brief_quit.h"
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

// An HTTP status line is kept as kHttpReply: over https it came over a finished handshake.
constexpr int kHttpReply = -1;

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

size_t collect_reply_code(char* data, size_t size, size_t count, void* user) {
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) static_cast<std::vector<int>*>(user)->push_back(kHttpReply);
    if (line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) && line[3] == ' ') {
        static_cast<std::vector<int>*>(user)->push_back(std::atoi(std::string(line.substr(0, 3)).c_str()));
    }
    return size * count;
}

struct ProbeResult {
    CURLcode code = CURLE_OK;
    bool handshake_done = false;
    platform::CertificateDigest digest;  // empty when the certificate could not be read
};

// A probe's connection. `check_issuer` has Schannel check the certificate's chain (never
// its host name); then only a certificate an authority vouches for completes the handshake.
ProbeResult probe(CURL* configured, bool check_issuer) {
    ProbeResult result;
    CURL* probe = curl_easy_duphandle(configured);
    if (probe == nullptr) return result;
    std::vector<int> codes;
    // The duplicate carries the configured handle's transfer as well, whose callbacks' data
    // and header list may belong to a request that has ended: it transfers nothing.
    curl_easy_setopt(probe, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(probe, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(probe, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(probe, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(probe, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(probe, CURLOPT_SEEKFUNCTION, nullptr);
    curl_easy_setopt(probe, CURLOPT_SEEKDATA, nullptr);
    curl_easy_setopt(probe, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(probe, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(probe, CURLOPT_XFERINFOFUNCTION, nullptr);
    curl_easy_setopt(probe, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(probe, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(probe, CURLOPT_USERNAME, "anonymous");
    curl_easy_setopt(probe, CURLOPT_PASSWORD, "");
    curl_easy_setopt(probe, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(probe, CURLOPT_PINNEDPUBLICKEY, nullptr);
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYPEER, check_issuer ? 1L : 0L);
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(probe, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(probe, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(probe, CURLOPT_HEADERFUNCTION, collect_reply_code);
    curl_easy_setopt(probe, CURLOPT_HEADERDATA, &codes);
    // Whether the anonymous login succeeds does not matter: the handshake came first, and
    // any reply after AUTH TLS's 234 came over a finished handshake.
    result.code = curl_easy_perform(probe);
    const auto accepted = std::find(codes.begin(), codes.end(), 234);
    result.handshake_done = (accepted != codes.end() && std::next(accepted) != codes.end()) ||
                            std::find(codes.begin(), codes.end(), kHttpReply) != codes.end();
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CERTINFO, &info) != CURLE_OK ||
        !platform::digest_certificate(server_certificate(info), &result.digest)) {
        result.digest = {};
    }
    curl_easy_setopt(probe, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(probe, CURLOPT_HEADERDATA, nullptr);
    quit_briefly(probe);
    curl_easy_cleanup(probe);
    return result;
}

// Whether a probe that did not finish its handshake was refused for its certificate, as
// opposed to a connection that failed on its way (a reset, a slow relay under load).
bool refused_certificate(CURLcode code) {
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR;
}

}  // namespace

CURLcode CertificateCheck::install(CURL* curl) {
    if (mode_ == Mode::kAuthority) {
        CURLcode result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        return result;
    }
    if (key_pin_.empty()) {  // every request of the login's connection installs the check again
        if (pinned_key_.empty()) {
            const ProbeResult seen = probe(curl, false);
            seen_ = seen.digest.certificate_sha256;
            seen_key_ = seen.digest.public_key_sha256;
            if (!seen_.empty() && seen_ == pinned_) pinned_key_ = seen_key_;
        }
        key_pin_ = pinned_key_.empty() ? kRefuseEveryKey : platform::public_key_pin(pinned_key_);
        if (key_pin_.empty()) key_pin_ = kRefuseEveryKey;
    }
    // A pin names the certificate itself, so neither an authority nor the host name it
    // was issued for matters (home servers are often reached by an address it lacks).
    // The checks are let go only once the pin is in place.
    CURLcode result = curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, key_pin_.c_str());
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    if (result == CURLE_OK) result = curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    return result;
}

CertificateCheck::Verdict CertificateCheck::examine_refusal(CURL* configured) {
    // Only a certificate refusal may lead to the question: a probe lost on its way is
    // tried once more, and then the verdict stays unknown (nothing is asked or pinned).
    ProbeResult vouched = probe(configured, true);
    if (!vouched.handshake_done && !refused_certificate(vouched.code)) vouched = probe(configured, true);
    if (vouched.handshake_done) return verdict_ = Verdict::kVouched;
    if (!refused_certificate(vouched.code)) return verdict_ = Verdict::kUnknown;
    const ProbeResult seen = probe(configured, false);
    seen_ = seen.digest.certificate_sha256;
    seen_key_ = seen.digest.public_key_sha256;
    return verdict_ = seen_.empty() ? Verdict::kUnknown : Verdict::kUnvouched;
}

}  // namespace quillet::ftp
