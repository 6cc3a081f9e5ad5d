#include "platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

namespace quillet::platform {

std::uint32_t secure_random_word() {
    std::uint32_t word = 0;
    while (getrandom(&word, sizeof word, 0) != static_cast<ssize_t>(sizeof word)) {
        // Only an interrupted call can fail this way on Linux 3.17+ with a 4-byte request;
        // anything else means the kernel cannot give secure numbers, and guessable
        // passwords are worse than stopping.
        if (errno != EINTR) std::abort();
    }
    return word;
}

}  // namespace quillet::platform
