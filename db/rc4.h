// The RC4 key schedule and keystream generator, the published algorithm unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillet::db {

struct Rc4 {
    std::uint8_t s[256];
    std::uint8_t i = 0;
    std::uint8_t j = 0;

    // Starts from the identity permutation and mixes the key in cyclically. An empty key
    // leaves the identity.
    void schedule(const std::uint8_t* key, std::size_t length);
    // Fills `out` with the next `length` keystream bytes.
    void generate(std::uint8_t* out, std::size_t length);
    void discard(std::size_t count);
};

}  // namespace quillet::db
