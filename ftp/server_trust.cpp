#include "ftp/server_trust.h"

#include <cstddef>
#include <string_view>

namespace quillet::ftp {
namespace {

constexpr std::string_view kAuthority = "ca";
constexpr std::string_view kPinnedPrefix = "sha256:";
constexpr std::size_t kFingerprintDigits = 64;

bool is_fingerprint(const std::string& text) {
    if (text.size() != kFingerprintDigits) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace

std::string server_key(const std::string& host, int port) {
    std::string key;
    for (char c : host) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return key + ":" + std::to_string(port == 0 ? 21 : port);
}

std::string format_trust_list(const TrustList& list) {
    std::string text;
    for (const auto& [key, trust] : list) {
        if (trust.kind == ServerTrust::Kind::kNone) continue;
        if (!text.empty()) text += ';';
        text += key + "=";
        text += trust.kind == ServerTrust::Kind::kAuthority ? std::string(kAuthority)
                                                            : std::string(kPinnedPrefix) + trust.fingerprint;
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
        const std::string value = entry.substr(equals + 1);
        if (value == kAuthority) {
            list[key] = {ServerTrust::Kind::kAuthority, {}};
        } else if (value.starts_with(kPinnedPrefix) && is_fingerprint(value.substr(kPinnedPrefix.size()))) {
            list[key] = {ServerTrust::Kind::kPinned, value.substr(kPinnedPrefix.size())};
        }
    }
    return list;
}

}  // namespace quillet::ftp
