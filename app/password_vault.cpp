#include "app/password_vault.h"

#include <vector>

#include "app/recovery_code.h"

namespace quillet::app {
namespace {

using platform::KeyRecipe;
using platform::LockedBytes;

constexpr std::string_view kVersion = "QV1";
// Labels bind each sealed piece to its role: a wrap cannot stand in for another.
constexpr std::string_view kLoginWrapLabel = "data.ini password login-wrap";
constexpr std::string_view kRecoveryWrapLabel = "data.ini password recovery-wrap";
constexpr std::string_view kPasswordLabel = "data.ini password";

std::string join(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) {
        if (!text.empty()) text += '.';
        text += part;
    }
    return text;
}

std::string join_range(const std::vector<std::string_view>& parts, std::size_t first, std::size_t count) {
    std::string text;
    for (std::size_t i = first; i < first + count; ++i) {
        if (i > first) text += '.';
        text += parts[i];
    }
    return text;
}

bool open_wrap(const KeyRecipe& recipe, const std::string& wrap, std::string_view secret, std::string_view label,
               LockedBytes* data_key) {
    LockedBytes key;
    return platform::derive_key(secret, recipe, &key) && platform::open_sealed(key, wrap, label, data_key);
}

std::string make_wrap(const KeyRecipe& recipe, std::string_view secret, std::string_view label,
                      const LockedBytes& data_key) {
    LockedBytes key;
    if (!platform::derive_key(secret, recipe, &key)) return {};
    return platform::seal(key, data_key.view(), label);
}

}  // namespace

std::string format_vault(const PasswordVault& vault) {
    return join({kVersion, platform::format_recipe(vault.login_recipe), vault.login_wrap,
                 platform::format_recipe(vault.recovery_recipe), vault.recovery_wrap, vault.sealed_password});
}

bool parse_vault(std::string_view text, PasswordVault* vault) {
    // version, recipe (3), wrap (2), recipe (3), wrap (2), sealed password (2)
    const std::vector<std::string_view> parts = platform::split_at_dots(text);
    if (parts.size() != 13 || parts[0] != kVersion) return false;
    PasswordVault parsed;
    if (!platform::parse_recipe(join_range(parts, 1, 3), &parsed.login_recipe) ||
        !platform::parse_recipe(join_range(parts, 6, 3), &parsed.recovery_recipe)) {
        return false;
    }
    parsed.login_wrap = join_range(parts, 4, 2);
    parsed.recovery_wrap = join_range(parts, 9, 2);
    parsed.sealed_password = join_range(parts, 11, 2);
    *vault = std::move(parsed);
    return true;
}

PasswordVault new_vault(std::string_view password, std::string* recovery_code) {
    const LockedBytes data_key = platform::random_key();
    PasswordVault vault;
    vault.sealed_password = platform::seal(data_key, password, kPasswordLabel);
    vault.login_recipe = platform::new_key_recipe();
    vault.login_wrap = make_wrap(vault.login_recipe, password, kLoginWrapLabel, data_key);
    return vault_with_new_recovery_code(vault, data_key, recovery_code);
}

bool open_with_password(const PasswordVault& vault, std::string_view password, LockedBytes* data_key) {
    return open_wrap(vault.login_recipe, vault.login_wrap, password, kLoginWrapLabel, data_key);
}

bool open_with_recovery_code(const PasswordVault& vault, std::string_view code, LockedBytes* data_key) {
    const std::optional<std::string> normalized = normalized_recovery_code(code);
    return normalized && open_wrap(vault.recovery_recipe, vault.recovery_wrap, *normalized, kRecoveryWrapLabel, data_key);
}

bool kept_password(const PasswordVault& vault, const LockedBytes& data_key, LockedBytes* password) {
    return platform::open_sealed(data_key, vault.sealed_password, kPasswordLabel, password);
}

bool vault_holds(const PasswordVault& vault, std::string_view password) {
    LockedBytes data_key, kept;
    return open_with_password(vault, password, &data_key) && kept_password(vault, data_key, &kept) &&
           same_secret(kept.view(), password);
}

PasswordVault vault_for_new_password(const PasswordVault& vault, const LockedBytes& data_key,
                                     std::string_view new_password) {
    PasswordVault changed = vault;
    changed.sealed_password = platform::seal(data_key, new_password, kPasswordLabel);
    changed.login_recipe = platform::new_key_recipe();
    changed.login_wrap = make_wrap(changed.login_recipe, new_password, kLoginWrapLabel, data_key);
    return changed;
}

PasswordVault vault_with_new_recovery_code(const PasswordVault& vault, const LockedBytes& data_key,
                                           std::string* recovery_code) {
    PasswordVault changed = vault;
    *recovery_code = new_recovery_code();
    changed.recovery_recipe = platform::new_key_recipe();
    changed.recovery_wrap = make_wrap(changed.recovery_recipe, *normalized_recovery_code(*recovery_code),
                                      kRecoveryWrapLabel, data_key);
    return changed;
}

bool same_secret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace quillet::app
