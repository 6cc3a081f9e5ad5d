#include "app/store_envelope.h"

#include <array>
#include <optional>

#include "platform/file.h"
#include "platform/sealing.h"

namespace quillet::app {
namespace {

constexpr std::string_view kMagic = "QLTENV";
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kRecipeEnd = kMagic.size() + 2 + 4 + 4 + kSaltBytes;
constexpr std::size_t kRevisionEnd = kRecipeEnd + 8;
constexpr std::size_t kHeaderBytes = kRevisionEnd + platform::kSealOverhead;
// Labels keep the key check and the store from being swapped for each other.
constexpr std::string_view kKeyCheckLabel = "data.edb.qlt key check";

platform::Status damaged() { return platform::Status::failure(kEnvelopeDamaged, "服务器上的数据文件已损坏或被篡改"); }

void put_number(std::uint64_t value, std::size_t bytes, std::string* out) {
    for (std::size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t get_number(std::string_view in, std::size_t offset, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= std::uint64_t{static_cast<unsigned char>(in[offset + i])} << (8 * i);
    return value;
}

std::string header_before_key_check(const platform::KeyRecipe& recipe, std::uint64_t revision) {
    std::string header(kMagic);
    put_number(kVersion, 2, &header);
    put_number(recipe.passes, 4, &header);
    put_number(recipe.memory_kib, 4, &header);
    header += recipe.salt;
    put_number(revision, 8, &header);
    return header;
}

platform::Status derive(std::string_view login_password, const platform::KeyRecipe& recipe,
                        platform::LockedBytes* key) {
    if (platform::derive_key(login_password, recipe, key)) return {};
    return platform::Status::failure(kEnvelopeNoMemory, "内存不足，无法计算服务器上数据文件的密钥");
}

}  // namespace

platform::Status seal_store(std::string_view store, std::string_view login_password, std::uint64_t revision,
                            std::string* envelope) {
    if (store.size() + kHeaderBytes + platform::kSealOverhead > kMaxEnvelopeBytes) {
        return platform::Status::failure(kEnvelopeStoreTooLarge, "本地数据文件过大，无法加密上传");
    }
    const platform::KeyRecipe recipe = platform::new_key_recipe();
    platform::LockedBytes key;
    if (platform::Status derived = derive(login_password, recipe, &key); !derived.ok()) return derived;
    std::string sealed = header_before_key_check(recipe, revision);
    sealed += platform::seal_bytes(key, {}, kKeyCheckLabel);
    sealed += platform::seal_bytes(key, store, sealed);
    *envelope = std::move(sealed);
    return {};
}

platform::Status open_store_envelope(std::string_view envelope, std::string_view login_password,
                                     std::uint64_t* revision, platform::LockedBytes* store) {
    if (envelope.size() > kMaxEnvelopeBytes || envelope.size() < kHeaderBytes + platform::kSealOverhead ||
        envelope.substr(0, kMagic.size()) != kMagic) {
        return damaged();
    }
    const std::uint64_t version = get_number(envelope, kMagic.size(), 2);
    if (version > kVersion) {
        return platform::Status::failure(kEnvelopeNewerFormat,
                                         "服务器上的数据文件由更新版本的本程序写成，请先更新本程序");
    }
    platform::KeyRecipe recipe;
    recipe.passes = static_cast<std::uint32_t>(get_number(envelope, kMagic.size() + 2, 4));
    recipe.memory_kib = static_cast<std::uint32_t>(get_number(envelope, kMagic.size() + 6, 4));
    recipe.salt = envelope.substr(kRecipeEnd - kSaltBytes, kSaltBytes);
    // A doctored cost would make the derivation take hours or all the memory there is.
    if (version != kVersion || !platform::is_acceptable_recipe(recipe)) return damaged();

    platform::LockedBytes key;
    if (platform::Status derived = derive(login_password, recipe, &key); !derived.ok()) return derived;
    platform::LockedBytes nothing;
    if (!platform::open_sealed_bytes(key, envelope.substr(kRevisionEnd, platform::kSealOverhead), kKeyCheckLabel,
                                     &nothing)) {
        return platform::Status::failure(kEnvelopeOtherPassword,
                                         "服务器上的数据文件不是用当前的登录密码加密的，或已损坏");
    }
    platform::LockedBytes opened;
    if (!platform::open_sealed_bytes(key, envelope.substr(kHeaderBytes), envelope.substr(0, kHeaderBytes), &opened)) {
        return damaged();
    }
    *revision = get_number(envelope, kRecipeEnd, 8);
    *store = std::move(opened);
    return {};
}

platform::Status open_store_envelope_file(const std::string& path, std::string_view login_password,
                                          std::uint64_t* revision, platform::LockedBytes* store) {
    platform::SequentialFile file;
    if (!file.open(path)) return platform::Status::failure(kEnvelopeUnreadable, "无法读取文件 " + path);
    std::string envelope;
    std::array<char, 65536> buffer;
    for (;;) {
        const std::optional<std::size_t> got = file.read(buffer.data(), buffer.size());
        if (!got) return platform::Status::failure(kEnvelopeUnreadable, "无法读取文件 " + path);
        if (*got == 0) break;
        // Stops at the first byte past the bound, whatever size the file claims.
        if (envelope.size() + *got > kMaxEnvelopeBytes) return damaged();
        envelope.append(buffer.data(), *got);
    }
    return open_store_envelope(envelope, login_password, revision, store);
}

}  // namespace quillet::app
