#include "app/ftp_trust_store.h"

#include <cstddef>
#include <iterator>

#include "app/text_cipher.h"
#include "platform/settings_file.h"

namespace quillet::app {
namespace {

constexpr const char* kSection = "ftp";
constexpr const char* kKey = "zhengshu";
// A value is read back through a 10240-byte buffer; a longer one would be cut and fail
// its check tag, losing every entry. About 100 bytes each, enciphered twice that.
constexpr std::size_t kMaxServers = 40;

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
        for (auto it = list.begin(); list.size() > kMaxServers;) {
            it = it->first == server ? std::next(it) : list.erase(it);
        }
        platform::write_setting(settings_file(), kSection, kKey, encipher(ftp::format_trust_list(list), kCipherKey));
    };
    return store;
}

}  // namespace quillet::app
