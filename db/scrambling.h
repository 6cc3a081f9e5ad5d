// The access digest of a password and the keyed, position-dependent transform that
// scrambles every byte of a data or auxiliary file from offset 4 on.
//
// A block of 4096 bytes has a keystream that depends only on the password and the block
// number, so keys cache whole block keystreams: a field is then unscrambled at a cost in
// proportion to its width, not to its offset within the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillet::db {

inline constexpr std::int64_t kScrambleStart = 4;

// 32 lower-case hexadecimal digits: the MD5 bytes from last to first, high digit first.
std::string access_digest(std::string_view password);

// One password's scrambling key. Not thread-safe: the engine uses keys only under its
// own mutex.
class ScrambleKey {
public:
    // The key of a non-empty password (an empty one scrambles nothing: nullptr). Keys of
    // recently used passwords are shared, so that reopening a file keeps its keystreams;
    // they are found by access digest, so the password itself is not kept.
    static std::shared_ptr<ScrambleKey> for_password(const std::string& password);
    // Drops the shared keys; keys still held by open files live on until those close.
    static void forget_recent();

    explicit ScrambleKey(const std::string& password);
    ~ScrambleKey();
    ScrambleKey(const ScrambleKey&) = delete;
    ScrambleKey& operator=(const ScrambleKey&) = delete;

    const std::string& digest() const { return digest_; }
    // Scrambles or unscrambles (the same thing) bytes that lie at file position `position`.
    void apply(std::int64_t position, std::uint8_t* bytes, std::size_t length);

private:
    struct Impl;
    std::string digest_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quillet::db
