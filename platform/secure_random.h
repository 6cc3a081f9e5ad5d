// Unpredictable random numbers from the operating system (getrandom).
#pragma once

#include <cstdint>

namespace quillet::platform {

// Uniform in [0, bound), without modulo bias. bound must be at least 1.
std::uint32_t secure_random_below(std::uint32_t bound);

}  // namespace quillet::platform
