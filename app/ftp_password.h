// ftp.ini's password value, sealed under a key derived from the login password (Argon2id
// with the salt the value carries). The value is one or more entries joined by ',':
// "QF1.<recipe>.<seal>" each. It holds two only while a login-password change is under
// way (one per password); any other value is the old enciphered form.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/locked_bytes.h"
#include "platform/sealing.h"

namespace quillet::app {

// The key that seals ftp.ini's password in one session.
struct FtpKey {
    platform::KeyRecipe recipe;
    platform::LockedBytes key;
};

// The key for the stored value `stored` and `login_password`: that of the entry it opens,
// or a new recipe when none opens (no value yet, the old form, or a value that is damaged
// or sealed under another password). Costs one derivation per entry: call it off the
// window thread.
std::shared_ptr<const FtpKey> derive_ftp_key(std::string_view stored, std::string_view login_password);

// One entry sealing `password`, with a fresh nonce.
std::string seal_ftp_password(const FtpKey& key, std::string_view password);

// The password in `stored` that `key` opens. False for the old form, a damaged value or
// one sealed under another password.
bool open_ftp_password(const FtpKey& key, std::string_view stored, platform::LockedBytes* password);

// Whether `stored` is in the sealed form (as opposed to the old enciphered one).
bool is_sealed_ftp_value(std::string_view stored);

// Whether `stored` is exactly one entry that `key` opens: nothing to settle or reseal.
bool is_settled_ftp_value(const FtpKey& key, std::string_view stored);

}  // namespace quillet::app
