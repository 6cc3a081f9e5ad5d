// Secrets sealed under a key derived from a password or a recovery code: Argon2id
// (libsodium's crypto_pwhash) makes the key, XChaCha20-Poly1305 seals the secret and
// binds it to a label, so that a value moved under another name does not open. All
// stored forms are printable: URL-safe base64 pieces joined by '.'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locked_bytes.h"

namespace quillet::platform {

// How a key is derived: the Argon2id cost and the salt. Stored beside what the key seals,
// so that a value written with one cost still opens after the default cost changed.
struct KeyRecipe {
    std::uint32_t passes = 0;
    std::uint32_t memory_kib = 0;
    std::string salt;  // 16 random bytes

    bool operator==(const KeyRecipe&) const = default;
};

// The cost new recipes get: about a third of a second on the 2-core development machine
// (bench/secret_bench measures it).
inline constexpr std::uint32_t kDefaultPasses = 3;
inline constexpr std::uint32_t kDefaultMemoryKib = 128 * 1024;

// A recipe with a fresh salt and the current cost for new keys.
KeyRecipe new_key_recipe();
// Makes later new recipes use this cost; tests lower it to keep derivations quick.
void set_new_key_cost(std::uint32_t passes, std::uint32_t memory_kib);

// "<passes>.<memory KiB>.<salt>". Parsing refuses a cost beyond what any machine of ours
// would have chosen, so a doctored file cannot make a derivation take hours or gigabytes.
std::string format_recipe(const KeyRecipe& recipe);
bool parse_recipe(std::string_view text, KeyRecipe* recipe);
// The same bounds for a recipe read in another form: a cost any machine of ours could have
// chosen and a salt of the right size.
bool is_acceptable_recipe(const KeyRecipe& recipe);

// A 32-byte key from `secret`. False only when the system refuses the memory.
bool derive_key(std::string_view secret, const KeyRecipe& recipe, LockedBytes* key);
// A 32-byte random key.
LockedBytes random_key();

// "<nonce>.<cipher text>", with a fresh nonce each time.
std::string seal(const LockedBytes& key, std::string_view plain, std::string_view label);
// False when the value is malformed, was sealed under another key or label, or was
// changed since.
bool open_sealed(const LockedBytes& key, std::string_view sealed, std::string_view label, LockedBytes* plain);

// The same seal as raw bytes, nonce first then cipher text and tag, for values too large for
// the printable form (a whole store): kSealOverhead bytes longer than `plain`, no size limit
// of its own. `label` may be any bytes the opener knows, such as a header to authenticate.
inline constexpr std::size_t kSealOverhead = 24 + 16;
std::string seal_bytes(const LockedBytes& key, std::string_view plain, std::string_view label);
bool open_sealed_bytes(const LockedBytes& key, std::string_view sealed, std::string_view label, LockedBytes* plain);

// `text` cut at every '.'.
std::vector<std::string_view> split_at_dots(std::string_view text);

}  // namespace quillet::platform
