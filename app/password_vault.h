// What data.ini keeps of the login password (key "password"): the password sealed under
// a random data key, and that data key wrapped twice, under a key derived from the login
// password and under one derived from the recovery code. Nothing in it opens without one
// of the two, and each guess costs an Argon2id derivation.
//
// Stored as one printable value: "QV1." then the login recipe and wrap, the recovery
// recipe and wrap, and the sealed password, each piece '.'-separated.
#pragma once

#include <string>
#include <string_view>

#include "platform/locked_bytes.h"
#include "platform/sealing.h"

namespace quillet::app {

struct PasswordVault {
    platform::KeyRecipe login_recipe;
    std::string login_wrap;
    platform::KeyRecipe recovery_recipe;
    std::string recovery_wrap;
    std::string sealed_password;
};

std::string format_vault(const PasswordVault& vault);
// False for anything else, the old enciphered password among them.
bool parse_vault(std::string_view text, PasswordVault* vault);

// A vault for `password`, and the recovery code that opens it (formatted for showing).
PasswordVault new_vault(std::string_view password, std::string* recovery_code);

// The data key, when `password` opens the login wrap.
bool open_with_password(const PasswordVault& vault, std::string_view password, platform::LockedBytes* data_key);
// The data key, when `code` (as typed) opens the recovery wrap.
bool open_with_recovery_code(const PasswordVault& vault, std::string_view code, platform::LockedBytes* data_key);
// The login password the vault keeps.
bool kept_password(const PasswordVault& vault, const platform::LockedBytes& data_key, platform::LockedBytes* password);

// Whether `password` opens the vault and is the password it keeps.
bool vault_holds(const PasswordVault& vault, std::string_view password);

// The same vault for another login password: same data key and recovery wrap, so the
// recovery code stays valid.
PasswordVault vault_for_new_password(const PasswordVault& vault, const platform::LockedBytes& data_key,
                                     std::string_view new_password);
// The same vault with a new recovery code (returned, formatted for showing).
PasswordVault vault_with_new_recovery_code(const PasswordVault& vault, const platform::LockedBytes& data_key,
                                           std::string* recovery_code);

// Compares two secrets in time that does not depend on where they differ.
bool same_secret(std::string_view a, std::string_view b);

}  // namespace quillet::app
