#include "platform/sealing.h"

#include <sodium.h>

#include <atomic>
#include <charconv>

#include "platform/sodium_ready.h"

namespace quillet::platform {
namespace {

constexpr std::size_t kKeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
static_assert(kSealOverhead == kNonceBytes + kTagBytes);
constexpr int kBase64 = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

// Far above the default cost, far below what would stall a machine.
constexpr std::uint32_t kMaxPasses = 64;
constexpr std::uint32_t kMaxMemoryKib = 1024 * 1024;
// Nothing this program seals comes near it; it bounds what a doctored value can ask for.
constexpr std::size_t kMaxSealedBytes = 64 * 1024;

std::atomic<std::uint32_t> new_passes{kDefaultPasses};
std::atomic<std::uint32_t> new_memory_kib{kDefaultMemoryKib};

std::string to_base64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, kBase64), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, kBase64);
    text.resize(text.size() - 1);  // the terminating zero
    return text;
}

bool from_base64(std::string_view text, std::string* bytes) {
    if (text.size() > kMaxSealedBytes * 4 / 3 + 4) return false;
    bytes->assign(text.size() * 3 / 4 + 1, '\0');
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes->data()), bytes->size(), text.data(), text.size(),
                          nullptr, &size, &end, kBase64) != 0 ||
        end != text.data() + text.size()) {
        return false;
    }
    bytes->resize(size);
    return true;
}

bool parse_number(std::string_view text, std::uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

const unsigned char* bytes_of(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

KeyRecipe new_key_recipe() {
    ensure_sodium_ready();
    KeyRecipe recipe{new_passes.load(), new_memory_kib.load(), std::string(crypto_pwhash_SALTBYTES, '\0')};
    randombytes_buf(recipe.salt.data(), recipe.salt.size());
    return recipe;
}

void set_new_key_cost(std::uint32_t passes, std::uint32_t memory_kib) {
    new_passes = passes;
    new_memory_kib = memory_kib;
}

std::string format_recipe(const KeyRecipe& recipe) {
    return std::to_string(recipe.passes) + '.' + std::to_string(recipe.memory_kib) + '.' +
           to_base64(bytes_of(recipe.salt), recipe.salt.size());
}

bool parse_recipe(std::string_view text, KeyRecipe* recipe) {
    const std::vector<std::string_view> parts = split_at_dots(text);
    KeyRecipe parsed;
    if (parts.size() != 3 || !parse_number(parts[0], &parsed.passes) || !parse_number(parts[1], &parsed.memory_kib) ||
        !from_base64(parts[2], &parsed.salt) || !is_acceptable_recipe(parsed)) {
        return false;
    }
    *recipe = std::move(parsed);
    return true;
}

bool is_acceptable_recipe(const KeyRecipe& recipe) {
    return recipe.passes >= crypto_pwhash_argon2id_OPSLIMIT_MIN && recipe.passes <= kMaxPasses &&
           recipe.memory_kib >= crypto_pwhash_argon2id_MEMLIMIT_MIN / 1024 && recipe.memory_kib <= kMaxMemoryKib &&
           recipe.salt.size() == crypto_pwhash_SALTBYTES;
}

bool derive_key(std::string_view secret, const KeyRecipe& recipe, LockedBytes* key) {
    ensure_sodium_ready();
    if (recipe.salt.size() != crypto_pwhash_SALTBYTES) return false;
    LockedBytes derived(kKeyBytes);
    if (crypto_pwhash(derived.data(), derived.size(), secret.data(), secret.size(), bytes_of(recipe.salt),
                      recipe.passes, static_cast<std::size_t>(recipe.memory_kib) * 1024,
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return false;
    }
    *key = std::move(derived);
    return true;
}

LockedBytes random_key() {
    LockedBytes key(kKeyBytes);
    randombytes_buf(key.data(), key.size());
    return key;
}

std::string seal_bytes(const LockedBytes& key, std::string_view plain, std::string_view label) {
    ensure_sodium_ready();
    std::string sealed(kNonceBytes + plain.size() + kTagBytes, '\0');
    auto* nonce = reinterpret_cast<unsigned char*>(sealed.data());
    randombytes_buf(nonce, kNonceBytes);
    crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + kNonceBytes, nullptr, bytes_of(plain), plain.size(),
                                               bytes_of(label), label.size(), nullptr, nonce, key.data());
    return sealed;
}

bool open_sealed_bytes(const LockedBytes& key, std::string_view sealed, std::string_view label, LockedBytes* plain) {
    ensure_sodium_ready();
    if (key.size() != kKeyBytes || sealed.size() < kNonceBytes + kTagBytes) return false;
    const std::string_view cipher = sealed.substr(kNonceBytes);
    LockedBytes opened(cipher.size() - kTagBytes);
    // An empty secret still needs somewhere to be written.
    unsigned char empty_target = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(opened.empty() ? &empty_target : opened.data(), nullptr, nullptr,
                                                   bytes_of(cipher), cipher.size(), bytes_of(label), label.size(),
                                                   bytes_of(sealed), key.data()) != 0) {
        return false;
    }
    *plain = std::move(opened);
    return true;
}

std::string seal(const LockedBytes& key, std::string_view plain, std::string_view label) {
    const std::string sealed = seal_bytes(key, plain, label);
    return to_base64(bytes_of(sealed), kNonceBytes) + '.' +
           to_base64(bytes_of(sealed) + kNonceBytes, sealed.size() - kNonceBytes);
}

bool open_sealed(const LockedBytes& key, std::string_view sealed, std::string_view label, LockedBytes* plain) {
    const std::vector<std::string_view> parts = split_at_dots(sealed);
    std::string nonce, cipher;
    if (parts.size() != 2 || !from_base64(parts[0], &nonce) || nonce.size() != kNonceBytes ||
        !from_base64(parts[1], &cipher)) {
        return false;
    }
    return open_sealed_bytes(key, nonce + cipher, label, plain);
}

std::vector<std::string_view> split_at_dots(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t dot = text.find('.');
        parts.push_back(text.substr(0, dot));
        if (dot == std::string_view::npos) return parts;
        text.remove_prefix(dot + 1);
    }
}

}  // namespace quillet::platform
