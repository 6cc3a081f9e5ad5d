#include "db/scrambling.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "db/rc4.h"
#include "platform/md5.h"

namespace quillet::db {
namespace {

constexpr std::int64_t kBlockSize = 4096;
constexpr std::size_t kDiscard = 36;
// Direct-mapped by block number; covers the whole of a 16 MiB file, and a sequential
// scan of a bigger one still finds each block while it is being read.
constexpr std::size_t kCachedBlocks = 4096;
constexpr std::size_t kRecentKeys = 4;

// Eight bytes at a time: the byte loop cannot be vectorised, as `bytes` may alias `stream`
// as far as the compiler knows.
void xor_bytes(std::uint8_t* bytes, const std::uint8_t* stream, std::size_t length) {
    std::size_t n = 0;
    for (; n + 8 <= length; n += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, bytes + n, 8);
        std::memcpy(&b, stream + n, 8);
        a ^= b;
        std::memcpy(bytes + n, &a, 8);
    }
    for (; n < length; ++n) bytes[n] ^= stream[n];
}

}  // namespace

std::string access_digest(std::string_view password) {
    static const char kHex[] = "0123456789abcdef";
    const platform::Md5Digest md5 = platform::md5(password);
    std::string digest;
    digest.reserve(32);
    for (auto it = md5.rbegin(); it != md5.rend(); ++it) {
        digest += kHex[*it >> 4];
        digest += kHex[*it & 15];
    }
    return digest;
}

struct ScrambleKey::Impl {
    struct Slot {
        std::int64_t block = -1;
        std::unique_ptr<std::uint8_t[]> bytes;
    };

    Rc4 salt_generator;  // continues the password's keystream as more salts are needed
    std::vector<std::uint8_t> salt_stream;
    std::vector<Slot> slots = std::vector<Slot>(kCachedBlocks);

    std::uint32_t salt(std::int64_t block) {
        const std::size_t needed = static_cast<std::size_t>(block) * 4 + 4;
        if (salt_stream.size() < needed) {
            const std::size_t old_size = salt_stream.size();
            salt_stream.resize(std::max(needed, old_size * 2));
            salt_generator.generate(salt_stream.data() + old_size, salt_stream.size() - old_size);
        }
        const std::uint8_t* p = salt_stream.data() + block * 4;
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }

    const std::uint8_t* keystream(std::int64_t block, const std::string& digest) {
        Slot& slot = slots[static_cast<std::size_t>(block) % kCachedBlocks];
        if (slot.block == block) return slot.bytes.get();
        if (!slot.bytes) slot.bytes = std::make_unique<std::uint8_t[]>(kBlockSize);
        const std::uint32_t block_salt = salt(block);
        const std::uint32_t mixed = static_cast<std::uint32_t>(block) ^ block_salt;
        std::uint8_t key[40];
        for (int n = 0; n < 4; ++n) {
            key[n] = static_cast<std::uint8_t>(block_salt >> (8 * n));
            key[36 + n] = static_cast<std::uint8_t>(mixed >> (8 * n));
        }
        std::memcpy(key + 4, digest.data(), 32);
        Rc4 cipher;
        cipher.schedule(key, sizeof key);
        cipher.discard(kDiscard);
        cipher.generate(slot.bytes.get(), kBlockSize);
        slot.block = block;
        return slot.bytes.get();
    }
};

ScrambleKey::ScrambleKey(const std::string& password) : digest_(access_digest(password)), impl_(new Impl) {
    impl_->salt_generator.schedule(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
}

ScrambleKey::~ScrambleKey() = default;

namespace {

// Most recently used first.
struct RecentKeys {
    std::mutex mutex;
    std::vector<std::shared_ptr<ScrambleKey>> keys;
};

RecentKeys& recent_keys() {
    static RecentKeys recent;
    return recent;
}

}  // namespace

std::shared_ptr<ScrambleKey> ScrambleKey::for_password(const std::string& password) {
    if (password.empty()) return nullptr;
    const std::string digest = access_digest(password);
    RecentKeys& recent = recent_keys();
    std::lock_guard<std::mutex> guard(recent.mutex);
    auto& keys = recent.keys;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if ((*it)->digest() == digest) {
            std::rotate(keys.begin(), it, it + 1);
            return keys.front();
        }
    }
    auto key = std::make_shared<ScrambleKey>(password);
    keys.insert(keys.begin(), key);
    if (keys.size() > kRecentKeys) keys.pop_back();
    return key;
}

void ScrambleKey::forget_recent() {
    RecentKeys& recent = recent_keys();
    std::lock_guard<std::mutex> guard(recent.mutex);
    recent.keys.clear();
}

void ScrambleKey::apply(std::int64_t position, std::uint8_t* bytes, std::size_t length) {
    if (position < kScrambleStart) {
        const std::size_t skip = std::min<std::size_t>(length, static_cast<std::size_t>(kScrambleStart - position));
        bytes += skip;
        length -= skip;
        position += static_cast<std::int64_t>(skip);
    }
    while (length > 0) {
        const std::int64_t block = position / kBlockSize;
        const std::size_t offset = static_cast<std::size_t>(position % kBlockSize);
        const std::size_t step = std::min<std::size_t>(length, kBlockSize - offset);
        const std::uint8_t* stream = impl_->keystream(block, digest_) + offset;
        xor_bytes(bytes, stream, step);
        bytes += step;
        length -= step;
        position += static_cast<std::int64_t>(step);
    }
}

}  // namespace quillet::db
