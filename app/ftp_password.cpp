#include "app/ftp_password.h"

#include <vector>

namespace quillet::app {
namespace {

constexpr std::string_view kVersion = "QF1";
// Binds the seal to ftp.ini's key: a value copied under another name does not open.
constexpr std::string_view kLabel = "ftp.ini ftp password";
// Two during a change; more would be a doctored file, each one costing a derivation.
constexpr std::size_t kMaxEntries = 4;

struct Entry {
    platform::KeyRecipe recipe;
    std::string sealed;
};

std::vector<Entry> parse_entries(std::string_view stored) {
    std::vector<Entry> entries;
    while (!stored.empty() && entries.size() < kMaxEntries) {
        const std::size_t comma = stored.find(',');
        const std::vector<std::string_view> parts = platform::split_at_dots(stored.substr(0, comma));
        Entry entry;
        if (parts.size() == 6 && parts[0] == kVersion &&
            platform::parse_recipe(std::string(parts[1]) + '.' + std::string(parts[2]) + '.' + std::string(parts[3]),
                                   &entry.recipe)) {
            entry.sealed = std::string(parts[4]) + '.' + std::string(parts[5]);
            entries.push_back(std::move(entry));
        }
        if (comma == std::string_view::npos) break;
        stored.remove_prefix(comma + 1);
    }
    return entries;
}

}  // namespace

std::shared_ptr<const FtpKey> derive_ftp_key(std::string_view stored, std::string_view login_password) {
    auto key = std::make_shared<FtpKey>();
    platform::LockedBytes opened;
    for (const Entry& entry : parse_entries(stored)) {
        if (platform::derive_key(login_password, entry.recipe, &key->key) &&
            platform::open_sealed(key->key, entry.sealed, kLabel, &opened)) {
            key->recipe = entry.recipe;
            return key;
        }
    }
    key->recipe = platform::new_key_recipe();
    if (!platform::derive_key(login_password, key->recipe, &key->key)) key->key = platform::random_key();
    return key;
}

std::string seal_ftp_password(const FtpKey& key, std::string_view password) {
    return std::string(kVersion) + '.' + platform::format_recipe(key.recipe) + '.' +
           platform::seal(key.key, password, kLabel);
}

bool open_ftp_password(const FtpKey& key, std::string_view stored, platform::LockedBytes* password) {
    for (const Entry& entry : parse_entries(stored)) {
        if (entry.recipe == key.recipe && platform::open_sealed(key.key, entry.sealed, kLabel, password)) return true;
    }
    return false;
}

bool is_sealed_ftp_value(std::string_view stored) { return stored.substr(0, kVersion.size() + 1) == "QF1."; }

bool is_settled_ftp_value(const FtpKey& key, std::string_view stored) {
    platform::LockedBytes password;
    return stored.find(',') == std::string_view::npos && open_ftp_password(key, stored, &password);
}

}  // namespace quillet::app
