// Unpredictable random numbers from the operating system (getrandom, BCryptGenRandom).
#pragma once

#include <cstdint>

namespace quillet::platform {

// Uniform in [0, bound), without modulo bias. bound must be at least 1.
std::uint32_t secure_random_below(std::uint32_t bound);
// 32 random bits (one per platform variant). Stops the program when the system has none
// to give: guessable passwords are worse than stopping.
std::uint32_t secure_random_word();

}  // namespace quillet::platform
