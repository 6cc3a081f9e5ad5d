#include "platform/secure_random.h"

namespace quillet::platform {

std::uint32_t secure_random_below(std::uint32_t bound) {
    if (bound <= 1) return 0;
    // Words below `limit` fall evenly on [0, bound); the few above are drawn again.
    std::uint32_t limit = static_cast<std::uint32_t>(0x100000000ull - 0x100000000ull % bound);
    std::uint32_t word;
    do {
        word = secure_random_word();
    } while (limit != 0 && word >= limit);
    return word % bound;
}

}  // namespace quillet::platform
