#include "app/ftp_trust_store.h"

#include <cstddef>

#include "app/text_cipher.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

constexpr const char* kSection = "ftp";
constexpr const char* kKey = "zhengshu";
// A value is read back through a 10240-byte buffer (with its terminating zero); a longer
// one would be cut and fail its check tag, losing every entry.
constexpr std::size_t kMaxStoredValue = 10239;

ftp::TrustList load(const std::string& file) {
    return ftp::parse_trust_list(decipher(platform::read_setting(file, kSection, kKey), kCipherKey));
}

}  // namespace

ftp::TrustStore ftp_trust_store(std::function<std::string()> settings_file) {
    ftp::TrustStore store;
    store.recall = [settings_file](const std::string& server) {
        const ftp::TrustList list = load(settings_file());
        const auto found = list.find(server);
        return found == list.end() ? ftp::ServerTrust{} : found->second;
    };
    store.remember = [settings_file](const std::string& server, const ftp::ServerTrust& trust) {
        ftp::TrustList list = load(settings_file());
        list[server] = trust;
        // The oldest entries cannot be told apart; dropping others keeps this server's.
        std::string value = encipher(ftp::format_trust_list(list), kCipherKey);
        for (auto it = list.begin(); value.size() > kMaxStoredValue && list.size() > 1;) {
            if (it->first == server) ++it;
            it = list.erase(it);
            value = encipher(ftp::format_trust_list(list), kCipherKey);
        }
        platform::write_setting(settings_file(), kSection, kKey, value);
    };
    return store;
}

}  // namespace quillet::app
