#include "platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

namespace quillet::platform {
namespace {

std::uint32_t random_word() {
    std::uint32_t word = 0;
    while (getrandom(&word, sizeof word, 0) != static_cast<ssize_t>(sizeof word)) {
        // Only an interrupted call can fail this way on Linux 3.17+ with a 4-byte request;
        // anything else means the kernel cannot give secure numbers, and guessable
        // passwords are worse than stopping.
        if (errno != EINTR) std::abort();
    }
    return word;
}

}  // namespace

std::uint32_t secure_random_below(std::uint32_t bound) {
    if (bound <= 1) return 0;
    // Words below `limit` fall evenly on [0, bound); the few above are drawn again.
    std::uint32_t limit = static_cast<std::uint32_t>(0x100000000ull - 0x100000000ull % bound);
    std::uint32_t word;
    do {
        word = random_word();
    } while (limit != 0 && word >= limit);
    return word % bound;
}

}  // namespace quillet::platform
