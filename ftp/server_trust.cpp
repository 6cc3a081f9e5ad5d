#include "ftp/server_trust.h"

#include <cstddef>
#include <string_view>

namespace quillet::ftp {
namespace {

constexpr std::string_view kPlainAgreed = "plain";
constexpr std::string_view kAuthority = "ca";
constexpr std::string_view kPinnedPrefix = "sha256:";
constexpr std::size_t kDigestDigits = 64;

bool is_digest(std::string_view text) {
    if (text.size() != kDigestDigits) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// "<certificate>" or "<certificate>:<public key>".
bool parse_pin(std::string_view text, ServerTrust* trust) {
    const std::string_view certificate = text.substr(0, kDigestDigits);
    const std::string_view rest = text.substr(certificate.size());
    if (!is_digest(certificate)) return false;
    if (!rest.empty() && !(rest[0] == ':' && is_digest(rest.substr(1)))) return false;
    *trust = {ServerTrust::Kind::kPinned, std::string(certificate),
              rest.empty() ? std::string() : std::string(rest.substr(1))};
    return true;
}

}  // namespace

std::string server_key(const std::string& host, int port) {
    std::string key;
    for (char c : host) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return key + ":" + std::to_string(port == 0 ? 21 : port);
}

std::string grouped_fingerprint(const std::string& hex) {
    std::string shown;
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (i > 0 && i % 2 == 0) shown += ':';
        const char c = hex[i];
        shown += (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return shown;
}

std::string format_trust_list(const TrustList& list) {
    std::string text;
    for (const auto& [key, trust] : list) {
        std::string value;
        switch (trust.kind) {
            case ServerTrust::Kind::kNone:
                continue;
            case ServerTrust::Kind::kPlainAgreed:
                value = kPlainAgreed;
                break;
            case ServerTrust::Kind::kAuthority:
                value = kAuthority;
                break;
            case ServerTrust::Kind::kPinned:
                value = std::string(kPinnedPrefix) + trust.fingerprint;
                if (!trust.public_key.empty()) value += ":" + trust.public_key;
                break;
        }
        if (!text.empty()) text += ';';
        text += key + "=" + value;
    }
    return text;
}

TrustList parse_trust_list(const std::string& text) {
    TrustList list;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = entry.rfind('=');
        if (equals == std::string::npos || equals == 0) continue;
        const std::string key = entry.substr(0, equals);
        const std::string_view value = std::string_view(entry).substr(equals + 1);
        ServerTrust trust;
        if (value == kPlainAgreed) {
            list[key] = {ServerTrust::Kind::kPlainAgreed, {}, {}};
        } else if (value == kAuthority) {
            list[key] = {ServerTrust::Kind::kAuthority, {}, {}};
        } else if (value.starts_with(kPinnedPrefix) && parse_pin(value.substr(kPinnedPrefix.size()), &trust)) {
            list[key] = trust;
        }
    }
    return list;
}

}  // namespace quillet::ftp
